// The core simulator's video module, driven by the video requests: what a set stores on the
// simulated camera, the matching read returns; notices are logged and not answered.
#include <gtest/gtest.h>

#include <string>

#include "common/messages/video.h"
#include "tests/video/video_fixture.h"

namespace zvtest {
namespace {

class SimulatorVideoTest : public VideoTest {
 protected:
  void SetUp() override {
    VideoTest::SetUp();
    enable_cameras({2, 4, 7});  // the simulated cameras; channel 5 has none
    start_simulator();
  }
};

TEST_F(SimulatorVideoTest, MotionGridEchoesWhatWasSet) {
  EXPECT_EQ(post("/6012", R"({"camId": 4, "enable": 1, "sensitivity": 5, "triChannels": "1", "triAlarms": 0,
                              "interval": 10, "enableZV": 1, "motionTable": "abcd"})").out,
            kOk);
  EXPECT_EQ(post("/6098", R"({"id": 4})").out,
            kJsonHeader + R"({ "map": "abcd", "sensitivity": 5, "result": 0, "enable": 1, "modelType": 1, )"
                          R"("fishdisplay": 0, "fishtransfer": 0, "fishinstall": 0 })");
  EXPECT_EQ(post("/6112", R"({"chnid": 4, "sensitivity": 2, "enableZV": 0, "motionTable": "zz",
                              "copyCnt": 1, "copyChn": [7]})").out,
            kOk);
  const std::string seven = post("/6098", R"({"id": 7})").out;
  EXPECT_NE(seven.find(R"("map": "zz", "sensitivity": 2, "result": 0, "enable": 0)"), std::string::npos) << seven;
  EXPECT_NE(post("/6098", R"({"id": 99})").out.find(R"("result": -1)"), std::string::npos);

  for (int i = 0; i < 100 && logged_ids().size() < 12; ++i) usleep(10000);
  const std::vector<int32_t> expected = {1403, 3207, 3212, 3209, 3485, 3206, 3509, 3251, 1410, 3212, 3206, 3206};
  EXPECT_EQ(logged_ids(), expected);
}

TEST_F(SimulatorVideoTest, MotionSettingsGridReachesTheSourceCamera) {
  // The newer motion page saves its grid with the settings set only, copy list empty.
  EXPECT_EQ(post("/6112", R"({"chnid": 4, "sensitivity": 2, "enableZV": 0, "motionTable": "zz"})").out, kOk);
  for (int i = 0; i < 100 && logged_ids().size() < 4; ++i) usleep(10000);
  const std::string four = post("/6098", R"({"id": 4})").out;
  EXPECT_NE(four.find(R"("map": "zz", "sensitivity": 2, "result": 0)"), std::string::npos) << four;
}

TEST_F(SimulatorVideoTest, OverlayTextsEchoAndUnknownChannelsAreRefused) {
  EXPECT_EQ(post("/6996", R"({"ch": 2, "enable_text": 1, "text_name": "Hall", "textpos": 1, "enable_date": 0,
                              "datepos": 2, "dateformat": 3})").out,
            kOk);
  const std::string read = post("/6997", R"({"id": 2})").out;
  EXPECT_NE(read.find(R"("text_name": "Hall", "textpos": 1, "enable_date": 0, "datepos": 2, "dateformat": 3)"),
            std::string::npos)
      << read;
  EXPECT_NE(post("/6997", R"({"id": 3})").out.find(R"("text_name": "CAM4")"), std::string::npos);
  EXPECT_EQ(post("/6996", R"({"ch": 70, "enable_text": 1, "text_name": "x", "textpos": 1, "enable_date": 0,
                              "datepos": 2, "dateformat": 3})").out,
            kTextHeader + "NO_SUPPORT");
  EXPECT_EQ(post("/6997", R"({"id": 70})").out, kJsonHeader + R"({ "disconnect": 0 })");
  EXPECT_EQ(post("/6996", R"({"ch": 5, "enable_text": 1, "text_name": "x", "textpos": 1, "enable_date": 0,
                              "datepos": 2, "dateformat": 3})").out,
            kTextHeader + "NO_SUPPORT")
      << "no camera on channel 5";
}

TEST_F(SimulatorVideoTest, PrivacyMasksEcho) {
  EXPECT_EQ(post("/6019", R"({"cnt": 1, "chnid": [1], "enable": 1, "num": 1, "area": [{"area_id": 0, "enable": 1,
                              "start_x": 5, "start_y": 6, "area_width": 7, "area_height": 8, "name": "desk"}]})").out,
            kOk);
  // The set is a notice: wait for the simulator to have it before reading.
  for (int i = 0; i < 100 && logged_ids().empty(); ++i) usleep(10000);
  const std::string masks = post("/6115", R"({"id": 1})").out;
  EXPECT_NE(masks.find(R"("start_x": 5, "start_y": 6, "area_width": 7, "area_height": 8)"), std::string::npos)
      << masks;
  EXPECT_NE(masks.find(R"("name": "desk")"), std::string::npos);
  EXPECT_EQ(post("/6173", R"({"chan_id": 1, "area_id": 0})").out, kOk);
  for (int i = 0; i < 100 && logged_ids().size() < 3; ++i) usleep(10000);
  EXPECT_EQ(post("/6115", R"({"id": 1})").out.find("desk"), std::string::npos);
  EXPECT_EQ(post("/6116", R"({"id": 1})").out, kJsonHeader + R"({ "result": 0 })");
  EXPECT_EQ(post("/6198", R"({"chnid": 1, "maskid": 0})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(post("/6198", R"({"chnid": 1, "maskid": 40})").out, kJsonHeader + R"({ "res": -1 })");

  // A removed mask leaves the list: the ones after it close up and the count drops.
  EXPECT_EQ(post("/6019", R"({"cnt": 1, "chnid": [2], "enable": 1, "num": 3, "area": [{"area_id": 4, "name": "a"},
                              {"area_id": 7, "name": "b"}, {"area_id": 9, "name": "c"}]})").out,
            kOk);
  for (int i = 0; i < 100 && post("/6115", R"({"id": 2})").out.find(R"("name": "c")") == std::string::npos; ++i) {
    usleep(10000);
  }
  EXPECT_EQ(post("/6198", R"({"chnid": 2, "maskid": 7})").out, kJsonHeader + R"({ "res": 0 })");
  const std::string left = post("/6115", R"({"id": 2})").out;
  EXPECT_NE(left.find(R"("num": 2)"), std::string::npos) << left;
  EXPECT_EQ(left.find(R"("name": "b")"), std::string::npos) << left;
  EXPECT_LT(left.find(R"("name": "a")"), left.find(R"("name": "c")")) << left;
  EXPECT_EQ(post("/6198", R"({"chnid": 2, "maskid": 7})").out, kJsonHeader + R"({ "res": -1 })");
}

}  // namespace
}  // namespace zvtest
