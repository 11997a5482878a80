// The core simulator's camera registry, driven by the camera requests: an added camera is listed
// connected with a stable identity, edits and deletes reach the registry through the change
// notices, and every camera-side set is returned by the matching read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/camera/camera_fixture.h"

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
  for (const char* channel : {"2", "4"}) {
    const std::string audio = post("/2063", std::string(R"({"chnid": )") + channel + "}").out;
    EXPECT_NE(audio.find(R"("audioEnable": 1, "audioMode": 0, "denoise": 0, "encoding": 2, "sampleRate": 16000)"),
              std::string::npos)
        << audio;
  }
  EXPECT_NE(post("/2065", R"({"chnid": 2})").out.find(R"("audioSupport": 1)"), std::string::npos);
  EXPECT_EQ(post("/2026", R"({"cmd": "KEY_MENU"})").out, kJsonHeader + R"({ "result": "OK" })");
  EXPECT_NE(post("/2027", "").out.find(R"("chip_code": ")"), std::string::npos);
}

}  // namespace
}  // namespace zvtest
