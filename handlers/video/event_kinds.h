// The event kinds of the recorder as rows of data for the action-block procedures
// (event_actions.h). A new event kind is one row: its record calls, plan calls, LED tables, PTZ
// source type, where its record keeps the action fields, its change notice and its reply order.
#pragma once

#include "handlers/video/event_actions.h"

constexpr int32_t kPtzSourceMotion = 1;
constexpr const char* kMotionLedPlanTable = "motion_whiteled_esche";
constexpr const char* kMotionLedActionTable = "motion_white_led_params";

// Motion: record per channel, four plans, LED plan and actions, PTZ source type 1, notice 1403.
extern const EventKind kMotionEventKind;
