#include "handlers/video/schedule_json.h"

#include <cstring>

#include "common/json_fields.h"

namespace {

json_object* range_object(const char* start, size_t start_size, const char* end, size_t end_size,
                          int32_t action_type) {
  json_object* range = json_object_new_object();
  json_object_object_add(range, "startTime", json_text_field(start, start_size));
  json_object_object_add(range, "endTime", json_text_field(end, end_size));
  json_object_object_add(range, "actionType", json_object_new_int(action_type));
  return range;
}

json_object* to_json(const Schedule& schedule, bool flagged) {
  static constexpr char kMidnight[] = "00:00";
  json_object* days = json_object_new_array();
  for (const ScheduleDay& day : schedule.days) {
    json_object* ranges = json_object_new_array();
    const bool unset = flagged && day.day_flag == 0;
    for (int i = 0; i < kScheduleWebRanges; ++i) {
      const ScheduleRange& r = day.ranges[i];
      json_object_array_add(ranges, unset ? range_object(kMidnight, sizeof kMidnight, kMidnight,
                                                         sizeof kMidnight, 0)
                                          : range_object(r.start_time, sizeof r.start_time,
                                                         r.end_time, sizeof r.end_time, r.action_type));
    }
    json_object_array_add(days, ranges);
  }
  return days;
}

int from_json(json_object* object, const char* key, Schedule* out, bool flagged) {
  if (out == nullptr) return -1;
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

json_object* schedule_to_json(const Schedule& schedule) { return to_json(schedule, false); }

json_object* schedule_to_json_flagged(const Schedule& schedule) { return to_json(schedule, true); }

int schedule_from_json(json_object* object, const char* key, Schedule* out) {
  return from_json(object, key, out, false);
}

int schedule_from_json_flagged(json_object* object, const char* key, Schedule* out) {
  return from_json(object, key, out, true);
}
