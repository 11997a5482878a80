#include "handlers/video/event_kinds.h"

#include <cstddef>

#include "common/core_client.h"
#include "platform/zvdb/video_tables.h"

namespace {

constexpr int32_t kMsgMotionChanged = 1403;

const char* const kMotionLedPlanTables[] = {kMotionLedPlanTable};
const char* const kMotionLedActionTables[] = {kMotionLedActionTable};

constexpr int16_t at(size_t offset) { return static_cast<int16_t>(offset); }

constexpr ReplyItem kMotionReply[] = {
    {"chnid", ReplyItem::kChannel},
    {"enable", ReplyItem::kInt, at(offsetof(MotionRecord, enable))},
    {"sensitivity", ReplyItem::kInt, at(offsetof(MotionRecord, sensitivity))},
    {"triChannels", ReplyItem::kText, at(offsetof(MotionRecord, tri_channels)), kEventTextSize},
    {"triAlarms", ReplyItem::kInt, at(offsetof(MotionRecord, tri_alarms))},
    {"interval", ReplyItem::kInt, at(offsetof(MotionRecord, interval))},
    {"enableZV", ReplyItem::kInt, at(offsetof(MotionRecord, enable_zv))},
    {"motionTable", ReplyItem::kText, at(offsetof(MotionRecord, motion_table)), kMotionTableSize},
    {"email_enable", ReplyItem::kInt, at(offsetof(MotionRecord, email_enable))},
    {"email_interval", ReplyItem::kInt, at(offsetof(MotionRecord, email_interval))},
    {"email_pic_enable", ReplyItem::kInt, at(offsetof(MotionRecord, email_pic_enable))},
    {"tri_channels_pic", ReplyItem::kText, at(offsetof(MotionRecord, tri_channels_pic)), kEventTextSize},
    {"ptz_interval", ReplyItem::kInt, at(offsetof(MotionRecord, ptz_interval))},
    {"alarmout_interval", ReplyItem::kInt, at(offsetof(MotionRecord, alarmout_interval))},
    {"effective", ReplyItem::kPlan, kPlanEffective},
    {"audible", ReplyItem::kPlan, kPlanAudible},
    {"email", ReplyItem::kPlan, kPlanEmail},
    {"ptz", ReplyItem::kPlan, kPlanPtz},
    {"triChnAlarms", ReplyItem::kTriChnAlarms, at(offsetof(MotionRecord, tri_chn_alarms))},
    {"white", ReplyItem::kLedPlan},
    {"whiteInfo", ReplyItem::kLedActions},
    {"white_interval", ReplyItem::kInt, at(offsetof(MotionRecord, white_interval))},
    {"audioId", ReplyItem::kInt, at(offsetof(MotionRecord, audio_id))},
    {"audioIdMask", ReplyItem::kAudioIdMask},
    {"ptzParams", ReplyItem::kPtzActions},
};

}  // namespace

const EventKind kMotionEventKind = {
    .name = "motion",
    .record_size = sizeof(MotionRecord),
    .sub_count = 1,
    .read_record = [](const char* db, void* r, int channel, int) {
      return read_motion(db, static_cast<MotionRecord*>(r), channel);
    },
    .write_record = [](const char* db, const void* r, int, int) {
      return write_motion(db, static_cast<const MotionRecord*>(r));
    },
    .copy_record = [](const char* db, const void* r, ChannelMask64 mask, int) {
      return copy_motions(db, static_cast<const MotionRecord*>(r), mask);
    },
    .plans =
        {
            {[](const char* db, Schedule* s, int c, int) { return read_motion_effective_schedule(db, s, c); },
             [](const char* db, const Schedule* s, int c, int) { return write_motion_effective_schedule(db, s, c); },
             [](const char* db, const Schedule* s, ChannelMask64 m, int) {
               return copy_motion_effective_schedules(db, s, m);
             }},
            {[](const char* db, Schedule* s, int c, int) { return read_motion_audible_schedule(db, s, c); },
             [](const char* db, const Schedule* s, int c, int) { return write_motion_audible_schedule(db, s, c); },
             [](const char* db, const Schedule* s, ChannelMask64 m, int) {
               return copy_motion_audible_schedules(db, s, m);
             }},
            {[](const char* db, Schedule* s, int c, int) { return read_motion_email_schedule(db, s, c); },
             [](const char* db, const Schedule* s, int c, int) { return write_motion_email_schedule(db, s, c); },
             [](const char* db, const Schedule* s, ChannelMask64 m, int) {
               return copy_motion_email_schedules(db, s, m);
             }},
            {[](const char* db, Schedule* s, int c, int) { return read_motion_ptz_schedule(db, s, c); },
             [](const char* db, const Schedule* s, int c, int) { return write_motion_ptz_schedule(db, s, c); },
             [](const char* db, const Schedule* s, ChannelMask64 m, int) {
               return copy_motion_ptz_schedules(db, s, m);
             }},
        },
    .led_plan_tables = kMotionLedPlanTables,
    .led_action_tables = kMotionLedActionTables,
    .ptz_source_base = kPtzSourceMotion,
    .fields =
        {
            .enable = at(offsetof(MotionRecord, enable)),
            .tri_alarms = at(offsetof(MotionRecord, tri_alarms)),
            .interval = at(offsetof(MotionRecord, interval)),
            .audio_id = at(offsetof(MotionRecord, audio_id)),
            .email_interval = at(offsetof(MotionRecord, email_interval)),
            .email_pic_enable = at(offsetof(MotionRecord, email_pic_enable)),
            .ptz_interval = at(offsetof(MotionRecord, ptz_interval)),
            .alarmout_interval = at(offsetof(MotionRecord, alarmout_interval)),
            .white_interval = at(offsetof(MotionRecord, white_interval)),
            .tri_channels_pic = at(offsetof(MotionRecord, tri_channels_pic)),
            .tri_channels = at(offsetof(MotionRecord, tri_channels)),
            .tri_channels_mask = at(offsetof(MotionRecord, tri_channels_mask)),
            .tri_chn_alarms = at(offsetof(MotionRecord, tri_chn_alarms)),
        },
    .before_write = nullptr,
    .notify_applied = [](int channel, int, ChannelMask64) {
      const int32_t payload = channel;
      core_notify(kMsgMotionChanged, sizeof payload, &payload);
    },
    .reply = kMotionReply,
};
