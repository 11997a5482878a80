// The event kinds of the recorder as rows of data for the action-block procedures
// (event_actions.h). A new event kind is one row: its record and plan tables, LED tables, PTZ
// source type, the action keys its record takes, its change notice and its reply order.
#pragma once

#include "handlers/video/event_actions.h"

constexpr int32_t kPtzSourceMotion = 1;
constexpr const char* kMotionLedActionTable = "motion_white_led_params";

// Motion: record per channel, four plans, LED plan and actions, PTZ source type 1, notice 1403.
extern const EventKind kMotionEventKind;
