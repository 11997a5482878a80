#include "common/bound_handler.h"

#include "handlers/video/alarm_event_handlers.h"
#include "handlers/video/analytics.h"
#include "handlers/video/alarm_event_kinds.h"
#include "common/messages/alarm_event.h"
#include "handlers/video/event_kinds.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/video_tables.h"
#include "common/request_table.h"

ZV_REQUESTS(kVideoModuleRequests, "video",
    {"/6010", bound_handler<event_actions_read, &kMotionEventKind>},
    {"/6011", bound_handler<event_plan_read, &zvdb::kMotionAudibleScheduleTable, 0>},
    {"/6015", bound_handler<event_plan_read, &zvdb::kVideoLossAudibleScheduleTable, kMaxChannels>},
    {"/6090", bound_handler<camera_alarm_read<CameraIoAlarmState>, &kCameraIoAlarmRead>},
    {"/6091",
     bound_handler<camera_alarm_set<CameraIoAlarm, CameraIoAlarmSet>, &kCameraIoAlarms, &kCameraIoAlarmSet, 923>},
    {"/6092", bound_handler<camera_alarm_read<AudioAlarmState>, &kAudioAlarmRead>},
    {"/6093", bound_handler<camera_alarm_set<AudioAlarm, AudioAlarmSet>, &kAudioAlarms, &kAudioAlarmSet, 924>},
    {"/6094", bound_handler<event_actions_read, &kVideoLossEventKind>},
    {"/6120", bound_handler<event_plan_read, &zvdb::kMotionEmailScheduleTable, 0>},
    {"/6121", bound_handler<multi_plan_set, &kVideoLossRows, &zvdb::kVideoLossAudibleScheduleTable, false>},
    {"/6122", bound_handler<multi_plan_set, &kVideoLossRows, &zvdb::kVideoLossEmailScheduleTable, false>},
    {"/6124", bound_handler<event_plan_read, &zvdb::kVideoLossEmailScheduleTable, 0>},
    {"/6125", bound_handler<multi_plan_set, &kAlarmInRows, &zvdb::kAlarmInAudibleScheduleTable, false>},
    {"/6126", bound_handler<multi_plan_set, &kAlarmInRows, &zvdb::kAlarmInEmailScheduleTable, true>},
    {"/6128", bound_handler<event_plan_read, &zvdb::kAlarmInEmailScheduleTable, 0>},
    {"/6129", bound_handler<event_plan_read, &zvdb::kAlarmInAudibleScheduleTable, kAlarmInputs>},
    {"/6153", bound_handler<event_plan_read, &zvdb::kMotionEffectiveScheduleTable, 0>},
    {"/6158", bound_handler<event_plan_read, &zvdb::kMotionPtzScheduleTable, 0>},
    {"/6160", bound_handler<ptz_entry_store, false>},
    {"/6163", bound_handler<ptz_entry_store, true>},
    {"/6165", bound_handler<ptz_list_copy, kPtzSourceVideoLoss, kMaxChannels, &zvdb::kVideoLossPtzScheduleTable,
                                &kVideoLossesChanged>},
    {"/6166", bound_handler<event_plan_read, &zvdb::kVideoLossPtzScheduleTable, 0>},
    {"/6167", bound_handler<ptz_list_copy, kPtzSourceAlarmIn, kAlarmInputs, &zvdb::kAlarmInPtzScheduleTable,
                                &kAlarmInsChanged>},
    {"/6168", bound_handler<event_plan_read, &zvdb::kAlarmInPtzScheduleTable, 0>},
    {"/6169", bound_handler<event_plan_read, &zvdb::kAlarmInEffectiveScheduleTable, 0>},
    {"/6132", bound_handler<region_read, &kEntranceDetection>},
    {"/6133", bound_handler<region_set, &kEntranceDetection>},
    {"/6134", bound_handler<region_read, &kAdvancedMotionDetection>},
    {"/6135", bound_handler<region_set, &kAdvancedMotionDetection>},
    {"/6136", bound_handler<region_read, &kTamperDetection>},
    {"/6137", bound_handler<region_set, &kTamperDetection>},
    {"/6140", bound_handler<region_read, &kLoiteringDetection>},
    {"/6141", bound_handler<region_set, &kLoiteringDetection>},
    {"/6142", bound_handler<region_read, &kHumanDetection>},
    {"/6143", bound_handler<region_set, &kHumanDetection>});
