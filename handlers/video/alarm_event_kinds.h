// The event kinds of the alarm contacts and of video loss, as rows for the action-block
// procedures (event_actions.h): the recorder's alarm inputs (PTZ source type 0), the cameras'
// alarm inputs 0 and 1 (sub index = alarm index, PTZ source types 18 and 19) and the video loss
// of a channel (PTZ source type 2). Their change notices are sent by the handlers, which know
// which set of inputs or channels changed.
#pragma once

#include "handlers/video/event_actions.h"

constexpr int32_t kPtzSourceAlarmIn = 0;
constexpr int32_t kPtzSourceVideoLoss = 2;
constexpr int32_t kPtzSourceCameraAlarmIn = 18;  // + alarm index

// Recorder alarm input: "interval" also sets enable to 2, "email_interval" the e-mail mode to 2.
// Its reply starts at "enable" (the input page prints its number, name and type first).
extern const EventKind kAlarmInEventKind;
// Camera alarm input (channel, alarm index): "interval" also sets the row's enable to 2. Its
// reply holds the action members of one alarm of the camera alarm-input reply.
extern const EventKind kCameraAlarmInEventKind;
// Video loss: no effective plan; any change sets enable and the action word to 2.
extern const EventKind kVideoLossEventKind;

// ---- Helpers of the alarm, video-loss and snapshot pages ----

// The operation-log record of one change: main type 4, sub type 204, `param_type`, `number` (the
// 1-based channel, input or output) - message 3485.
void log_event_change(int32_t param_type, int32_t number);
// The same followed by the set of channels (or inputs) it concerns - message 3509.
void log_event_change_multi(int32_t param_type, int32_t number, ChannelMask64 mask);

// The numbers 0..limit-1 among the first min("count_key", length of "list_key", 64) elements of
// the request's list, in list order, duplicates kept; elements that are not numbers or lie
// outside 0..limit-1 are skipped. Returns how many were put in `out`.
size_t listed_numbers(json_object* request, const char* list_key, const char* count_key, int limit,
                      int32_t out[64]);
inline ChannelMask64 mask_of(const int32_t* numbers, size_t count) {
  ChannelMask64 mask{0, 0};
  for (size_t i = 0; i < count; ++i) mask.set(numbers[i]);
  return mask;
}

// The plan of `plans` at (a, b) as the JSON reply, in output form (a missing plan is empty).
void reply_plan(const zvdb::TableDesc& plans, int a, int b = 0);
