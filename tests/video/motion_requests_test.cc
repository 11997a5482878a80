// Motion requests through the real front end: exact replies, exact payloads and message order,
// and the database before and after.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/json_fields.h"
#include "common/request.h"
#include "common/messages/video.h"
#include "platform/zvdb/engine.h"
#include "platform/zvfs/log_record.h"
#include "tests/video/video_fixture.h"

namespace zvtest {
namespace {

using PlanRead = const zvdb::Table<Schedule>*;
using PlanWrite = const zvdb::Table<Schedule>*;

class MotionRequestTest : public VideoTest {
 protected:
  void store_plan(PlanWrite write, int channel, const char* start) {
    Schedule s{};
    std::strcpy(s.days[0].ranges[0].start_time, start);
    ASSERT_EQ(write->write_at(kZvdbPath, &s, {channel}), 0);
    zvdb_close_all();
  }

  // The messages received, waiting until `count` have arrived (notices land after the reply).
  std::vector<int32_t> ids_after(size_t count) {
    for (int i = 0; i < 200 && core_->received().size() < count; ++i) usleep(10000);
    return received_ids(*core_);
  }
};

OpLogRecord op_log_of(const ReceivedMessage& m) { return record_from<OpLogRecord>(m.payload); }

DefaultMotionPlan expected_plan(int channel) {
  DefaultMotionPlan plan{};
  plan.channel = channel;
  for (int d = 0; d < 7; ++d) {
    plan.days[d].day = d;
    plan.days[d].enable = 1;
    for (int r = 0; r < 4; ++r) plan.days[d].ranges[r] = {0, 0, 24, 0};
  }
  return plan;
}

// ---- /6010 --------------------------------------------------------------------------------------

TEST_F(MotionRequestTest, SettingsReadPrintsTheWholeBlockInOrder) {
  RunResult r = post("/6010", R"({"chnid": 3})");
  const std::string head =
      kJsonHeader +
      R"({ "chnid": 3, "enable": 0, "sensitivity": 3, "triChannels": "", "triAlarms": 0, "interval": 20, )"
      R"("enableZV": 0, "motionTable": "", "email_enable": 0, "email_interval": 20, "email_pic_enable": 0, )"
      R"("tri_channels_pic": "", "ptz_interval": 0, "alarmout_interval": 0, "effective": [ [ { "startTime": "", )";
  ASSERT_EQ(r.out.substr(0, head.size()), head);
  const std::string tail = R"(, "triChnAlarms": [ "", "" ], "white": [ )";
  EXPECT_NE(r.out.find(tail), std::string::npos);
  const std::string end =
      R"(], "whiteInfo": [ ], "white_interval": 0, "audioId": 0, "audioIdMask": 0, "ptzParams": [ ] })";
  EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end);
  JsonPtr reply(json_tokener_parse(body_of(r.out).c_str()));
  ASSERT_NE(reply, nullptr);
  for (const char* plan : {"effective", "audible", "email", "ptz", "white"}) {
    json_object* days = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(reply.get(), plan, &days)) << plan;
    EXPECT_EQ(json_object_array_length(days), 8u);
    EXPECT_EQ(json_object_array_length(json_object_array_get_idx(days, 7)), 12u);
  }
}

TEST_F(MotionRequestTest, SettingsReadRefusesWithTheJsonError) {
  for (const char* body : {"not json", R"({"chnid": 64})", R"({"chnid": -1})", R"({})", R"({"chnid": "a"})"}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(post("/6010", body).out, kCgiErrorJson);
  }
}

// ---- Plan reads and plan-only sets -----------------------------------------------------------

TEST_F(MotionRequestTest, PlanReadsTakeThePlainChannelNumber) {
  struct Case {
    const char* id;
    PlanWrite write;
  } cases[] = {{"/6011", &kMotionAudiblePlans},
               {"/6120", &kMotionEmailPlans},
               {"/6153", &kMotionEffectivePlans},
               {"/6158", &kMotionPtzPlans}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    store_plan(c.write, 7, "07:07");
    store_plan(c.write, 0, "00:01");
    RunResult seven = get(c.id, "7");
    ASSERT_EQ(seven.out.substr(0, kJsonHeader.size()), kJsonHeader);
    const std::string first = R"([ [ { "startTime": "07:07", "endTime": "", "actionType": 0 }, )";
    EXPECT_EQ(body_of(seven.out).substr(0, first.size()), first);
    EXPECT_NE(get(c.id, "x").out.find("\"00:01\""), std::string::npos);  // "x" reads as channel 0
    EXPECT_EQ(get(c.id, "99").out.find("\"0"), std::string::npos);      // no such row: empty plan
  }
}

TEST_F(MotionRequestTest, PlanOnlySetsStoreAndAnnounce) {
  struct Case {
    const char* id;
    PlanRead read;
  } cases[] = {{"/6013", &kMotionPlans},
               {"/6152", &kMotionEffectivePlans},
               {"/6159", &kMotionPtzPlans}};
  const std::string plan = schedule_input({{{6, 2}, R"(["10:00","11:00",1])"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    core_->clear_received();
    EXPECT_EQ(post(c.id, "{\"camId\": 9, \"schedule\": " + plan + "}").out, kOk);
    EXPECT_EQ(text_of(this->plan(*c.read, 9).days[6].ranges[2].start_time), "10:00");
    EXPECT_EQ(only_message(*core_, kMotionChanged.id).payload, int32s({9}));

    core_->clear_received();
    for (const char* bad : {R"({"camId": -1, "schedule": []})", R"({"camId": 64, "schedule": []})",
                            R"({"schedule": []})"}) {
      expect_refused(c.id, bad, kCgiErrorText);
    }
    expect_refused(c.id, "{bad json");
  }
}

TEST_F(MotionRequestTest, PlanSetWithoutAPlanKeepsTheStoredOne) {
  store_plan(&kMotionEffectivePlans, 2, "05:00");
  EXPECT_EQ(post("/6152", R"({"camId": 2, "schedule": "x"})").out, kOk);
  EXPECT_EQ(text_of(plan(kMotionEffectivePlans, 2).days[0].ranges[0].start_time), "05:00");
}

// A plan text that is not UTF-8 would be stored and printed back as JSON: the set is refused whole.
TEST_F(MotionRequestTest, PlanSetsRefuseAPlanTextThatIsNotUtf8) {
  const std::string plan = schedule_input({{{0, 0}, "[\"\xff\",\"02:00\",1]"}});
  for (const char* id : {"/6013", "/6113", "/6118", "/6152", "/6159"}) {
    expect_refused(id, R"({"camId": 6, "enable": 1, "schedule": )" + plan + "}");
  }
}

// ---- /6012 --------------------------------------------------------------------------------------

TEST_F(MotionRequestTest, FullSetStoresTheNamedFieldsKeepsTheActionsAndTellsCoreAndCamera) {
  MotionRecord old = motion(4);
  old.email_enable = 1;
  old.ptz_interval = 9;
  old.audio_id = 3;
  std::strcpy(old.tri_chn_alarms[0], "11");
  std::strcpy(old.tri_channels_pic, "1");
  store_motion(old);

  const std::string table(400, 'g');
  RunResult r = post("/6012", R"({"camId": 4, "enable": 2, "sensitivity": 5, "triChannels": "0101",
                                  "triAlarms": 6, "interval": 7, "enableZV": 1, "motionTable": ")" +
                                  table + "\"}");
  EXPECT_EQ(r.out, kOk);

  MotionRecord expected = old;
  std::memset(expected.motion_table, 0, sizeof expected.motion_table);
  std::memset(expected.tri_channels, 0, sizeof expected.tri_channels);
  expected.channel = 4;
  expected.enable = 2;
  expected.sensitivity = 5;
  expected.tri_channels_mask = (1u << 1) | (1u << 3);
  expected.tri_alarms = 6;
  std::memset(expected.motion_table, 'g', 367);
  expected.interval = 7;
  expected.enable_zv = 1;
  std::strcpy(expected.tri_channels, "0101");
  const MotionRecord stored = motion(4);
  EXPECT_EQ(std::memcmp(&stored, &expected, sizeof stored), 0);  // the action fields as stored

  EXPECT_EQ(ids_after(5), (std::vector<int32_t>{1403, 3207, 3212, 3209, 3485}));
  EXPECT_EQ(only_message(*core_, 1403).payload, int32s({4}));
  CameraMotionMap map{};
  map.channel = 4;
  map.sensitivity = 5;
  std::memset(map.map, 'g', 299);
  EXPECT_EQ(only_message(*core_, 3207).payload, bytes_of(map));
  CameraMotionMode mode{};
  mode.channel = 4;
  mode.enable_zv = 1;
  EXPECT_EQ(only_message(*core_, 3212).payload, bytes_of(mode));
  EXPECT_EQ(only_message(*core_, 3209).payload, bytes_of(expected_plan(4)));
  const OpLogRecord log = op_log_of(only_message(*core_, 3485));
  EXPECT_EQ(log.main_type, 4);
  EXPECT_EQ(log.sub_type, 204);
  EXPECT_EQ(log.param_type, 909);
  EXPECT_EQ(log.channel, 5);
  EXPECT_EQ(text_of(log.user), "admin");
  EXPECT_EQ(text_of(log.remote_address), "192.0.2.7");
}

TEST_F(MotionRequestTest, FullSetWithoutCameraDetectionSendsModeZeroAndNoPlan) {
  EXPECT_EQ(post("/6012", R"({"camId": 0, "enable": 0, "sensitivity": 0, "triChannels": "",
                              "triAlarms": 0, "interval": 0, "enableZV": 0, "motionTable": ""})").out,
            kOk);
  EXPECT_EQ(ids_after(4), (std::vector<int32_t>{1403, 3207, 3212, 3485}));
  CameraMotionMode mode{};
  EXPECT_EQ(only_message(*core_, 3212).payload, bytes_of(mode));
}

TEST_F(MotionRequestTest, FullSetRefusesWithoutAReply) {
  const std::string good_rest =
      R"("sensitivity": 1, "triChannels": "1", "triAlarms": 0, "interval": 1, "enableZV": 0, "motionTable": "m")";
  const std::vector<std::string> bad = {
      R"({"camId": 1, "enable": 5, )" + good_rest + "}",
      R"({"camId": 1, "enable": 1, "sensitivity": 1, "triChannels": "1", "triAlarms": 0, "interval": -1, "enableZV": 0, "motionTable": "m"})",
      R"({"camId": 64, "enable": 1, )" + good_rest + "}",
      R"({"camId": -1, "enable": 1, )" + good_rest + "}",
      R"({"enable": 1, )" + good_rest + "}",
      R"({"camId": 1, "enable": 1, "sensitivity": -1, "triChannels": "1", "triAlarms": 0, "interval": 1, "enableZV": 0, "motionTable": "m"})",
      R"({"camId": 1, "enable": 1, "sensitivity": 1, "triChannels": 5, "triAlarms": 0, "interval": 1, "enableZV": 0, "motionTable": "m"})",
      R"({"camId": 1, "enable": 1, "sensitivity": 1, "triChannels": "1", "triAlarms": -2, "interval": 1, "enableZV": 0, "motionTable": "m"})",
      R"({"camId": 1, "enable": 1, "sensitivity": 1, "triChannels": "1", "triAlarms": 0, "interval": 1, "motionTable": "m"})",
      R"({"camId": 1, "enable": 1, "sensitivity": 1, "triChannels": "1", "triAlarms": 0, "interval": 1, "enableZV": 0})",
      R"({"camId": 1, "enable": 1, "sensitivity": 1, "triChannels": "1", "triAlarms": 0, "interval": 1, "enableZV": 0, "motionTable": ["m"]})",
      "[1, 2]",
      "",
  };
  for (const std::string& body : bad) expect_refused("/6012", body);
  expect_required("/6012", R"({"camId": 1, "enable": 1, )" + good_rest + "}",
                  {"enable", "sensitivity", "triChannels", "triAlarms", "interval"});
}

// ---- /6098 --------------------------------------------------------------------------------------

TEST_F(MotionRequestTest, CameraGridReadPrintsTheFirstRecord) {
  CameraMotionMap map{};
  map.enable = 1;
  std::strcpy(map.map, "ffff0000");
  map.sensitivity = 4;
  map.channel = 2;
  map.result = 0;
  map.model_type = 7;
  map.fishdisplay = 1;
  map.fishtransfer = 2;
  map.fishinstall = 3;
  CameraMotionMap second = map;
  second.sensitivity = 99;
  core_->reply(kCameraGridRead.id, concat({bytes_of(map), bytes_of(second)}));
  RunResult r = post("/6098", R"({"id": 2})");
  EXPECT_EQ(r.out, kJsonHeader + R"({ "map": "ffff0000", "sensitivity": 4, "result": 0, "enable": 1, )"
                                 R"("modelType": 7, "fishdisplay": 1, "fishtransfer": 2, "fishinstall": 3 })");
  EXPECT_EQ(only_message(*core_, kCameraGridRead.id).payload, int32s({2}));
}

TEST_F(MotionRequestTest, CameraGridReadNeverTrustsTheReply) {
  CameraMotionMap map{};
  std::memset(map.map, 'm', sizeof map.map);  // no terminator: cut at the field's end
  core_->reply(kCameraGridRead.id, bytes_of(map));
  RunResult r = post("/6098", R"({"id": 1})");
  EXPECT_NE(r.out.find("\"map\": \"" + std::string(300, 'm') + "\", \"sensitivity\": 0"), std::string::npos);

  core_->reply(kCameraGridRead.id, Bytes(100, 0));  // short: no record
  EXPECT_EQ(post("/6098", R"({"id": 1})").out, kCgiErrorText);
  core_->no_reply(kCameraGridRead.id);
  EXPECT_EQ(post("/6098", R"({"id": 1})").out, kCgiErrorText);
  core_->clear_received();
  expect_refused("/6098", R"({"id": -1})");
  expect_refused("/6098", R"({})");
}

// ---- /6112 --------------------------------------------------------------------------------------

TEST_F(MotionRequestTest, SettingsSetAppliesCopiesAndNotifiesInOrder) {
  RunResult r = post("/6112", R"({"chnid": 2, "sensitivity": 6, "enableZV": 0, "motionTable": "abc",
                                  "copyCnt": 3, "copyChn": [3, 2, 1],
                                  "dialog": {"chnid": 2, "interval": 33, "enable": 1,
                                             "ptzChnId": 2, "ptzType": 1,
                                             "ptzParams": [{"acto_ptz_channel": 5, "acto_ptz_type": 1}]}})");
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(ids_after(5), (std::vector<int32_t>{1403, 3509, 3251, 1410, 3212}));

  MotionCopyRequest copy{};
  std::strcpy(copy.motion_table, "abc");
  copy.sensitivity = 6;
  copy.channel = 2;
  copy.targets[0] = 1;
  copy.targets[1] = 3;
  copy.target_count = 2;
  EXPECT_EQ(only_message(*core_, 3251).payload, bytes_of(copy));
  CameraMotionMode mode{};
  mode.channel = 2;
  mode.channels[0] = 1;
  mode.channels[1] = 3;
  mode.count = 2;
  EXPECT_EQ(only_message(*core_, 3212).payload, bytes_of(mode));
  EXPECT_EQ(only_message(*core_, 1410).payload, int32s({(1 << 1) | (1 << 3), 0}));
  const Bytes multi = only_message(*core_, 3509).payload;
  ASSERT_EQ(multi.size(), 680u);
  EXPECT_EQ(int32_at(multi, 8), 204);
  EXPECT_EQ(int32_at(multi, 24), 909);
  EXPECT_EQ(int32_at(multi, 672), (1 << 1) | (1 << 3));

  // The source keeps its own sensitivity, though listed as a copy; the copies take the request's
  // with the block's fields.
  EXPECT_EQ(motion(2).interval, 33);
  EXPECT_EQ(motion(2).sensitivity, 3);
  for (int c : {1, 3}) {
    const MotionRecord copied = motion(c);
    EXPECT_EQ(copied.channel, c);
    EXPECT_EQ(copied.interval, 33);
    EXPECT_EQ(copied.enable, 1);
    EXPECT_EQ(copied.sensitivity, 6);
    PtzActionList list{};
    int count = 0;
    read_ptz_params(kZvdbPath, &list, 1, c, &count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(list.entries[0].acto_ptz_channel, 5);
  }
  zvdb_close_all();
  EXPECT_EQ(motion(4).interval, 20);
}

// A copy that leaves the sensitivity or camera-side flag out gives the targets the source's own
// (they were stored as 0).
TEST_F(MotionRequestTest, SettingsSetCopiesTheSourceValuesItDoesNotCarry) {
  MotionRecord source = motion(2);
  source.sensitivity = 7;
  source.enable_zv = 1;
  store_motion(source);
  std::strcpy(source.motion_table, "grid2");
  store_motion(source);
  EXPECT_EQ(post("/6112", R"({"chnid": 2, "copyCnt": 1, "copyChn": [3], "dialog": {"chnid": 2}})").out, kOk);
  EXPECT_EQ(motion(3).sensitivity, 7);
  EXPECT_EQ(motion(3).enable_zv, 1);
  // The cameras are told the same: the camera-side detection stays on, the grid is the source's.
  const MotionCopyRequest told = record_from<MotionCopyRequest>(only_message(*core_, 3251).payload);
  EXPECT_EQ(told.sensitivity, 7);
  EXPECT_EQ(told.enable_zv, 1);
  EXPECT_EQ(text_of(told.motion_table), "grid2");
  EXPECT_EQ(int32_at(only_message(*core_, 3212).payload, 4), 1);
}

TEST_F(MotionRequestTest, SettingsSetWithCameraDetectionSendsThePlanOnChannelZero) {
  EXPECT_EQ(post("/6112", R"({"chnid": 5, "enableZV": 1, "sensitivity": 2, "motionTable": "x"})").out, kOk);
  // No "dialog": no action block, so no 1403.
  EXPECT_EQ(ids_after(5), (std::vector<int32_t>{3509, 3251, 1410, 3212, 3252}));
  EXPECT_EQ(only_message(*core_, 3252).payload, bytes_of(expected_plan(0)));
  EXPECT_EQ(only_message(*core_, 1410).payload, int32s({0, 0}));
  CameraMotionMode mode{};
  mode.channel = 5;
  mode.enable_zv = 1;
  EXPECT_EQ(only_message(*core_, 3212).payload, bytes_of(mode));
}

TEST_F(MotionRequestTest, SettingsSetRefusesAMissingOrOutOfRangeChannel) {
  const std::string copy = R"(, "copyCnt": 3, "copyChn": [0, 1, 2], "dialog": {"chnid": 1, "interval": 5}})";
  for (const std::string& head : {std::string(R"({"chnid": 64)"), std::string(R"({"chnid": -1)"),
                                  std::string(R"({"other": 1)"), std::string(R"({"chnid": "x")")}) {
    expect_refused("/6112", head + copy);
  }
  expect_refused("/6112", "not json");
  expect_refused("/6112", "{\"chnid\": 1, \"dialog\": {\"chnid\": 1, \"triChnAlarms\": [\"\xff\"]}}");
}

TEST_F(MotionRequestTest, SettingsSetTreatsWrongTypesAsAbsent) {
  const std::string before = dump();
  EXPECT_EQ(post("/6112", R"({"chnid": 1, "dialog": "x", "copyChn": 5, "copyCnt": 2000000000,
                              "sensitivity": 1})")
                .out,
            kOk);
  EXPECT_EQ(dump(), before);  // no block, empty copy set: nothing written
  EXPECT_EQ(ids_after(4), (std::vector<int32_t>{3509, 3251, 1410, 3212}));
  const MotionRecord source = motion(1);
  MotionCopyRequest copy{};
  copy_text_field(copy.motion_table, source.motion_table);  // absent: the source's own grid
  copy.sensitivity = 1;
  copy.channel = 1;
  copy.enable_zv = source.enable_zv;
  EXPECT_EQ(only_message(*core_, 3251).payload, bytes_of(copy));

  core_->clear_received();
  EXPECT_EQ(post("/6112", R"({"chnid": 1, "copyChn": [2, 3], "copyCnt": 2000000000})").out, kOk);
  EXPECT_EQ(only_message(*core_, 1410).payload, int32s({(1 << 2) | (1 << 3), 0}));
}

// ---- /6113, /6114 --------------------------------------------------------------------------------

TEST_F(MotionRequestTest, FieldsAndPlanSet) {
  const std::string plan = schedule_input({{{0, 0}, R"(["01:00","02:00",1])"}});
  EXPECT_EQ(post("/6113", R"({"camId": 6, "sensitivity": 4, "enableZV": 1, "enable": 1, "triAlarms": 2,
                              "interval": 8, "schedule": )" + plan + "}").out,
            kOk);
  const MotionRecord r = motion(6);
  EXPECT_EQ(r.sensitivity, 4);
  EXPECT_EQ(r.enable_zv, 1);
  EXPECT_EQ(r.enable, 1);
  EXPECT_EQ(r.tri_alarms, 2);
  EXPECT_EQ(r.interval, 8);
  EXPECT_EQ(r.email_interval, 20);  // not named: kept
  EXPECT_EQ(text_of(this->plan(kMotionPlans, 6).days[0].ranges[0].start_time), "01:00");
  EXPECT_EQ(ids_after(4), (std::vector<int32_t>{1403, 1403, 3212, 3209}));
  EXPECT_EQ(core_->received(3209).front().payload, bytes_of(expected_plan(6)));
  // Each member left out keeps what is stored.
  EXPECT_EQ(post("/6113", R"({"camId": 6, "interval": 9})").out, kOk);
  MotionRecord kept = r;
  kept.interval = 9;
  EXPECT_EQ(bytes_of(motion(6)), bytes_of(kept));
}

TEST_F(MotionRequestTest, FieldsSetChecksTheChannelAgainstTheStoredRecords) {
  expect_refused("/6113", R"({"camId": 64, "interval": 1})");  // equal to the 64 records stored
  expect_refused("/6113", R"({"camId": -1, "interval": 1})");
  expect_refused("/6114", R"({"camId": 64, "interval": 1})");
  ASSERT_EQ(zvdb::delete_record(kZvdbPath, zvdb::kMotionTable, zvdb::Key{63}), 0);
  zvdb_close_all();
  expect_refused("/6113", R"({"camId": 63, "interval": 1})");  // now 63 records
  EXPECT_EQ(post("/6113", R"({"camId": 62, "interval": 1})").out, kOk);
  EXPECT_EQ(ids_after(3), (std::vector<int32_t>{1403, 1403, 3212}));
}

// A member given out of its range is refused as the whole-record set refuses it.
TEST_F(MotionRequestTest, FieldsSetsRefuseAMemberOutsideItsRange) {
  for (const char* id : {"/6113", "/6114"}) {
    for (const char* member : {R"("sensitivity": -1)", R"("triAlarms": -1)", R"("interval": -1)"}) {
      expect_refused(id, std::string(R"({"camId": 6, )") + member + "}");
    }
  }
  expect_refused("/6113", R"({"camId": 6, "enable": 3})");
  expect_refused("/6113", R"({"camId": 6, "enable": -1})");
  EXPECT_EQ(post("/6113", R"({"camId": 6, "enable": 2, "sensitivity": 0, "triAlarms": 0, "interval": 0})").out, kOk);
}

TEST_F(MotionRequestTest, FieldsSetRebuildsTheMaskAndLogs) {
  EXPECT_EQ(post("/6114", R"({"camId": 3, "sensitivity": 1, "triChannels": "1001", "triAlarms": 4,
                              "interval": 9, "enableZV": 0})").out,
            kOk);
  const MotionRecord r = motion(3);
  EXPECT_EQ(text_of(r.tri_channels), "1001");
  EXPECT_EQ(r.tri_channels_mask, (1u << 0) | (1u << 3));
  EXPECT_EQ(r.tri_alarms, 4);
  EXPECT_EQ(ids_after(2), (std::vector<int32_t>{1403, 3485}));
  EXPECT_EQ(op_log_of(core_->received(3485).front()).channel, 4);
}

// ---- /6117, /6118, /6119 ------------------------------------------------------------------------

TEST_F(MotionRequestTest, ActionBlockSetIgnoresPtzKeys) {
  EXPECT_EQ(post("/6117", R"({"chnid": 8, "white_interval": 12, "audioId": 1,
                              "ptzChnId": 1, "ptzType": 1, "ptzParams": [{"acto_ptz_channel": 3}]})").out,
            kOk);
  EXPECT_EQ(motion(8).white_interval, 12);
  PtzActionList list{};
  int count = -1;
  read_ptz_params(kZvdbPath, &list, 1, 1, &count);
  zvdb_close_all();
  EXPECT_EQ(count, 0);
  EXPECT_EQ(only_message(*core_, 1403).payload, int32s({8}));
  core_->clear_received();
  expect_refused("/6117", R"({"chnid": 64, "interval": 1})");
  expect_refused("/6117", R"({"interval": 1})");
  expect_refused("/6117", "{\"chnid\": 2, \"triChnAlarms\": [\"\xff\"]}");
}

TEST_F(MotionRequestTest, ConcurrentBlocksOnOneChannelKeepEveryField) {
  // Each request changes one field of the same record (to 100 + its row); none may undo another.
  const struct {
    std::string key;
    int32_t MotionRecord::*member;
  } fields[] = {{"interval", &MotionRecord::interval},         {"audioId", &MotionRecord::audio_id},
                {"email_interval", &MotionRecord::email_interval}, {"ptz_interval", &MotionRecord::ptz_interval},
                {"alarmout_interval", &MotionRecord::alarmout_interval},
                {"white_interval", &MotionRecord::white_interval}, {"triAlarms", &MotionRecord::tri_alarms},
                {"enable", &MotionRecord::enable}};
  std::vector<std::thread> requests;
  for (size_t i = 0; i < std::size(fields); ++i) {
    requests.emplace_back([this, &fields, i] {
      post("/6117", "{\"chnid\": 2, \"" + fields[i].key + "\": " + std::to_string(100 + i) + "}");
    });
  }
  for (std::thread& t : requests) t.join();
  const MotionRecord r = motion(2);
  for (size_t i = 0; i < std::size(fields); ++i) EXPECT_EQ(r.*fields[i].member, 100 + int32_t(i)) << fields[i].key;
}

TEST_F(MotionRequestTest, EmailSetStoresFieldsAndPlan) {
  const std::string plan = schedule_input({{{5, 0}, R"(["12:00","13:00",0])"}});
  EXPECT_EQ(post("/6118", R"({"camId": 10, "enable": 1, "interval": 90, "schedule": )" + plan + "}").out, kOk);
  EXPECT_EQ(motion(10).email_enable, 1);
  EXPECT_EQ(motion(10).email_interval, 90);
  EXPECT_EQ(text_of(this->plan(kMotionEmailPlans, 10).days[5].ranges[0].start_time), "12:00");
  EXPECT_EQ(only_message(*core_, 1403).payload, int32s({10}));
  core_->clear_received();
  expect_refused("/6118", R"({"camId": -1, "enable": 1})", kCgiErrorText);
  expect_refused("/6118", R"({"camId": 64, "enable": 1})", kCgiErrorText);
}

TEST_F(MotionRequestTest, TriggerSetByType) {
  EXPECT_EQ(post("/6119", R"({"camId": 1, "type": 1, "triChannels": "0101"})").out, kOk);
  EXPECT_EQ(motion(1).tri_channels_mask, (1u << 1) | (1u << 3));
  EXPECT_EQ(text_of(motion(1).tri_channels), "0101");
  EXPECT_EQ(post("/6119", R"({"camId": 1, "type": 2, "triAlarms": 5})").out, kOk);
  EXPECT_EQ(motion(1).tri_alarms, 5);

  core_->clear_received();
  const std::string before = dump();
  EXPECT_EQ(post("/6119", R"({"camId": 1, "type": 7, "triAlarms": 9})").out, kOk);
  EXPECT_EQ(dump(), before);  // rewritten unchanged
  EXPECT_EQ(ids_after(2), (std::vector<int32_t>{1403, 3485}));
  core_->clear_received();
  expect_refused("/6119", R"({"camId": 64, "type": 2, "triAlarms": 1})", kCgiErrorText);
  expect_refused("/6119", R"({"camId": -3, "type": 2, "triAlarms": 1})", kCgiErrorText);
}

// A member that does not fit its field refuses the whole set silently: no record, no plan, no notice.
TEST_F(MotionRequestTest, OlderSetsRefuseAnUnfittingMemberWhole) {
  const std::string plan = schedule_input({{{0, 0}, R"(["01:00","02:00",1])"}});
  for (const char* id : {"/6113", "/6114", "/6118"}) {
    expect_refused(id, R"({"camId": 3, "sensitivity": 1, "interval": 3000000000, "schedule": )" + plan + "}");
  }
  expect_refused("/6119", R"({"camId": 3, "type": 3000000000, "triAlarms": 1})");
}

}  // namespace
}  // namespace zvtest
