#include "handlers/video/alarm_event_kinds.h"

#include <cstddef>
#include <cstring>

#include <memory>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int64_t kLogSubEvent = 204;

// A member of the block that is a number (the way the apply takes it).
bool has_number(json_object* block, const char* key) {
  int32_t ignored = 0;
  return json_value_int(json_object_object_get(block, key), &ignored);
}

void set_int(unsigned char* record, size_t offset, int32_t value) { std::memcpy(record + offset, &value, sizeof value); }

// ---- Recorder alarm inputs ----

const char* const kAlarmInLedPlanTables[] = {"alarmin_whiteled_esche"};
const char* const kAlarmInLedActionTables[] = {"alarm_in_white_led_params"};

constexpr auto kAlarmInActionKeys = join_arrays<const char*>(kActionKeys, {"triSnapshot"});

constexpr auto kAlarmInReply = join_arrays<ReplyItem>(
    {{"enable", ReplyItem::kField}}, kActionFieldItems,
    {{"triChannels", ReplyItem::kField}, {"triSnapshot", ReplyItem::kField}}, kPlanItems, kLedItems,
    {{"white_interval", ReplyItem::kField}}, kAudioItems, kPtzItem);

void alarm_in_changed(json_object* block, unsigned char* record) {
  if (has_number(block, "interval")) set_int(record, offsetof(AlarmInConfig, enable), 2);
  if (has_number(block, "email_interval")) set_int(record, offsetof(AlarmInConfig, email_enable), 2);
}

// ---- Camera alarm inputs ----

const char* const kCameraLedPlanTables[] = {"alarm_chnIn0_whiteled_esche", "alarm_chnIn1_whiteled_esche"};
const char* const kCameraLedActionTables[] = {"alarm_chnIn0_white_led_params", "alarm_chnIn1_white_led_params"};

constexpr ReplyItem kCameraAlarmInReply[] = {
    {"effective", ReplyItem::kPlan, kPlanEffective},
    {"audible", ReplyItem::kPlan, kPlanAudible},
    {"interval", ReplyItem::kField},          {"audioId", ReplyItem::kField},
    {"audioIdMask", ReplyItem::kAudioIdMask},
    {"email", ReplyItem::kPlan, kPlanEmail},
    {"email_interval", ReplyItem::kField},    {"email_pic_enable", ReplyItem::kField},
    {"tri_channels_pic", ReplyItem::kField},
    {"ptz", ReplyItem::kPlan, kPlanPtz},
    {"ptz_interval", ReplyItem::kField},      {"ptzParams", ReplyItem::kPtzActions},
    {"alarmout_interval", ReplyItem::kField}, {"triAlarms", ReplyItem::kField},
    {"triChannels", ReplyItem::kField},       {"triChnAlarms", ReplyItem::kTriChnAlarms},
    {"white", ReplyItem::kLedPlan},           {"whiteInfo", ReplyItem::kLedActions},
    {"white_interval", ReplyItem::kField},
};

void camera_alarm_in_changed(json_object* block, unsigned char* record) {
  if (has_number(block, "interval")) set_int(record, offsetof(CameraAlarmInEvent, enable), 2);
}

// ---- Video loss ----

const char* const kVideoLossLedPlanTables[] = {"videoloss_whiteled_esche"};
const char* const kVideoLossLedActionTables[] = {"video_loss_white_led_params"};

constexpr const char* kVideoLossActionKeys[] = {
    "enable", "triAlarms", "interval", "audioId", "email_interval", "ptz_interval", "alarmout_interval",
    "white_interval",
};

constexpr auto kVideoLossReply = join_arrays<ReplyItem>(
    {{"chnid", ReplyItem::kChannel},           {"enable", ReplyItem::kField},
     {"triAlarms", ReplyItem::kField},         {"interval", ReplyItem::kField},
     {"email_interval", ReplyItem::kField},    {"ptz_interval", ReplyItem::kField},
     {"alarmout_interval", ReplyItem::kField}, {"white_interval", ReplyItem::kField},
     {"audible", ReplyItem::kPlan, kPlanAudible}, {"email", ReplyItem::kPlan, kPlanEmail},
     {"ptz", ReplyItem::kPlan, kPlanPtz}},
    kLedItems, kAudioItems, kPtzItem);

void video_loss_changed(json_object*, unsigned char* record) {
  set_int(record, offsetof(VideoLossRecord, enable), 2);
  set_int(record, offsetof(VideoLossRecord, action_enable), 2);
}

}  // namespace

const EventKind kAlarmInEventKind = {
    .name = "alarm input",
    .records = &zvdb::kAlarmInTable,
    .sub_count = 1,
    .plans = {&zvdb::kAlarmInEffectiveScheduleTable, &zvdb::kAlarmInAudibleScheduleTable,
              &zvdb::kAlarmInEmailScheduleTable, &zvdb::kAlarmInPtzScheduleTable},
    .led_plan_tables = kAlarmInLedPlanTables,
    .led_action_tables = kAlarmInLedActionTables,
    .ptz_source_base = kPtzSourceAlarmIn,
    .action_keys = kAlarmInActionKeys,
    .tri_chn_alarms = static_cast<int16_t>(offsetof(AlarmInConfig, tri_chn_alarms)),
    .tri_channels_mask = static_cast<int16_t>(offsetof(AlarmInConfig, tri_channels_mask)),
    .applied = nullptr,
    .reply = kAlarmInReply,
    .on_change = alarm_in_changed,
};

const EventKind kCameraAlarmInEventKind = {
    .name = "camera alarm input",
    .records = &zvdb::kCameraAlarmInEventTable,
    .sub_count = kCameraAlarms,
    .plans = {&zvdb::kCameraAlarmInEffectiveScheduleTable, &zvdb::kCameraAlarmInAudibleScheduleTable,
              &zvdb::kCameraAlarmInMailScheduleTable, &zvdb::kCameraAlarmInPtzScheduleTable},
    .led_plan_tables = kCameraLedPlanTables,
    .led_action_tables = kCameraLedActionTables,
    .ptz_source_base = kPtzSourceCameraAlarmIn,
    .action_keys = kActionKeys,
    .tri_chn_alarms = static_cast<int16_t>(offsetof(CameraAlarmInEvent, tri_chn_alarms)),
    .tri_channels_mask = static_cast<int16_t>(offsetof(CameraAlarmInEvent, tri_channels_mask)),
    .applied = nullptr,
    .reply = kCameraAlarmInReply,
    .on_change = camera_alarm_in_changed,
};

const EventKind kVideoLossEventKind = {
    .name = "video loss",
    .records = &zvdb::kVideoLossTable,
    .sub_count = 1,
    .plans = {nullptr, &zvdb::kVideoLossAudibleScheduleTable, &zvdb::kVideoLossEmailScheduleTable,
              &zvdb::kVideoLossPtzScheduleTable},
    .led_plan_tables = kVideoLossLedPlanTables,
    .led_action_tables = kVideoLossLedActionTables,
    .ptz_source_base = kPtzSourceVideoLoss,
    .action_keys = kVideoLossActionKeys,
    .tri_chn_alarms = static_cast<int16_t>(offsetof(VideoLossRecord, tri_chn_alarms)),
    .applied = nullptr,
    .reply = kVideoLossReply,
    .on_change = video_loss_changed,
};

void log_event_change(int32_t param_type, int32_t number) { op_log_change(kLogSubEvent, param_type, number); }

void log_event_change_multi(int32_t param_type, int32_t number, ChannelMask64 mask) {
  op_log_change_multi(kLogSubEvent, param_type, number, mask);
}

size_t listed_numbers(json_object* request, const char* list_key, const char* count_key, int limit,
                      int32_t out[64]) {
  int32_t count = 0;
  if (!json_value_int(json_object_object_get(request, count_key), &count) || count <= 0) return 0;
  int32_t raw[64];
  const size_t n = read_int_list(json_array_of(request, list_key), static_cast<size_t>(count), raw, 64);
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (raw[i] >= 0 && raw[i] < limit) out[kept++] = raw[i];
  }
  return kept;
}

void reply_plan(const zvdb::TableDesc& plans, int a, int b) {
  auto schedule = std::make_unique<Schedule>();
  zvdb::read_record(kZvdbPath, plans, schedule.get(), zvdb::Key{a, b});
  JsonWriter w(8192);
  write_schedule(w, *schedule);
  reply_json(w);
}
