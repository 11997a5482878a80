// The group, POS and face events as rows of the event-kind table, and what their handlers share.
#include <cstddef>
#include <cstring>

#include "common/json_fields.h"
#include "handlers/camera/camera_apps.h"
#include "common/messages/camera_apps.h"
#include "platform/zvdb/camera_apps_tables.h"

namespace {

// A group has no effective plan of its own: "effective" shows the audible plan. Its "dialog"
// prints the PTZ actions last, its block leaves them out.
constexpr auto kCountingDialog = join_arrays<ReplyItem>(
    {{"chnid", ReplyItem::kChannel}}, kActionFieldItems,
    {{"white_interval", ReplyItem::kField}, {"effective", ReplyItem::kPlan, kPlanAudible},
     {"audible", ReplyItem::kPlan, kPlanAudible}, {"email", ReplyItem::kPlan, kPlanEmail},
     {"ptz", ReplyItem::kPlan, kPlanPtz}},
    kLedItems, kAudioItems, kPtzItem);
constexpr auto kCountingBlock = std::span(kCountingDialog).first(kCountingDialog.size() - 1);

const char* const kCountingLedPlans[] = {"peoplecnt_whiteled_esche"};
const char* const kCountingLedActions[] = {"peoplecnt_whiteled_params"};
const char* const kPosLedPlans[] = {"pos_whiteled_esche"};
const char* const kPosLedActions[] = {"pos_whiteled_params"};
const char* const kFaceLedPlans[] = {"face_whiteled_esche"};
const char* const kFaceLedActions[] = {"face_whiteled_params"};

constexpr int16_t kTriChnAlarmsAt = offsetof(AppEventRecord, tri_chn_alarms);
constexpr int16_t kTriChannelsMaskAt = offsetof(AppEventRecord, tri_channels_mask);

// Group events read back without or with their PTZ actions.
constexpr EventKind counting_kind(std::span<const ReplyItem> reply) {
  return EventKind{
      .name = "peoplecnt_event",
      .records = &zvdb::kCountingEventTable,
      .sub_count = 1,
      .plans = {nullptr, &zvdb::kCountingAudibleScheduleTable, &zvdb::kCountingEmailScheduleTable,
                &zvdb::kCountingPtzScheduleTable},
      .led_plan_tables = kCountingLedPlans,
      .led_action_tables = kCountingLedActions,
      .ptz_source_base = kPtzSourcePeopleCount,
      .action_keys = std::span(kActionKeys).first(9),  // no "triChannels"
      .tri_chn_alarms = kTriChnAlarmsAt,
      .applied = nullptr,
      .reply = reply,
  };
}

}  // namespace

constinit const EventKind kCountingEventKind = counting_kind(kCountingBlock);
constinit const EventKind kCountingDialogEventKind = counting_kind(kCountingDialog);

constinit const EventKind kPosEventKind = {
    .name = "pos_event",
    .records = &zvdb::kPosEventTable,
    .sub_count = 1,
    .plans = {&zvdb::kPosEffectiveScheduleTable, &zvdb::kPosAudibleScheduleTable,
              &zvdb::kPosEmailScheduleTable, &zvdb::kPosPtzScheduleTable},
    .led_plan_tables = kPosLedPlans,
    .led_action_tables = kPosLedActions,
    .ptz_source_base = kPtzSourcePos,
    .action_keys = kActionKeys,
    .tri_chn_alarms = kTriChnAlarmsAt,
    .tri_channels_mask = kTriChannelsMaskAt,
    .applied = nullptr,
    .reply = kGroupedReply,
};

constinit const EventKind kFaceEventKind = {
    .name = "face_event",
    .records = &zvdb::kFaceEventTable,
    .sub_count = 1,
    .plans = {&zvdb::kFaceEffectiveScheduleTable, &zvdb::kFaceAudibleScheduleTable,
              &zvdb::kFaceEmailScheduleTable, &zvdb::kFacePtzScheduleTable},
    .led_plan_tables = kFaceLedPlans,
    .led_action_tables = kFaceLedActions,
    .ptz_source_base = kPtzSourceFace,
    .action_keys = kActionKeys,
    .tri_chn_alarms = kTriChnAlarmsAt,
    .tri_channels_mask = kTriChannelsMaskAt,
    .applied = &kFaceEventChanged,
    .reply = {},
};

bool store_app_event(const EventKind& kind, int id, json_object* block, SettingsWrite& write) {
  // The block is addressed by the handler's own id member; the procedures read it as "chnid".
  json_object_object_add(block, "chnid", json_object_new_int(id));
  if (store_event_actions(kind, block, write, 0, ApplyOptions{.with_ptz = false}) != id) return false;
  // PTZ actions go under the kind's own source type with the event's id as source id.
  const int stored = ptz_actions_store(id, kind.ptz_source_base, json_array_of(block, "ptzParams"));
  if (stored != 0) write.check(stored == 1 ? 0 : -1);
  return true;
}
