// The camera applications against the core simulator: counts that move and reset, a firmware
// upgrade that reads the image and runs to done or stops, and every set answered.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "common/messages/camera_apps.h"
#include "tests/support/request_fixture.h"
#include "tests/support/sim_rules.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

std::unique_ptr<SimModule> make_camera_apps_sim();

namespace zvtest {
namespace {

class CameraAppsSimulatorTest : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    start_simulator();
  }
  int res_of(const std::string& reply) {
    const size_t at = reply.find("\"res\": ");
    return at == std::string::npos ? -9999 : std::stoi(reply.substr(at + 7));
  }
  // Polls /2079 until `line` shows, for up to ten seconds; the last reply.
  std::string wait_progress(const std::string& line) {
    std::string reply;
    for (int i = 0; i < 100; ++i) {
      reply = get("/2079").out;
      if (reply.find(line) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return reply;
  }
};

TEST_F(CameraAppsSimulatorTest, FirmwareCheckReadsTheImageAndTheUpgradeRunsToDoneOrStops) {
  EXPECT_EQ(get("/2079").out, kCgiErrorText);  // nothing started yet
  EXPECT_EQ(res_of(post("/2078", R"({"chnMask": "1", "fileSize": 1000})").out), -2);
  write_file("/dev/shm/updateIPCFM.bin", std::string(1000, 'i'));
  EXPECT_EQ(res_of(post("/2078", R"({"chnMask": "1", "fileSize": 999})").out), -1);
  EXPECT_EQ(res_of(post("/2078", R"({"chnMask": "0", "fileSize": 1000})").out), -3);
  EXPECT_EQ(res_of(post("/2078", R"({"chnMask": "101", "resetMask": "1", "fileSize": 1000})").out), 0);

  const std::string started = post("/2080", R"({"chnAry": [0, 2], "reset": 0})").out;
  EXPECT_NE(started.find(R"("chnid": 5, "status": [ )"), std::string::npos) << started;
  EXPECT_NE(started.find(R"("chnMask": "10100000" })"), std::string::npos) << started;
  const std::string done = wait_progress("status2=100");
  EXPECT_EQ(done, kTextHeader + "chnid=5\r\nstatus0=100\r\nstatus2=100\r\nchnMask=10100000\r\n");

  post("/2080", R"({"chnAry": [1]})");
  EXPECT_EQ(post("/2081", R"({"stop": 1})").out, "");
  EXPECT_EQ(wait_progress("status1=-2"), kTextHeader + "chnid=2\r\nstatus1=-2\r\nchnMask=01000000\r\n");

  unlink("/dev/shm/updateIPCFM.bin");
  post("/2080", R"({"chnAry": [4]})");
  EXPECT_EQ(wait_progress("status4=-1"), kTextHeader + "chnid=16\r\nstatus4=-1\r\nchnMask=00001000\r\n");
}

TEST_F(CameraAppsSimulatorTest, GroupCountsMoveAndReset) {
  EXPECT_EQ(res_of(post("/2067", R"({"groups": [{"enable": 1, "tri_channels": "0110"}]})").out), 0);
  EXPECT_EQ(res_of(post("/2072", R"({"groupid": 0})").out), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(2300));
  EXPECT_GE(res_of(post("/2072", R"({"groupid": 0})").out), 2);  // two channels, one more in than out
  EXPECT_EQ(res_of(post("/2072", R"({"groupid": 1})").out), 0);  // disabled: nobody counted
  EXPECT_EQ(res_of(post("/2071", R"({"groupid": 0})").out), 0);
  EXPECT_LE(res_of(post("/2072", R"({"groupid": 0})").out), 2);
  const std::string page = post("/2068", R"({"chnid": 1, "url": "count"})").out;
  EXPECT_NE(page.find(R"("res": 0, "chnid": 1, "data": "url=count;in=)"), std::string::npos) << page;
}

TEST_F(CameraAppsSimulatorTest, EverySetIsAnswered) {
  EXPECT_EQ(post("/2070", R"({"groupid": 1, "interval": 3})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(post("/2074", R"({"id": 2, "name": "Till", "action": {"interval": 4}})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(post("/2076", R"({"report": [{"enable": 1}]})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(post("/2077", R"({"chnId": 3, "enable": 1, "action": {"interval": 5}})").out,
            kJsonHeader + R"({ "status": 0 })");
}

// A client may fill the URL field to its end: the scheme is looked for inside it, never in the path
// that follows.
TEST(CameraAppsSimModule, AnUpgradeUrlIsReadWithinItsField) {
  unlink(kCameraImagePath);
  Simulator simulator(SimOptions{});
  FirmwareStart start{};
  start.channels = 1;
  std::memset(start.url, 'a', sizeof start.url);
  std::memcpy(start.path, "x://y", 6);
  const SimRequest request{0, 3, kFirmwareStart.id, reinterpret_cast<const unsigned char*>(&start), sizeof start};
  SimAnswer a;
  simulator.rules().find(request)->fn(request, a);
  ASSERT_EQ(a.replies().size(), 1u);
  EXPECT_EQ(record_from<FirmwareProgress>(a.replies()[0].payload).status[0], -1) << "no image and no URL";
}

TEST(CameraAppsSimModule, EveryMessageHasItsRuleReplyIdAndTheControlCommandsAnswer) {
  Simulator simulator(SimOptions{});
  expect_module_rules(simulator, declared_messages("camera_apps"), "camera_apps");
  SimModule* apps = simulator.module("camera_apps");
  ASSERT_NE(apps, nullptr);
  struct Row {
    std::vector<std::string> words;
    bool known;
    std::string answer;
  } rows[] = {
      {{"firmware"}, true, "idle"},
      {{"pos", "4"}, true, "error: no such POS"},
      {{"face", "0"}, true, "error: no such face"},
      {{"groups"}, true, "group0 in=0 out=0 staying=0 group1 in=0 out=0 staying=0 group2 in=0 out=0 staying=0 "
                         "group3 in=0 out=0 staying=0"},
      {{"other"}, false, ""},
  };
  for (const Row& row : rows) {
    std::string answer;
    EXPECT_EQ(apps->control(row.words, &answer), row.known);
    EXPECT_EQ(answer, row.answer);
  }
  zvdb_close_all();
}

}  // namespace
}  // namespace zvtest
