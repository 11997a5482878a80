// The recording plan request ("/6041") the record tests send: channels `chnid` (a JSON array
// text) of the first `count`, plan mode `mode`; continuous on weekdays (days 1..5 whole day,
// type 1), motion at weekends (00:00-24:00, type 2).
#pragma once

#include <string>

namespace zvtest {

inline std::string week_plan(const std::string& chnid, int count, int mode) {
  std::string days;
  for (int d = 0; d < 8; ++d) {
    const bool weekday = d >= 1 && d <= 5;
    days += std::string(d ? "," : "") + R"({"wholedayEnable":)" + (weekday ? "1" : "0") +
            R"(,"wholedayActionType":)" + (weekday ? "1" : "0") + R"(,"plans":[)" +
            (weekday ? "" : R"(["00:00","24:00",2])") + "]}";
  }
  return R"({"cnt":)" + std::to_string(count) + R"(,"chnid":)" + chnid + R"(,"recordplanmode":)" +
         std::to_string(mode) + R"(,"schedule":[)" + days + "]}";
}

}  // namespace zvtest
