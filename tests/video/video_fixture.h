// Fixture of the video tests: the request-level base (fresh device, factory database, fake core,
// webreq) plus direct access to the motion, schedule and OSD records.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "common/request.h"
#include "platform/zvdb/video_tables.h"
#include "tests/support/request_fixture.h"

namespace zvtest {

class VideoTest : public RequestTest {
 protected:
  // Direct database access (connections closed afterwards so webreq sees a quiet file).
  MotionRecord motion(int channel);
  void store_motion(const MotionRecord& record);
  Schedule plan(const zvdb::Table<Schedule>& plans, int channel);
  OsdRecord osd(int channel);
};

// A JSON text as a tree (a failed parse is a test failure and gives null).
JsonPtr parse(const std::string& text);

// What a writer call printed, parsed back for the checks of the tree.
template <class F>
JsonPtr written(F write) {
  JsonWriter w;
  write(w);
  return parse(std::string(w.text()));
}

// A schedule in the input form: 8 days of 12 ranges; range (day, slot) given by `fill` or empty.
std::string schedule_input(const std::map<std::pair<int, int>, std::string>& fill = {});

}  // namespace zvtest
