// Camera handlers that differ only in their message and record: templates the module's request
// table names directly, one instance per request identifier.
#pragma once

#include <json-c/json.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

#include "common/reply_forms.h"
#include "common/request.h"
#include "common/request_table.h"
#include "handlers/video/event_actions.h"
#include "handlers/video/schedule_json.h"

// The refusal of the image, day/night and camera plan requests: no reply to a request that names
// no channel (or profile), the JSON error to one out of range.
inline constexpr ChannelRefusal kImageRefusal{kNoReply, REPLY_JSON};

// The core's record `out` of the channel (0..63) named by "id" (kImageRefusal); false, with
// nothing more to write, when the request names no channel, the core does not answer (its error
// form is `error_kind`) or the reply is short.
template <class Record>
bool ask_channel_record(const char* argument, const Exchange<int32_t, Record>& exchange, int error_kind, Record* out) {
  int32_t channel = 0;
  if (!channel_request(argument, "id", 63, &channel, kImageRefusal)) return false;
  std::optional<CoreReply> reply = core_ask(exchange, channel, error_kind);
  return reply && reply->first(out);
}

// The core's record of the channel named by "chnid" (0..63), printed through its schema.
template <const auto& kRead>
void chnid_record_read(const char* argument) {
  int32_t channel = 0;
  if (!channel_request(argument, "chnid", 63, &channel, REPLY_JSON)) return;
  reply_core_record<typename std::remove_cvref_t<decltype(kRead)>::reply_type>(core_ask(kRead, channel, REPLY_JSON));
}

// The camera's settings of the channel named by "id": {"id": <the record's id>, <the settings>};
// nothing when the core does not answer.
template <const auto& kRead, auto kSettings>
void channel_settings_read(const char* argument) {
  typename std::remove_cvref_t<decltype(kRead)>::reply_type record{};
  if (!ask_channel_record(argument, kRead, REPLY_TEXT, &record)) return;
  JsonWriter w(2048);
  w.begin_object().key("id").value(record.id);
  write_fields(w, record.*kSettings);
  reply_json(w.end_object());
}

// The camera's weekly plans: read by "id", written by "channel".
template <const auto& kRead>
void camera_plan_read(const char* argument) {
  auto plan = std::make_unique<typename std::remove_cvref_t<decltype(kRead)>::reply_type>();
  if (!ask_channel_record(argument, kRead, REPLY_JSON, plan.get())) return;
  JsonWriter w(40000);
  w.begin_object().key("channel").value(plan->channel).key("schedule");
  write_schedule(w, plan->schedule);
  reply_json(w.end_object());
}

template <const auto& kSet>
void camera_plan_set(const char* argument) {
  using Plan = typename std::remove_cvref_t<decltype(kSet)>::payload_type;
  JsonPtr request = parse_request(argument);
  int32_t channel = 0;
  if (!read_channel_member(request.get(), "channel", 63, &channel, kImageRefusal)) return;
  auto plan = std::make_unique<Plan>();
  std::memset(plan.get(), 0, sizeof(Plan));
  plan->channel = channel;
  // Absent: an empty plan.
  if (schedule_from_json(request.get(), "schedule", &plan->schedule) == kInvalidText) return;
  core_tell(kSet, *plan);
  reply_ok();
}
