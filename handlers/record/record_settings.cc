// Holidays, recording plans and modes, and record settings: stored in the configuration database,
// then the core is told which channels changed. The module's request table is at the bottom.
#include "common/request_table.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/messages/record.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/record_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int kChannels = kRecordChannels;
constexpr size_t kTimeChars = 31;

// "/6030" prints a holiday's members in this order.
constexpr auto kHolidayReply = ZV_FIELDS(
    HolidayConfig, ZV_SCHEMA_FIELD(id), ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(name), ZV_SCHEMA_FIELD(type),
    ZV_SCHEMA_FIELD(start_year), ZV_SCHEMA_FIELD(start_mon), ZV_SCHEMA_FIELD(start_mday),
    ZV_SCHEMA_FIELD(start_mweek), ZV_SCHEMA_FIELD(start_wday), ZV_SCHEMA_FIELD(end_year),
    ZV_SCHEMA_FIELD(end_mon), ZV_SCHEMA_FIELD(end_mday), ZV_SCHEMA_FIELD(end_mweek), ZV_SCHEMA_FIELD(end_wday));

// Operation-log record of a recording change (sub type 204); channel 1-based, 0 for none.
void send_record_log(int32_t param_type, int32_t channel) { op_log_change(204, param_type, channel); }

// A channel given as the plain decimal argument: 0..63.
bool channel_argument(const char* argument, int32_t* channel) {
  return parse_decimal(argument, channel) && *channel >= 0 && *channel < kChannels;
}

// The channels of a "chnid" list with its count: min(cnt, array length) elements looked at, those
// that are not integers or not 0..63 skipped; a missing list is an empty one. Returns how many.
size_t listed_channels(json_object* request, int32_t count, int32_t (&out)[kChannels]) {
  int32_t read[kChannels];
  const size_t n = read_int_list(json_array_of(request, "chnid"), static_cast<size_t>(std::max(count, 0)), read, kChannels);
  size_t used = 0;
  for (size_t i = 0; i < n; ++i) {
    if (read[i] >= 0 && read[i] < kChannels) out[used++] = read[i];
  }
  return used;
}

// One range [start, end, actionType] of a plan request; an element of another type stays empty.
// False when a time text is not valid UTF-8.
bool read_plan_range(json_object* element, ScheduleRange* range) {
  json_object* parts[3] = {json_array_at(element, 0), json_array_at(element, 1), json_array_at(element, 2)};
  char* texts[2] = {range->start_time, range->end_time};
  for (int i = 0; i < 2; ++i) {
    if (!json_object_is_type(parts[i], json_type_string)) continue;
    const char* text = json_object_get_string(parts[i]);
    if (!valid_request_text(text, static_cast<size_t>(json_object_get_string_len(parts[i])))) return false;
    copy_text_field(texts[i], kScheduleTimeSize, text, kTimeChars);
  }
  json_value_int(parts[2], &range->action_type);
  return true;
}

// The plan of "/6041": 8 days; a day's flag and action type only when its flag is non-zero, then
// all 48 ranges. False when the plan holds an unusable text or a day number that does not fit.
bool read_record_plan(json_object* schedule, Schedule* plan) {
  *plan = Schedule{};
  for (size_t d = 0; d < kScheduleDays; ++d) {
    json_object* day = json_array_at(schedule, d);
    if (!json_object_is_type(day, json_type_object)) continue;
    ScheduleDay& out = plan->days[d];
    int32_t enable = 0;
    int32_t action = 0;
    if (!read_json_members(day, {int_member("wholedayEnable", &enable), int_member("wholedayActionType", &action)})) {
      return false;
    }
    if (enable != 0) {
      out.day_flag = enable;
      out.day_word = action;
    }
    json_object* ranges = json_array_of(day, "plans");
    for (size_t r = 0; r < kScheduleRangesPerDay && r < json_array_size(ranges); ++r) {
      if (!read_plan_range(json_array_at(ranges, r), &out.ranges[r])) return false;
    }
  }
  return true;
}

void holidays_read_handler(const char* /*argument*/) {
  auto holidays = std::make_unique<HolidayConfig[]>(kHolidays);
  int count = kHolidays;
  if (kHolidayConfigs.read_all(kZvdbPath, holidays.get(), &count) != 0) count = 0;
  JsonWriter w(16 * 1024);
  w.begin_object().key("holidays").begin_array();
  for (int i = 0; i < count; ++i) write_object(w, kHolidayReply.schema(), &holidays[i]);
  w.end_array().end_object();
  reply_json(w);
}

// The members the request carries over the stored holiday (id, enable and type required).
void holiday_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  HolidayConfig holiday{};
  if (!request || !read_record(request.get(), &holiday)) return;
  {
    SettingsWrite write;
    kHolidayConfigs.read(kZvdbPath, &holiday, {holiday.id});
    read_record(request.get(), &holiday);
    write.check(kHolidayConfigs.write(kZvdbPath, &holiday));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kHolidaysChanged);
  send_record_log(920, holiday.id + 1);
  reply_ok();
}

void record_plan_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_argument(argument, &channel)) return;
  RecordConfig row{};
  row.id = channel;
  kRecordConfigs.read(kZvdbPath, &row, {channel});
  auto plan = std::make_unique<RecordSchedule>();
  kRecordSchedules.read(kZvdbPath, plan.get(), {channel});
  JsonWriter w(32 * 1024);
  w.begin_object().key("id").value(row.id).key("schedule").begin_array();
  for (const ScheduleDay& day : plan->plan.days) {
    w.begin_object().key("wholedayEnable").value(day.day_flag).key("wholedayActionType").value(day.day_word);
    w.key("plans").begin_array();
    for (const ScheduleRange& range : day.ranges) write_object(w, range);
    w.end_array().end_object();
  }
  w.end_array().end_object();
  reply_json(w);
}

// One plan for every listed channel ("chnid" required); the listed channels whose mode differs
// from "recordplanmode" take it. Without "schedule" no plan is written, without "recordplanmode" no
// mode changes.
void record_plan_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t count = 0;
  int32_t mode = 0;
  bool mode_given = false;
  json_object* chnid = nullptr;
  json_object* schedule = nullptr;
  if (!request || !read_json_members(request.get(), {
                      int_member("cnt", &count).required(),
                      array_member("chnid", &chnid).required(),
                      int_member("recordplanmode", &mode).range(0, kRecordModeMax).present(&mode_given),
                      array_member("schedule", &schedule),
                  })) {
    return;
  }
  auto plan = std::make_unique<RecordSchedule>();
  if (schedule != nullptr && !read_record_plan(schedule, &plan->plan)) return;
  int32_t channels[kChannels];
  const size_t n = listed_channels(request.get(), count, channels);
  ChannelMask64 planned{};
  ChannelMask64 moded{};
  auto rows = std::make_unique<RecordConfig[]>(kChannels);
  {
    SettingsWrite write;
    read_record_rows(kZvdbPath, rows.get());
    for (size_t i = 0; i < n; ++i) {
      if (schedule != nullptr) planned.set(channels[i]);
      if (mode_given && rows[channels[i]].mode != mode) moded.set(channels[i]);
    }
    if (!planned.empty()) write.check(copy_record_schedules(kZvdbPath, plan.get(), planned.low, planned.high));
    if (!moded.empty()) {
      write.check(copy_table_column_int(kZvdbPath, "record", "mode", mode, moded.low, moded.high, "id"));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kRecordModesChanged, moded);
  core_tell(kRecordPlansChanged, planned);
  send_record_log(907, n > 0 ? channels[n - 1] + 1 : 0);
  reply_ok();
}

void record_modes_read_handler(const char* /*argument*/) {
  auto rows = std::make_unique<RecordConfig[]>(kChannels);
  int count = kChannels;
  if (kRecordConfigs.read_all(kZvdbPath, rows.get(), &count) != 0) count = 0;
  count = std::min(count, std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, kChannels));
  JsonWriter w(4096);
  w.begin_object().key("records").begin_array();
  for (int i = 0; i < count; ++i) {
    w.begin_object().key("id").value(rows[i].id).key("mode").value(rows[i].mode).end_object();
  }
  w.end_array().end_object();
  reply_json(w);
}

// Entry k sets the mode of channel k (entries are placed by position; their "id" is only checked).
// Any bad entry among the first 64: "ERROR" and nothing written.
void record_modes_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  json_object* records = nullptr;
  if (!request || !read_json_members(request.get(), {array_member("records", &records).required()})) return;
  const size_t n = std::min<size_t>(json_array_size(records), kChannels);
  int32_t modes[kChannels];
  for (size_t k = 0; k < n; ++k) {
    int32_t id = 0;
    if (!read_json_members(json_array_at(records, k), {int_member("id", &id).required().range(0, kChannels - 1),
                                                       int_member("mode", &modes[k]).required().range(0, kRecordModeMax)})) {
      return reply_text("ERROR");
    }
  }
  {
    SettingsWrite write;
    auto rows = std::make_unique<RecordConfig[]>(kChannels);
    read_record_rows(kZvdbPath, rows.get());
    for (size_t k = 0; k < n; ++k) {
      rows[k].id = static_cast<int32_t>(k);
      rows[k].mode = modes[k];
      write.check(kRecordConfigs.write(kZvdbPath, &rows[k]));
    }
    if (!write.commit()) return reply_text("ERROR");
  }
  send_record_log(905, 0);
  reply_ok();
  for (size_t k = 0; k < n; ++k) core_tell(kRecordModeChanged, static_cast<int32_t>(k));
}

void record_settings_read_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_argument(argument, &channel)) return;
  RecordConfig row{};
  row.id = channel;
  kRecordConfigs.read(kZvdbPath, &row, {channel});
  CameraRecord camera{};
  read_camera(kZvdbPath, &camera, channel);
  JsonWriter w(1024);
  w.begin_object().key("id").value(row.id);
  w.key("prevRecordOn").value(row.prev_record_on).key("prevRecordDuration").value(row.prev_record_duration);
  w.key("postRecordOn").value(row.post_record_on).key("postRecordDuration").value(row.post_record_duration);
  w.key("audioEnable").value(row.audio_enable).key("recordStreamType").value(camera.record_stream);
  w.key("recordExpDate").value(row.record_exp_date).key("cameraAnr").value(camera.anr);
  w.key("camEnable").value(camera.enable).key("camProtocol").value(camera.cam_protocol);
  w.key("poeChannel").value(camera.poe_channel).end_object();
  reply_json(w);
}

// The record members the request carries go to every listed channel ("chnid" required);
// "camAnr" to the cameras that can take it (turning it off always; on only for an enabled camera
// that is not on a PoE channel and not on protocol 1), "recordStreamType" to every listed camera
// that differs.
void record_settings_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t count = 0;
  int32_t anr = 0;
  int32_t stream = 0;
  bool stream_given = false;
  json_object* chnid = nullptr;
  RecordConfig check{};
  if (!request ||
      !read_json_members(request.get(), {
          int_member("cnt", &count).required(),
          array_member("chnid", &chnid).required(),
          int_member("camAnr", &anr).required(),
          int_member("recordStreamType", &stream).range(0, 2).present(&stream_given),
      }) ||
      !read_record(request.get(), &check)) {
    return;
  }
  auto listed = std::make_unique<RecordChannelList>();
  const size_t n = listed_channels(request.get(), count, listed->channels);
  listed->count = static_cast<int32_t>(n);
  auto anr_change = std::make_unique<AnrChange>();
  anr_change->value = anr;
  ChannelMask64 written{};
  ChannelMask64 anr_mask{};
  ChannelMask64 stream_mask{};
  {
    SettingsWrite write;
    auto rows = std::make_unique<RecordConfig[]>(kChannels);
    read_record_rows(kZvdbPath, rows.get());
    auto cameras = std::make_unique<CameraRecord[]>(kChannels);
    for (int c = 0; c < kChannels; ++c) read_camera(kZvdbPath, &cameras[c], c);
    for (size_t i = 0; i < n; ++i) {
      const int32_t c = listed->channels[i];
      RecordConfig& row = rows[c];
      if (!written.test(c)) read_record(request.get(), &row);
      written.set(c);
      const CameraRecord& camera = cameras[c];
      if (stream_given && camera.record_stream != stream) stream_mask.set(c);
      const bool can_take = anr == 0 || (camera.enable != 0 && camera.poe_channel == 0 &&
                                         camera.cam_protocol != kCameraProtocolRtsp);
      if (camera.anr != anr && can_take && !anr_mask.test(c)) {
        anr_mask.set(c);
        anr_change->channels[anr_change->count++] = c;
      }
    }
    if (!written.empty()) write.check(kRecordConfigs.write_masked(kZvdbPath, rows.get(), kChannels, written.bits()));
    if (!anr_mask.empty()) {
      write.check(copy_table_column_int(kZvdbPath, "camera", "anr", anr, anr_mask.low, anr_mask.high, "id"));
    }
    if (!stream_mask.empty()) {
      write.check(copy_table_column_int(kZvdbPath, "camera", "record_stream", stream, stream_mask.low,
                                        stream_mask.high, "id"));
    }
    // Nothing stored: the page's own failure answer, and the core is told nothing.
    if (!write.commit()) return reply_int_member("resp", -1);
  }
  core_tell(kRecordSettingsChanged, *listed);
  send_record_log(906, 0);
  const std::optional<CoreReply> reply = core_ask(kAnrChange, *anr_change, REPLY_JSON);
  if (!reply) return;
  auto result = std::make_unique<AnrResult>();
  reply->first(result.get());
  const int32_t results = std::clamp<int32_t>(result->count, 0, kChannels);
  bool refused = false;
  for (int32_t i = 0; i < results; ++i) refused = refused || result->b[i] != 0;
  reply_int_member("resp", result->flag != 0 && result->count > 1 && refused ? -1 : 0);
}

void record_support_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_argument(argument, &channel)) return;
  reply_core_record<RecordSupport>(core_ask(kRecordSupport, channel, REPLY_JSON));
}

void record_streams_handler(const char* /*argument*/) {
  const std::optional<CoreReply> reply = core_ask(kRecordStreams, REPLY_JSON);
  auto lists = std::make_unique<RecordStreamLists>();
  if (!reply || !reply->first(lists.get())) return;
  const int32_t size = std::clamp<int32_t>(lists->size, 0, 64);
  JsonWriter w(2048);
  w.begin_object().key("primary").begin_array();
  for (int32_t i = 0; i < size; ++i) w.value(lists->primary[i]);
  w.end_array().key("secondary").begin_array();
  for (int32_t i = 0; i < size; ++i) w.value(lists->secondary[i]);
  w.end_array().key("size").value(size).end_object();
  reply_json(w);
}

}  // namespace

ZV_REQUESTS(kRecordSettingsRequests, "record",
    {"/6030", holidays_read_handler},
    {"/6031", holiday_set_handler},
    {"/6040", record_plan_read_handler},
    {"/6041", record_plan_set_handler},
    {"/6042", record_modes_read_handler},
    {"/6043", record_modes_set_handler},
    {"/6044", record_settings_read_handler},
    {"/6045", record_settings_set_handler},
    {"/6046", record_support_handler},
    {"/6047", record_streams_handler});
