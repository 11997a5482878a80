#include "handlers/video/event_kinds.h"

#include <cstddef>

#include "common/messages/video.h"
#include "platform/zvdb/video_tables.h"

namespace {

const char* const kMotionLedPlanTables[] = {"motion_whiteled_esche"};
const char* const kMotionLedActionTables[] = {kMotionLedActionTable};

constexpr auto kMotionActionKeys = join_arrays<const char*>({"enable"}, kActionKeys);

constexpr auto kMotionReply = join_arrays<ReplyItem>(
    {{"chnid", ReplyItem::kChannel},          {"enable", ReplyItem::kField},
     {"sensitivity", ReplyItem::kField},      {"triChannels", ReplyItem::kField},
     {"triAlarms", ReplyItem::kField},        {"interval", ReplyItem::kField},
     {"enableZV", ReplyItem::kField},         {"motionTable", ReplyItem::kField},
     {"email_enable", ReplyItem::kField},     {"email_interval", ReplyItem::kField},
     {"email_pic_enable", ReplyItem::kField}, {"tri_channels_pic", ReplyItem::kField},
     {"ptz_interval", ReplyItem::kField},     {"alarmout_interval", ReplyItem::kField}},
    kPlanItems, kLedItems, {{"white_interval", ReplyItem::kField}}, kAudioItems, kPtzItem);

}  // namespace

const EventKind kMotionEventKind = {
    .name = "motion",
    .records = &zvdb::kMotionTable,
    .sub_count = 1,
    .plans = {&zvdb::kMotionEffectiveScheduleTable, &zvdb::kMotionAudibleScheduleTable,
              &zvdb::kMotionEmailScheduleTable, &zvdb::kMotionPtzScheduleTable},
    .led_plan_tables = kMotionLedPlanTables,
    .led_action_tables = kMotionLedActionTables,
    .ptz_source_base = kPtzSourceMotion,
    .action_keys = kMotionActionKeys,
    .tri_chn_alarms = static_cast<int16_t>(offsetof(MotionRecord, tri_chn_alarms)),
    .tri_channels_mask = static_cast<int16_t>(offsetof(MotionRecord, tri_channels_mask)),
    .applied = &kMotionChanged,
    .reply = kMotionReply,
};
