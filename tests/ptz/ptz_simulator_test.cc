// The core simulator's PTZ and recording modules driven through their rules in-process: every
// message the handlers send has its rule, and a started tour steps through its key points over
// time, staying at each for its dwell time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "common/messages/ptz.h"
#include "common/messages/record.h"
#include "tests/support/harness.h"
#include "tests/support/request_fixture.h"
#include "tests/support/sim_rules.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/rules.h"
#include "tools/zvcore-sim/simulator.h"

namespace zvtest {
namespace {

TEST(PtzSimulator, EveryPtzAndRecordMessageHasItsRuleAndReplyId) {
  Simulator simulator(SimOptions{});
  expect_module_rules(simulator, declared_messages("ptz"), "ptz");
  expect_module_rules(simulator, declared_messages("record"), "record");
}

class PtzHead : public ::testing::Test {
 protected:
  template <class T>
  SimAnswer send(int32_t id, const T& payload) {
    SimAnswer answer;
    const SimRequest request{0, 3, id, reinterpret_cast<const unsigned char*>(&payload), sizeof payload};
    const SimRules::Rule* rule = simulator_.rules().find(request);
    EXPECT_NE(rule, nullptr) << id;
    if (rule != nullptr) rule->fn(request, answer);
    return answer;
  }
  std::string position() {
    std::string answer;
    EXPECT_TRUE(simulator_.module("ptz")->control({"position", "2"}, &answer));
    return answer.substr(0, answer.find(" moving"));
  }
  void pan_to_preset(int32_t preset, int ms) {
    send(kPtzMove.id, PtzCommand{2, 4, 0, 10, 0, 0, 0, 0, {}, 0, 0});  // right, 100 degrees a second
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    send(kPtzMove.id, PtzCommand{2, 0, 0, 10, 0, 0, 0, 0, {}, 0, 0});
    send(kPtzPreset.id, PtzCommand{2, kPtzActionSavePreset, preset, 0, 0, 0, 0, 0, {}, 0, 0});
  }

  Simulator simulator_{SimOptions{}};
};

TEST_F(PtzHead, TourStepsThroughItsKeyPointsAndStopsOnStop) {
  pan_to_preset(1, 100);
  const std::string first = position();
  pan_to_preset(2, 100);
  const std::string second = position();
  ASSERT_NE(first, second);
  PtzTourSave tour{2, 3, 2, {}};
  tour.tour.points[0] = {1, 1, 5};  // preset 1 for one second
  tour.tour.points[1] = {2, 100, 5};  // then preset 2 for long enough to be seen
  send(kPtzTourSaved.id, tour);
  send(kPtzTourRun.id, PtzTourAction{2, 21, 3, {}});
  EXPECT_EQ(position(), first);
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ(position(), second);
  const SimAnswer listing = send(kPtzListing.id, int32_t{2});
  ASSERT_EQ(listing.replies().size(), 1u);
  PtzListing l{};
  ASSERT_EQ(listing.replies()[0].payload.size(), sizeof l);
  std::memcpy(&l, listing.replies()[0].payload.data(), sizeof l);
  EXPECT_EQ(l.tour_status[0][2], 1);
  EXPECT_EQ(l.tour_status[1][2], 1);
  EXPECT_EQ(l.tours[2].presets[1], 2);
  EXPECT_EQ(l.presets[0].enable, 1);
  send(kPtzTourRun.id, PtzTourAction{2, 26, 3, {}});
  const std::string stopped = position();
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(position(), stopped);
  // A status set on a channel mask reaches those channels only.
  enable_cameras({2});  // channel 3 has no camera: the status reaches channel 2 only
  PtzStatusWrite w{};
  w.block.manual_speed = 9;
  std::memcpy(w.channel_mask, "0011", 4);
  EXPECT_EQ(send(kPtzStatusSet.id, w).replies()[0].payload, std::vector<unsigned char>({0, 0, 0, 0}));
  std::memcpy(w.channel_mask, "0001", 4);
  EXPECT_EQ(send(kPtzStatusSet.id, w).replies()[0].payload, std::vector<unsigned char>({255, 255, 255, 255}))
      << "no camera of the mask took it";
  PtzStatusBlock block{};
  const SimAnswer read = send(kPtzStatusRead.id, int32_t{2});
  std::memcpy(&block, read.replies()[0].payload.data(), sizeof block);
  EXPECT_EQ(block.manual_speed, 9);
  EXPECT_EQ(block.chn_id, 2);
  const SimAnswer other = send(kPtzStatusRead.id, int32_t{3});
  std::memcpy(&block, other.replies()[0].payload.data(), sizeof block);
  EXPECT_EQ(block.manual_speed, 5);
}

// A fisheye view's tour starts and stops on the view's own head, not on the camera's.
TEST_F(PtzHead, FisheyeViewToursRunOnTheirView) {
  auto view = std::make_unique<PtzFisheyeTourSave>();
  *view = PtzFisheyeTourSave{3, 2, 0, {}};
  view->tours[0].presets[0] = 1;
  view->tours[0].times[0] = 5;
  send(kPtzFisheyeTourSaved.id, *view);
  auto status = [this](const SimAnswer& a) {
    auto l = std::make_unique<PtzListing>();
    EXPECT_EQ(a.replies().size(), 1u);
    if (a.replies().size() == 1 && a.replies()[0].payload.size() == sizeof *l) {
      std::memcpy(l.get(), a.replies()[0].payload.data(), sizeof *l);
    }
    return l->tour_status[0][0];
  };
  send(kPtzTourStart.id, PtzTourRef{3, 1, {}, 1, 2});
  EXPECT_EQ(status(send(kPtzViewListing.id, PtzViewQuery{3, 2})), 1);
  EXPECT_EQ(status(send(kPtzListing.id, int32_t{3})), 0) << "the camera's own tour 1 is not running";
  send(kPtzTourStart.id, PtzTourRef{3, 1, {}, 0, 0});
  send(kPtzTourStop.id, PtzTourRef{3, 1, {}, 1, 2});
  EXPECT_EQ(status(send(kPtzViewListing.id, PtzViewQuery{3, 2})), 0);
  EXPECT_EQ(status(send(kPtzListing.id, int32_t{3})), 1) << "stopping the view's leaves the camera's";
}

// A tour named for a channel outside 0..63 changes no head: channel 64 is the key of channel 0's
// fisheye view of stream 0, and a view of channel -1 the key of channel 48.
TEST_F(PtzHead, ToursOfChannelsOutsideTheDeviceChangeNoHead) {
  PtzTourSave tour{64, 1, 1, {}};
  tour.tour.points[0] = {5, 1, 1};
  send(kPtzTourSaved.id, tour);
  auto view = std::make_unique<PtzFisheyeTourSave>();
  *view = PtzFisheyeTourSave{-1, 0, 0, {}};
  view->tours[0].presets[0] = 5;
  send(kPtzFisheyeTourSaved.id, *view);
  auto l = std::make_unique<PtzListing>();
  for (const SimAnswer& a : {send(kPtzViewListing.id, PtzViewQuery{0, 0}), send(kPtzListing.id, int32_t{48})}) {
    ASSERT_EQ(a.replies().size(), 1u);
    ASSERT_EQ(a.replies()[0].payload.size(), sizeof *l);
    std::memcpy(l.get(), a.replies()[0].payload.data(), sizeof *l);
    EXPECT_EQ(l->tours[0].presets[0], 0);
  }
}

}  // namespace
}  // namespace zvtest
