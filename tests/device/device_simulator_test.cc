// The core simulator's device rules driven by the requests: audio slots that hold real files,
// port mapping statuses and the second output shown by the next read, a real diagnostics package.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <span>
#include <string>

#include "common/messages/local.h"
#include "common/messages/network.h"
#include "common/messages/device.h"
#include "tests/admin/admin_fixture.h"
#include "tests/device/device_fixture.h"
#include "tests/support/sim_rules.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/simulator.h"

namespace zvtest {
namespace {

class DeviceSimulatorTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    start_simulator();
  }
};

const std::string kWave = std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(28, '\0');

TEST_F(DeviceSimulatorTest, AudioSlotsHoldNamedFilesUntilDeleted) {
  const Upload wave = multipart_upload("bell.wav", kWave);
  const std::string upload = post("/6321", wave.body, wave.env).out;
  ASSERT_EQ(upload, kTextHeader + "CGI OK status:[0], data:[YmVsbC53YXY]");
  EXPECT_EQ(post("/6322", R"({"uploadName": "YmVsbC53YXY", "name": "Door bell"})").out, kJsonHeader + R"({ "status": 0 })");
  // An upload named ".wav" that holds no WAV data ("note.wav" in URL-safe Base64): the core refuses it.
  write_file("/tmp/bm90ZS53YXY", "text");
  EXPECT_EQ(post("/6322", R"({"uploadName": "bm90ZS53YXY", "name": "x"})").out, kJsonHeader + R"({ "status": -3 })");
  EXPECT_EQ(post("/6324", R"({"id": 0, "name": "Front door"})").out, kJsonHeader + R"({ "status": 0 })");
  EXPECT_EQ(post("/6324", R"({"id": 1, "name": "nothing here"})").out, kJsonHeader + R"({ "status": -1 })");
  EXPECT_EQ(get("/6320").out,
            kJsonHeader + R"({ "audioFileList": [ { "id": 0, "enable": 1, "name": "Front door" } ], "status": 0 })");
  EXPECT_EQ(post("/6325", R"({"id": 0})").out, kJsonHeader + R"({ "status": 0 })");
  EXPECT_EQ(post("/6325", R"({"id": 1})").out, kJsonHeader + R"({ "status": -1 })");
  EXPECT_EQ(read_file("/mnt/nand/app/audio/alarm0.wav"), kWave);
  EXPECT_EQ(post("/6323", R"({"idMask": 1})").out, kJsonHeader + R"({ "status": 0 })");
  EXPECT_EQ(get("/6320").out, kJsonHeader + R"({ "audioFileList": [ ], "status": 0 })");
  EXPECT_FALSE(file_exists("/mnt/nand/app/audio/alarm0.wav"));
}

TEST_F(DeviceSimulatorTest, TheCoreStoresWhatTheNextReadShows) {
  EXPECT_EQ(post("/1031", R"({"enable": 1, "external_http_port": 8080, "external_rtsp_port": 0})").out, kOk);
  for (int i = 0; i < 200 && get("/1030").out.find("\"http_status\": 1") == std::string::npos; ++i) usleep(10000);
  EXPECT_EQ(get("/1030").out, kJsonHeader + R"({ "enable": 1, "type": 0, "external_http_port": 8080, "http_status": 1, )"
                                            R"("external_rtsp_port": 0, "rtsp_status": 0, "http_port": 80, "rtsp_port": 554 })");
  EXPECT_EQ(post("/6081", R"({"mainResolution": 0, "audioOutputOn": 1, "audioVolume": 60, "hdmiAudioOn": 1,
                              "subResolution": 0, "wizardEnable": 0, "hostname": "NVR", "deviceId": 5,
                              "displayMode": 0, "subEnable": 1})").out,
            kOk);
  for (int i = 0; i < 200 && get("/6080").out.find("\"subEnable\": 1") == std::string::npos; ++i) usleep(10000);
  EXPECT_NE(get("/6080").out.find("\"subEnable\": 1"), std::string::npos);
  EXPECT_EQ(get("/6075").out, kTextHeader + "0");
}

TEST_F(DeviceSimulatorTest, DiagnosticsExportWritesATarPackage) {
  const std::string reply = get("/6310").out;
  ASSERT_EQ(reply.rfind(kTextHeader + "OK//tmp/diagnostic-", 0), 0u) << reply;
  const std::string path = reply.substr(kTextHeader.size() + 3, reply.size() - kTextHeader.size() - 5);
  const RunResult listing = shell("tar -tf " + path);
  EXPECT_EQ(listing.out, "cgi_log.txt\nsettings.txt\ntables.txt\nsimulator.txt\n");
  EXPECT_FALSE(file_exists("/tmp/tmp_diagnostic"));
}

// Interface name -> id as a status page lists them.
std::map<std::string, int> interface_ids(const std::string& reply, const char* pattern, int name, int id) {
  std::map<std::string, int> ids;
  const std::regex re(pattern);
  for (auto m = std::sregex_iterator(reply.begin(), reply.end(), re); m != std::sregex_iterator(); ++m) {
    ids[(*m)[name].str()] = std::stoi((*m)[id].str());
  }
  return ids;
}

// With the PPPoE link up (listed first on the interface page) every throughput row still carries
// the id its interface has on the interface page.
TEST_F(DeviceSimulatorTest, ThroughputRowsCarryTheIdsOfTheInterfacePage) {
  ASSERT_EQ(post("/7011", R"({"enable":1,"autoConnect":1,"userName":"dsl-user","password":"pw"})").out, kOk);
  for (int i = 0; i < 200 && get("/8000").out.find("\"ppp0\"") == std::string::npos; ++i) usleep(10000);
  const auto listed = interface_ids(get("/8000").out, R"re("ifname": "([^"]*)", "id": (\d+))re", 1, 2);
  ASSERT_EQ(listed.at("ppp0"), 0);
  EXPECT_EQ(interface_ids(get("/8001").out, R"re("id": (\d+), "ifname": "([^"]*)")re", 2, 1), listed);
}

TEST(DeviceSimulatorRules, EveryDeviceAndNetworkMessageHasItsRuleAndReplyId) {
  Simulator simulator(SimOptions{});
  expect_module_rules(simulator, declared_messages("device"), "device");
  expect_module_rules(simulator, declared_messages("network"), "device");
}

}  // namespace
}  // namespace zvtest
