// PTZ settings kept by the recorder (serial ports, stored speeds, tours) and the tour requests
// and preset and tour listing passed to the core.
#include <algorithm>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/settings_store.h"
#include "common/messages/ptz.h"
#include "handlers/ptz/ptz_module.h"
#include "platform/zvdb/ptz_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr int kChannels = 64;

// "/6053": the channel only.
constexpr auto kSpeedQueryForm = ZV_FIELDS(PtzSpeed, ZV_SCHEMA_FIELD(cam_id));

PtzPort stored_port(int32_t channel) {
  PtzPort port{};
  kPtzPorts.read(kZvdbPath, &port, {channel});
  port.cam_id = channel;
  return port;
}

// A tour request ("/6055", "/6056"): the channel, tour 1..8 and the first `rowsize` key points of
// "path" (0..48, no more than the path holds); the other points stay empty.
struct TourRequest {
  int32_t chn = 0;
  int32_t tourid = 0;
  int32_t stream_id = 0;
  int32_t rowsize = 0;
  PtzTour tour{};
};

bool read_tour_request(const char* argument, TourRequest* out) {
  JsonPtr request = parse_request(argument);
  json_object* path = nullptr;
  if (!request || !read_json_members(request.get(), {
                      int_member("chn", &out->chn).required().range(0, kChannels - 1),
                      int_member("tourid", &out->tourid).required().range(1, kPtzTours),
                      int_member("streamId", &out->stream_id),
                      int_member("rowsize", &out->rowsize).required().range(0, kPtzTourPoints),
                      array_member("path", &path).required(),
                  })) {
    return false;
  }
  // The first min("rowsize", path length) elements: one that is not an object is skipped and the
  // key points close up; "rowsize" becomes the number read. A value out of range refuses the tour.
  const size_t listed = std::min(static_cast<size_t>(out->rowsize), json_array_size(path));
  int points = 0;
  for (size_t i = 0; i < listed; ++i) {
    json_object* element = json_array_at(path, i);
    if (!json_object_is_type(element, json_type_object)) continue;
    if (!read_record(element, &out->tour.points[points++])) return false;
  }
  out->rowsize = points;
  return true;
}

// Stores `tour` as tour `tourid` (1..8) of the channel's tour table; false when it was not stored.
bool store_tour(int32_t channel, int32_t tourid, const PtzTour& tour) {
  SettingsWrite write;
  auto table = std::make_unique<PtzTourTable>();
  *table = PtzTourTable{};
  kPtzTourTables.read(kZvdbPath, table.get(), {channel});
  table->tours[tourid - 1] = tour;
  write.check(kPtzTourTables.write_at(kZvdbPath, table.get(), {channel}));
  return write.commit();
}

// Tour requests that name a tour of a channel ("/5002", "/5003"): the notice, "OK" and the log.
void tell_tour_ref(const char* argument, const Notice<PtzTourRef>& notice) {
  PtzTourRef ref{};
  if (read_request(argument, &ref)) tell_ok_and_log(notice, ref, ref.chn, kPtzLogControl);
}

void write_tour(JsonWriter& w, const PtzTourArrays& tour) {
  w.begin_array();
  for (int i = 0; i < kPtzTourPoints && tour.presets[i] >= 1; ++i) {
    w.begin_object().key("preset_id").value(tour.presets[i]).key("speed").value(tour.speeds[i]);
    w.key("timeout").value(tour.times[i]).end_object();
  }
  w.end_array();
}

void write_int_array(JsonWriter& w, const int32_t* values, int count) {
  w.begin_array();
  for (int i = 0; i < count; ++i) w.value(values[i]);
  w.end_array();
}

void reply_listing(const PtzListing& l) {
  JsonWriter w(32 * 1024);
  w.begin_object().key("status").value("OK").key("PRESET").begin_array();
  for (const PtzPresetEntry& p : l.presets) {
    w.begin_object().key("enable").value(p.enable).key("name").field(p.name).end_object();
  }
  w.end_array().key("TOUR").begin_array();
  for (const PtzTourArrays& t : l.tours) write_tour(w, t);
  w.end_array().key("PATTERN").begin_array();
  for (int32_t enable : l.patterns) w.begin_object().key("enable").value(enable).end_object();
  w.end_array().key("autoscan_status");
  write_int_array(w, l.autoscan_status, 5);
  w.key("tour_status").begin_array();
  for (const auto& row : l.tour_status) write_int_array(w, row, 8);
  w.end_array().end_object();
  reply_json(w);
}

}  // namespace

static void ptz_port_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_request(argument, "chnid", kPtzPortChannels - 1, &channel, REPLY_JSON)) return;
  reply_record(stored_port(channel));
}

// The port members the request carries go to every listed channel (each keeps its stored value
// of a member the request leaves out); each channel is written, told and logged once. A request
// without a "chnid" list names no channel and is refused like a member out of range.
static void ptz_port_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t count = 0;
  json_object* list = nullptr;
  PtzPort check{};
  if (!request ||
      !read_json_members(request.get(),
                         {int_member("cnt", &count).required(), array_member("chnid", &list).required()}) ||
      !read_record(request.get(), &check)) {
    return;
  }
  int32_t listed[kChannels];
  const size_t n = read_int_list(list, static_cast<size_t>(std::max(count, 0)), listed, kChannels);
  uint64_t seen = 0;
  int32_t channels[kChannels];
  size_t used = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t bit = channel_bit64(listed[i]);
    if (bit == 0 || (seen & bit) != 0) continue;
    seen |= bit;
    channels[used++] = listed[i];
  }
  {
    SettingsWrite write;
    for (size_t i = 0; i < used; ++i) {
      PtzPort port = stored_port(channels[i]);
      read_record(request.get(), &port);
      port.cam_id = channels[i];
      write.check(kPtzPorts.write(kZvdbPath, &port));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  for (size_t i = 0; i < used; ++i) {
    core_tell(kPtzPortChanged, channels[i]);
    send_ptz_log(channels[i], kPtzLogSettings);
  }
  reply_ok();
}

static void ptz_port_check_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_request(argument, "camId", kChannels - 1, &channel, kNoReply)) return;
  const std::optional<CoreReply> reply = core_ask(kPtzPortCheck, channel, REPLY_TEXT);
  if (!reply) return;
  int32_t result = 0;
  reply->first(&result);
  reply_text(result == -1 ? "-1" : "0");
}

static void ptz_speeds_read_handler(const char* argument) {
  PtzSpeed speed{};
  if (!read_request(argument, kSpeedQueryForm.schema(), &speed)) return;
  const int32_t channel = speed.cam_id;
  kPtzSpeeds.read(kZvdbPath, &speed, {channel});
  reply_record(speed);
}

static void ptz_speeds_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  PtzSpeed speed{};
  if (!request || !read_record(request.get(), kSpeedQueryForm.schema(), &speed)) return;
  const int32_t channel = speed.cam_id;
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    kPtzSpeeds.read(kZvdbPath, &speed, {channel});
    if (!read_record(request.get(), &speed)) return;
    speed.cam_id = channel;
    write.check(kPtzSpeeds.write(kZvdbPath, &speed));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
  send_ptz_log(channel, kPtzLogSettings);
}

// Key points rowsize..47 are emptied, so a shortened tour keeps no stale point.
static void ptz_tour_save_handler(const char* argument) {
  auto request = std::make_unique<TourRequest>();
  if (!read_tour_request(argument, request.get())) return;
  auto save = std::make_unique<PtzTourSave>();
  *save = PtzTourSave{request->chn, request->tourid, request->rowsize, request->tour};
  if (!store_tour(request->chn, request->tourid, request->tour)) return (void)reply_cgi_error(REPLY_TEXT);
  tell_ok_and_log(kPtzTourSaved, *save, request->chn, kPtzLogSettings);
}

static void ptz_fisheye_tour_handler(const char* argument) {
  auto request = std::make_unique<TourRequest>();
  if (!read_tour_request(argument, request.get())) return;
  auto save = std::make_unique<PtzFisheyeTourSave>();
  *save = PtzFisheyeTourSave{};
  save->chn = request->chn;
  save->stream_id = request->stream_id;
  save->tour_index = request->tourid - 1;
  save->tours[save->tour_index] = tour_arrays(request->tour);  // the points past rowsize are empty
  tell_ok_and_log(kPtzFisheyeTourSaved, *save, request->chn, kPtzLogSettings);
}

// The tour table holds the camera's own tours; a fisheye view's tours (fisheyeType not 0) are the
// core's only, as "/6056" stores none, so clearing one leaves the table alone.
static void ptz_tour_clear_handler(const char* argument) {
  PtzTourRef ref{};
  if (!read_request(argument, &ref)) return;
  if (ref.fisheye_type == 0 && !store_tour(ref.chn, ref.tourid, PtzTour{})) {
    return (void)reply_cgi_error(REPLY_TEXT);
  }
  tell_ok_and_log(kPtzTourClear, ref, ref.chn, kPtzLogSettings);
}

static void ptz_tour_start_handler(const char* argument) { tell_tour_ref(argument, kPtzTourStart); }
static void ptz_tour_stop_handler(const char* argument) { tell_tour_ref(argument, kPtzTourStop); }

// The page's actions 0..4 as the core's codes; another action is sent as code 0.
static void ptz_tour_action_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t action = 0;
  PtzTourAction message{};
  if (!request || !read_json_members(request.get(), {
                      int_member("action", &action).required(),
                      int_member("chn", &message.chn).required().range(0, kChannels - 1),
                      int_member("tourid", &message.tourid).required().range(1, kPtzTours),
                  })) {
    return;
  }
  constexpr int32_t kCodes[] = {26, 21, 25, 27, 40};
  message.code = action >= 0 && action < 5 ? kCodes[action] : 0;
  tell_ok_and_log(kPtzTourRun, message, message.chn, kPtzLogSettings);
}

static void ptz_listing_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  PtzViewQuery query{};
  int32_t fisheye = 0;
  if (!request || !read_json_members(request.get(), {
                      int_member("chn", &query.chn).required().range(0, kChannels - 1),
                      int_member("fisheyeType", &fisheye),
                      int_member("streamId", &query.stream_id),
                  })) {
    return;
  }
  const std::optional<CoreReply> reply = fisheye != 0 ? core_ask(kPtzViewListing, query, REPLY_JSON)
                                                      : core_ask(kPtzListing, query.chn, REPLY_JSON);
  if (!reply) return;
  auto listing = std::make_unique<PtzListing>();
  if (!reply->first(listing.get())) {  // empty or short: not a listing
    JsonWriter w;
    w.begin_object().key("status").value("Error").end_object();
    return reply_json(w);
  }
  reply_listing(*listing);
}

ZV_REQUESTS(kPtzSettingsRequests, "ptz",
    {"/5002", ptz_tour_start_handler},
    {"/5003", ptz_tour_stop_handler},
    {"/5004", ptz_tour_action_handler},
    {"/5005", ptz_listing_handler},
    {"/6050", ptz_port_read_handler},
    {"/6051", ptz_port_set_handler},
    {"/6052", ptz_port_check_handler},
    {"/6053", ptz_speeds_read_handler},
    {"/6054", ptz_speeds_set_handler},
    {"/6055", ptz_tour_save_handler},
    {"/6056", ptz_fisheye_tour_handler},
    {"/6057", ptz_tour_clear_handler});
