// The core simulator's camera registry, driven by the camera requests: an added camera is listed
// connected with a stable identity, edits and deletes reach the registry through the change
// notices, and every camera-side set is returned by the matching read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/camera/camera_fixture.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/simulator.h"

namespace zvtest {
namespace {

class CameraSimulatorTest : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    start_simulator();
  }

  // The status object of `channel` in a /2001 reply ("" when it is not listed).
  std::string status_of(int channel) {
    const std::string reply = post("/2001", "").out;
    const std::string start = "{ \"id\": " + std::to_string(channel) + ",";
    const size_t at = reply.find(start);
    if (at == std::string::npos) return "";
    return reply.substr(at, reply.find(" }", at) + 2 - at);
  }
};

const char kAdd[] =
    R"({"id": 2, "name": "Door", "enable": 1, "ipAddr": "192.168.1.30", "managePort": 80, "camProtocol": 0,
        "userName": "admin", "password": "pw", "transmitProtocol": 0, "enableSubStream": 1, "syncTime": 1})";

TEST_F(CameraSimulatorTest, AddEditReadAndDeleteACamera) {
  EXPECT_NE(status_of(2).find(R"("state": 0)"), std::string::npos) << "factory cameras are not connected";
  ASSERT_EQ(post("/2004", kAdd).out, kOk);
  const std::string added = status_of(2);
  EXPECT_NE(added.find(R"("name": "Door", "ipAddr": "192.168.1.30")"), std::string::npos) << added;
  EXPECT_NE(added.find(R"("state": 1)"), std::string::npos) << added;
  EXPECT_NE(added.find(R"("connectState": 1)"), std::string::npos) << added;
  EXPECT_EQ(added.find(R"("vendor": "")"), std::string::npos) << "a connected camera names its vendor";
  EXPECT_EQ(status_of(2), added) << "the identity stays the same";
  EXPECT_NE(post("/2001", "").out.find(R"("maxIPCNums": 32 })"), std::string::npos);

  std::string edit = kAdd;
  edit.replace(edit.find("192.168.1.30"), 12, "192.168.1.31");
  ASSERT_EQ(post("/2003", edit).out, kOk);
  EXPECT_NE(status_of(2).find(R"("ipAddr": "192.168.1.31")"), std::string::npos);
  EXPECT_NE(post("/2000", R"({"chnid": 2})").out.find(R"("name": "Door", "ipAddr": "192.168.1.31")"),
            std::string::npos);
  EXPECT_NE(post("/2012", "").out.find(R"({ "id": 2, "name": "Door" })"), std::string::npos);
  EXPECT_NE(post("/2029", "").out.find(R"({ "chnid": 2, "ipaddr": "192.168.1.31")"), std::string::npos);
  EXPECT_NE(post("/2028", "").out.find(R"("Motion": "001)"), std::string::npos);

  ASSERT_EQ(post("/2005", R"({"chnid": 2})").out, kOk);
  const std::string deleted = status_of(2);
  EXPECT_NE(deleted.find(R"("name": "CAM3", "ipAddr": "")"), std::string::npos) << deleted;
  EXPECT_NE(deleted.find(R"("state": 0)"), std::string::npos) << deleted;

  for (int i = 0; i < 100 && logged_ids().size() < 16; ++i) usleep(10000);
  const std::vector<int32_t> expected = {3201, 1201, 1206, 3485, 3201, 3201, 3201, 1203, 3485, 3201,
                                         2505, 3307, 1202, 1206, 3485, 3201};
  EXPECT_EQ(logged_ids(), expected);
}

TEST_F(CameraSimulatorTest, CameraSideSettingsAreKeptPerChannel) {
  ASSERT_EQ(post("/2004", kAdd).out, kOk);
  EXPECT_EQ(post("/2010", R"({"id": 2, "mainFramerate": 12, "mainBitrate": 3000, "subEnable": 1, "audioEnable": 0,
                              "mainResWidth": 1280, "mainResHeight": 720, "videoTypeEnable": 1})")
                .out,
            kJsonHeader + R"({ "res": "0010000000000000000000000000000000000000000000000000000000000000" })");
  const std::string stream = post("/2009", R"({"chnid": 2})").out;
  EXPECT_NE(stream.find(R"("main": { "curRes": 3, )"), std::string::npos) << stream;
  EXPECT_NE(stream.find(R"("framerate": 12, "bitrate": 3000)"), std::string::npos) << stream;
  EXPECT_EQ(post("/2009", R"({"chnid": 3})").out, kJsonHeader + R"({ "stateCode": -1 })")
      << "no camera on channel 3";

  EXPECT_EQ(post("/2024", R"({"id": 2, "pagename": "p", "httpname": "h", "key": "gop", "value": "40"})").out, kOk);
  EXPECT_NE(post("/2023", R"({"id": 2, "pagename": "p", "httpname": "h", "key": "gop"})").out.find(R"("value": "40")"),
            std::string::npos);
  EXPECT_EQ(post("/2061", R"({"chnid": 2, "enable": 1, "framerate": 5, "bitrate": 300, "iframeinterval": 10})").out,
            kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(post("/2060", R"({"chnid": 2})").out,
            kJsonHeader + R"({ "chnid": 2, "enable": 1, "framerate": 5, "bitrate": 300, "iframeinterval": 10 })");
  EXPECT_EQ(post("/2064", R"({"chnid": 2, "audioEnable": 1, "encoding": 2, "sampleRate": 16000, "audioBitrate": 48,
                              "channels": "00001"})")
                .out,
            kOk);
  // Channel 4 of the set has no camera: it takes nothing.
  for (const char* channel : {"2", "4"}) {
    const std::string audio = post("/2063", std::string(R"({"chnid": )") + channel + "}").out;
    EXPECT_EQ(audio.find(R"("audioEnable": 1, "audioMode": 0, "denoise": 0, "encoding": 2, "sampleRate": 16000)") !=
                  std::string::npos,
              channel[0] == '2')
        << audio;
  }
  EXPECT_EQ(post("/2064", R"({"chnid": 4, "audioEnable": 1})").out, kTextHeader + "ERROR");
  EXPECT_EQ(post("/2061", R"({"chnid": 4, "enable": 1, "framerate": 5, "bitrate": 300, "iframeinterval": 10})").out,
            kJsonHeader + R"({ "res": -1 })");
  EXPECT_NE(post("/2065", R"({"chnid": 2})").out.find(R"("audioSupport": 1)"), std::string::npos);
  EXPECT_EQ(post("/2026", R"({"cmd": "KEY_MENU"})").out, kJsonHeader + R"({ "result": "OK" })");
  EXPECT_NE(post("/2027", "").out.find(R"("chip_code": ")"), std::string::npos);
}

TEST_F(CameraSimulatorTest, EveryStreamAndAudioMemberASetSendsIsReadBack) {
  ASSERT_EQ(post("/2004", kAdd).out, kOk);
  ASSERT_EQ(post("/2064", R"({"chnid": 2, "audioEnable": 1, "audioMode": 2, "denoise": 3, "encoding": 4,
                              "sampleRate": 5, "inputGain": 6, "inputMode": 7, "audioGainControl": 8,
                              "outputVolume": 9, "audioBitrate": 10})")
                .out,
            kOk);
  EXPECT_NE(post("/2063", R"({"chnid": 2})").out.find(
                R"("config": { "chnid": 2, "audioEnable": 1, "audioMode": 2, "denoise": 3, "encoding": 4, )"
                R"("sampleRate": 5, "inputGain": 6, "inputMode": 7, "audioGainControl": 8, "outputVolume": 9, )"
                R"("audioBitrate": 10 })"),
            std::string::npos);
  ASSERT_EQ(post("/2010", R"({"id": 2, "mainFramerate": 12, "mainBitrate": 3000, "subEnable": 0, "audioEnable": 1,
                              "mainResWidth": 2560, "mainResHeight": 1440, "videoTypeEnable": 0, "mainVideoType": 1,
                              "IframeInterval": 40, "bitrateControl": 1, "SmartStream": 1, "SmartStreamLevel": 2,
                              "subVideoType": 1, "subResWidth": 352, "subResHeight": 288, "subFramerate": 10,
                              "subBitrate": 256, "subIframeInterval": 20, "SubBitrateControl": 1,
                              "SubSmartStream": 1, "SubSmartStreamLevel": 3})")
                .out,
            kJsonHeader + R"({ "res": "0010000000000000000000000000000000000000000000000000000000000000" })");
  EXPECT_EQ(post("/2009", R"({"chnid": 2})").out,
            kJsonHeader +
                R"({ "stateCode": 0, "id": 2, "name": "Door", "subEnable": 0, "audioEnable": 1, "videoTypeEnable": 0, )"
                R"("mainVideoType": 1, "subVideoType": 1, "ipc_type": 0, "syncTime": 1, "protocol": 0, "managePort": 80, )"
                R"x("physicalport": 0, "poechannel": 0, "mac_addr": "", "transmitProtocol": 0, "ddns": "(null)", )x"
                R"("mainStream": 1, "subStream": 0, "SupportSmartStream": 1, "SmartStream": 1, "SmartStreamLevel": 2, )"
                R"("SubSupportSmartStream": 1, "SubSmartStream": 1, "SubSmartStreamLevel": 3, "main": { "curRes": 1, )"
                R"("res": [ { "width": 3840, "height": 2160, "name": "3840*2160" }, )"
                R"({ "width": 2560, "height": 1440, "name": "2560*1440" }, )"
                R"({ "width": 1920, "height": 1080, "name": "1920*1080" }, )"
                R"({ "width": 1280, "height": 720, "name": "1280*720" } ], "framerateMax": 30, "framerateMin": 1, )"
                R"("bitrateMax": 8192, "bitrateMin": 256, "framerate": 12, "bitrate": 3000, "iframeinterval": 40, )"
                R"("bitrateCtrl": 1 }, "sub": { "curRes": 2, "res": [ { "width": 704, "height": 576, "name": "704*576" }, )"
                R"({ "width": 640, "height": 360, "name": "640*360" }, { "width": 352, "height": 288, "name": "352*288" } ], )"
                R"("framerateMax": 30, "framerateMin": 1, "bitrateMax": 2048, "bitrateMin": 64, "framerate": 10, )"
                R"("bitrate": 256, "iframeinterval": 20, "bitrateCtrl": 1 } })");
}

// ---- The module object itself ----------------------------------------------------------------------

using CameraSimModuleTest = CameraTest;

// Runs the rule of message `id` of `rules` on `payload`; the replies.
std::vector<SimAnswer::Reply> answer(const SimRules& rules, int32_t id, const Bytes& payload) {
  const SimRequest request{0, 3, id, payload.empty() ? nullptr : payload.data(), static_cast<uint32_t>(payload.size())};
  const SimRules::Rule* rule = rules.find(request);
  EXPECT_NE(rule, nullptr) << id;
  SimAnswer a;
  if (rule != nullptr) rule->fn(request, a);
  return a.replies();
}

TEST_F(CameraSimModuleTest, DropAndConnectChangeWhatTheCameraReports) {
  ASSERT_EQ(post("/2004", kAdd).out, kOk);
  zvdb_close_all();
  std::unique_ptr<SimModule> camera = make_camera_sim();
  SimRules rules;
  rules.set_module(camera->name());
  camera->rules(rules);
  auto state_of_two = [&] {
    const auto replies = answer(rules, kCameraStatus.id, {});
    if (replies.size() != 1 || replies[0].payload.size() < 3 * sizeof(CameraStatusRecord)) return -1;
    return record_from<CameraStatusRecord>(Bytes(replies[0].payload.begin() + 2 * sizeof(CameraStatusRecord),
                                                 replies[0].payload.begin() + 3 * sizeof(CameraStatusRecord)))
        .state;
  };
  auto stream_state_of_two = [&] { return int32_at(answer(rules, kStreamRead.id, int32s({2}))[0].payload, 0); };
  EXPECT_EQ(state_of_two(), 1);
  EXPECT_EQ(stream_state_of_two(), 0);

  std::string reply;
  const struct {
    std::vector<std::string> words;
    bool known;
    const char* reply;
    int state;
  } rows[] = {
      {{"drop", "2"}, true, "channel 2 disconnected", 0},
      {{"drop", "64"}, true, "usage: drop <channel 0..63>", 0},
      {{"connect", "-1"}, true, "usage: connect <channel 0..63>", 0},
      {{"connect"}, true, "usage: connect <channel 0..63>", 0},
      {{"reboot"}, false, "", 0},
      {{"connect", "2"}, true, "channel 2 connected", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.words[0]);
    reply.clear();
    EXPECT_EQ(camera->control(row.words, &reply), row.known);
    EXPECT_EQ(reply, row.reply);
    EXPECT_EQ(state_of_two(), row.state);
    EXPECT_EQ(stream_state_of_two(), row.state == 1 ? 0 : -1);
  }
  zvdb_close_all();
}

// The extra stream is kept for channels 0..63: a set of another channel stores nothing, a read of
// one names no channel.
TEST_F(CameraSimModuleTest, ExtraStreamsAreKeptForChannels0To63Only) {
  enable_cameras({63});
  std::unique_ptr<SimModule> camera = make_camera_sim();
  SimRules rules;
  camera->rules(rules);
  for (const int32_t channel : {63, 64, -1}) {
    SCOPED_TRACE(channel);
    const bool kept = channel == 63;
    EXPECT_EQ(answer(rules, kExtraStreamSet.id, int32s({channel, 0, 1, 20, 512, 40}))[0].payload,
              int32s({kept ? 0 : -1}));
    EXPECT_EQ(answer(rules, kExtraStreamRead.id, int32s({channel, 0}))[0].payload,
              kept ? int32s({63, 0, 1, 20, 512, 40}) : int32s({-1, 0, 0, 15, 1024, 30}));
  }
}

TEST_F(CameraSimModuleTest, EveryCameraMessageHasItsRuleAndReplyId) {
  Simulator simulator(SimOptions{});
  EXPECT_TRUE(simulator.rules().conflicts().empty());
  ASSERT_NE(simulator.module("camera"), nullptr);
  for (const MessageInfo& m : declared_messages("camera")) {
    SCOPED_TRACE(m.name);
    if (m.reply_id != 0) {
      EXPECT_EQ(Simulator::reply_id_for(m.id), m.reply_id);
    }
    const SimRequest request{0, 3, m.id, nullptr, 0};
    const SimRules::Rule* rule = simulator.rules().find(request);
    ASSERT_NE(rule, nullptr);
    // The camera type shares its id with the video pages' mask result, whose rule answers both.
    EXPECT_EQ(rule->module, m.id == kCameraType.id ? "video" : "camera");
  }
}

}  // namespace
}  // namespace zvtest
