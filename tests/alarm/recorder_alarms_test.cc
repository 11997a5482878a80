// The recorder's alarm outputs and inputs: exact replies and payloads, copies that give the
// targets only what they should take, and refusals that change nothing and tell the core nothing.
#include <gtest/gtest.h>

#include <string>

#include "common/json_fields.h"
#include "common/messages/alarm.h"
#include "tests/alarm/alarm_fixture.h"

namespace zvtest {
namespace {

class RecorderAlarmTest : public AlarmTest {};

TEST_F(RecorderAlarmTest, OutputsListAndReadOne) {
  const std::string list = get("/6020").out;
  EXPECT_PREFIX(list,
            kJsonHeader + R"([ { "id": 0, "name": "AlarmOut1", "type": 0, "enable": 0, "durationTime": 10 }, { "i)");
  const std::string one = post("/6021", R"({"alarmId": 3})").out;
  EXPECT_PREFIX(one,
            kJsonHeader + R"({ "id": 3, "name": "AlarmOut4", "type": 0, "enable": 0, "durationTime": 10, "effective": [ [ )");
  for (const char* body : {R"({"alarmId": 4})", R"({"alarmId": -1})", "{}", "x"}) expect_refused("/6021", body, kCgiErrorJson);
}

TEST_F(RecorderAlarmTest, OutputSetCopiesSettingsAndPlanAndAnnouncesEachOutput) {
  EXPECT_EQ(post("/6022", R"({"alarmId": 0, "name": "Siren", "enable": 1, "type": 1, "durationTime": 30,
                              "dialog": {"effective": )" + schedule_input({{{0, 0}, R"(["01:00","02:00",1])"}}) +
                              R"(}, "copyCnt": 4, "copyChn": [1, 3, 0, 9]})").out,
            kOk);
  for (int n : {1, 3}) {
    const AlarmOutConfig copy = row(kAlarmOuts, n);
    EXPECT_EQ(text_of(copy.name), "AlarmOut" + std::to_string(n + 1)) << "names are not copied";
    EXPECT_EQ(copy.enable, 1);
    EXPECT_EQ(copy.type, 1);
    EXPECT_EQ(copy.duration_time, 30);
    EXPECT_EQ(text_of(row(kAlarmOutPlans, n).days[0].ranges[0].end_time), "02:00");
  }
  EXPECT_EQ(row(kAlarmOuts, 2).enable, 0);
  EXPECT_EQ(text_of(row(kAlarmOuts, 0).name), "Siren");
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1405, 1405, 1405, 3509}));
  const auto outputs = core_->received(kAlarmOutChanged.id);
  EXPECT_EQ(outputs[0].payload, int32s({0}));
  EXPECT_EQ(outputs[1].payload, int32s({1}));
  EXPECT_EQ(outputs[2].payload, int32s({3}));
  const Bytes log = only_message(*core_, 3509).payload;
  EXPECT_EQ(log_fields(log), (LogFields{204, 911, 1}));
  EXPECT_EQ(Bytes(log.begin() + 672, log.end()), mask_bytes(0b1011));
  // A partial set keeps what it does not carry.
  EXPECT_EQ(post("/6022", R"({"alarmId": 0, "durationTime": 5})").out, kOk);
  EXPECT_EQ(text_of(row(kAlarmOuts, 0).name), "Siren");
  EXPECT_EQ(row(kAlarmOuts, 0).enable, 1);
}

TEST_F(RecorderAlarmTest, OutputSetAndTriggerRefusals) {
  for (const char* body : {R"({"alarmId": 4})", R"({"alarmId": -1})", R"({"name": "x"})", "[1]",
                           R"({"alarmId": 1, "enable": 3})", R"({"alarmId": 1, "durationTime": -1})"}) {
    expect_refused("/6022", body, kCgiErrorText);
  }
  // The output's plan is taken from the action block: a plan text that is not UTF-8 refuses the set.
  expect_refused("/6022", "{\"alarmId\": 1, \"dialog\": {\"effective\": [[[\"\xff\", \"\", 0]]]}}", kCgiErrorText);
  EXPECT_EQ(post("/6023", R"({"id": 2, "enable": 1})").out, kOk);
  EXPECT_EQ(only_message(*core_, kAlarmOutTrigger.id).payload, int32s({2, 1}));
  EXPECT_EQ(log_fields(only_message(*core_, 3485).payload), (LogFields{204, 911, 3}));
  for (const char* body : {R"({"id": 4, "enable": 1})", R"({"id": -1, "enable": 1})", R"({"enable": 1})", R"({"id": 1})"}) {
    expect_refused("/6023", body);
  }
}

TEST_F(RecorderAlarmTest, ShortFormSetStoresTheMaskFromTheTextAndTheLegacyPlan) {
  AlarmInConfig actions = row(kAlarmIns, 3);
  actions.id = 3;
  actions.email_interval = 30;
  actions.tri_snapshot[0] = '1';
  copy_text_field(actions.tri_channels, "0010");  // an older text: it must not outlive the new mask
  ASSERT_EQ(kAlarmIns.write(kZvdbPath, &actions), 0);
  zvdb_close_all();
  EXPECT_EQ(post("/6062", R"({"alarm": {"id": 3, "enable": 1, "name": "Door", "type": 1, "triChannels": "0101",
                              "triAlarms": 2, "interval": 7}, "schedule": [[["08:00", "09:00"]]]})").out,
            kOk);
  const AlarmInConfig in = row(kAlarmIns, 3);
  EXPECT_EQ(in.tri_channels_mask, 10u);
  EXPECT_EQ(text_of(in.tri_channels), "0101") << "the text is stored beside the mask it gives";
  EXPECT_EQ(in.interval, 7);
  EXPECT_EQ(in.email_interval, 30) << "the actions the short form cannot carry stay";
  const Schedule plan = row(kAlarmInPlans, 3);
  EXPECT_EQ(text_of(plan.days[0].ranges[0].start_time), "08:00");
  EXPECT_EQ(plan.days[0].ranges[0].action_type, 6);
  EXPECT_EQ(plan.days[7].ranges[11].action_type, 6);
  EXPECT_EQ(only_message(*core_, kAlarmInChanged.id).payload, int32s({3}));
  EXPECT_EQ(log_fields(only_message(*core_, 3485).payload), (LogFields{204, 910, 4}));
  const std::string read = get("/6061", "3").out;
  EXPECT_PREFIX(read,
            kJsonHeader + R"({ "alarm": { "id": 3, "enable": 1, "name": "Door", "type": 1, "triChannels": "0101", )"
                          R"("triAlarms": 2, "interval": 7, "triSnapshot": "1" }, "schedule": [ [ { "startTime": )");
  const std::string list = get("/6060").out;
  EXPECT_NE(list.find(R"(}, { "id": 3, "enable": 1, "name": "Door", "type": 1, "triChannels": "0101", "triAlarms": 2 }, {)"),
            std::string::npos) << list;
  EXPECT_PREFIX(list, kJsonHeader + R"([ { "id": 0, )");
  EXPECT_NE(list.find(R"({ "id": 15, )"), std::string::npos) << "all 16 inputs";
  EXPECT_EQ(list.find(R"({ "id": 16, )"), std::string::npos);

  // "/6064" changes the stored row: its name and enable stay; "/6063" renames by "camId".
  EXPECT_EQ(post("/6064", R"({"alarm": {"id": 3, "enable": 0, "type": 0, "triChannels": "1", "triAlarms": 4,
                              "interval": 8}})").out,
            kOk);
  EXPECT_EQ(text_of(row(kAlarmIns, 3).name), "Door");
  EXPECT_EQ(row(kAlarmIns, 3).enable, 1);
  EXPECT_EQ(row(kAlarmIns, 3).tri_channels_mask, 1u);
  EXPECT_EQ(post("/6063", R"({"alarm": {"camId": 3, "name": "Back door"}})").out, kOk);
  EXPECT_EQ(text_of(row(kAlarmIns, 3).name), "Back door");
  EXPECT_EQ(row(kAlarmIns, 3).type, 0);
  EXPECT_EQ(post("/6063", R"({"alarm": {"camId": 3, "type": 1, "enable": 2}})").out, kOk);
  EXPECT_EQ(post("/6063", R"({"alarm": {"camId": 3, "name": "Side door"}})").out, kOk);
  EXPECT_EQ(row(kAlarmIns, 3).type, 1) << "a rename without a type keeps it";
  EXPECT_EQ(row(kAlarmIns, 3).enable, 2);
}

TEST_F(RecorderAlarmTest, ShortFormRefusalsAreSilent) {
  const std::string good = R"("enable": 1, "type": 1, "triChannels": "1", "triAlarms": 0, "interval": 0)";
  for (const std::string& alarm :
       {std::string(R"("id": 16, )") + good, R"("id": -1, )" + good, std::string(R"("id": 1, "enable": 3, "type": 1, "triChannels": "1", "triAlarms": 0, "interval": 0)"),
        std::string(R"("id": 1, "enable": 1, "type": 2, "triChannels": "1", "triAlarms": 0, "interval": 0)"),
        std::string(R"("id": 1, "enable": -1, "type": 1, "triChannels": "1", "triAlarms": 0, "interval": 0)"),
        std::string(R"("id": 1, "enable": 1, "type": -1, "triChannels": "1", "triAlarms": 0, "interval": 0)"),
        std::string(R"("id": 1, "enable": 1, "type": 1, "triAlarms": 0, "interval": 0)"),
        std::string(R"("id": 1, "enable": 1, "type": 1, "triChannels": "1", "triAlarms": -1, "interval": 0)"),
        std::string(R"("id": 1, "enable": 1, "type": 1, "triChannels": "1", "triAlarms": 0, "interval": -1)")}) {
    expect_refused("/6062", R"({"alarm": {)" + alarm + "}}");
    expect_refused("/6064", R"({"alarm": {)" + alarm + "}}");
  }
  // Each required member left out.
  const std::string whole = R"("id": 1, )" + good;
  for (const std::string member : {R"("id": 1, )", R"("enable": 1, )", R"("type": 1, )", R"("triAlarms": 0, )",
                                   R"(, "interval": 0)"}) {
    std::string alarm = whole;
    alarm.erase(alarm.find(member), member.size());
    expect_refused("/6062", R"({"alarm": {)" + alarm + "}}");
    expect_refused("/6064", R"({"alarm": {)" + alarm + "}}");
  }
  expect_refused("/6062", R"({"id": 1})");
  expect_refused("/6062", "{\"alarm\": {\"id\": 1, " + good + "}, \"schedule\": [[[\"01:00\", \"\xfe\", 0]]]}");
  expect_refused("/6063", R"({"alarm": {"camId": 16, "name": "x"}})");
  expect_refused("/6063", R"({"alarm": {"name": "x"}})");
  expect_refused("/6063", R"({"alarm": {"camId": 1, "type": 2}})");
  expect_refused("/6063", R"({"alarm": {"camId": -1, "name": "x"}})");
  expect_refused("/6063", R"({"alarm": {"camId": 1, "enable": 3}})");
  expect_refused("/6063", R"({"alarm": {"camId": 1, "enable": -1}})");
  EXPECT_EQ(get("/6061", "16").out, "");
  EXPECT_EQ(get("/6061", "-1").out, "");
}

TEST_F(RecorderAlarmTest, ActionBlockSetReadsBackAndCopiesOnlyTheSharedFields) {
  EXPECT_EQ(post("/6027", R"({"alarmId": 3, "alarmType": 1, "name": "Gate", "copyCnt": 7,
                              "copyChn": [4, 5, 6, 3, 16, -1, 2],
                              "dialog": {"interval": 9, "email_interval": 11, "triChannels": "0010", "triSnapshot": "01",
                                         "triChnAlarms": ["a", "b"], "audioId": 2, "email_pic_enable": 1,
                                         "audible": )" + schedule_input({{{1, 0}, R"(["03:00","04:00",2])"}}) + R"(,
                                         "ptzChnId": 3, "ptzType": 0,
                                         "ptzParams": [{"acto_ptz_channel": 5, "acto_ptz_type": 1, "acto_ptz_preset": 7}]}})")
                .out,
            kOk);
  const std::string three = post("/6026", R"({"alarmId": 3})").out;
  EXPECT_PREFIX(body_of(three),
            R"({ "alarmId": 3, "name": "Gate", "alarmType": 1, "enable": 2, "triAlarms": 0, "interval": 9, "email_interval": 11, )");
  EXPECT_EQ(member(three, "triChannels"), R"("0010")");
  EXPECT_EQ(member(three, "triChnAlarms"), R"([ "a", "b" ])");
  EXPECT_EQ(member(three, "ptzParams"),
            R"([ { "acto_ptz_channel": 5, "acto_ptz_type": 1, "acto_ptz_preset": 7, "acto_ptz_patrol": 0 } ])");
  EXPECT_EQ(row(kAlarmIns, 3).email_enable, 2);
  EXPECT_EQ(row(kAlarmIns, 3).tri_channels_mask, 4u);
  for (int n : {2, 4, 5, 6}) {
    SCOPED_TRACE(n);
    const AlarmInConfig copy = row(kAlarmIns, n);
    EXPECT_EQ(copy.type, 1);
    EXPECT_EQ(copy.enable, 2);
    EXPECT_EQ(copy.interval, 9);
    EXPECT_EQ(copy.audio_id, 2);
    EXPECT_EQ(text_of(copy.tri_snapshot), "01");
    EXPECT_EQ(text_of(copy.name), "AlarmIn" + std::to_string(n + 1));
    EXPECT_EQ(text_of(copy.tri_channels), "") << "the channels are not copied";
    EXPECT_EQ(copy.email_pic_enable, 0);
    EXPECT_EQ(text_of(row(kAlarmInAudiblePlans, n).days[1].ranges[0].start_time), "03:00");
  }
  EXPECT_EQ(row(kAlarmIns, 7).interval, 20);
  EXPECT_EQ(member(post("/6026", R"({"alarmId": 7})").out, "email_interval"), "20");
  EXPECT_EQ(member(post("/6026", R"({"alarmId": 5})").out, "ptzParams"),
            R"([ { "acto_ptz_channel": 5, "acto_ptz_type": 1, "acto_ptz_preset": 7, "acto_ptz_patrol": 0 } ])");
  EXPECT_EQ(member(post("/6026", R"({"alarmId": 5})").out, "triChnAlarms"), R"([ "a", "b" ])");
  EXPECT_EQ(only_message(*core_, kAlarmInsChanged.id).payload, mask_bytes(0b1111100));
  // Copying onto itself copies nothing; the source is still announced.
  core_->clear_received();
  EXPECT_EQ(post("/6027", R"({"alarmId": 8, "copyCnt": 1, "copyChn": [8]})").out, kOk);
  EXPECT_EQ(only_message(*core_, kAlarmInsChanged.id).payload, mask_bytes(1u << 8));
  for (const char* body : {R"({"alarmId": 16})", R"({"alarmId": -1})", R"({"dialog": {}})", "{"}) {
    expect_refused("/6027", body, kCgiErrorJson);
    expect_refused("/6026", body, kCgiErrorJson);
  }
  expect_refused("/6027", R"({"alarmId": 1, "alarmType": 2})", kCgiErrorJson);
  expect_refused("/6027", "{\"alarmId\": 1, \"dialog\": {\"triChnAlarms\": [\"\xff\"]}}", kCgiErrorJson);
}

}  // namespace
}  // namespace zvtest
