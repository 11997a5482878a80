#include "tests/video/video_fixture.h"

namespace zvtest {

MotionRecord VideoTest::motion(int channel) {
  MotionRecord record{};
  kMotions.read(kZvdbPath, &record, {channel});
  zvdb_close_all();
  return record;
}

void VideoTest::store_motion(const MotionRecord& record) {
  ASSERT_EQ(kMotions.write(kZvdbPath, &record), 0);
  zvdb_close_all();
}

Schedule VideoTest::plan(const zvdb::Table<Schedule>& plans, int channel) {
  Schedule schedule{};
  plans.read(kZvdbPath, &schedule, {channel});
  zvdb_close_all();
  return schedule;
}

OsdRecord VideoTest::osd(int channel) {
  OsdRecord record{};
  kOsds.read(kZvdbPath, &record, {channel});
  zvdb_close_all();
  return record;
}

JsonPtr parse(const std::string& text) {
  JsonPtr object(json_tokener_parse(text.c_str()));
  EXPECT_NE(object, nullptr) << text;
  return object;
}

std::string schedule_input(const std::map<std::pair<int, int>, std::string>& fill) {
  std::string out = "[";
  for (int d = 0; d < 8; ++d) {
    out += d ? ",[" : "[";
    for (int r = 0; r < 12; ++r) {
      if (r) out += ",";
      auto it = fill.find({d, r});
      out += it != fill.end() ? it->second : "[\"\",\"\",0]";
    }
    out += "]";
  }
  return out + "]";
}

}  // namespace zvtest
