// Camera-side functions configured with whole records through the core: the heat map (and its
// collected data), auto tracking of a PTZ camera, the video watermark, and two small camera
// queries. Nothing here is stored in the recorder's database.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/request_table.h"
#include "common/messages/camera_setup.h"
#include "handlers/video/event_actions.h"
#include "handlers/video/schedule_json.h"

namespace {

constexpr int32_t kChannelLast = 63;
constexpr size_t kAreaChars = kAreaTextSize - 1;
constexpr size_t kWatermarkChars = 31;
constexpr size_t kCopyChars = 64;

// The members of a heat map or tracking write besides the channel and the plan.
// Members of `form` and the plan under `plan_key` that a set leaves out stay as the channel's
// camera has them (its record asked with `read`). False, with the error form written, when the
// camera's values cannot be had.
template <class R>
bool keep_camera_settings(json_object* request, const zvrec::Schema& form, const char* plan_key,
                          const Exchange<int32_t, R>& read, int32_t channel, R* record, Schedule R::*plan) {
  const bool has_plan = json_array_of(request, plan_key) != nullptr;  // what the plan reader takes
  return keep_camera_values(request, form, read, channel, record, REPLY_JSON, !has_plan, [&](const R& camera) {
    if (!has_plan) record->*plan = camera.*plan;
  });
}

constexpr auto kHeatMapForm = ZV_FIELDS(HeatMap, ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(sensitivity),
                                        ZV_SCHEMA_FIELD(minsize), ZV_SCHEMA_FIELD(mintime),
                                        ZV_SCHEMA_FIELD(adaptability), ZV_SCHEMA_FIELD(map_mask).chars(kAreaChars));
constexpr auto kTrackingForm = ZV_FIELDS(
    Tracking, ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(show), ZV_SCHEMA_FIELD(sensitivity), ZV_SCHEMA_FIELD(time),
    ZV_SCHEMA_FIELD(manual_tracking), ZV_SCHEMA_FIELD(zoom_mode), ZV_SCHEMA_FIELD(zoom_number),
    ZV_SCHEMA_FIELD(area).chars(kAreaChars), ZV_SCHEMA_FIELD(human_vehicle_support),
    ZV_SCHEMA_FIELD(tracking_object), ZV_SCHEMA_FIELD(report_motion));

// The core's record of the channel named by "chnid": its fields, then its weekly plan as `key`.
template <class T>
void read_with_plan(const char* argument, const Exchange<int32_t, T>& read, const char* key, Schedule T::*plan,
                    void (*write_plan)(JsonWriter&, const Schedule&)) {
  int32_t channel = 0;
  if (!channel_request(argument, "chnid", kChannelLast, &channel, REPLY_JSON)) return;
  std::optional<CoreReply> reply = core_ask(read, channel, REPLY_JSON);
  auto record = std::make_unique<T>();
  if (!reply || !reply->first(record.get())) return;
  JsonWriter w(40000);
  w.begin_object();
  write_fields(w, *record);
  write_plan(w.key(key), (*record).*plan);
  reply_json(w.end_object());
}

}  // namespace

static void camera_heat_map_read_handler(const char* argument) {
  read_with_plan(argument, kHeatMapRead, "effective", &HeatMap::effective, write_schedule_flagged);
}

static void camera_heat_map_set_handler(const char* argument) {
  int32_t channel = 0;
  JsonPtr request = channel_request(argument, "chnid", kChannelLast, &channel, REPLY_JSON);
  if (!request) return;
  auto write = std::make_unique<HeatMapWrite>();
  std::memset(write.get(), 0, sizeof *write);
  if (!read_record(request.get(), kHeatMapForm.schema(), &write->map) ||
      schedule_from_json_flagged(request.get(), "effective", &write->map.effective) == kInvalidText) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  if (!keep_camera_settings(request.get(), kHeatMapForm.schema(), "effective", kHeatMapRead, channel, &write->map,
                            &HeatMap::effective)) {
    return;
  }
  write->map.chnid = channel;
  ChannelMask64 copy = channel_list_to_mask(request.get(), "copyChn", "copyCnt");
  copy.set(channel);
  write->copy = copy;
  reply_core_res(core_ask(kHeatMapSet, *write, REPLY_JSON));
}

// The collected data is text of any length, printed byte for byte as the core sent it.
static void camera_heat_map_data_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  HeatMapQuery query{};
  if (!request || !read_record(request.get(), &query)) return (void)reply_cgi_error(REPLY_TEXT);
  std::optional<CoreReply> reply = core_ask(kHeatMapData, query, REPLY_JSON);
  if (!reply) return;
  if (reply->size() == 0) return (void)reply_cgi_error(REPLY_TEXT);
  std::fwrite(kReplyTextHeader, 1, sizeof kReplyTextHeader - 1, stdout);
  std::fwrite(reply->data(), 1, reply->size(), stdout);
  std::fflush(stdout);
}

static void auto_tracking_read_handler(const char* argument) {
  read_with_plan(argument, kTrackingRead, "schedule", &Tracking::schedule, write_schedule);
}

static void auto_tracking_set_handler(const char* argument) {
  int32_t channel = 0;
  JsonPtr request = channel_request(argument, "chnid", kChannelLast, &channel, REPLY_JSON);
  if (!request) return;
  auto write = std::make_unique<TrackingWrite>();
  std::memset(write.get(), 0, sizeof *write);
  char channels[kCopyTextSize];
  if (!read_json_members(request.get(), {text_member("channels", channels).absent_text("")}) ||
      !read_record(request.get(), kTrackingForm.schema(), &write->tracking) ||
      schedule_from_json(request.get(), "schedule", &write->tracking.schedule) == kInvalidText) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  if (!keep_camera_settings(request.get(), kTrackingForm.schema(), "schedule", kTrackingRead, channel,
                            &write->tracking, &Tracking::schedule)) {
    return;
  }
  write->tracking.chnid = channel;
  write->channels = ChannelMask64::from_u64(mask_of_text(channels, 64) | channel_bit64(channel));
  reply_core_res(core_ask(kTrackingSet, *write, REPLY_JSON));
}

// The copy text names the channels that take the same watermark; the channel's own character is
// set to '1' (a shorter text is padded with '0' up to it).
static void camera_watermark_set_handler(const char* argument) {
  int32_t channel = 0;
  JsonPtr request = channel_request(argument, "chnid", kChannelLast, &channel, REPLY_JSON);
  if (!request) return;
  WatermarkWrite write{};
  write.mark.chnid = channel;
  if (!read_json_members(request.get(), {int_member("enable", &write.mark.enable),
                                         text_member("watermark", write.mark.watermark)
                                             .max_chars(kWatermarkChars)
                                             .absent_text(""),  // not "(null)" in the picture
                                         text_member("copy", write.copy).max_chars(kCopyChars).absent_text("")})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  const size_t length = strnlen(write.copy, sizeof write.copy);
  for (size_t i = length; i < static_cast<size_t>(channel); ++i) write.copy[i] = '0';
  write.copy[channel] = '1';
  reply_core_res(core_ask(kWatermarkSet, write, REPLY_JSON));
}

static void auto_tracking_support_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_request(argument, "chnid", kChannelLast, &channel, REPLY_JSON)) return;
  reply_core_res(core_ask(kTrackingSupport, channel, REPLY_JSON));
}

ZV_REQUESTS(kCameraFeaturesRequests, "camera",
    {"/2051", camera_heat_map_read_handler},
    {"/2052", camera_heat_map_set_handler},
    {"/2053", camera_heat_map_data_handler},
    {"/2054", auto_tracking_read_handler},
    {"/2055", auto_tracking_set_handler},
    {"/2056", auto_tracking_support_handler},
    {"/2059", camera_watermark_set_handler});
