// PTZ through the demo stack: the simulated head of channel 1 moves while a move is active and
// stops on stop, a preset stores and recalls its position, and a shortened tour keeps no stale
// key point.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

// The simulated head's position of a channel, as the simulator's control command tells it.
std::string head_of(int channel) {
  RunOptions options;
  options.args = {"ctl", "--control", "/var/run/zvcore-sim.ctl", "ptz", "position", std::to_string(channel)};
  const RunResult r = run_program(bin_path("zvcore-sim"), options);
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  return r.out;
}

std::string pan_of(const std::string& head) { return head.substr(0, head.find(' ', 3)); }

// The head of a channel once `done` holds for it, or after two seconds: the notices a request sends
// are read on the simulator's own thread, while its control command answers at once.
std::string head_when(int channel, const std::function<bool(const std::string&)>& done) {
  std::string head = head_of(channel);
  for (int i = 0; i < 100 && !done(head); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    head = head_of(channel);
  }
  return head;
}
bool has(const std::string& head, const char* part) { return head.find(part) != std::string::npos; }

// The number of key points tour `index` lists in a /5005 reply (-1 when there is no such tour).
int tour_points(const std::string& body, size_t index) {
  json_object* o = json_tokener_parse(body.c_str());
  json_object* tours = nullptr;
  int points = -1;
  if (o != nullptr && json_object_object_get_ex(o, "TOUR", &tours) && index < json_object_array_length(tours)) {
    points = static_cast<int>(json_object_array_length(json_object_array_get_idx(tours, index)));
  }
  json_object_put(o);
  return points;
}

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST(EndToEndPtz, MoveStorePresetMoveAwayRecallAndTours) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  EXPECT_EQ(pan_of(head_of(1)), "ok pan=0.0");
  // Without a camera on the channel the camera refuses the speed: the move answers "ERROR".
  EXPECT_EQ(stack.post_json("/5000", R"({"channelId":1,"action":4,"panSpeed":3})").body, "ERROR");
  EXPECT_EQ(stack.post_json("/2003", R"({"id": 1, "name": "Dome", "enable": 1, "ipAddr": "192.168.1.31",
      "managePort": 6036, "camProtocol": 0, "userName": "admin", "password": "zv12345", "transmitProtocol": 1,
      "mainRtspPort": 554, "mainSourcePath": "/main"})").body,
            "OK");

  // Right for a moment, then stop: the head has turned and stays where it stopped.
  EXPECT_EQ(stack.post_json("/5000", R"({"channelId":1,"action":4,"panSpeed":3})").body, "OK");
  pause_ms(300);
  EXPECT_EQ(stack.post_json("/5000", R"({"channelId":1,"action":0,"panSpeed":3})").body, "OK");
  const std::string stopped = head_when(1, [](const std::string& h) { return has(h, "moving=0"); });
  EXPECT_NE(pan_of(stopped), "ok pan=0.0");
  EXPECT_NE(stopped.find("moving=0"), std::string::npos) << stopped;
  pause_ms(100);
  EXPECT_EQ(head_of(1), stopped);

  const std::string preset = R"({"channelId":1,"action":22,"presetId":3,"name":"Door","panSpeed":1,)"
                             R"("tiltSpeed":1,"zoomSpeed":1,"focusSpeed":1})";
  EXPECT_EQ(stack.post_json("/5001", preset).body, "OK");
  EXPECT_EQ(stack.post_json("/5000", R"({"channelId":1,"action":1,"panSpeed":5})").body, "OK");
  pause_ms(200);
  EXPECT_EQ(stack.post_json("/5000", R"({"channelId":1,"action":0})").body, "OK");
  EXPECT_NE(head_when(1, [](const std::string& h) { return has(h, "moving=0"); }), stopped);
  std::string call = preset;
  call.replace(call.find("\"action\":22"), 11, "\"action\":23");
  EXPECT_EQ(stack.post_json("/5001", call).body, "OK");
  EXPECT_EQ(head_when(1, [&](const std::string& h) { return h == stopped; }), stopped);

  // A tour of three presets, shortened to two: the listing and the stored table hold two.
  const std::string three = R"({"chn":1,"tourid":1,"rowsize":3,"path":[{"preset":3,"speed":2,"time":5},)"
                            R"({"preset":4,"speed":2,"time":5},{"preset":5,"speed":2,"time":5}]})";
  EXPECT_EQ(stack.post_json("/6055", three).body, "OK");
  EXPECT_EQ(tour_points(stack.post_json("/5005", R"({"chn":1})").body, 0), 3);
  std::string two = three;
  two.replace(two.find("\"rowsize\":3"), 11, "\"rowsize\":2");
  EXPECT_EQ(stack.post_json("/6055", two).body, "OK");
  const std::string listing = stack.post_json("/5005", R"({"chn":1})").body;
  EXPECT_EQ(tour_points(listing, 0), 2);
  EXPECT_NE(listing.find(R"({ "enable": 0, "name": "" }, { "enable": 1, "name": "Door" })"), std::string::npos);

  // Started, the tour stands at its first key point (preset 3).
  EXPECT_EQ(stack.post_json("/5004", R"({"action":1,"chn":1,"tourid":1})").body, "OK");
  const std::string touring = head_when(1, [](const std::string& h) { return has(h, "tour=1"); });
  EXPECT_EQ(pan_of(touring), pan_of(stopped));
  EXPECT_TRUE(has(touring, "tour=1")) << touring;
  EXPECT_EQ(stack.post_json("/5004", R"({"action":0,"chn":1,"tourid":1})").body, "OK");
  EXPECT_TRUE(has(head_when(1, [](const std::string& h) { return has(h, "tour=0"); }), "tour=0"));
}

}  // namespace
}  // namespace zvtest
