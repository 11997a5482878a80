// Display, device name, automatic reboot, port mapping and the plain core requests: exact replies,
// exact payloads in order, every range refused on both sides with nothing stored or sent.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/messages/network.h"
#include "common/messages/device.h"
#include "platform/zvdb/device_tables.h"
#include "platform/zvdb/network_tables.h"
#include "tests/device/device_fixture.h"
#include "tests/support/held_lock.h"

namespace zvtest {
namespace {

using DisplayTest = DeviceTest;

// A display set with every required member; `change` replaces "key": value pairs.
std::string display_body(const std::string& extra = "") {
  return R"({"mainResolution": 0, "audioOutputOn": 1, "audioVolume": 60, "hdmiAudioOn": 0, "subResolution": 0,
             "wizardEnable": 1, "hostname": "Gate NVR", "deviceId": 7, "displayMode": 1, "subEnable": 0)" +
         extra + "}";
}

std::string with(std::string body, const std::string& from, const std::string& to) {
  body.replace(body.find(from), from.size(), to);
  return body;
}

const std::string kFactoryDisplay =
    R"({ "displayMode": 0, "hdmihotplug": 1, "mainResolution": 0, "hdmiAudioOn": 1, "homologous": 1, )"
    R"("curControl": 0, "subEnable": 0, "subResolution": 0, "audioOutputOn": 1, "audioVolume": 50, )"
    R"("deviceId": 255, "hostname": "NVR", "wizardEnable": 0 })";

TEST_F(DisplayTest, ReadShowsTheFactoryValues) { EXPECT_EQ(get("/6080").out, kJsonHeader + kFactoryDisplay); }

TEST_F(DisplayTest, SetStoresEverythingAndTellsTheCoreInOrder) {
  EXPECT_EQ(post("/6081", with(display_body(R"(, "audioStereo": 1, "hdmihotplug": 0, "streamInfo": 3)"),
                               "\"mainResolution\": 0", "\"mainResolution\": 3"))
                .out,
            kOk);
  EXPECT_EQ(get("/6080").out,
            kJsonHeader + R"({ "displayMode": 1, "hdmihotplug": 0, "mainResolution": 3, "hdmiAudioOn": 0, )"
                          R"("homologous": 1, "curControl": 0, "subEnable": 0, "subResolution": 0, "audioOutputOn": 1, )"
                          R"("audioVolume": 60, "deviceId": 7, "hostname": "Gate NVR", "wizardEnable": 1 })");
  EXPECT_EQ(row(kDisplay).audio_stereo, 1);
  EXPECT_EQ(setting("stream_information"), "3");
  // Only the main resolution changed: both outputs and the apply are sent all the same.
  EXPECT_EQ(ids(), (std::vector<int32_t>{1705, 1702, 1001, 1001, 1015, 1002, 3485}));
  EXPECT_EQ(only_message(*core_, kDeviceId.id).payload, int32s({7}));
  EXPECT_EQ(only_message(*core_, kNetworkChanged.id).payload, text_field("hostname", 32));
  const auto resolutions = core_->received(kOutputResolution.id);
  EXPECT_EQ(resolutions[0].payload, int32s({0, 3}));
  EXPECT_EQ(resolutions[1].payload, int32s({1, 0}));
  EXPECT_TRUE(only_message(*core_, kOutputsApply.id).payload.empty());
  EXPECT_EQ(only_message(*core_, kAudioOutputs.id).payload, int32s({0, 1, 60}));
  EXPECT_EQ(only_message(*core_, 3485).payload, expected_log(204, 913));
}

TEST_F(DisplayTest, PartialSetKeepsWhatItDoesNotCarryAndSwitchesTheSecondOutput) {
  DisplayConfig stored = row(kDisplay);
  stored.audio_stereo = 2;
  store(kDisplay, stored);
  EXPECT_EQ(post("/6081", with(display_body(), "\"subEnable\": 0", "\"subEnable\": 1")).out, kOk);
  EXPECT_EQ(row(kDisplay).audio_stereo, 2);
  EXPECT_EQ(row(kDisplay).sub_enable, 0) << "the core switches the output and stores it";
  EXPECT_EQ(setting("hdmihotplug"), "1");
  EXPECT_EQ(ids(), (std::vector<int32_t>{1023, 1705, 1702, 1002, 3485}));
  EXPECT_EQ(only_message(*core_, kSecondOutput.id).payload, int32s({1}));
}

TEST_F(DisplayTest, HomologousChangeSetsTheSecondOutputAndRebootsAfterTheReply) {
  EXPECT_EQ(post("/6081", display_body(R"(, "isHomologousChanged": 1, "homologous": 0)")).out, kOk);
  EXPECT_EQ(row(kDisplay).sub_enable, 1);
  EXPECT_EQ(setting("homologous"), "0");
  EXPECT_EQ(setting("quick_screen"), "1");
  EXPECT_EQ(ids(), (std::vector<int32_t>{1705, 1702, 1002, 3485, 1703}));
}

TEST_F(DisplayTest, AnotherControlOutputAnswersSubAndSendsNoSwitch) {
  DisplayConfig stored = row(kDisplay);
  stored.cur_control = 1;
  store(kDisplay, stored);
  EXPECT_EQ(post("/6081", with(display_body(), "\"subEnable\": 0", "\"subEnable\": 1")).out, kTextHeader + "SUB");
  EXPECT_EQ(ids(), (std::vector<int32_t>{1705, 1702, 1002, 3485}));
}

TEST_F(DisplayTest, SetRefusesEveryBadValue) {
  const char* cases[][2] = {
      {"\"audioVolume\": 60", "\"audioVolume\": 55"},   {"\"audioVolume\": 60", "\"audioVolume\": -10"},
      {"\"audioVolume\": 60", "\"audioVolume\": 110"},  {"\"audioOutputOn\": 1", "\"audioOutputOn\": 2"},
      {"\"hdmiAudioOn\": 0", "\"hdmiAudioOn\": -1"},    {"\"wizardEnable\": 1", "\"wizardEnable\": 2"},
      {"\"deviceId\": 7", "\"deviceId\": -1"},          {"\"deviceId\": 7", "\"deviceId\": 257"},
      {"\"displayMode\": 1", "\"displayMode\": 2"},     {"\"subEnable\": 0", "\"subEnable\": -1"},
      {"\"mainResolution\": 0,", ""},                   {"\"subResolution\": 0,", ""},
      {"\"hostname\": \"Gate NVR\",", ""},              {"\"hostname\": \"Gate NVR\"", "\"hostname\": \"\xff\""},
      // The first value outside each range on the side the rows above leave out, and each required
      // member absent.
      {"\"audioOutputOn\": 1", "\"audioOutputOn\": -1"}, {"\"hdmiAudioOn\": 0", "\"hdmiAudioOn\": 2"},
      {"\"wizardEnable\": 1", "\"wizardEnable\": -1"},  {"\"displayMode\": 1", "\"displayMode\": -1"},
      {"\"subEnable\": 0", "\"subEnable\": 2"},         {"\"audioVolume\": 60", "\"audioVolume\": 101"},
      {"\"audioOutputOn\": 1,", ""},                    {"\"audioVolume\": 60,", ""},
      {"\"hdmiAudioOn\": 0,", ""},                      {"\"wizardEnable\": 1,", ""},
      {"\"deviceId\": 7,", ""},                         {"\"displayMode\": 1,", ""},
      {", \"subEnable\": 0", ""},
  };
  for (const auto& c : cases) expect_refused("/6081", with(display_body(), c[0], c[1]));
  for (const char* homologous : {"-1", "2"}) {
    expect_refused("/6081", display_body(std::string(R"(, "homologous": )") + homologous));
  }
  expect_refused("/6081", "{");
  // The display page's device id range is 0..256.
  EXPECT_EQ(post("/6081", with(display_body(), "\"deviceId\": 7", "\"deviceId\": 0")).out, kOk);
  EXPECT_EQ(post("/6081", with(display_body(), "\"deviceId\": 7", "\"deviceId\": 256")).out, kOk);
}

// A display set while another request stores the display row and a kept setting: what the set
// does not carry stays as the other request left it.
TEST_F(DisplayTest, SetKeepsWhatAnotherRequestStoredMeanwhile) {
  const RunResult set = while_lock_held([&] { return post("/6081", display_body()); }, [&] {
    DisplayConfig display = row(kDisplay);
    display.audio_stereo = 1;
    store(kDisplay, display);
    ASSERT_EQ(set_param_int(kZvdbPath, "hdmihotplug", 0), 0);
    zvdb_close_all();
  });
  EXPECT_EQ(set.out, kOk);
  EXPECT_EQ(row(kDisplay).audio_stereo, 1);
  EXPECT_EQ(setting("hdmihotplug"), "0");

  const RunResult reboot = while_lock_held([&] { return post("/1033", R"({"hour": 4})"); }, [&] {
    AutoRebootConfig stored = row(kAutoReboot);
    stored.minutes = 30;
    store(kAutoReboot, stored);
  });
  EXPECT_EQ(reboot.out, kOk);
  EXPECT_EQ(get("/1032").out, kJsonHeader + R"({ "enable": 0, "wday": 7, "hour": 4, "minutes": 30, "seconds": 0 })");
}

TEST_F(DisplayTest, DeviceNameStoresHostAndIdWithinTheirBounds) {
  EXPECT_EQ(post("/1012", R"({"hostName": ")" + std::string(130, 'h') + R"(", "deviceId": 255})").out, kOk);
  EXPECT_EQ(text_of(row(kNetwork).host_name), std::string(127, 'h'));
  EXPECT_EQ(setting("deviceid"), "255");
  EXPECT_EQ(ids(), (std::vector<int32_t>{1705, 1702}));
  EXPECT_EQ(post("/1012", R"({"hostName": "a", "deviceId": 1})").out, kOk);
  for (const char* body : {R"({"hostName": "a", "deviceId": 0})", R"({"hostName": "a", "deviceId": 256})",
                           R"({"hostName": "", "deviceId": 3})", R"({"deviceId": 3})", R"({"hostName": "a"})"}) {
    expect_refused("/1012", body);
  }
}

TEST_F(DisplayTest, PortMappingReadSendAndRefresh) {
  EXPECT_EQ(get("/1030").out, kJsonHeader + R"({ "enable": 0, "type": 0, "external_http_port": 80, "http_status": 0, )"
                                            R"("external_rtsp_port": 554, "rtsp_status": 0, "http_port": 80, "rtsp_port": 554 })");
  const std::string before = dump();
  EXPECT_EQ(post("/1031", R"({"enable": 1, "type": 2, "external_rtsp_port": 8554})").out, kOk);
  EXPECT_EQ(dump(), before) << "the core stores the mapping";
  UpnpConfig sent = row(kUpnp);
  sent.enable = 1;
  sent.type = 2;
  sent.external_rtsp_port = 8554;
  EXPECT_EQ(only_message(*core_, kUpnpSet.id).payload, bytes_of(sent));
  for (const char* body : {R"({"enable": 2})", R"({"enable": -1})", R"({"external_http_port": 65536})",
                           R"({"external_rtsp_port": -1})", R"({"type": -1})", R"({"external_http_port": -1})",
                           R"({"external_rtsp_port": 65536})"}) {
    expect_refused("/1031", body);
  }
  EXPECT_EQ(post("/1034", "").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_TRUE(only_message(*core_, kUpnpRefresh.id).payload.empty());
}

TEST_F(DisplayTest, AutoRebootSetKeepsAbsentMembersAndReadsBack) {
  EXPECT_EQ(get("/1032").out, kJsonHeader + R"({ "enable": 0, "wday": 7, "hour": 3, "minutes": 0, "seconds": 0 })");
  EXPECT_EQ(post("/1033", R"({"enable": 1, "wday": 0, "minutes": 59, "seconds": 59})").out, kOk);
  EXPECT_EQ(get("/1032").out, kJsonHeader + R"({ "enable": 1, "wday": 0, "hour": 3, "minutes": 59, "seconds": 59 })");
  EXPECT_EQ(ids(), (std::vector<int32_t>{1718}));
  // The first value outside each range, on both sides.
  for (const char* body : {R"({"enable": 2})", R"({"wday": 8})", R"({"wday": -1})", R"({"hour": 24})",
                           R"({"minutes": 60})", R"({"seconds": -1})", R"({"enable": -1})", R"({"hour": -1})",
                           R"({"minutes": -1})", R"({"seconds": 60})"}) {
    expect_refused("/1033", body);
  }
}

TEST_F(DisplayTest, CoreValueAndAction) {
  core_->reply(kCoreValue.id, int32s({-7}));
  EXPECT_EQ(get("/6075").out, kTextHeader + "-7");
  core_->no_reply(kCoreValue.id);
  EXPECT_EQ(get("/6075").out, kCgiErrorJson);
  EXPECT_EQ(get("/6076").out, kOk);
  EXPECT_EQ(ids(), (std::vector<int32_t>{3265, 3265, 3267}));
}

}  // namespace
}  // namespace zvtest
