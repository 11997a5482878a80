// The set requests of the video module as a family: every ranged member refused at the first
// invalid value on both sides (nothing stored, nothing sent) and taken at its last valid ones,
// what a set stores read back by its read request, one transaction per request (a failed write
// leaves everything as it was and tells the core nothing), and the exact payloads of the notices.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/request.h"
#include "common/messages/video.h"
#include "tests/video/video_fixture.h"
#include "tests/support/declared_messages.h"

namespace zvtest {
namespace {

class VideoSetTest : public VideoTest {
 protected:
  // Makes every later write of rows (table, key a) fail, as a full or failing flash would.
  void fail_writes(const std::string& table, int key_a) {
    zvdb_close_all();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(kZvdbPath, &db), SQLITE_OK);
    const std::string sql = "CREATE TRIGGER zv_test_fail BEFORE INSERT ON records WHEN NEW.tbl = '" + table +
                            "' AND NEW.ka = " + std::to_string(key_a) +
                            " BEGIN SELECT RAISE(ABORT, 'refused'); END;";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }

  // The /6010 reply of a channel as JSON.
  JsonPtr settings_of(int channel) {
    JsonPtr reply(json_tokener_parse(body_of(post("/6010", "{\"chnid\": " + std::to_string(channel) + "}").out).c_str()));
    EXPECT_NE(reply, nullptr);
    return reply;
  }

  static std::string member(json_object* object, const char* key) {
    json_object* value = nullptr;
    return json_object_object_get_ex(object, key, &value) ? json_object_to_json_string(value) : "(absent)";
  }
};

// ---- Ranges --------------------------------------------------------------------------------------

TEST_F(VideoSetTest, RangedMembersRefuseTheFirstInvalidValueOnBothSides) {
  const std::string osd = R"({"camId": 6, "camName": "Gate", "showName": 1, "showDate": 0, "showWeek": 1,
      "dateFormat": 3, "timeFormat": 1, "datePosX": 0.5, "datePosY": 0.25, "namePosX": 0, "namePosY": 12.5,
      "alpha": 40})";
  const std::string full = R"({"camId": 1, "enable": 1, "sensitivity": 1, "triChannels": "1", "triAlarms": 0,
      "interval": 1, "enableZV": 0, "motionTable": "m"})";
  const std::string plan = R"({"camId": 1, "schedule": []})";
  const RangeCase cases[] = {
      {"/6001", osd, "camId", "-1", "0", "63", "64", ""},
      {"/6001", osd, "showName", "-1", "0", "1", "2", ""},
      {"/6001", osd, "showDate", "-1", "0", "1", "2", ""},
      {"/6001", osd, "showWeek", "-1", "0", "1", "2", ""},
      {"/6001", osd, "dateFormat", "-1", "0", "3", "4", ""},
      {"/6001", osd, "timeFormat", "-1", "0", "1", "2", ""},
      {"/6001", osd, "datePosX", "-0.001", "0", nullptr, nullptr, ""},
      {"/6001", osd, "datePosY", "-0.001", "0", nullptr, nullptr, ""},
      {"/6001", osd, "namePosX", "-0.001", "0", nullptr, nullptr, ""},
      {"/6001", osd, "namePosY", "-0.001", "0", nullptr, nullptr, ""},
      {"/6001", osd, "alpha", "-1", "0", nullptr, nullptr, ""},
      {"/6002", R"({"camId": 2, "camName": "x"})", "camId", "-1", "0", "63", "64", ""},
      {"/6012", full, "camId", "-1", "0", "63", "64", ""},
      {"/6012", full, "enable", "-1", "0", "2", "3", ""},
      {"/6012", full, "sensitivity", "-1", "0", nullptr, nullptr, ""},
      {"/6012", full, "triAlarms", "-1", "0", nullptr, nullptr, ""},
      {"/6012", full, "interval", "-1", "0", nullptr, nullptr, ""},
      {"/6112", R"({"chnid": 1})", "chnid", "-1", "0", "63", "64", ""},
      {"/6117", R"({"chnid": 1, "interval": 3})", "chnid", "-1", "0", "63", "64", ""},
      {"/6013", plan, "camId", "-1", "0", "63", "64", kCgiErrorText},
      // Without a plan: with one, the plan table itself refuses channel 64, which hides the range.
      {"/6013", R"({"camId": 1})", "camId", "-1", "0", "63", "64", kCgiErrorText},
      {"/6152", plan, "camId", "-1", "0", "63", "64", kCgiErrorText},
      {"/6159", plan, "camId", "-1", "0", "63", "64", kCgiErrorText},
      {"/6118", R"({"camId": 1, "enable": 1})", "camId", "-1", "0", "63", "64", kCgiErrorText},
      {"/6119", R"({"camId": 1, "type": 2, "triAlarms": 1})", "camId", "-1", "0", "63", "64", kCgiErrorText},
      {"/6173", R"({"chan_id": 1, "area_id": 1})", "chan_id", "-1", "0", "63", "64", kCgiErrorJson},
      {"/6173", R"({"chan_id": 1, "area_id": 1})", "area_id", "-1", "0", "24", "25", kCgiErrorJson},
  };
  expect_ranges(cases);
  expect_required("/6001", osd, {"camId", "camName", "showName", "showDate", "showWeek", "dateFormat", "timeFormat",
                                 "datePosX", "datePosY", "namePosX", "namePosY", "alpha"});
}

// ---- Read back -------------------------------------------------------------------------------------

TEST_F(VideoSetTest, EverythingASetStoresIsReadBack) {
  const std::string plan = schedule_input({{{2, 1}, R"(["08:00","09:30",2])"}});
  const std::string first_range = R"({ "startTime": "08:00", "endTime": "09:30", "actionType": 2 })";
  struct Case {
    std::string body;
    const char* set;
    int channel;
    std::vector<std::pair<const char*, std::string>> members;  // /6010 members after the set
  } cases[] = {
      {R"({"camId": 4, "enable": 2, "sensitivity": 5, "triChannels": "0101", "triAlarms": 6, "interval": 7,
           "enableZV": 1, "motionTable": "grid"})",
       "/6012", 4,
       {{"enable", "2"}, {"sensitivity", "5"}, {"triChannels", "\"0101\""}, {"triAlarms", "6"},
        {"interval", "7"}, {"enableZV", "1"}, {"motionTable", "\"grid\""}}},
      {R"({"camId": 5, "sensitivity": 4, "enableZV": 1, "enable": 1, "triAlarms": 2, "interval": 8})", "/6113", 5,
       {{"sensitivity", "4"}, {"enableZV", "1"}, {"enable", "1"}, {"triAlarms", "2"}, {"interval", "8"}}},
      {R"({"camId": 6, "sensitivity": 1, "triChannels": "11", "triAlarms": 4, "interval": 9, "enableZV": 1})",
       "/6114", 6,
       {{"sensitivity", "1"}, {"triChannels", "\"11\""}, {"triAlarms", "4"}, {"interval", "9"}, {"enableZV", "1"}}},
      {R"({"camId": 7, "enable": 1, "interval": 90})", "/6118", 7, {{"email_enable", "1"}, {"email_interval", "90"}}},
      {R"({"camId": 8, "type": 1, "triChannels": "001"})", "/6119", 8, {{"triChannels", "\"001\""}}},
      {R"({"camId": 8, "type": 2, "triAlarms": 3})", "/6119", 8, {{"triAlarms", "3"}}},
      {R"({"chnid": 9, "enable": 1, "triAlarms": 3, "interval": 30, "audioId": 2, "email_interval": 40,
           "email_pic_enable": 1, "tri_channels_pic": "0001", "ptz_interval": 50, "alarmout_interval": 60,
           "white_interval": 70, "triChannels": "01", "triChnAlarms": ["1100", "0011"],
           "whiteInfo": [{"chnid": 2, "mode": 1, "time": 10}], "effective": )" + plan +
           ", \"audible\": " + plan + ", \"email\": " + plan + ", \"ptz\": " + plan + ", \"white\": " + plan + "}",
       "/6117", 9,
       {{"enable", "1"}, {"triAlarms", "3"}, {"interval", "30"}, {"audioId", "2"}, {"email_interval", "40"},
        {"email_pic_enable", "1"}, {"tri_channels_pic", "\"0001\""}, {"ptz_interval", "50"},
        {"alarmout_interval", "60"}, {"white_interval", "70"}, {"triChannels", "\"01\""},
        {"triChnAlarms", R"([ "1100", "0011" ])"}, {"whiteInfo", R"([ { "chnid": 2, "mode": 1, "time": 10 } ])"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    ASSERT_EQ(post(c.set, c.body).out, kOk);
    JsonPtr reply = settings_of(c.channel);
    for (const auto& [key, value] : c.members) EXPECT_EQ(member(reply.get(), key), value) << key;
  }
  // The block's five plans, in the read-back reply and the plan reads.
  JsonPtr reply = settings_of(9);
  for (const char* key : {"effective", "audible", "email", "ptz", "white"}) {
    EXPECT_NE(member(reply.get(), key).find(first_range), std::string::npos) << key;
  }
  // The plan-only sets and the e-mail plan through their reads.
  struct PlanCase {
    const char* set;
    const char* read;
  } plans[] = {{"/6152", "/6153"}, {"/6159", "/6158"}, {"/6118", "/6120"}};
  for (const PlanCase& p : plans) {
    SCOPED_TRACE(p.set);
    ASSERT_EQ(post(p.set, "{\"camId\": 11, \"schedule\": " + plan + "}").out, kOk);
    EXPECT_NE(get(p.read, "11").out.find(first_range), std::string::npos);
  }
  // The camera name through the OSD read.
  ASSERT_EQ(post("/6002", R"({"camId": 3, "camName": "Yard"})").out, kOk);
  EXPECT_NE(get("/6000", "3").out.find(R"("camName": "Yard")"), std::string::npos);
}

// ---- One transaction per request -----------------------------------------------------------------

TEST_F(VideoSetTest, SettingsSetStoresSourceAndCopiesTogether) {
  fail_writes("motion", 3);  // the copy to channel 3 cannot be stored
  const std::string before = dump();
  EXPECT_EQ(post("/6112", R"({"chnid": 2, "sensitivity": 6, "motionTable": "abc", "copyCnt": 2, "copyChn": [1, 3],
                              "dialog": {"chnid": 2, "interval": 33, "effective": )" +
                              schedule_input({{{0, 0}, R"(["01:00","02:00",1])"}}) + "}})")
                .out,
            kCgiErrorText);
  settle();
  EXPECT_EQ(dump(), before);  // neither the source's block nor the copy to channel 1
  EXPECT_TRUE(core_->received().empty());
  EXPECT_EQ(motion(2).interval, 20);
}

TEST_F(VideoSetTest, AFailedWriteAnswersTheFailureAndTellsNothing) {
  struct Case {
    const char* id;
    std::string body;
    const char* table;
    int key_a;
  } cases[] = {
      {"/6001", R"({"camId": 6, "camName": "Gate", "showName": 1, "showDate": 0, "showWeek": 1, "dateFormat": 3,
                    "timeFormat": 1, "datePosX": 0.5, "datePosY": 0.25, "namePosX": 0, "namePosY": 1, "alpha": 4})",
       "osd", 6},
      {"/6002", R"({"camId": 6, "camName": "Yard"})", "osd", 6},
      {"/6012", R"({"camId": 5, "enable": 1, "sensitivity": 1, "triChannels": "1", "triAlarms": 0, "interval": 1,
                    "enableZV": 1, "motionTable": "m"})",
       "motion", 5},
      {"/6013", "{\"camId\": 5, \"schedule\": " + schedule_input() + "}", "motion_schedule", 5},
      {"/6113", "{\"camId\": 5, \"interval\": 2, \"schedule\": " + schedule_input() + "}", "motion_schedule", 5},
      {"/6114", R"({"camId": 5, "interval": 2})", "motion", 5},
      {"/6117", R"({"chnid": 5, "interval": 2})", "motion", 5},
      {"/6118", "{\"camId\": 5, \"interval\": 2, \"schedule\": " + schedule_input() + "}", "motion_email_schedule", 5},
      {"/6119", R"({"camId": 5, "type": 2, "triAlarms": 2})", "motion", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    fail_writes(c.table, c.key_a);
    expect_refused(c.id, c.body, kCgiErrorText);
    zvdb_close_all();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(kZvdbPath, &db), SQLITE_OK);
    sqlite3_exec(db, "DROP TRIGGER zv_test_fail", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
}

// ---- Notice payloads -------------------------------------------------------------------------------

TEST_F(VideoSetTest, EveryMessageCarriesItsDeclaredPayload) {
  ASSERT_EQ(post("/6113", R"({"camId": 3, "enableZV": 1})").out, kOk);
  ASSERT_EQ(post("/6118", R"({"camId": 3})").out, kOk);
  ASSERT_EQ(post("/6119", R"({"camId": 3})").out, kOk);
  ASSERT_EQ(post("/6173", R"({"chan_id": 3, "area_id": 2})").out, kOk);
  ASSERT_EQ(post("/6001", R"({"camId": 3, "camName": "C", "showName": 1, "showDate": 0, "showWeek": 1,
      "dateFormat": 0, "timeFormat": 0, "datePosX": 0, "datePosY": 0, "namePosX": 0, "namePosY": 0, "alpha": 0})")
                .out,
            kOk);
  ASSERT_EQ(post("/6112", R"({"chnid": 3, "enableZV": 1, "copyCnt": 1, "copyChn": [4], "dialog": {"chnid": 3}})").out,
            kOk);
  settle();
  // 1403 carries the channel, 3212 the channel and mode, 2508 the channel and area, 1007 {channel, 1, 0}.
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1403, 1403, 3212, 3209, 1403, 1403, 3485, 2508, 1007, 1403,
                                                        3509, 3251, 1410, 3212, 3252}));
  for (const ReceivedMessage& m : core_->received(kMotionChanged.id)) EXPECT_EQ(m.payload, int32s({3}));
  EXPECT_EQ(only_message(*core_, kMaskAreaRemove.id).payload, int32s({3, 2}));
  EXPECT_EQ(only_message(*core_, kOsdChanged.id).payload, int32s({3, 1, 0}));
  CameraMotionMode mode{};
  mode.channel = 3;
  mode.enable_zv = 1;
  EXPECT_EQ(core_->received(kCameraMotionMode.id).front().payload, bytes_of(mode));
  for (const ReceivedMessage& m : core_->received()) {
    for (const MessageInfo& info : declared_messages("video")) {
      if (info.id == m.id) {
        EXPECT_EQ(m.payload.size(), info.payload_size) << info.name;
      }
    }
  }
}

// A partial set keeps what it does not carry: "/6113" without "enableZV" tells the camera the
// stored mode, not 0.
TEST_F(VideoSetTest, PartialSetSendsTheStoredCameraMode) {
  ASSERT_EQ(post("/6113", R"({"camId": 7, "enableZV": 1})").out, kOk);
  ASSERT_EQ(post("/6113", R"({"camId": 7, "interval": 9})").out, kOk);
  settle();
  const std::vector<ReceivedMessage> modes = core_->received(kCameraMotionMode.id);
  ASSERT_EQ(modes.size(), 2u);
  CameraMotionMode mode{};
  mode.channel = 7;
  mode.enable_zv = 1;
  EXPECT_EQ(modes[1].payload, bytes_of(mode));
}

}  // namespace
}  // namespace zvtest
