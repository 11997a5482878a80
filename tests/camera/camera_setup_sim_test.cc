// The camera setup pages against the core simulator: search the simulated network, test logins,
// move a found camera and find it at its new address, add it, change its image settings and read
// them back; every camera-side set returned by its read; effective plans of several kinds.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/messages/camera_setup.h"
#include "tests/camera/camera_fixture.h"
#include "tests/support/sim_rules.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

std::unique_ptr<SimModule> make_camera_setup_sim();

namespace zvtest {
namespace {

class CameraSetupSimTest : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    start_simulator();
  }
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(CameraSetupSimTest, SearchTestMoveAddAndAdjustACamera) {
  const std::string all = post("/2006", R"({"protocol": 0})").out;
  EXPECT_TRUE(has(all, R"("resultString": "OK")"));
  EXPECT_TRUE(has(all, R"({ "ipAddr": "192.168.1.21", "managePort": 80, "protocol": 0, "macAddr": "02:5A:56:01:00:15")"));
  EXPECT_TRUE(has(all, R"("active_status": 0, "name": "", "snReal")")) << "the camera with a non-ASCII name";
  EXPECT_EQ(post("/2006", R"({"protocol": 4})").out, kJsonHeader + R"({ "resultString": "NO", "IPC": [ ] })");

  const char login[] = R"({"ipAddr": "192.168.1.21", "managePort": 80, "userName": "admin", "password": "%s",
                           "camProtocol": 0})";
  char body[512];
  std::snprintf(body, sizeof body, login, "wrong");
  EXPECT_EQ(post("/2014", body).out, kTextHeader + "USERERROR");
  std::snprintf(body, sizeof body, login, "Admin123");
  EXPECT_EQ(post("/2014", body).out, kOk);
  EXPECT_EQ(post("/2015", body).out, kOk);
  EXPECT_EQ(post("/2014", R"({"ipAddr": "192.168.1.200", "managePort": 80, "camProtocol": 0})").out,
            kTextHeader + "NETWORKERROR");

  const char move[] = R"({"macAddr": "02:5a:56:01:00:15", "oldIpcAddr": "192.168.1.21", "newIpcAddr": "192.168.1.%d",
                          "netmask": "255.255.255.0", "gateway": "192.168.1.1", "primaryDNS": "192.168.1.1",
                          "username": "admin", "password": "%s", "port": 80, "protocol": 0})";
  std::snprintf(body, sizeof body, move, 22, "Admin123");
  EXPECT_EQ(post("/2011", body).out, kJsonHeader + R"({ "resultString": "UNKNOWN_ERR" })") << "address taken";
  std::snprintf(body, sizeof body, move, 61, "wrong");
  EXPECT_EQ(post("/2011", body).out, kJsonHeader + R"({ "resultString": "INVALID_USER" })");
  std::snprintf(body, sizeof body, move, 61, "Admin123");
  EXPECT_EQ(post("/2011", body).out, kJsonHeader + R"({ "resultString": "OK" })");
  const std::string moved = post("/2006", R"({"protocol": 0})").out;
  EXPECT_FALSE(has(moved, R"("ipAddr": "192.168.1.21")"));
  EXPECT_TRUE(has(moved, R"({ "ipAddr": "192.168.1.61", "managePort": 80, "protocol": 0, "macAddr": "02:5A:56:01:00:15")"));

  ASSERT_EQ(post("/2004", R"({"id": 0, "name": "Door", "enable": 1, "ipAddr": "192.168.1.61", "managePort": 80,
                              "camProtocol": 0, "userName": "admin", "password": "Admin123", "transmitProtocol": 0,
                              "enableSubStream": 1, "syncTime": 1})")
                .out,
            kOk);
  EXPECT_TRUE(has(post("/2006", R"({"protocol": 0})").out, R"("ipAddr": "192.168.1.61", "managePort": 80)"));
  EXPECT_TRUE(has(post("/2006", R"({"protocol": 0})").out, R"("netif": "eth0", "active_status": 1, "name": "Front door")"));
  EXPECT_EQ(post("/2057", R"({"chnid": 0})").out,
            kJsonHeader + R"({ "chnid": 0, "ipaddr": "192.168.1.61", "model": "IPC-2M", "fwversion": "V5.0.0 build 261101" })");

  EXPECT_EQ(post("/2020", R"({"channel": [0], "smartir": 0, "whiteblance": 2, "aflevel": 9, "dismode": 5})").out, kOk);
  const std::string image = post("/2019", R"({"id": 0})").out;
  EXPECT_TRUE(has(image, R"({ "id": 0, "smartir": 0, "whiteblance": 2,)")) << image;
  EXPECT_TRUE(has(image, R"("dismode": 1,)")) << "what the camera reports is not set";
  EXPECT_TRUE(has(image, R"("wdraflevel": 9,)"));
}

TEST_F(CameraSetupSimTest, BatchChangesAreReadBack) {
  const char entry[] = R"({"cnt": 2, "oIPCAddr": [
      {"macAddr": "02:5A:56:01:00:16", "oldIpcAddr": "192.168.1.22", "newIpcAddr": "192.168.1.72", "netmask": "n",
       "gateway": "g", "primaryDNS": "d", "username": "admin", "password": "Admin123", "channelId": 1},
      {"macAddr": "02:5A:56:01:00:99", "oldIpcAddr": "x", "newIpcAddr": "192.168.1.73", "netmask": "n",
       "gateway": "g", "primaryDNS": "d", "username": "admin", "password": "Admin123", "channelId": 2}]})";
  EXPECT_EQ(post("/2032", entry).out, kOk);
  std::string results;
  for (int i = 0; i < 100 && !has(results, "00:99"); ++i) results = post("/2033", "").out;
  EXPECT_EQ(results, kJsonHeader + R"({ "IPC": [ { "mac": "02:5A:56:01:00:16", "result": 0 }, )"
                                   R"({ "mac": "02:5A:56:01:00:99", "result": 1 } ] })");
  EXPECT_TRUE(has(post("/2006", R"({"protocol": 0})").out, R"("ipAddr": "192.168.1.72")"));
}

TEST_F(CameraSetupSimTest, CameraSideSetsAreReturnedByTheirReads) {
  enable_cameras({1, 3, 4, 5});
  EXPECT_EQ(post("/2022", R"({"id": 3, "colorkiller": 2, "whiteLedLevel": 7, "sensortype": "x"})").out, kOk);
  const std::string ext = post("/2021", R"({"id": 3})").out;
  EXPECT_TRUE(has(ext, R"({ "id": 3, "colorkiller": 2,)"));
  EXPECT_TRUE(has(ext, R"("sensortype": "ZV-S4",)"));
  EXPECT_TRUE(has(ext, R"("smartwhitestrength": 7,)"));

  EXPECT_EQ(post("/2038", R"({"channel": 3, "id": 4, "enable": 1, "gainLevel": 77})").out, kOk);
  EXPECT_EQ(post("/2047", R"({"cnt": 1, "chnid": [3], "image": [{"enable": 0, "colorMode": 2}]})").out, kOk);
  const std::string profiles = post("/2037", R"({"id": 3})").out;
  EXPECT_TRUE(has(profiles, R"({ "id": 0, "enable": 0, "startHour": 6,)")) << "left out: the camera's";
  EXPECT_TRUE(has(profiles, R"("colorMode": 2 }, { "id": 1,)")) << profiles;
  EXPECT_TRUE(has(profiles, R"("gainLevel": 77,)"));
  EXPECT_TRUE(has(profiles, R"({ "id": 1, "enable": 0, "startHour": 6,)")) << "an unset profile is kept";

  EXPECT_EQ(post("/2040", R"({"chnid": 3, "enable": 1, "cnt": 2, "area": [{"left": 1}, {"left": 2}]})").out, kOk);
  EXPECT_EQ(post("/2050", R"({"chan_id": 3, "area_id": 0})").out, kOk);
  EXPECT_TRUE(has(post("/2039", R"({"id": 3})").out, R"("cnt": 1, "area": [ { "left": 2, )"));

  EXPECT_EQ(post("/2044", R"({"channel": 3, "schedule": [[["07:00", "08:00", 1]]]})").out, kOk);
  EXPECT_TRUE(has(post("/2043", R"({"id": 3})").out, R"({ "channel": 3, "schedule": [ [ { "startTime": "07:00")"));

  EXPECT_EQ(post("/2052", R"({"chnid": 3, "enable": 1, "map_mask": "f0", "copyCnt": 1, "copyChn": [4],
                              "effective": [[["00:00", "23:59", 1]]]})").out,
            kJsonHeader + R"({ "res": 0 })");
  const std::string heat = post("/2051", R"({"chnid": 4})").out;
  EXPECT_TRUE(has(heat, R"({ "chnid": 4, "enable": 1, "sensitivity": 5, "minsize": 10,)")) << "the rest as they were"
                                                                                             << heat;
  EXPECT_TRUE(has(heat, R"("map_mask": "f0", "effective": [ [ { "startTime": "00:00", "endTime": "23:59")"));

  EXPECT_EQ(post("/2055", R"({"chnid": 3, "channels": "000001", "enable": 1, "area": "aa"})").out,
            kJsonHeader + R"({ "res": 0 })");
  EXPECT_TRUE(has(post("/2054", R"({"chnid": 5})").out, R"({ "chnid": 5, "enable": 1,)"));

  EXPECT_EQ(post("/2059", R"({"chnid": 3, "enable": 1, "watermark": "NVR", "copy": "01"})").out,
            kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(post("/2058", R"({"chnid": 1})").out, kJsonHeader + R"({ "chnid": 1, "enable": 1, "watermark": "NVR" })");

  const std::string data = post("/2053", R"({"chnid": 3, "mainType": 1, "subType": 0, "time": "2026-12-09 10:00"})").out;
  EXPECT_EQ(data.rfind(kTextHeader + "chnid=3;mainType=1;subType=0;time=2026-12-09 10:00;grid=22x16\n", 0), 0u);
  EXPECT_EQ(data, post("/2053", R"({"chnid": 3, "mainType": 1, "subType": 0, "time": "2026-12-09 10:00"})").out)
      << "the same motion and time give the same data";

  // Channels 6 and 7 have no camera: a set of them fails, and a copy does not reach them.
  EXPECT_EQ(post("/2059", R"({"chnid": 7, "enable": 1, "watermark": "X"})").out, kJsonHeader + R"({ "res": -1 })");
  EXPECT_EQ(post("/2022", R"({"id": 7, "colorkiller": 2})").out, kTextHeader + "ERROR");
  EXPECT_EQ(post("/2052", R"({"chnid": 3, "enable": 1, "copyCnt": 1, "copyChn": [6]})").out,
            kJsonHeader + R"({ "res": 0 })");
  EXPECT_TRUE(has(post("/2051", R"({"chnid": 6})").out, R"({ "chnid": 6, "enable": 0,)"));
  EXPECT_EQ(post("/2044", R"({"channel": 7, "schedule": [[["07:00", "08:00", 1]]]})").out, kOk);  // told only
  EXPECT_FALSE(has(post("/2043", R"({"id": 7})").out, "07:00"));
}

TEST_F(CameraSetupSimTest, EffectivePlansOfSeveralKindsInOneRequest) {
  const std::string plan = R"([[["01:00", "02:00", 3]], [], [["10:00", "11:00", 1]]])";
  EXPECT_EQ(post("/2036", R"({"channel": 0, "start": 0, "end": 8, "schedule_motion": )" + plan + "}").out, kOk);
  const std::string reply = post("/2035", R"({"channel": 0})").out;
  EXPECT_TRUE(has(reply, R"({ "schedule_motion": [ [ { "startTime": "01:00", "endTime": "02:00", "actionType": 3 })"));
  EXPECT_TRUE(has(reply, R"(} ], [ { "startTime": "10:00", "endTime": "11:00", "actionType": 1 })")) << reply;
  EXPECT_TRUE(has(post("/6153", "0").out, R"("startTime": "10:00")"))
      << "the motion page reads the same plan";
}

TEST(CameraSetupSimModule, TheNetworkIsListedByControl) {
  std::unique_ptr<SimModule> module = make_camera_setup_sim();
  std::string answer;
  EXPECT_FALSE(module->control({"network", "x"}, &answer));
  ASSERT_TRUE(module->control({"network"}, &answer));
  EXPECT_EQ(answer.rfind("192.168.1.21 80 0 admin/Admin123; 192.168.1.22 80 0 admin/Admin123; ", 0), 0u) << answer;
  EXPECT_NE(answer.find("192.168.1.31 6036 2 admin/zv12345"), std::string::npos);
}

// A camera plan not set yet is the empty plan of its channel; a channel outside 0..63 has none.
TEST(CameraSetupSimModule, UnsetPlansNameTheirChannel) {
  Simulator simulator(SimOptions{});
  for (const int32_t id : {kPlanARead.id, kPlanBRead.id, kPlanCRead.id}) {
    for (const int32_t channel : {63, 64}) {
      SCOPED_TRACE(std::to_string(id) + " " + std::to_string(channel));
      const SimRequest request{0, 3, id, reinterpret_cast<const unsigned char*>(&channel), sizeof channel};
      SimAnswer a;
      simulator.rules().find(request)->fn(request, a);
      ASSERT_EQ(a.replies().size(), 1u);
      int32_t named = 0;
      std::memcpy(&named, a.replies()[0].payload.data(), sizeof named);
      EXPECT_EQ(named, channel == 63 ? 63 : -1);
    }
  }
}

TEST(CameraSetupSimModule, EveryMessageHasItsRuleAndReplyId) {
  Simulator simulator(SimOptions{});
  expect_module_rules(simulator, declared_messages("camera_setup"), "camera_setup");
}

}  // namespace
}  // namespace zvtest
