// Motion detection: the recorder's motion event of each channel (record, plans, action block),
// the camera-side grid and motion mode, and the copy of one channel's settings to others.
// Two generations of requests: older ones keyed by "camId" that set one group of fields each, and
// newer ones keyed by "chnid" that carry the whole action block.
#include <cstring>
#include <memory>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/reply.h"
#include "common/web_utils.h"
#include "handlers/video/event_actions.h"
#include "handlers/video/event_kinds.h"
#include "handlers/video/schedule_json.h"
#include "handlers/video/video_common.h"
#include "handlers/video/video_messages.h"
#include "handlers/video/video_module.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int64_t kLogSubMotion = 204;
constexpr int32_t kLogParamMotion = 909;

using PlanRead = int (*)(const char* db, Schedule* schedule, int channel);
using PlanWrite = int (*)(const char* db, const Schedule* schedule, int channel);

void notify_motion_changed(int channel) {
  const int32_t payload = channel;
  notify_core(kMsgMotionChanged, payload);
}

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
  notify_core(kMsgCameraMotionMode, mode);
  if (enable_zv == 1) notify_core(kMsgCameraMotionPlan, default_motion_plan(channel));
}

void set_tri_channels(MotionRecord& record, const char* text) {
  copy_text_field(record.tri_channels, text);
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

// A plan given as the plain channel number: printed in output form.
void print_plan(const char* argument, PlanRead read) {
  if (argument == nullptr) return;
  auto schedule = std::make_unique<Schedule>();
  read(kZvdbPath, schedule.get(), decimal_argument(argument));
  JsonPtr reply(schedule_to_json(*schedule));
  reply_json(reply.get());
}

// {"camId", "schedule"}: stores the plan of the channel and announces the change.
void store_plan(const char* argument, PlanWrite write) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  if (!read_json_members(request.get(), {int_member("camId", &channel).required().range(0, 63)})) {
    reply_cgi_error(REPLY_TEXT);
    return;
  }
  auto schedule = std::make_unique<Schedule>();
  if (schedule_from_json(request.get(), "schedule", schedule.get()) == 0) {
    write(kZvdbPath, schedule.get(), channel);
  }
  notify_motion_changed(channel);
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
  if (!request) return;
  MotionRecord record{};
  char tri_channels[kEventTextSize];
  if (!read_json_members(request.get(), {
          int_member("camId", &record.channel).required().range(0, 63),
          int_member("enable", &record.enable).required().range(0, 2),
          int_member("sensitivity", &record.sensitivity).required().min(0),
          text_member("triChannels", tri_channels).required(),
          int_member("triAlarms", &record.tri_alarms).required().min(0),
          int_member("interval", &record.interval).required().min(0),
          text_member("motionTable", record.motion_table).required(),
          int_member("enableZV", &record.enable_zv).required(),
      })) {
    return;
  }
  // Every field the request does not name is stored as zero.
  set_tri_channels(record, tri_channels);
  write_motion(kZvdbPath, &record);
  notify_motion_changed(record.channel);

  CameraMotionMap map{};
  map.channel = record.channel;
  map.sensitivity = record.sensitivity;
  copy_text_field(map.map, record.motion_table);
  notify_core(kMsgCameraGridSet, map);
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
  core_request(event_reply_callback, kMsgCameraGridRead, sizeof channel, &channel, REPLY_TEXT);
}

void motion_settings_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  int32_t sensitivity = 0;
  int32_t enable_zv = 0;
  char motion_table[kCameraGridSize];
  json_object* dialog = nullptr;
  // A missing or out-of-range channel would copy an empty record, plans and lists over every
  // target: refused without a reply.
  if (!read_json_members(request.get(), {
          int_member("chnid", &channel).required().range(0, 63),
          object_member("dialog", &dialog),
          int_member("sensitivity", &sensitivity),
          int_member("enableZV", &enable_zv),
          text_member("motionTable", motion_table),
      })) {
    return;
  }
  if (dialog != nullptr) apply_event_actions(kMotionEventKind, dialog);

  const ChannelMask64 targets = channel_list_to_mask(request.get(), "copyChn", "copyCnt");
  MotionCopyRequest copy{};
  copy_text_field(copy.motion_table, motion_table);
  copy.sensitivity = sensitivity;
  copy.channel = channel;
  copy.enable_zv = enable_zv;
  CameraMotionMode mode{};
  mode.channel = channel;
  mode.enable_zv = enable_zv == 1 ? 1 : 0;
  for (int c = 0; c < kMaxChannels; ++c) {
    if (!targets.test(c)) continue;
    copy.targets[copy.target_count++] = c;
    mode.channels[mode.count++] = c;
  }
  const DefaultMotionPlan plan = default_motion_plan(0);

  // The copies take the request's sensitivity and camera-side flag; the source channel's own
  // stored values are left as they are.
  copy_event_actions(kMotionEventKind, channel, 0, targets, [&](void* stored) {
    MotionRecord source;
    std::memcpy(&source, stored, sizeof source);
    source.sensitivity = sensitivity;
    source.enable_zv = enable_zv;
    std::memcpy(stored, &source, sizeof source);
  });
  op_log_send_multi(kOpLogMainOperation, kLogSubMotion, kLogParamMotion, targets);

  notify_core(kMsgMotionGridCopy, copy);
  notify_core(kMsgMotionCopied, targets);
  notify_core(kMsgCameraMotionMode, mode);
  if (enable_zv == 1) notify_core(kMsgCameraMotionPlanCopy, plan);
  reply_ok();
}

void motion_fields_plan_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  if (!read_json_members(request.get(), {int_member("camId", &channel).required()})) return;
  MotionRecord record{};
  {
    LockFile lock;
    if (!stored_channel(channel)) return;
    record = stored_motion(channel);
    if (!read_json_members(request.get(), {
            int_member("sensitivity", &record.sensitivity).keep_if_absent(),
            int_member("enableZV", &record.enable_zv).keep_if_absent(),
            int_member("enable", &record.enable).keep_if_absent(),
            int_member("triAlarms", &record.tri_alarms).keep_if_absent(),
            int_member("interval", &record.interval).keep_if_absent(),
        })) {
      return;
    }
    write_motion(kZvdbPath, &record);
  }
  notify_motion_changed(channel);

  auto schedule = std::make_unique<Schedule>();
  if (schedule_from_json(request.get(), "schedule", schedule.get()) == 0) {
    write_motion_schedule(kZvdbPath, schedule.get(), channel);
  }
  notify_motion_changed(channel);
  send_camera_motion_mode(channel, record.enable_zv);
  reply_ok();
}

void motion_fields_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  if (!read_json_members(request.get(), {int_member("camId", &channel).required()})) return;
  {
    LockFile lock;
    if (!stored_channel(channel)) return;
    MotionRecord record = stored_motion(channel);
    char tri_channels[kEventTextSize];
    bool has_tri_channels = false;
    if (!read_json_members(request.get(), {
            int_member("sensitivity", &record.sensitivity).keep_if_absent(),
            text_member("triChannels", tri_channels).present(&has_tri_channels),
            int_member("triAlarms", &record.tri_alarms).keep_if_absent(),
            int_member("interval", &record.interval).keep_if_absent(),
            int_member("enableZV", &record.enable_zv).keep_if_absent(),
        })) {
      return;
    }
    if (has_tri_channels) set_tri_channels(record, tri_channels);
    write_motion(kZvdbPath, &record);
  }
  notify_motion_changed(channel);
  log_motion_change(channel);
  reply_ok();
}

void motion_actions_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  if (!apply_event_actions(kMotionEventKind, request.get(), 0, ApplyOptions{.with_ptz = false})) return;
  reply_ok();
}

void motion_email_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  if (!read_json_members(request.get(), {int_member("camId", &channel).required().range(0, 63)})) {
    reply_cgi_error(REPLY_TEXT);
    return;
  }
  {
    LockFile lock;
    MotionRecord record = stored_motion(channel);
    if (!read_json_members(request.get(), {
            int_member("enable", &record.email_enable).keep_if_absent(),
            int_member("interval", &record.email_interval).keep_if_absent(),
        })) {
      return;
    }
    write_motion(kZvdbPath, &record);
  }
  auto schedule = std::make_unique<Schedule>();
  if (schedule_from_json(request.get(), "schedule", schedule.get()) == 0) {
    write_motion_email_schedule(kZvdbPath, schedule.get(), channel);
  }
  notify_motion_changed(channel);
  reply_ok();
}

void motion_trigger_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  int32_t type = 0;
  if (!read_json_members(request.get(), {int_member("camId", &channel).required().range(0, 63)})) {
    reply_cgi_error(REPLY_TEXT);
    return;
  }
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
    LockFile lock;
    MotionRecord record = stored_motion(channel);
    if (type == 1 && has_tri_channels) set_tri_channels(record, tri_channels);
    if (type == 2 && has_tri_alarms) record.tri_alarms = tri_alarms;
    write_motion(kZvdbPath, &record);
  }
  notify_motion_changed(channel);
  log_motion_change(channel);
  reply_ok();
}
