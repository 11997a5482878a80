#include "handlers/video/schedule_json.h"

#include <cstring>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/safe_text.h"

namespace {

void write(JsonWriter& w, const Schedule& schedule, bool flagged) {
  static constexpr ScheduleRange kMidnight{"00:00", "00:00", 0};
  w.begin_array();
  for (const ScheduleDay& day : schedule.days) {
    w.begin_array();
    const bool unset = flagged && day.day_flag == 0;
    for (int i = 0; i < kScheduleWebRanges; ++i) write_object(w, unset ? kMidnight : day.ranges[i]);
    w.end_array();
  }
  w.end_array();
}

int from_json(json_object* object, const char* key, Schedule* out, bool flagged) {
  if (out == nullptr) return -1;
  if (!json_texts_utf8(json_object_object_get(object, key))) return kInvalidText;
  json_object* days = json_array_of(object, key);
  if (days == nullptr) return -1;
  std::memset(out, 0, sizeof *out);
  for (int d = 0; d < kScheduleDays; ++d) {
    ScheduleDay& day = out->days[d];
    if (flagged) day.day_flag = 1;
    json_object* ranges = json_array_at(days, static_cast<size_t>(d));
    for (int i = 0; i < kScheduleWebRanges; ++i) {
      json_object* range = json_array_at(ranges, static_cast<size_t>(i));
      ScheduleRange& r = day.ranges[i];
      json_value_text(json_array_at(range, 0), r.start_time, sizeof r.start_time);
      json_value_text(json_array_at(range, 1), r.end_time, sizeof r.end_time);
      json_value_int(json_array_at(range, 2), &r.action_type);
    }
  }
  return 0;
}

}  // namespace

void write_schedule(JsonWriter& w, const Schedule& schedule) { write(w, schedule, false); }

void write_schedule_flagged(JsonWriter& w, const Schedule& schedule) { write(w, schedule, true); }

int schedule_from_json(json_object* object, const char* key, Schedule* out) {
  return from_json(object, key, out, false);
}

int schedule_from_json_flagged(json_object* object, const char* key, Schedule* out) {
  return from_json(object, key, out, true);
}
