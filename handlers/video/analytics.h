// Video analytics: smart events, plate recognition, people and regional counting, fisheye. The
// event kinds as rows of the action-block procedures (event_actions.h) and the request handlers.
#pragma once

#include <memory>
#include <optional>

#include "common/core_client.h"
#include "common/exchange.h"
#include "common/reply.h"
#include "common/request.h"
#include "handlers/video/event_actions.h"

// Smart event kinds 0..8 (sub index = kind): the detection sets' "dialog" (PTZ keys read, no
// "enable"), and the action-block set "/6149" ("enable" read, no PTZ keys).
extern const EventKind kSmartEventKind;
extern const EventKind kSmartEventBlockKind;
// Plate list modes -1..2 (sub index = mode + 1; PTZ source type mode + 15).
extern const EventKind kPlateEventKind;
// Regional counting regions 0..3 (PTZ source type region + 22); no effective plan, the LED plan
// is the regions' white-light schedule.
extern const EventKind kRegionalCountKind;

// ---- Shared by the analytics handlers ----
// The one-int32 channel of a camera query: {"<key>": 0..63}. False when refused: a body that is
// not a JSON object gets no reply, a channel absent or outside 0..63 gets the error form of
// `bad_channel_kind` (< 0: nothing).
bool analytics_channel(const char* argument, const char* key, int bad_channel_kind, int32_t* channel);
// A camera-side read: the channel under `key` (as analytics_channel, with `bad_channel_kind`; it
// goes to *channel when given) and the exchange's first reply record. Null when refused, when no
// reply came (the error form `error_kind` is written) or when the reply holds no whole record.
template <class R>
std::unique_ptr<R> camera_record(const char* argument, const char* key, const Exchange<int32_t, R>& read,
                                 int bad_channel_kind = REPLY_JSON, int error_kind = REPLY_JSON,
                                 int32_t* channel = nullptr) {
  int32_t requested = -1;
  if (!analytics_channel(argument, key, bad_channel_kind, &requested)) return nullptr;
  if (channel != nullptr) *channel = requested;
  std::optional<CoreReply> reply = core_ask(read, requested, error_kind);
  auto record = std::make_unique<R>();
  return reply && reply->first(record.get()) ? std::move(record) : nullptr;
}
// The same record printed as one object through `form` (the record's own schema when empty).
template <class R>
void camera_read(const char* argument, const char* key, const Exchange<int32_t, R>& read, zvrec::Schema form = {},
                 int bad_channel_kind = REPLY_JSON, int error_kind = REPLY_JSON) {
  auto record = camera_record(argument, key, read, bad_channel_kind, error_kind);
  if (record) reply_record(form.fields.empty() ? zvrec::schema_of<R>() : form, record.get());
}
// The member `key` of `object` when it is an object ("dialog", "formatData"); null otherwise.
json_object* object_of(json_object* object, const char* key);
// Prints a 4-byte status reply: "OK" for 0, "FAILED" otherwise.
void reply_status_word(const std::optional<CoreReply>& reply);
// Sends a camera-side record and prints its status (the error form `error_kind` when none came).
template <class P>
void ask_status(const Exchange<P, int32_t>& x, const P& payload, int error_kind) {
  reply_status_word(core_ask(x, payload, error_kind));
}

// Smart events.
// Region-based detections: one row per detection, its read and set (analytics.cc).
struct RegionDetection;
extern const RegionDetection kEntranceDetection;        // "/6132", "/6133"
extern const RegionDetection kAdvancedMotionDetection;  // "/6134", "/6135"
extern const RegionDetection kTamperDetection;          // "/6136", "/6137"
extern const RegionDetection kLoiteringDetection;       // "/6140", "/6141"
extern const RegionDetection kHumanDetection;           // "/6142", "/6143"
void region_read(const char* argument, const RegionDetection* d);
void region_set(const char* argument, const RegionDetection* d);
