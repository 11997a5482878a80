// Snapshots, single PTZ entries, camera-side alarms and trigger alarms: exact payloads, what a set
// stores read back, and silent or error refusals as each request answers them.
#include <gtest/gtest.h>

#include <string>

#include "common/messages/alarm_event.h"
#include "tests/alarm/alarm_fixture.h"

namespace zvtest {
namespace {

class SnapshotAlarmTest : public AlarmTest {};

TEST_F(SnapshotAlarmTest, SnapshotPlansAndSettingsForListedChannels) {
  EXPECT_EQ(post("/6175", R"({"cnt": 5, "chnid": [3, 3, 70, 1], "schedule": )" +
                              schedule_input({{{4, 2}, R"(["07:00","08:00",1])"}}) + "}").out,
            kOk);
  ChannelList64 list{};
  list.channels[0] = 3;
  list.channels[1] = 3;
  list.channels[2] = 1;
  list.count = 3;
  EXPECT_EQ(only_message(*core_, kSnapshotPlanChanged.id).payload, bytes_of(list));
  EXPECT_NE(get("/6174", "1").out.find(R"({ "startTime": "07:00", "endTime": "08:00", "actionType": 1 })"),
            std::string::npos);
  EXPECT_EQ(text_of(row(kSnapshotPlans, 0).days[4].ranges[2].start_time), "");

  EXPECT_EQ(get("/6176", "2").out,
            kJsonHeader + R"({ "resolution": 0, "quality": 2, "interval": 5, "interval_unit": 0, "expiration_date": 30 })");
  core_->clear_received();
  EXPECT_EQ(post("/6177", R"({"quality": 4, "resolution": 1, "cnt": 3, "chnid": [2, 2, 9]})").out, kOk);
  EXPECT_EQ(get("/6176", "9").out,
            kJsonHeader + R"({ "resolution": 1, "quality": 4, "interval": 5, "interval_unit": 0, "expiration_date": 30 })")
      << "absent members keep each channel's own";
  EXPECT_EQ(row(kSnapshots, 3).quality, 2);
  list = ChannelList64{};
  list.channels[0] = 2;
  list.channels[1] = 2;
  list.channels[2] = 9;
  list.count = 3;
  EXPECT_EQ(only_message(*core_, kSnapshotSettingsChanged.id).payload, bytes_of(list));
  expect_refused("/6177", R"({"quality": -1, "cnt": 1, "chnid": [2]})", kCgiErrorText);
  expect_refused("/6175", R"({"cnt": 1, "chnid": [2]})", kCgiErrorText);
  expect_refused("/6175", "x", kCgiErrorText);
  expect_refused("/6175", "{\"cnt\": 1, \"chnid\": [2], \"schedule\": [[[\"\xff\", \"\", 0]]]}", kCgiErrorText);
  EXPECT_EQ(get("/6176").out, kCgiErrorText);
}

TEST_F(SnapshotAlarmTest, ManualSnapshotsSendOnlyTheControlsWithACount) {
  EXPECT_EQ(post("/6178", R"({"snapshotCnt": 0, "snapshotChnId": [1], "stopCnt": 2, "stopChnId": [4, 64]})").out, kOk);
  settle();
  const auto controls = core_->received(kSnapshotControl.id);
  ASSERT_EQ(controls.size(), 1u);
  SnapshotControl stop{};
  stop.flag[4] = 1;
  EXPECT_EQ(controls[0].payload, bytes_of(stop));
  core_->clear_received();
  EXPECT_EQ(post("/6178", R"({"snapshotCnt": 2, "snapshotChnId": [0, 63]})").out, kOk);
  SnapshotControl start{};
  start.action = 1;
  start.flag[0] = start.flag[63] = 1;
  EXPECT_EQ(only_message(*core_, kSnapshotControl.id).payload, bytes_of(start));
  expect_refused("/6178", "{", kCgiErrorText);
}

TEST_F(SnapshotAlarmTest, SinglePtzEntries) {
  EXPECT_EQ(post("/6160", R"({"type": 5, "chn_id": 2, "acto_ptz_channel": 7, "acto_ptz_type": 2, "acto_ptz_patrol": 3,
                              "acto_ptz_preset": 9})").out,
            kOk);
  const std::string info = R"({"type": 5, "chn_id": 2})";
  EXPECT_EQ(post("/6161", info).out,
            kJsonHeader + R"({ "ptzInfo": [ { "acto_ptz_channel": 7, "acto_ptz_type": 2, "acto_ptz_preset": 0, )"
                          R"("acto_ptz_patrol": 3 } ] })");
  EXPECT_EQ(post("/6163", R"({"type": 5, "chn_id": 4, "old_chn_id": 2, "acto_ptz_channel": 7, "acto_ptz_type": 1,
                              "acto_ptz_preset": 5})").out,
            kOk);
  EXPECT_EQ(post("/6161", info).out, kJsonHeader + R"({ "ptzInfo": [ ] })");
  EXPECT_NE(post("/6161", R"({"type": 5, "chn_id": 4})").out.find(R"("acto_ptz_preset": 5)"), std::string::npos);
  expect_refused("/6162", R"({"type": 5, "chn_id": 4, "acto_ptz_channel": 8})", kOk);  // none: nothing to remove
  EXPECT_EQ(post("/6162", R"({"type": 5, "chn_id": 4, "acto_ptz_channel": 7})").out, kOk);
  EXPECT_EQ(post("/6161", R"({"type": 5, "chn_id": 4})").out, kJsonHeader + R"({ "ptzInfo": [ ] })");
  for (int camera : {1, 2}) {
    post("/6160", R"({"type": 20, "chn_id": 0, "acto_ptz_type": 1, "acto_ptz_channel": )" + std::to_string(camera) + "}");
  }
  EXPECT_EQ(post("/6164", R"({"type": 20, "chn_id": 0, "ptzChannel": [1, "x", 2]})").out, kOk);
  EXPECT_EQ(post("/6161", R"({"type": 20, "chn_id": 0})").out, kJsonHeader + R"({ "ptzInfo": [ ] })");
  for (const char* body : {R"({"type": 5, "chn_id": -1, "acto_ptz_channel": 7, "acto_ptz_type": 1})",
                           R"({"type": 27, "chn_id": 1, "acto_ptz_channel": 7, "acto_ptz_type": 1})",
                           R"({"type": 5, "chn_id": 1, "acto_ptz_channel": 0, "acto_ptz_type": 1})",
                           R"({"type": 5, "chn_id": 1, "acto_ptz_channel": 7, "acto_ptz_type": 4})", "x"}) {
    expect_refused("/6160", body, kCgiErrorText);
    expect_refused("/6163", body, kCgiErrorText);
  }
  expect_refused("/6162", R"({"type": 5, "chn_id": 1, "acto_ptz_channel": -1})", kCgiErrorText);
  expect_refused("/6164", R"({"type": 5, "ptzChannel": [1]})", kCgiErrorText);
}

TEST_F(SnapshotAlarmTest, CameraSideAlarmsStoreAndTellTheCamera) {
  EXPECT_EQ(post("/6091", R"({"camId": 3, "enable": 1, "type": 2, "triActions": 5, "triChannels": "011"})").out, kOk);
  const CameraIoAlarm io = row(kCameraIoAlarms, 3);
  EXPECT_EQ(io.tri_channels_mask, 6u);
  EXPECT_EQ(io.tri_actions, 5);
  EXPECT_EQ(only_message(*core_, kCameraIoAlarmSet.id).payload, int32s({3, 1, 2}));
  EXPECT_EQ(log_fields(only_message(*core_, 3485).payload), (LogFields{204, 923, 4}));
  core_->clear_received();
  EXPECT_EQ(post("/6093", R"({"camId": 4, "enable": 0, "type": 1, "volume": 60, "duration": 3, "onEvent": 1,
                              "offEvent": 0, "ongoingEvent": 1, "triActions": 2, "triChannels": "1"})").out,
            kOk);
  EXPECT_EQ(only_message(*core_, kAudioAlarmSet.id).payload, int32s({4, 0, 1, 60, 3, 1, 0, 1}));
  EXPECT_EQ(log_fields(only_message(*core_, 3485).payload), (LogFields{204, 924, 5}));
  for (const char* body : {R"({"camId": 3, "enable": 2, "type": 2, "triActions": 5, "triChannels": "1"})",
                           R"({"camId": 64, "enable": 1, "type": 2, "triActions": 5, "triChannels": "1"})",
                           R"({"camId": 3, "enable": 1, "triActions": 5, "triChannels": "1"})",
                           R"({"camId": 3, "enable": 1, "type": 2, "triActions": 5})"}) {
    expect_refused("/6091", body);
    expect_refused("/6093", body);
  }
  core_->reply(kCameraIoAlarmRead.id, bytes_of(CameraIoAlarmState{3, 1, 2, 5, "011", {}}));
  EXPECT_EQ(get("/6090", "3").out,
            kJsonHeader + R"({ "camId": 3, "enable": 1, "type": 2, "triActions": 5, "triChannels": "011" })");
  core_->no_reply(kCameraIoAlarmRead.id);
  EXPECT_EQ(get("/6090", "3").out, kCgiErrorJson);
  core_->clear_received();
  EXPECT_EQ(get("/6092", "64").out, "");
  EXPECT_TRUE(core_->received().empty());
}

TEST_F(SnapshotAlarmTest, TriggerAlarmsNeedTheirFirstSixValues) {
  EXPECT_EQ(post("/6998", R"({"0": 1, "1": 2, "2": 3, "3": 4, "4": 5, "5": 6, "6": 7})").out, kJsonHeader + "{ }");
  EXPECT_TRUE(only_message(*core_, kTriggerAlarmsChanged.id).payload.empty());
  EXPECT_EQ(post("/6998", R"({"0": 1, "1": 2, "2": 3, "3": 4, "4": 5, "5": 0})").out, kJsonHeader + "{ }");
  EXPECT_EQ(get("/6999").out, kJsonHeader + "[ 1, 2, 3, 4, 5, 0, 7, 0 ]") << "an absent \"6\" stays";
  expect_required("/6998", R"({"0": 1, "1": 2, "2": 3, "3": 4, "4": 5, "5": 6, "6": 7})",
                  {"0", "1", "2", "3", "4", "5"}, "");
  expect_refused("/6998", "[");
}

}  // namespace
}  // namespace zvtest
