// The camera applications through the whole demo stack (lighttpd, webreq, core simulator,
// database), as the web pages use them.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(EndToEndCameraApps, GroupsFirmwarePosFaceAndReports) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());

  // A group of channels 1 and 2 with a limit and an event action block.
  const std::string group =
      R"({"groups": [{"enable": 1, "stays": 12, "name": "Entrance", "tri_channels": "0110", "auto_day": 1,
          "auto_day_time": "23:30"}]})";
  EXPECT_EQ(stack.post_json("/2067", group).body, R"({ "res": 0 })");
  EXPECT_EQ(stack.post_json("/2070", R"({"groupid": 0, "triAlarms": 1, "interval": 15,
      "audible": [[["08:00", "18:00", 1]]], "ptzParams": [{"acto_ptz_channel": 3, "acto_ptz_type": 1}]})").body,
            R"({ "res": 0 })");
  const std::string groups = stack.post_json("/2066", R"({"action": 1})").body;
  EXPECT_TRUE(has(groups, R"("groupid": 0, "enable": 1, "stays": 12, )")) << groups;
  EXPECT_TRUE(has(groups, R"("name": "Entrance", "auto_day_time": "23:30", "tri_channels": "0110", )")) << groups;
  EXPECT_TRUE(has(groups, R"("dialog": { "chnid": 0, "triAlarms": 1, "interval": 15, )")) << groups;
  EXPECT_TRUE(has(groups, R"("acto_ptz_channel": 3)")) << groups;
  const std::string event = stack.post_json("/2069", R"({"groupid": 0})").body;
  EXPECT_TRUE(has(event, R"("effective": [ [ { "startTime": "08:00", "endTime": "18:00", "actionType": 1 })")) << event;

  // A camera image uploaded as a browser does, checked, then the upgrade of channels 0-2.
  const std::string image(300000, 'f');
  write_file("/tmp/ipc-image.bin", image);
  stack.get("/6082", {"-F", "file=@/tmp/ipc-image.bin;type=application/octet-stream"});
  ASSERT_EQ(read_file("/dev/shm/updateIPCFM.bin").size(), image.size());
  EXPECT_EQ(stack.post_json("/2078", R"({"chnMask": "11100000", "resetMask": "00000000", "fileSize": 300001})").body,
            R"({ "res": -1 })");
  EXPECT_EQ(stack.post_json("/2078", R"({"chnMask": "11100000", "resetMask": "00000000", "fileSize": 300000})").body,
            R"({ "res": 0 })");
  EXPECT_TRUE(has(stack.post_json("/2080", R"({"chnAry": [0, 1, 2], "reset": 0, "url": ""})").body,
                  R"("chnid": 7, "status": [ )"));
  std::string progress;
  for (int i = 0; i < 100 && !has(progress, "status2=100"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    progress = stack.get("/2079").body;
  }
  EXPECT_EQ(progress, "chnid=7\r\nstatus0=100\r\nstatus1=100\r\nstatus2=100\r\nchnMask=11100000\r\n");

  // A POS terminal and its event.
  EXPECT_EQ(stack.post_json("/2074", R"({"id": 2, "enable": 1, "name": "Till 3", "ip": "192.0.2.50", "port": 6000,
      "action": {"triChannels": "0011", "interval": 20, "email": [[["00:00", "24:00", 1]]]}})").body,
            R"({ "res": 0 })");
  const std::string pos = stack.post_json("/2073", R"({"id": 2})").body;
  EXPECT_TRUE(has(pos, R"("id": 2, "enable": 1, "name": "Till 3", )")) << pos;
  EXPECT_TRUE(has(pos, R"("triChannels": "0011")")) << pos;
  EXPECT_TRUE(has(pos, R"("email": [ [ { "startTime": "00:00", "endTime": "24:00")")) << pos;

  // Face capture of channel 4 with an action block.
  EXPECT_EQ(stack.post_json("/2077", R"({"chnId": 4, "enable": 1, "width": 1920, "height": 1080,
      "action": {"triChannels": "00001", "audioId": 1}})").body,
            R"({ "status": 0 })");
  bool face_sent = false;
  bool face_event = false;
  for (const CoreMessage& m : stack.messages()) {
    face_sent = face_sent || (m.id == 3381 && m.payload.size() == 1288 && le_i32(m.payload, 4) == 4 &&
                              le_i32(m.payload, 144) == 1920);
    face_event = face_event || (m.id == 3383 && le_i32(m.payload, 0) == 4);
  }
  EXPECT_TRUE(face_sent);
  EXPECT_TRUE(face_event);

  // Two automatic reports defined, all four read back.
  EXPECT_EQ(stack.post_json("/2076", R"({"report": [{"enable": 1, "triChannels": "011", "backupTime": "06:00"},
      {"enable": 1, "triGroups": "1", "fileFormat": 1}]})").body,
            R"({ "res": 0 })");
  const std::string reports = stack.get("/2075").body;
  EXPECT_TRUE(has(reports, R"({ "reportType": 0, "enable": 1, "triChannels": "011", )")) << reports;
  EXPECT_TRUE(has(reports, R"("backupTime": "06:00")")) << reports;
  EXPECT_TRUE(has(reports, R"({ "reportType": 1, "enable": 1, )")) << reports;
  EXPECT_TRUE(has(reports, R"("triGroups": "1", )")) << reports;
  EXPECT_TRUE(has(reports, R"({ "reportType": 3, "enable": 0, )")) << reports;
  EXPECT_TRUE(has(reports, R"("email": 1 })")) << reports;
}

}  // namespace
}  // namespace zvtest
