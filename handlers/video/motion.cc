// Motion detection: the recorder's motion event of each channel (record, plans, action block),
// the camera-side grid and motion mode, and the copy of one channel's settings to others.
// Two generations of requests: older ones keyed by "camId" that set one group of fields each, and
// newer ones keyed by "chnid" that carry the whole action block. Every set stores all it writes
// in one transaction, committed before the first message to the core.
#include <cstring>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "handlers/video/event_kinds.h"
#include "handlers/video/schedule_json.h"
#include "handlers/video/video_messages.h"
#include "handlers/video/video_module.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int64_t kLogSubMotion = 204;
constexpr int32_t kLogParamMotion = 909;

using PlanRead = int (*)(const char* db, Schedule* schedule, int channel);
using PlanWrite = int (*)(const char* db, const Schedule* schedule, int channel);

// The partial sets of the older requests: members absent keep the stored values.
constexpr auto kFieldsPlanForm =
    ZV_FIELDS(MotionRecord, ZV_FIELD(sensitivity, "sensitivity").keep_if_absent(),
              ZV_FIELD(enable_zv, "enableZV").keep_if_absent(), ZV_FIELD(enable, "enable").keep_if_absent(),
              ZV_FIELD(tri_alarms, "triAlarms").keep_if_absent(), ZV_FIELD(interval, "interval").keep_if_absent());
constexpr auto kFieldsForm =
    ZV_FIELDS(MotionRecord, ZV_FIELD(sensitivity, "sensitivity").keep_if_absent(),
              ZV_FIELD(tri_channels, "triChannels").keep_if_absent(),
              ZV_FIELD(tri_alarms, "triAlarms").keep_if_absent(), ZV_FIELD(interval, "interval").keep_if_absent(),
              ZV_FIELD(enable_zv, "enableZV").keep_if_absent());
constexpr auto kEmailForm = ZV_FIELDS(MotionRecord, ZV_FIELD(email_enable, "enable").keep_if_absent(),
                                      ZV_FIELD(email_interval, "interval").keep_if_absent());
// The camera grid reply's member order.
constexpr auto kGridReply =
    ZV_FIELDS(CameraMotionMap, ZV_FIELD(map, "map"), ZV_FIELD(sensitivity, "sensitivity"),
              ZV_FIELD(result, "result"), ZV_FIELD(enable, "enable"), ZV_FIELD(model_type, "modelType"),
              ZV_FIELD(fishdisplay, "fishdisplay"), ZV_FIELD(fishtransfer, "fishtransfer"),
              ZV_FIELD(fishinstall, "fishinstall"));

// The motion operation-log entry: 204/909 with the 1-based channel.
void log_motion_change(int channel) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = kLogSubMotion;
  record.param_type = kLogParamMotion;
  record.channel = channel + 1;
  op_log_send(record);
}

// The all-day plan for a camera that runs its own motion detection: days 0..6 enabled, the first
// four ranges 0:00-24:00.
DefaultMotionPlan default_motion_plan(int channel) {
  DefaultMotionPlan plan{};
  plan.channel = channel;
  for (int d = 0; d < 7; ++d) {
    plan.days[d].day = d;
    plan.days[d].enable = 1;
    for (int r = 0; r < 4; ++r) plan.days[d].ranges[r] = MotionPlanRange{0, 0, 24, 0};
  }
  return plan;
}

// The camera-side motion mode of the older requests: no channel list; with the camera's own
// detection on, the all-day plan follows.
void send_camera_motion_mode(int channel, int32_t enable_zv) {
  CameraMotionMode mode{};
  mode.channel = channel;
  mode.enable_zv = enable_zv == 1 ? 1 : 0;
  core_tell(kCameraMotionMode, mode);
  if (enable_zv == 1) core_tell(kCameraMotionPlan, default_motion_plan(channel));
}

void set_tri_channels_mask(MotionRecord& record) {
  record.tri_channels_mask = tri_channels_mask_of(record.tri_channels, sizeof record.tri_channels);
}

// The stored record of a channel, or a cleared one carrying the channel when none is stored.
MotionRecord stored_motion(int channel) {
  MotionRecord record{};
  read_motion(kZvdbPath, &record, channel);
  record.channel = channel;
  return record;
}

// The older partial sets address a channel by its position among the stored records: it must be
// below the number of records read.
bool stored_channel(int channel) {
  auto records = std::make_unique<MotionRecord[]>(kMaxChannels);
  int count = kMaxChannels;
  if (read_motions(kZvdbPath, records.get(), &count) != 0) count = 0;
  return channel >= 0 && channel < count;
}

// {"camId"} in 0..63 of a request; false (the text error written) when absent or outside.
bool camera_channel(json_object* request, int32_t* channel) {
  if (read_json_members(request, {int_member("camId", channel).required().range(0, 63)})) return true;
  reply_cgi_error(REPLY_TEXT);
  return false;
}

// Writes the request's "schedule" plan, when it has one, with `write`.
void store_schedule(json_object* request, PlanWrite plan_write, int channel, SettingsWrite& write) {
  auto schedule = std::make_unique<Schedule>();
  if (schedule_from_json(request, "schedule", schedule.get()) == 0) {
    write.check(plan_write(kZvdbPath, schedule.get(), channel));
  }
}

// A plan given as the plain channel number: printed in output form.
void print_plan(const char* argument, PlanRead read) {
  if (argument == nullptr) return;
  auto schedule = std::make_unique<Schedule>();
  read(kZvdbPath, schedule.get(), decimal_argument(argument));
  JsonPtr reply(schedule_to_json(*schedule));
  reply_json(reply.get());
}

// {"camId", "schedule"}: stores the plan of the channel and announces the change.
void store_plan(const char* argument, PlanWrite plan_write) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request || !camera_channel(request.get(), &channel)) return;
  {
    SettingsWrite write;
    store_schedule(request.get(), plan_write, channel, write);
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kMotionChanged, channel);
  reply_ok();
}

}  // namespace

void motion_settings_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request ||
      !read_json_members(request.get(), {int_member("chnid", &channel).required().range(0, 63)})) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  JsonPtr reply(event_actions_to_json(kMotionEventKind, channel));
  reply_json(reply.get());
}

void motion_audible_plan_read_handler(const char* argument) {
  print_plan(argument, read_motion_audible_schedule);
}
void motion_email_plan_read_handler(const char* argument) {
  print_plan(argument, read_motion_email_schedule);
}
void motion_effective_plan_read_handler(const char* argument) {
  print_plan(argument, read_motion_effective_schedule);
}
void motion_ptz_plan_read_handler(const char* argument) {
  print_plan(argument, read_motion_ptz_schedule);
}

void motion_plan_set_handler(const char* argument) { store_plan(argument, write_motion_schedule); }
void motion_effective_plan_set_handler(const char* argument) {
  store_plan(argument, write_motion_effective_schedule);
}
void motion_ptz_plan_set_handler(const char* argument) {
  store_plan(argument, write_motion_ptz_schedule);
}

void motion_full_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  MotionRecord record{};  // every field the request does not name is stored as zero
  if (!request || !read_record(request.get(), &record)) return;
  set_tri_channels_mask(record);
  {
    SettingsWrite write;
    write.check(write_motion(kZvdbPath, &record));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kMotionChanged, record.channel);
  CameraMotionMap map{};
  map.channel = record.channel;
  map.sensitivity = record.sensitivity;
  copy_text_field(map.map, record.motion_table);
  core_tell(kCameraGridSet, map);
  send_camera_motion_mode(record.channel, record.enable_zv);
  log_motion_change(record.channel);
  reply_ok();
}

void camera_grid_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request || !read_json_members(request.get(), {int_member("id", &channel).required().min(0)})) {
    return;
  }
  std::optional<CoreReply> reply = core_ask(kCameraGridRead, channel, REPLY_TEXT);
  CameraMotionMap map;
  if (!reply || !reply->first(&map)) return;
  JsonWriter w(512);
  write_object(w, kGridReply.schema(), &map);
  reply_json(w);
}

void motion_settings_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  // A missing or out-of-range channel would copy an empty record, plans and lists over every
  // target: refused without a reply.
  MotionCopyRequest copy{};
  if (!request || !read_record(request.get(), &copy)) return;
  json_object* dialog = json_object_object_get(request.get(), "dialog");
  if (dialog != nullptr && !json_object_is_type(dialog, json_type_object)) dialog = nullptr;

  const ChannelMask64 targets = channel_list_to_mask(request.get(), "copyChn", "copyCnt");
  CameraMotionMode mode{};
  mode.channel = copy.channel;
  mode.enable_zv = copy.enable_zv == 1 ? 1 : 0;
  for (int c = 0; c < kMaxChannels; ++c) {
    if (!targets.test(c)) continue;
    copy.targets[copy.target_count++] = c;
    mode.channels[mode.count++] = c;
  }

  // The action block and the copies are one transaction. The copies take the request's
  // sensitivity and camera-side flag; the source channel's own stored values stay.
  int block_channel = -1;
  {
    SettingsWrite write;
    if (dialog != nullptr) block_channel = store_event_actions(kMotionEventKind, dialog, write);
    copy_event_actions(kMotionEventKind, copy.channel, 0, targets, write, [&copy](void* stored) {
      MotionRecord source;
      std::memcpy(&source, stored, sizeof source);
      source.sensitivity = copy.sensitivity;
      source.enable_zv = copy.enable_zv;
      std::memcpy(stored, &source, sizeof source);
    });
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  if (block_channel >= 0) notify_event_actions(kMotionEventKind, block_channel);
  op_log_send_multi(kOpLogMainOperation, kLogSubMotion, kLogParamMotion, targets);
  core_tell(kMotionGridCopy, copy);
  core_tell(kMotionCopied, targets);
  core_tell(kCameraMotionMode, mode);
  if (copy.enable_zv == 1) core_tell(kCameraMotionPlanCopy, default_motion_plan(0));
  reply_ok();
}

void motion_fields_plan_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request || !read_json_members(request.get(), {int_member("camId", &channel).required()})) return;
  MotionRecord record{};
  {
    SettingsWrite write;
    if (!stored_channel(channel)) return;
    record = stored_motion(channel);
    if (!read_record(request.get(), kFieldsPlanForm.schema(), &record)) return;
    write.check(write_motion(kZvdbPath, &record));
    store_schedule(request.get(), write_motion_schedule, channel, write);
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kMotionChanged, channel);  // the record
  core_tell(kMotionChanged, channel);  // the plan
  send_camera_motion_mode(channel, record.enable_zv);
  reply_ok();
}

void motion_fields_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request || !read_json_members(request.get(), {int_member("camId", &channel).required()})) return;
  {
    SettingsWrite write;
    if (!stored_channel(channel)) return;
    MotionRecord record = stored_motion(channel);
    if (!read_record(request.get(), kFieldsForm.schema(), &record)) return;
    if (json_object_is_type(json_object_object_get(request.get(), "triChannels"), json_type_string)) {
      set_tri_channels_mask(record);
    }
    write.check(write_motion(kZvdbPath, &record));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kMotionChanged, channel);
  log_motion_change(channel);
  reply_ok();
}

void motion_actions_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int channel = -1;
  {
    SettingsWrite write;
    channel = store_event_actions(kMotionEventKind, request.get(), write, 0, ApplyOptions{.with_ptz = false});
    if (channel < 0) return;
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  notify_event_actions(kMotionEventKind, channel);
  reply_ok();
}

void motion_email_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request || !camera_channel(request.get(), &channel)) return;
  {
    SettingsWrite write;
    MotionRecord record = stored_motion(channel);
    if (!read_record(request.get(), kEmailForm.schema(), &record)) return;
    write.check(write_motion(kZvdbPath, &record));
    store_schedule(request.get(), write_motion_email_schedule, channel, write);
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kMotionChanged, channel);
  reply_ok();
}

void motion_trigger_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request || !camera_channel(request.get(), &channel)) return;
  int32_t type = 0;
  char tri_channels[kEventTextSize];
  bool has_tri_channels = false;
  int32_t tri_alarms = 0;
  bool has_tri_alarms = false;
  if (!read_json_members(request.get(), {
          int_member("type", &type),
          text_member("triChannels", tri_channels).present(&has_tri_channels),
          int_member("triAlarms", &tri_alarms).present(&has_tri_alarms),
      })) {
    return;
  }
  {
    SettingsWrite write;
    MotionRecord record = stored_motion(channel);
    if (type == 1 && has_tri_channels) {
      copy_text_field(record.tri_channels, tri_channels);
      set_tri_channels_mask(record);
    }
    if (type == 2 && has_tri_alarms) record.tri_alarms = tri_alarms;
    write.check(write_motion(kZvdbPath, &record));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kMotionChanged, channel);
  log_motion_change(channel);
  reply_ok();
}
