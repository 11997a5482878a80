// The core simulator's alarm module: a rule for every alarm message, live alarm state changed by
// its control commands, and what the alarm sets keep returned by the matching reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "common/messages/alarm.h"
#include "tests/alarm/alarm_fixture.h"
#include "tests/support/sim_rules.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/control.h"
#include "tools/zvcore-sim/simulator.h"

namespace zvtest {
namespace {

class AlarmSimulatorTest : public AlarmTest {
 protected:
  void wait_logged(size_t count) {
    for (int i = 0; i < 200 && logged_ids().size() < count; ++i) usleep(10000);
  }
};

TEST_F(AlarmSimulatorTest, EveryAlarmMessageHasItsRule) {
  Simulator simulator(SimOptions{});
  expect_module_rules(simulator, declared_messages("alarm"), "alarm");
  expect_module_rules(simulator, declared_messages("alarm_event"), "alarm");
  struct Row {
    const char* line;
    const char* answer;
  } rows[] = {
      {"alarm raise in 3", "ok input 3 raised"},
      {"alarm raise camera 63 1", "ok camera 63 input 1 raised"},
      {"alarm state", "ok inputs 0001000000000000 outputs 0000 snapshots -"},
      {"alarm clear in 3", "ok input 3 cleared"},
      {"alarm raise in 16", "error usage: raise in <0..15> | raise camera <0..63> <0|1>"},
      {"alarm clear camera 64 0", "error usage: clear in <0..15> | clear camera <0..63> <0|1>"},
      {"alarm raise camera 1 2", "error usage: raise in <0..15> | raise camera <0..63> <0|1>"},
      {"alarm state", "ok inputs 0000000000000000 outputs 0000 snapshots -"},
  };
  for (const Row& row : rows) EXPECT_EQ(sim_control(simulator, row.line), row.answer) << row.line;
}

TEST_F(AlarmSimulatorTest, CameraAlarmSetsAndStateAreReturnedByTheirReads) {
  enable_cameras({2, 3});  // channel 4 has no camera: the copy does not reach it
  start_simulator();
  ASSERT_EQ(post("/6025", R"({"chnid": 2, "alarmCnt": 2, "copyCnt": 2, "copyChn": [3, 4],
                              "alarm": [{"alarmEnable": 1, "alarmType": 1}, {"alarmEnable": 1, "alarmType": 0}]})")
                .out,
            kOk);
  ASSERT_EQ(post("/6029", R"({"chnid": 2, "alarmCnt": 2, "alarm": [{"alarmType": 1}, {"alarmType": 1}]})").out, kOk);
  ASSERT_EQ(post("/6033", R"({"chnid": 2, "alarmId": 1, "state": 1})").out, kOk);
  ASSERT_EQ(post("/6091", R"({"camId": 2, "enable": 1, "type": 4, "triActions": 3, "triChannels": "01"})").out, kOk);
  wait_logged(7);
  EXPECT_PREFIX(body_of(post("/6024", R"({"chnid": 3})").out),
            R"({ "chnid": 3, "alarmCnt": 2, "alarm": [ { "alarmEnable": 1, "alarmType": 1, "alarmStatus": 0, "alarmN)");
  EXPECT_EQ(post("/6024", R"({"chnid": 4})").out.find(R"("alarmEnable": 1)"), std::string::npos);
  EXPECT_NE(post("/6028", R"({"chnid": 2})").out.find(R"({ "alarmType": 1, "alarmStatus": 1, "alarmName": "AlarmOut2")"),
            std::string::npos);
  EXPECT_EQ(get("/6090", "2").out,
            kJsonHeader + R"({ "camId": 2, "enable": 1, "type": 4, "triActions": 3, "triChannels": "01" })");
  // The audio alarm: every member of the set comes back, with the stored triggers.
  ASSERT_EQ(post("/6093", R"({"camId": 2, "enable": 1, "type": 2, "volume": 30, "duration": 5, "onEvent": 6, )"
                          R"("offEvent": 7, "ongoingEvent": 8, "triActions": 1, "triChannels": "001"})").out,
            kOk);
  EXPECT_EQ(get("/6092", "2").out,
            kJsonHeader + R"({ "camId": 2, "enable": 1, "type": 2, "volume": 30, "duration": 5, "onEvent": 6, )"
                          R"("offEvent": 7, "ongoingEvent": 8, "triActions": 1, "triChannels": "001" })");
}

}  // namespace
}  // namespace zvtest
