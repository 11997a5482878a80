// Motion detection: the recorder's motion event of each channel (record, plans, action block),
// the camera-side grid and motion mode, and the copy of one channel's settings to others.
// Two generations of requests: older ones keyed by "camId" that set one group of fields each, and
// newer ones keyed by "chnid" that carry the whole action block. Every set stores all it writes
// in one transaction, committed before the first message to the core.
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "handlers/video/event_actions.h"
#include "handlers/video/event_kinds.h"
#include "handlers/video/schedule_json.h"
#include "common/messages/video.h"
#include "common/bound_handler.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr int64_t kLogSubMotion = 204;
constexpr int32_t kLogParamMotion = 909;

// The members the older partial sets read over the stored record: absent ones keep it, given ones
// are checked as the whole-record set checks them.
constexpr auto kFieldsPlanForm =
    ZV_FIELDS(MotionRecord, ZV_FIELD(sensitivity, "sensitivity").keep_if_absent().at_least(0),
              ZV_FIELD(enable_zv, "enableZV").keep_if_absent(), ZV_FIELD(enable, "enable").keep_if_absent().range(0, 2),
              ZV_FIELD(tri_alarms, "triAlarms").keep_if_absent().at_least(0),
              ZV_FIELD(interval, "interval").keep_if_absent().at_least(0));
constexpr auto kFieldsForm =
    ZV_FIELDS(MotionRecord, ZV_FIELD(sensitivity, "sensitivity").keep_if_absent().at_least(0),
              ZV_FIELD(tri_channels, "triChannels").keep_if_absent(),
              ZV_FIELD(tri_alarms, "triAlarms").keep_if_absent().at_least(0),
              ZV_FIELD(interval, "interval").keep_if_absent().at_least(0),
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
void log_motion_change(int channel) { op_log_change(kLogSubMotion, kLogParamMotion, channel + 1); }

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
  kMotions.read(kZvdbPath, &record, {channel});
  record.channel = channel;
  return record;
}

// Position `channel` among the stored records: below the number of records read.
bool stored_channel(int channel) {
  auto records = std::make_unique<MotionRecord[]>(kMaxChannels);
  int count = kMaxChannels;
  if (kMotions.read_all(kZvdbPath, records.get(), &count) != 0) count = 0;
  return channel >= 0 && channel < count;
}

// A text "triChannels" rebuilds the channel mask.
bool take_tri_channels_mask(json_object* request, MotionRecord& record) {
  if (json_object_is_type(json_object_object_get(request, "triChannels"), json_type_string)) {
    set_tri_channels_mask(record);
  }
  return true;
}

// {"type": 1, "triChannels"} sets the channels and their mask, {"type": 2, "triAlarms"} the alarms.
bool take_trigger(json_object* request, MotionRecord& record) {
  int32_t type = 0;
  char tri_channels[kEventTextSize];
  bool has_tri_channels = false;
  int32_t tri_alarms = 0;
  bool has_tri_alarms = false;
  if (!read_json_members(request, {int_member("type", &type),
                                   text_member("triChannels", tri_channels).present(&has_tri_channels),
                                   int_member("triAlarms", &tri_alarms).present(&has_tri_alarms)})) {
    return false;
  }
  if (type == 1 && has_tri_channels) {
    copy_text_field(record.tri_channels, tri_channels);
    set_tri_channels_mask(record);
  }
  if (type == 2 && has_tri_alarms) record.tri_alarms = tri_alarms;
  return true;
}

// The older "camId" sets are rows of one generic (motion_set), told apart by their row.
enum MotionSetRow : int {
  kMotionPlanSet, kMotionFieldsPlanSet, kMotionFieldsSet, kMotionEmailSet, kMotionTriggerSet,
  kMotionEffectivePlanSet, kMotionPtzPlanSet,
};

// An older "camId" set as data: what it reads, stores and tells. Refusals write no reply, except
// a channel outside 0..63 (the text error) where `listed` is false.
struct MotionSet {
  MotionSetRow row;
  zvrec::Schema form{};                          // read over the stored record (none: not read)
  bool (*take)(json_object* request, MotionRecord& record) = nullptr;  // after the form; false refuses
  const zvdb::Table<Schedule>* plan = nullptr;   // stores "schedule" when the request has one
  bool listed = false;       // "camId" any position among the stored records (not 0..63)
  int notices = 1;           // kMotionChanged(channel) this many times
  bool camera_mode = false;  // the camera-side mode (and all-day plan) follows
  bool log = false;          // the motion operation-log entry follows
};

constexpr MotionSet kMotionSets[] = {
    {.row = kMotionPlanSet, .plan = &kMotionPlans},
    {.row = kMotionFieldsPlanSet, .form = kFieldsPlanForm.schema(), .plan = &kMotionPlans, .listed = true,
     .notices = 2, .camera_mode = true},
    {.row = kMotionFieldsSet, .form = kFieldsForm.schema(), .take = take_tri_channels_mask, .listed = true,
     .log = true},
    {.row = kMotionEmailSet, .form = kEmailForm.schema(), .plan = &kMotionEmailPlans},
    {.row = kMotionTriggerSet, .take = take_trigger, .log = true},
    {.row = kMotionEffectivePlanSet, .plan = &kMotionEffectivePlans},
    {.row = kMotionPtzPlanSet, .plan = &kMotionPtzPlans},
};
static_assert([] {
  for (size_t i = 0; i < std::size(kMotionSets); ++i) {
    if (kMotionSets[i].row != static_cast<MotionSetRow>(i)) return false;
  }
  return true;
}());

}  // namespace

static void motion_set(const char* argument, MotionSetRow row) {
  const MotionSet* set = &kMotionSets[row];
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request) return;
  if (set->listed ? !read_json_members(request.get(), {int_member("camId", &channel).required()})
                 : !read_json_members(request.get(), {int_member("camId", &channel).required().range(0, 63)})) {
    if (!set->listed) reply_cgi_error(REPLY_TEXT);
    return;
  }
  auto schedule = std::make_unique<Schedule>();
  const int planned = set->plan != nullptr ? schedule_from_json(request.get(), "schedule", schedule.get()) : -1;
  if (planned == kInvalidText) return;
  MotionRecord record{};
  {
    SettingsWrite write;
    if (set->listed && !stored_channel(channel)) return;
    if (!set->form.fields.empty() || set->take != nullptr) {
      record = stored_motion(channel);
      if (!set->form.fields.empty() && !read_record(request.get(), set->form, &record)) return;
      if (set->take != nullptr && !set->take(request.get(), record)) return;
      write.check(kMotions.write(kZvdbPath, &record));
    }
    if (planned == 0) write.check(set->plan->write_at(kZvdbPath, schedule.get(), {channel}));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  for (int i = 0; i < set->notices; ++i) core_tell(kMotionChanged, channel);
  if (set->camera_mode) send_camera_motion_mode(channel, record.enable_zv);
  if (set->log) log_motion_change(channel);
  reply_ok();
}

static void motion_full_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  MotionRecord record{};
  if (!request || !read_record(request.get(), &record)) return;
  {
    // The form names every field the older page shows; the action fields it cannot carry (e-mail,
    // PTZ, alarm output, white light, audio) keep their stored values.
    SettingsWrite write;
    record = stored_motion(record.channel);
    read_record(request.get(), &record);  // checked above
    set_tri_channels_mask(record);
    write.check(kMotions.write(kZvdbPath, &record));
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

static void camera_grid_read_handler(const char* argument) {
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

static void motion_settings_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  // A missing or out-of-range channel would copy an empty record, plans and lists over every
  // target: refused without a reply.
  MotionCopyRequest copy{};
  if (!request || !read_record(request.get(), &copy)) return;
  // Which of the values the copies take the request carries: an absent one keeps the source's own.
  bool has_sensitivity = false;
  bool has_enable_zv = false;
  bool has_table = false;
  int32_t given = 0;
  char table[2];
  read_json_members(request.get(), {int_member("sensitivity", &given).present(&has_sensitivity)});
  read_json_members(request.get(), {int_member("enableZV", &given).present(&has_enable_zv)});
  read_json_members(request.get(), {text_member("motionTable", table).present(&has_table)});
  json_object* dialog = json_object_object_get(request.get(), "dialog");
  if (dialog != nullptr && !json_object_is_type(dialog, json_type_object)) dialog = nullptr;

  // The source is never its own copy target: its stored values stay as they are.
  ChannelMask64 targets = channel_list_to_mask(request.get(), "copyChn", "copyCnt");
  targets = ChannelMask64::from_u64(targets.bits() & ~channel_bit64(copy.channel));
  CameraMotionMode mode{};
  mode.channel = copy.channel;
  for (int c = 0; c < kMaxChannels; ++c) {
    if (!targets.test(c)) continue;
    copy.targets[copy.target_count++] = c;
    mode.channels[mode.count++] = c;
  }

  // The action block and the copies are one transaction. The copies take the request's
  // sensitivity and camera-side flag (the source's when the request leaves one out); the source
  // channel's own stored values stay.
  int block_channel = -1;
  {
    SettingsWrite write;
    if (dialog != nullptr) block_channel = store_event_actions(kMotionEventKind, dialog, write);
    if (block_channel == kInvalidText) return;  // refused without a reply, like a bad channel
    // The source's stored record (read even without targets): the copies take the request's
    // values over it, and the cameras are told the source's own for what the request leaves out
    // (sent as 0 and "(null)" they would switch the cameras' own detection off and clear grids).
    copy_event_actions(kMotionEventKind, copy.channel, 0, targets, write, [&](void* stored) {
      MotionRecord source;
      std::memcpy(&source, stored, sizeof source);
      if (has_sensitivity) source.sensitivity = copy.sensitivity;
      else copy.sensitivity = source.sensitivity;
      if (has_enable_zv) source.enable_zv = copy.enable_zv;
      else copy.enable_zv = source.enable_zv;
      if (!has_table) copy_text_field(copy.motion_table, source.motion_table);
      std::memcpy(stored, &source, sizeof source);
    });
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  mode.enable_zv = copy.enable_zv == 1 ? 1 : 0;
  if (block_channel >= 0) notify_event_actions(kMotionEventKind, block_channel);
  op_log_change_multi(kLogSubMotion, kLogParamMotion, 0, targets);
  core_tell(kMotionGridCopy, copy);
  core_tell(kMotionCopied, targets);
  core_tell(kCameraMotionMode, mode);
  if (copy.enable_zv == 1) core_tell(kCameraMotionPlanCopy, default_motion_plan(0));
  reply_ok();
}

static void motion_actions_set_handler(const char* argument) {
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

ZV_REQUESTS(kMotionRequests, "video",
    {"/6013", bound_handler<motion_set, kMotionPlanSet>},
    {"/6113", bound_handler<motion_set, kMotionFieldsPlanSet>},
    {"/6114", bound_handler<motion_set, kMotionFieldsSet>},
    {"/6118", bound_handler<motion_set, kMotionEmailSet>},
    {"/6119", bound_handler<motion_set, kMotionTriggerSet>},
    {"/6152", bound_handler<motion_set, kMotionEffectivePlanSet>},
    {"/6159", bound_handler<motion_set, kMotionPtzPlanSet>},
    {"/6012", motion_full_set_handler},
    {"/6098", camera_grid_read_handler},
    {"/6112", motion_settings_set_handler},
    {"/6117", motion_actions_set_handler});
