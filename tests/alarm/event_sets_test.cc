// Video loss and the older alarm-input sets: single-channel sets, the action block, and the
// multi-channel families (plans, fields, PTZ lists) with the lists' edges: short lists, numbers
// outside the range, and sources that do not exist.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "common/messages/alarm_event.h"
#include "tests/alarm/alarm_fixture.h"

namespace zvtest {
namespace {

class EventSetTest : public AlarmTest {};

const std::string kPlan = schedule_input({{{0, 0}, R"(["10:00","11:00",3])"}});

TEST_F(EventSetTest, VideoLossSingleChannelSets) {
  EXPECT_EQ(get("/6014", "5").out, kJsonHeader + R"({ "camId": 5, "enable": 0, "triAlarms": 0, "interval": 20 })");
  EXPECT_EQ(post("/6016", R"({"camId": 5, "enable": 1, "triAlarms": 3, "interval": 6})").out, kOk);
  EXPECT_EQ(get("/6014", "5").out, kJsonHeader + R"({ "camId": 5, "enable": 0, "triAlarms": 3, "interval": 6 })")
      << "the enable flag is checked, not stored";
  EXPECT_EQ(only_message(*core_, kVideoLossChanged.id).payload, int32s({5}));
  EXPECT_EQ(log_fields(only_message(*core_, 3485).payload), (LogFields{204, 908, 6}));
  for (const char* body : {R"({"camId": 5, "enable": 3, "triAlarms": 3, "interval": 6})",
                           R"({"camId": 64, "enable": 1, "triAlarms": 3, "interval": 6})",
                           R"({"camId": 5, "enable": 1, "triAlarms": -1, "interval": 6})",
                           R"({"camId": 5, "enable": 1, "triAlarms": 3})"}) {
    expect_refused("/6016", body);
  }
  core_->clear_received();
  EXPECT_EQ(post("/6017", R"({"camId": 5, "enable": 1, "schedule": )" + kPlan + "}").out, kOk);
  EXPECT_EQ(row(kVideoLosses, 5).enable, 1);
  EXPECT_EQ(text_of(row(kVideoLossPlans, 5).days[0].ranges[0].start_time), "10:00");
  expect_refused("/6017", R"({"camId": 64, "enable": 1})");
  expect_refused("/6017", R"({"enable": 1})");
  for (const char* n : {"64", "-1"}) {
    EXPECT_EQ(get("/6014", n).out, "");
    EXPECT_EQ(get("/6015", n).out, "");
    EXPECT_EQ(get("/6129", n).out, "");
  }
  EXPECT_EQ(get("/6129", "16").out, "");
  EXPECT_PREFIX(get("/6124", "70").out, kJsonHeader + "[ [ ");  // the number is not checked
}

// Every plain-number plan read prints the plan of its own table: a plan with its own hour is
// stored in each table, and each read shows that hour and no other.
TEST_F(EventSetTest, EachPlanReadPrintsItsOwnTable) {
  const std::pair<const char*, const zvdb::TableDesc*> reads[] = {
      {"/6011", &zvdb::kMotionAudibleScheduleTable},   {"/6015", &zvdb::kVideoLossAudibleScheduleTable},
      {"/6120", &zvdb::kMotionEmailScheduleTable},     {"/6124", &zvdb::kVideoLossEmailScheduleTable},
      {"/6128", &zvdb::kAlarmInEmailScheduleTable},    {"/6129", &zvdb::kAlarmInAudibleScheduleTable},
      {"/6153", &zvdb::kMotionEffectiveScheduleTable}, {"/6158", &zvdb::kMotionPtzScheduleTable},
      {"/6166", &zvdb::kVideoLossPtzScheduleTable},    {"/6168", &zvdb::kAlarmInPtzScheduleTable},
      {"/6169", &zvdb::kAlarmInEffectiveScheduleTable},
  };
  const auto hour = [](size_t i) { return "\"" + std::to_string(10 + i) + ":00\""; };
  for (size_t i = 0; i < std::size(reads); ++i) {
    Schedule plan{};
    std::snprintf(plan.days[0].ranges[0].start_time, kScheduleTimeSize, "%zu:00", 10 + i);
    ASSERT_EQ(zvdb::Table<Schedule>{*reads[i].second}.write_at(kZvdbPath, &plan, {3}), 0) << reads[i].first;
  }
  zvdb_close_all();
  for (size_t i = 0; i < std::size(reads); ++i) {
    const std::string reply = get(reads[i].first, "3").out;
    for (size_t j = 0; j < std::size(reads); ++j) {
      EXPECT_EQ(reply.find(hour(j)) != std::string::npos, i == j) << reads[i].first << " " << hour(j);
    }
  }
}

// A plan text that is not UTF-8 would be stored and printed back as JSON: the set is refused whole.
TEST_F(EventSetTest, PlanSetsRefuseAPlanTextThatIsNotUtf8) {
  const std::string plan = schedule_input({{{0, 0}, "[\"10:00\",\"\xff\",3]"}});
  for (const char* id : {"/6017", "/6170"}) {
    expect_refused(id, R"({"camId": 5, "enable": 1, "schedule": )" + plan + "}");
  }
  for (const char* id : {"/6121", "/6122", "/6125", "/6126", "/6165", "/6167"}) {
    expect_refused(id, R"({"camId": 1, "cnt": 1, "chnid": [3], "enable": 1, "schedule": )" + plan + "}");
  }
}

// A body that is not JSON gets no reply; a bad source channel gets the text error.
TEST_F(EventSetTest, CopiesAnswerNothingToABodyThatIsNotJson) {
  for (const char* id : {"/6127", "/6165", "/6167"}) {
    expect_refused(id, "not json");
    expect_refused(id, R"({"camId": -1, "cnt": 1, "chnid": [3]})", kCgiErrorText);
  }
}

TEST_F(EventSetTest, VideoLossActionBlockSetsTwoAndCopies) {
  EXPECT_EQ(post("/6095", R"({"chnid": 1, "dialog": {"interval": 4, "triChnAlarms": ["x", "y"], "audible": )" + kPlan +
                              R"(, "ptzChnId": 1, "ptzType": 2, "ptzParams": [{"acto_ptz_channel": 3, "acto_ptz_type": 1}]}})")
                .out,
            kOk);
  const VideoLossRecord one = row(kVideoLosses, 1);
  EXPECT_EQ(one.enable, 2);
  EXPECT_EQ(one.action_enable, 2);
  EXPECT_EQ(one.interval, 4);
  EXPECT_EQ(only_message(*core_, kVideoLossesChanged.id).payload, mask_bytes(1u << 1)) << "no copy: own bit only";
  core_->clear_received();
  EXPECT_EQ(post("/6095", R"({"chnid": 1, "copyCnt": 3, "copyChn": [1, 4, 99]})").out, kOk);
  EXPECT_EQ(only_message(*core_, kVideoLossesChanged.id).payload, mask_bytes(1u << 1 | 1u << 4));
  const std::string four = post("/6094", R"({"chnid": 4})").out;
  EXPECT_PREFIX(body_of(four),
            R"({ "chnid": 4, "enable": 2, "triAlarms": 0, "interval": 4, "email_interval": 20, "ptz_interval": 0, )"
            R"("alarmout_interval": 0, "white_interval": 0, "audible": [ [ )");
  EXPECT_EQ(member(four, "triChnAlarms"), R"([ "x", "y" ])");
  EXPECT_EQ(member(four, "ptzParams"),
            R"([ { "acto_ptz_channel": 3, "acto_ptz_type": 1, "acto_ptz_preset": 0, "acto_ptz_patrol": 0 } ])");
  EXPECT_EQ(row(kVideoLosses, 4).id, 4);
  // An element left out or not a text keeps that text; a text given replaces it.
  EXPECT_EQ(post("/6095", R"({"chnid": 4, "dialog": {"triChnAlarms": [5]}})").out, kOk);
  EXPECT_EQ(member(post("/6094", R"({"chnid": 4})").out, "triChnAlarms"), R"([ "x", "y" ])");
  EXPECT_EQ(post("/6095", R"({"chnid": 4, "dialog": {"triChnAlarms": [null, ""]}})").out, kOk);
  EXPECT_EQ(member(post("/6094", R"({"chnid": 4})").out, "triChnAlarms"), R"([ "x", "" ])");
  for (const char* body : {R"({"chnid": 64})", R"({"chnid": -1})", R"({"dialog": {}})", "]"}) {
    expect_refused("/6095", body, kCgiErrorJson);
    expect_refused("/6094", body, kCgiErrorJson);
  }
  expect_refused("/6095", "{\"chnid\": 1, \"dialog\": {\"triChnAlarms\": [\"\xff\"]}}", kCgiErrorJson);
}

TEST_F(EventSetTest, MultiChannelPlanSetsTakeOnlyListedNumbersInRange) {
  struct Case {
    const char* id;
    std::string body;
    uint64_t mask;
    int32_t notice;
  } cases[] = {
      {"/6121", R"({"cnt": 3, "chnid": [2, 70, 5], "enable": 1, "interval": 8, "schedule": )" + kPlan + "}", 0b100100, 1414},
      {"/6122", R"({"cnt": 5, "chnid": [63, "x"], "interval": 8})", 1ULL << 63, 1414},
      {"/6125", R"({"cnt": 2, "chnid": [4, 9], "enable": 1, "interval": 8, "schedule": )" + kPlan + "}", 1u << 4 | 1u << 9, 1415},
      {"/6126", R"({"cnt": 3, "chnid": [15, 16, 40], "triSnapshot": "101", "interval": 8})", 1u << 15, 1415},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    core_->clear_received();
    EXPECT_EQ(post(c.id, c.body).out, kOk);
    EXPECT_EQ(only_message(*core_, c.notice).payload, mask_bytes(c.mask));
  }
  EXPECT_EQ(row(kVideoLosses, 2).interval, 8);
  EXPECT_EQ(row(kVideoLosses, 5).enable, 1);
  EXPECT_EQ(row(kVideoLosses, 0).interval, 20) << "a short list never becomes channel 0";
  EXPECT_EQ(text_of(row(kVideoLossAudiblePlans, 5).days[0].ranges[0].start_time), "10:00");
  EXPECT_EQ(row(kVideoLosses, 63).enable, 0) << "an absent enable stays";
  EXPECT_EQ(row(kVideoLosses, 63).interval, 8);
  EXPECT_EQ(text_of(row(kAlarmInAudiblePlans, 9).days[0].ranges[0].end_time), "11:00");
  EXPECT_EQ(text_of(row(kAlarmIns, 15).tri_snapshot), "101");
  expect_refused("/6121", R"({"cnt": 1, "chnid": [1], "enable": 3})");
  expect_refused("/6126", R"({"cnt": 1, "chnid": [1], "interval": -1})");
  expect_refused("/6125", "{");
  // A listed channel without a stored row gets none.
  ASSERT_EQ(kVideoLosses.remove(kZvdbPath, {5}), 0);
  zvdb_close_all();
  EXPECT_EQ(post("/6121", R"({"cnt": 1, "chnid": [5], "enable": 1})").out, kOk);
  VideoLossRecord absent{};
  EXPECT_NE(kVideoLosses.read(kZvdbPath, &absent, {5}), 0);
  zvdb_close_all();
}

TEST_F(EventSetTest, FieldCopiesChangeOnlyWhatDiffers) {
  ASSERT_EQ(post("/6016", R"({"camId": 3, "enable": 0, "triAlarms": 6, "interval": 1})").out, kOk);
  core_->clear_received();
  EXPECT_EQ(post("/6123", R"({"cnt": 4, "chnid": [3, 4, 64, 4], "triAlarms": 6})").out, kOk);
  EXPECT_EQ(only_message(*core_, kVideoLossesChanged.id).payload, mask_bytes(1u << 4)) << "the changed set";
  const Bytes log = only_message(*core_, 3509).payload;
  EXPECT_EQ(log_fields(log), (LogFields{204, 909, 0}));
  EXPECT_EQ(Bytes(log.begin() + 672, log.end()), mask_bytes(1u << 3 | 1u << 4)) << "the listed set";
  EXPECT_EQ(row(kVideoLosses, 4).tri_alarms, 6);
  expect_refused("/6123", R"({"cnt": 1, "chnid": [1]})");

  ASSERT_EQ(post("/6170", R"({"camId": 2, "schedule": )" + kPlan + "}").out, kOk);
  EXPECT_EQ(only_message(*core_, kAlarmInChanged.id).payload, int32s({2}));
  core_->clear_received();
  EXPECT_EQ(post("/6127", R"({"camId": 2, "type": 0, "triChannels": "0011", "cnt": 3, "chnid": [5, 16, 6]})").out, kOk);
  EXPECT_EQ(row(kAlarmIns, 5).tri_channels_mask, 12u);
  EXPECT_EQ(text_of(row(kAlarmIns, 6).tri_channels), "0011");
  EXPECT_EQ(text_of(row(kAlarmInEffectivePlans, 6).days[0].ranges[0].start_time), "10:00");
  EXPECT_EQ(get("/6169", "5").out, get("/6169", "2").out);
  EXPECT_EQ(only_message(*core_, kAlarmInsChanged.id).payload, mask_bytes(0b1100000));
  EXPECT_EQ(post("/6127", R"({"camId": 2, "type": 1, "triAlarms": 9, "cnt": 1, "chnid": [5]})").out, kOk);
  EXPECT_EQ(row(kAlarmIns, 5).tri_alarms, 9);
  for (const char* body : {R"({"camId": 16, "type": 1, "triAlarms": 1, "cnt": 1, "chnid": [5]})",
                           R"({"type": 1, "triAlarms": 1, "cnt": 1, "chnid": [5]})"}) {
    expect_refused("/6127", body, kCgiErrorText);
  }
  expect_refused("/6127", R"({"camId": 2, "type": 1, "cnt": 1, "chnid": [5]})");
  expect_refused("/6127", R"({"camId": 2, "type": 0, "cnt": 1, "chnid": [5]})");
  expect_refused("/6170", R"({"camId": 16, "schedule": [[]]})");
  expect_refused("/6170", R"({"camId": 1})");
}

TEST_F(EventSetTest, PtzListCopiesRetagTheEntriesAndLeaveTheSourceAlone) {
  ASSERT_EQ(post("/6160", R"({"type": 2, "chn_id": 1, "acto_ptz_channel": 6, "acto_ptz_type": 3, "acto_ptz_pattern": 2})").out,
            kOk);
  EXPECT_EQ(post("/6165", R"({"camId": 1, "cnt": 2, "chnid": [1, 3], "schedule": )" + kPlan + "}").out, kOk);
  PtzActionList list{};
  int count = 0;
  read_ptz_params(kZvdbPath, &list, 2, 3, &count);
  zvdb_close_all();
  ASSERT_EQ(count, 1);
  EXPECT_EQ(list.entries[0].source_id, 3);
  EXPECT_EQ(list.entries[0].acto_ptz_pattern, 2);
  EXPECT_EQ(text_of(row(kVideoLossPtzPlans, 1).days[0].ranges[0].start_time), "10:00");
  EXPECT_EQ(only_message(*core_, kVideoLossesChanged.id).payload, mask_bytes(0b1010));
  core_->clear_received();
  EXPECT_EQ(post("/6167", R"({"camId": 0, "cnt": 2, "chnid": [15, 16]})").out, kOk);
  EXPECT_EQ(only_message(*core_, kAlarmInsChanged.id).payload, mask_bytes(1u << 15));
  expect_refused("/6165", R"({"camId": 64, "cnt": 1, "chnid": [3]})", kCgiErrorText);
  expect_refused("/6165", R"({"cnt": 1, "chnid": [3]})", kCgiErrorText);
  expect_refused("/6167", R"({"camId": 16, "cnt": 1, "chnid": [3]})", kCgiErrorText);
}

}  // namespace
}  // namespace zvtest
