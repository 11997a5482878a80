// The cameras' alarm inputs and outputs: the live state from the core joined with the recorder's
// rows, the sets' exact payloads and copies, and the name lists.
#include <gtest/gtest.h>

#include <string>

#include "common/messages/alarm.h"
#include "tests/alarm/alarm_fixture.h"

namespace zvtest {
namespace {

class CameraAlarmTest : public AlarmTest {};

TEST_F(CameraAlarmTest, InputReadListsTheAlarmsTheCameraHas) {
  core_->reply(kCameraAlarmInRead.id, int32s({4, 1, 0, 2, 3, 1, 0, 1}));
  const std::string one = post("/6024", R"({"chnid": 4})").out;
  EXPECT_PREFIX(one,
            kJsonHeader + R"({ "chnid": 4, "alarmCnt": 1, "alarm": [ { "alarmEnable": 1, "alarmType": 2, )"
                          R"("alarmStatus": 1, "alarmName": "AlarmIn1", "effective": [ [ )");
  EXPECT_EQ(one.find("AlarmIn2"), std::string::npos);
  EXPECT_NE(one.find(R"("white_interval": 0 } ] })"), std::string::npos);
  EXPECT_EQ(only_message(*core_, kCameraAlarmInRead.id).payload, int32s({4}));
  core_->reply(kCameraAlarmInRead.id, int32s({4, 1, 0, 2, 3, 1, 0, 9}));
  EXPECT_NE(post("/6024", R"({"chnid": 4})").out.find("AlarmIn2"), std::string::npos) << "at most two";
  core_->reply(kCameraAlarmInRead.id, int32s({0, 1, 0, 2, 3, 1, 0, 1}));
  EXPECT_PREFIX(post("/6024", R"({"chnid": 0})").out, kJsonHeader + R"({ "chnid": 0, "alarmCnt": 1, )");
  core_->reply(kCameraAlarmInRead.id, int32s({4, 1, 0, 2}));  // shorter than a record
  EXPECT_EQ(post("/6024", R"({"chnid": 4})").out, kCgiErrorJson);
  core_->no_reply(kCameraAlarmInRead.id);
  EXPECT_EQ(post("/6024", R"({"chnid": 4})").out, kCgiErrorJson);
  core_->clear_received();
  for (const char* body : {R"({"chnid": 64})", R"({"chnid": -1})", "{}", "["}) {
    expect_refused("/6024", body, kCgiErrorJson);
    expect_refused("/6028", body, kCgiErrorJson);
  }
}

TEST_F(CameraAlarmTest, OutputReadAlwaysListsBothAlarms) {
  core_->reply(kCameraAlarmOutRead.id, int32s({6, 1, 2, 0, 1, 0}));
  const std::string out = post("/6028", R"({"chnid": 6})").out;
  EXPECT_PREFIX(out,
            kJsonHeader + R"({ "chnid": 6, "alarmCnt": 0, "alarm": [ { "alarmType": 1, "alarmStatus": 0, )"
                          R"("alarmName": "AlarmOut1", "delayTime": 10, "effective": [ [ )");
  EXPECT_NE(out.find(R"({ "alarmType": 2, "alarmStatus": 1, "alarmName": "AlarmOut2", "delayTime": 10, )"),
            std::string::npos);
}

TEST_F(CameraAlarmTest, InputSetStoresActionsNamesAndCopiesAndTellsTheCamera) {
  // Alarm 1's entry is no object: its switch and type stay as the camera has them.
  core_->reply(kCameraAlarmInRead.id, int32s({2, 0, 1, 4, 3, 0, 0, 2}));
  EXPECT_EQ(post("/6025", R"({"chnid": 2, "alarmCnt": 5, "copyCnt": 2, "copyChn": [7, 70],
                              "dialog": [{"alarmId": 1, "interval": 9, "triChannels": "11", "whiteInfo": [[3, 1, 5]],
                                          "ptzChnId": 2, "ptzType": 19,
                                          "ptzParams": [{"acto_ptz_channel": 4, "acto_ptz_type": 2, "acto_ptz_patrol": 1}]},
                                         {"alarmId": 7, "interval": 1}, {"alarmId": 0, "interval": 3}],
                              "alarm": [{"alarmEnable": 1, "alarmType": 2, "alarmName": "Door"}, 5,
                                        {"alarmEnable": 1, "alarmType": 1, "alarmName": "never"}]})")
                .out,
            kOk);
  const CameraAlarmInEvent event = row(kCameraAlarmInEvents, 2, 1);
  EXPECT_EQ(event.enable, 2);
  EXPECT_EQ(event.interval, 9);
  EXPECT_EQ(event.tri_channels_mask, 3u);
  EXPECT_EQ(row(kCameraAlarmInEvents, 7, 1).interval, 9) << "copied";
  EXPECT_EQ(row(kCameraAlarmInEvents, 7, 1).channel, 7);
  EXPECT_EQ(row(kCameraAlarmInEvents, 2, 0).interval, 20) << "a third dialog entry is past the count";
  EXPECT_EQ(text_of(row(kCameraAlarmInNames, 2, 0).name), "Door");
  EXPECT_EQ(text_of(row(kCameraAlarmInNames, 2, 1).name), "AlarmIn2");
  EXPECT_EQ(text_of(row(kCameraAlarmInNames, 7, 0).name), "AlarmIn1");
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3298, 3325, 1417}));
  EXPECT_EQ(only_message(*core_, kCameraAlarmInRead.id).payload, int32s({2}));
  EXPECT_EQ(only_message(*core_, kCameraAlarmInSet.id).payload,
            int32s({0, 1, 0, 2, 0, 1, 1, 3, 2, 0, 1 << 2 | 1 << 7, 0}));
  EXPECT_EQ(only_message(*core_, kCameraAlarmInsChanged.id).payload, mask_bytes(1u << 2 | 1u << 7));
  // Whole entries ask nothing; the camera that cannot be asked refuses the set, nothing stored.
  core_->clear_received();
  EXPECT_EQ(post("/6025", R"({"chnid": 2, "alarmCnt": 1, "alarm": [{"alarmEnable": 0, "alarmType": 1}]})").out, kOk);
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3325, 1417}));
  core_->no_reply(kCameraAlarmInRead.id);
  core_->clear_received();
  const std::string before = dump();
  EXPECT_EQ(post("/6025", R"({"chnid": 2, "alarmCnt": 1, "alarm": [{"alarmType": 1, "alarmName": "X"}]})").out,
            kCgiErrorJson);
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3298}));
  core_->reply(kCameraAlarmInRead.id, int32s({7, 1, 1, 0, 0, 0, 0, 2}));
  const std::string seven = post("/6024", R"({"chnid": 7})").out;
  EXPECT_NE(seven.find(R"("whiteInfo": [ { "chnid": 3, "mode": 1, "time": 5 } ])"), std::string::npos) << seven;
  EXPECT_NE(seven.find(R"("acto_ptz_channel": 4, "acto_ptz_type": 2, "acto_ptz_preset": 0, "acto_ptz_patrol": 1)"),
            std::string::npos);
  for (const char* body : {R"({"chnid": 64, "alarmCnt": 1})", R"({"chnid": 1})", R"({"alarmCnt": 1})", "1",
                           "{\"chnid\": 1, \"alarmCnt\": 1, \"dialog\": [{\"triChnAlarms\": [\"\xff\"]}]}",
                           "{\"chnid\": 1, \"alarmCnt\": 2, \"alarm\": [{}, {\"alarmName\": \"\xff\"}]}",
                           "{\"chnid\": 1, \"alarmCnt\": 1, \"alarm\": [{\"alarmType\": 1, \"alarmName\": \"\xff\"}]}"}) {
    expect_refused("/6025", body, kCgiErrorJson);
    expect_refused("/6029", body, kCgiErrorJson);
  }
  expect_refused("/6029", R"({"chnid": 1, "alarmCnt": 1, "alarm": [{"alarmType": 1, "delayTime": -1}]})", kCgiErrorJson);
}

TEST_F(CameraAlarmTest, OutputSetGivesTheHoldTimeAndPlanToTheCopies) {
  EXPECT_EQ(post("/6029", R"({"chnid": 1, "alarmCnt": 2, "copyCnt": 1, "copyChn": [5],
                              "dialog": [{"alarmId": 1, "effective": )" + schedule_input({{{2, 1}, R"(["05:00","06:00",1])"}}) +
                              R"(}, {"alarmId": 2, "effective": )" + schedule_input() +
                              R"(}], "alarm": [{"alarmType": 3, "delayTime": 40, "alarmName": "Horn"}, {"alarmType": 1}]})")
                .out,
            kOk);
  EXPECT_EQ(row(kCameraAlarmOutNames, 1, 0).delay_time, 40);
  EXPECT_EQ(text_of(row(kCameraAlarmOutNames, 1, 0).name), "Horn");
  EXPECT_EQ(row(kCameraAlarmOutNames, 5, 0).delay_time, 40);
  EXPECT_EQ(text_of(row(kCameraAlarmOutNames, 5, 0).name), "AlarmOut1") << "only the hold time is copied";
  EXPECT_EQ(row(kCameraAlarmOutNames, 1, 1).delay_time, 10) << "an absent hold time stays";
  EXPECT_EQ(text_of(row(kCameraAlarmOutPlans, 5, 1).days[2].ranges[1].start_time), "05:00");
  Schedule none{};
  EXPECT_NE(kCameraAlarmOutPlans.read(kZvdbPath, &none, {1, 2}), 0) << "a camera has outputs 0 and 1 only";
  zvdb_close_all();
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3324, 1418}));
  EXPECT_EQ(only_message(*core_, kCameraAlarmOutSet.id).payload, int32s({0, 0, 3, 0, 1, 1, 2, 0, 0b100010, 0}));
  // Output 1's type left out: the camera's.
  core_->reply(kCameraAlarmOutRead.id, int32s({1, 4, 6, 0, 0, 2}));
  core_->clear_received();
  EXPECT_EQ(post("/6029", R"({"chnid": 1, "alarmCnt": 2, "alarm": [{"alarmType": 3}, {"delayTime": 5}]})").out, kOk);
  EXPECT_EQ(only_message(*core_, kCameraAlarmOutSet.id).payload, int32s({0, 0, 3, 0, 1, 6, 2, 0, 0b10, 0}));
}

TEST_F(CameraAlarmTest, StateAndNameLists) {
  EXPECT_EQ(post("/6033", R"({"chnid": 9, "alarmId": 1, "state": 1})").out, kOk);
  EXPECT_EQ(only_message(*core_, kCameraAlarmStateSet.id).payload, int32s({9, 1, 1}));
  for (const char* body : {R"({"chnid": 64, "alarmId": 1, "state": 1})", R"({"chnid": 1, "alarmId": 2, "state": 1})",
                           R"({"alarmId": 1, "state": 1})", "no"}) {
    expect_refused("/6033", body, kCgiErrorText);
  }
  ASSERT_EQ(post("/6063", R"({"alarm": {"camId": 15, "name": "Last"}})").out, kOk);
  ASSERT_EQ(post("/6025", R"({"chnid": 63, "alarmCnt": 1, "alarm": [{"alarmEnable": 1, "alarmType": 0, "alarmName": "Yard"}]})").out,
            kOk);
  const std::string inputs = get("/6034").out;
  EXPECT_NE(inputs.find(R"("AlarmIn15", "Last" ], "camera": [ [ "AlarmIn1", "AlarmIn2" ], )"), std::string::npos);
  const std::string camera = member(inputs, "camera");
  size_t pairs = 0;
  for (size_t at = camera.find("[ \"AlarmIn1"); at != std::string::npos; at = camera.find("[ \"AlarmIn1", at + 1)) ++pairs;
  EXPECT_EQ(pairs, 63u) << "a pair for each of the 64 channels, whatever max_cameras says";
  EXPECT_NE(camera.find(R"([ "Yard", "AlarmIn2" ] ])"), std::string::npos) << "channel 63, the last";
  EXPECT_EQ(member(get("/6032").out, "nvr"), R"([ "AlarmOut1", "AlarmOut2", "AlarmOut3", "AlarmOut4" ])");
}

}  // namespace
}  // namespace zvtest
