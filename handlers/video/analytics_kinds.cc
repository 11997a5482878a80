// The analytics event kinds as rows of the action-block procedures.
#include <algorithm>
#include <cstddef>

#include "handlers/video/analytics.h"
#include "platform/zvdb/analytics_tables.h"

namespace {

// White-light LED tables of the smart event kinds 0..8: plans, then actions.
const char* const kSmartLedPlanTables[kSmartEventKinds] = {
    "vca0_whiteled_esche", "vca1_whiteled_esche", "vca2_whiteled_esche", "vca3_whiteled_esche",
    "vca4_whiteled_esche", "vca5_whiteled_esche", "vca6_whiteled_esche", "vca7_whiteled_esche",
    "vca8_whiteled_esche"};
const char* const kSmartLedActionTables[kSmartEventKinds] = {
    "vca0_white_led_params", "vca1_white_led_params", "vca2_white_led_params", "vca3_white_led_params",
    "vca4_white_led_params", "vca5_white_led_params", "vca6_white_led_params", "vca7_white_led_params",
    "vca8_white_led_params"};
// Plate modes -1..2 by sub index: the plate event as a whole uses the visitor list's tables.
const char* const kPlateLedPlanTables[kPlateModes] = {"lpr_vistor_whiteled_esche", "lpr_black_whiteled_esche",
                                                      "lpr_white_whiteled_esche", "lpr_vistor_whiteled_esche"};
const char* const kPlateLedActionTables[kPlateModes] = {
    "lpr_vistor_white_led_params", "lpr_black_white_led_params", "lpr_white_white_led_params",
    "lpr_vistor_white_led_params"};
// Regions 0..3: the white-light schedule (schedule kind 4) and the LED actions.
const char* const kRegionalLedPlanTables[kCountingRegions] = {
    "regional_pcnt_whiteled_esche", "regional_pcnt1_whiteled_esche", "regional_pcnt2_whiteled_esche",
    "regional_pcnt3_whiteled_esche"};
const char* const kRegionalLedActionTables[kCountingRegions] = {
    "regional_pcnt_whiteled_params", "regional_pcnt1_whiteled_params", "regional_pcnt2_whiteled_params",
    "regional_pcnt3_whiteled_params"};

constexpr auto kSmartBlockActionKeys = join_arrays<const char*>({"enable"}, kActionKeys);

// The action block in read form, after the request's own "chnid" (and "mode"): the plate event
// adds its mode after the channel.
constexpr auto kSmartReply = join_arrays<ReplyItem>(
    {{"chnid", ReplyItem::kChannel}, {"enable", ReplyItem::kField}}, kActionFieldItems,
    {{"white_interval", ReplyItem::kField}, {"triChannels", ReplyItem::kField}}, kPlanItems, kLedItems, kAudioItems,
    kPtzItem);
constexpr auto kPlateReply = [] {
  std::array<ReplyItem, kSmartReply.size() + 1> out{};
  out[0] = kSmartReply[0];
  out[1] = {"mode", ReplyItem::kSub, -1};
  std::copy(kSmartReply.begin() + 1, kSmartReply.end(), out.begin() + 2);
  return out;
}();

constexpr auto kTriChnAlarmsAt = static_cast<int16_t>(offsetof(SmartEventRecord, tri_chn_alarms));
constexpr auto kTriChannelsMaskAt = static_cast<int16_t>(offsetof(SmartEventRecord, tri_channels_mask));

}  // namespace

const EventKind kSmartEventKind = {
    .name = "smart event",
    .records = &zvdb::kSmartEventTable,
    .sub_count = kSmartEventKinds,
    .plans = {&zvdb::kSmartEventPlanTables[0], &zvdb::kSmartEventPlanTables[1], &zvdb::kSmartEventPlanTables[2],
              &zvdb::kSmartEventPlanTables[3]},
    .led_plan_tables = kSmartLedPlanTables,
    .led_action_tables = kSmartLedActionTables,
    .ptz_source_base = 5,
    .action_keys = kActionKeys,
    .tri_chn_alarms = kTriChnAlarmsAt,
    .tri_channels_mask = kTriChannelsMaskAt,
    .applied = nullptr,  // the handler sends the channel set (1412) after the copies
    .reply = kSmartReply,
};

const EventKind kSmartEventBlockKind = [] {
  EventKind kind = kSmartEventKind;
  kind.action_keys = kSmartBlockActionKeys;
  return kind;
}();

const EventKind kPlateEventKind = {
    .name = "plate event",
    .records = &zvdb::kAnprEventTable,
    .sub_count = kPlateModes,
    .plans = {&zvdb::kAnprPlanTables[0], &zvdb::kAnprPlanTables[1], &zvdb::kAnprPlanTables[2],
              &zvdb::kAnprPlanTables[3]},
    .led_plan_tables = kPlateLedPlanTables,
    .led_action_tables = kPlateLedActionTables,
    .ptz_source_base = 14,  // mode + 15
    .action_keys = kActionKeys,
    .tri_chn_alarms = kTriChnAlarmsAt,
    .tri_channels_mask = kTriChannelsMaskAt,
    .applied = nullptr,  // the handler sends {channel, mode} (1416)
    .reply = kPlateReply,
};

const EventKind kRegionalCountKind = {
    .name = "regional counting",
    .records = &zvdb::kRegionalCountEventTable,
    .sub_count = kCountingRegions,
    .plans = {nullptr, &zvdb::kRegionalCountPlanTables[0], &zvdb::kRegionalCountPlanTables[1],
              &zvdb::kRegionalCountPlanTables[2]},
    .led_plan_tables = kRegionalLedPlanTables,
    .led_action_tables = kRegionalLedActionTables,
    .ptz_source_base = 22,
    .action_keys = kActionKeys,
    .tri_chn_alarms = kTriChnAlarmsAt,
    .tri_channels_mask = kTriChannelsMaskAt,
    .applied = nullptr,  // regional action blocks are not announced
    .reply = std::span(kGroupedReply).subspan(1),
};
