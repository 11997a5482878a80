// The JSON forms of a weekly time plan (Schedule) on the web pages.
//
// Output form (every read reply): an array of 8 day arrays, each of exactly 12 objects
//   {"startTime": text, "endTime": text, "actionType": integer}, unused ranges included.
// Flagged output form (heat-map pages): the same, but a day whose day flag is 0 shows 12 ranges
//   {"startTime": "00:00", "endTime": "00:00", "actionType": 0}.
// Input form (every write request): an array of 8 day arrays, each of 12 positional arrays
//   [startTime, endTime, actionType]. Texts are cut to 31 characters; days, ranges or elements that
//   are missing or of the wrong type are stored empty (empty texts, actionType 0). A text anywhere
//   in the member that is not valid UTF-8 refuses the plan: it would be stored and printed back.
// Flagged input form (heat-map pages): the same, and the day flag of all 8 days is set to 1.
#pragma once

#include <json-c/json.h>

#include "common/json_writer.h"
#include "platform/zvdb/records/schedule_record.h"

// The plan as one JSON array value, at the writer's position.
void write_schedule(JsonWriter& w, const Schedule& schedule);
void write_schedule_flagged(JsonWriter& w, const Schedule& schedule);

// What a reader of request texts returns when one of them is not valid UTF-8 (nothing taken).
inline constexpr int kInvalidText = -2;

// -1 when `object`, the member `key` (or its array type) or `out` is missing; kInvalidText when the
// member (of any type) holds a text that is not valid UTF-8: `out` is then left as it is. Otherwise
// clears the whole `out`, fills the first 12 ranges of the 8 days and returns 0. The result must be
// looked at: a refused plan is the caller's refusal, not an absent plan.
[[nodiscard]] int schedule_from_json(json_object* object, const char* key, Schedule* out);
[[nodiscard]] int schedule_from_json_flagged(json_object* object, const char* key, Schedule* out);
