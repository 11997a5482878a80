// Alarms through the whole stack (lighttpd + webreq + zvcore-sim + database): an alarm input named,
// linked and scheduled, raised in the simulator, copied to three more inputs; a video-loss block
// for four channels in one request; snapshots scheduled, started and stopped.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <string>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

std::string member_of(const std::string& body, const char* key) {
  json_object* o = json_tokener_parse(body.c_str());
  json_object* v = nullptr;
  std::string text = o != nullptr && json_object_object_get_ex(o, key, &v) ? json_object_to_json_string(v) : "(absent)";
  json_object_put(o);
  return text;
}

// One control command to the running simulator; its answer line.
std::string control(const std::vector<std::string>& words) {
  RunOptions options;
  options.args = {"ctl"};
  options.args.insert(options.args.end(), words.begin(), words.end());
  return run_program(bin_path("zvcore-sim"), options).out;
}

TEST(EndToEndAlarm, InputLinkRaiseCopyVideoLossAndSnapshots) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::string plan = R"([[["08:00","18:00",1]],[["08:00","18:00",1]]])";
  EXPECT_EQ(stack.post_json("/6027", R"({"alarmId": 3, "alarmType": 1, "name": "Back door", "copyCnt": 3,
                                         "copyChn": [4, 5, 6], "dialog": {"triAlarms": 2, "triChannels": "001001",
                                         "interval": 30, "effective": )" + plan + "}}")
                .body,
            "OK");
  const std::string three = stack.post_json("/6026", R"({"alarmId": 3})").body;
  EXPECT_EQ(member_of(three, "name"), R"("Back door")");
  EXPECT_EQ(member_of(three, "triAlarms"), "2") << "alarm output 1";
  EXPECT_EQ(member_of(three, "triChannels"), R"("001001")") << "channels 2 and 5";
  EXPECT_NE(member_of(three, "effective").find(R"({ "startTime": "08:00", "endTime": "18:00", "actionType": 1 })"),
            std::string::npos);
  for (int n : {4, 5, 6}) {
    const std::string copy = stack.post_json("/6026", "{\"alarmId\": " + std::to_string(n) + "}").body;
    EXPECT_EQ(member_of(copy, "alarmType"), "1") << n;
    EXPECT_EQ(member_of(copy, "interval"), "30") << n;
    EXPECT_EQ(member_of(copy, "name"), "\"AlarmIn" + std::to_string(n + 1) + "\"") << "names stay";
    EXPECT_EQ(member_of(copy, "effective"), member_of(three, "effective")) << n;
  }
  for (const auto& m : stack.messages(1)) {
    if (m.id == 1415) {
      EXPECT_EQ(le_i32(m.payload, 0), 0b1111000) << "inputs 3 to 6";
    }
  }

  EXPECT_EQ(control({"alarm", "raise", "in", "3"}), "ok input 3 raised\n");
  EXPECT_EQ(control({"alarm", "state"}), "ok inputs 0001000000000000 outputs 0000 snapshots -\n");

  EXPECT_EQ(stack.post_json("/6095", R"({"chnid": 0, "copyCnt": 3, "copyChn": [1, 2, 3],
                                         "dialog": {"triAlarms": 1, "interval": 15, "audible": )" + plan + "}}")
                .body,
            "OK");
  for (int c = 0; c < 4; ++c) {
    const std::string loss = stack.post_json("/6094", "{\"chnid\": " + std::to_string(c) + "}").body;
    EXPECT_EQ(member_of(loss, "enable"), "2") << c;
    EXPECT_EQ(member_of(loss, "interval"), "15") << c;
    EXPECT_EQ(member_of(loss, "audible"), member_of(three, "effective")) << c;
  }
  EXPECT_EQ(member_of(stack.post_json("/6094", R"({"chnid": 4})").body, "interval"), "20");

  EXPECT_EQ(stack.post_json("/6175", R"({"cnt": 1, "chnid": [2], "schedule": )" + plan + "}").body, "OK");
  EXPECT_NE(stack.get("/6174?2").body.find(R"("startTime": "08:00")"), std::string::npos);
  EXPECT_EQ(stack.post_json("/6178", R"({"snapshotCnt": 1, "snapshotChnId": [2]})").body, "OK");
  stack.messages(1);
  std::string state;
  for (int i = 0; i < 50 && state.find("snapshots 2") == std::string::npos; ++i) state = control({"alarm", "state"});
  EXPECT_EQ(state, "ok inputs 0001000000000000 outputs 0000 snapshots 2\n");
  EXPECT_EQ(stack.post_json("/6178", R"({"stopCnt": 1, "stopChnId": [2]})").body, "OK");
  for (int i = 0; i < 50 && state.find("snapshots -") == std::string::npos; ++i) state = control({"alarm", "state"});
  EXPECT_EQ(state, "ok inputs 0001000000000000 outputs 0000 snapshots -\n");
}

}  // namespace
}  // namespace zvtest
