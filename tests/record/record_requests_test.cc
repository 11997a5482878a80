// Recording requests through the real front end: exact replies, stored rows and plans, change
// notices and operation-log records, refusals that leave the database and the core untouched.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/oplog.h"
#include "common/messages/record.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/record_tables.h"
#include "tests/record/week_plan.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

class RecordRequestTest : public RequestTest {
 protected:
  RecordConfig row(int channel) {
    RecordConfig r{};
    kRecordConfigs.read(kZvdbPath, &r, {channel});
    zvdb_close_all();
    return r;
  }
  std::unique_ptr<RecordSchedule> plan(int channel) {
    auto p = std::make_unique<RecordSchedule>();
    *p = RecordSchedule{};
    kRecordSchedules.read(kZvdbPath, p.get(), {channel});
    zvdb_close_all();
    return p;
  }
  CameraRecord camera(int channel) {
    CameraRecord c{};
    read_camera(kZvdbPath, &c, channel);
    zvdb_close_all();
    return c;
  }
  void store_camera(const CameraRecord& c) {
    ASSERT_EQ(write_camera(kZvdbPath, &c), 0);
    zvdb_close_all();
  }
};

std::string with(std::string body, const std::string& from, const std::string& to) {
  return body.replace(body.find(from), from.size(), to);
}

// ---- /6030, /6031 -------------------------------------------------------------------------------

const char kHoliday[] = R"({"id":5,"name":"New Year","enable":1,"type":2,"startYear":2027,"startMon":1,"startMDay":1,)"
                        R"("startMWeek":0,"startWDay":0,"endYear":2027,"endMon":1,"endMDay":2,"endMWeek":0,"endWDay":0})";

TEST_F(RecordRequestTest, HolidaySetStoresNotifiesAndReadsBack) {
  const std::string factory = get("/6030").out;
  const std::string head =
      kJsonHeader + R"({ "holidays": [ { "id": 0, "enable": 0, "name": "", "type": 0, "startYear": 0, "startMon": 0, )"
                    R"("startMDay": 0, "startMWeek": 0, "startWDay": 0, "endYear": 0, "endMon": 0, "endMDay": 0, )"
                    R"("endMWeek": 0, "endWDay": 0 }, { "id": 1, )";
  EXPECT_EQ(factory.substr(0, head.size()), head);
  size_t listed = 0;
  for (size_t at = factory.find("\"id\": "); at != std::string::npos; at = factory.find("\"id\": ", at + 1)) ++listed;
  EXPECT_EQ(listed, static_cast<size_t>(kHolidays)) << "every stored holiday once, nothing after them";
  EXPECT_EQ(post("/6031", kHoliday).out, kOk);
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1401, 3485}));
  EXPECT_TRUE(only_message(*core_, kHolidaysChanged.id).payload.empty());
  EXPECT_EQ(log_record(), (std::vector<int32_t>{204, 920, 6}));
  EXPECT_NE(get("/6030").out.find(R"({ "id": 5, "enable": 1, "name": "New Year", "type": 2, "startYear": 2027, "startMon": 1, )"
                                  R"("startMDay": 1, "startMWeek": 0, "startWDay": 0, "endYear": 2027, "endMon": 1, "endMDay": 2, )"
                                  R"("endMWeek": 0, "endWDay": 0 }, { "id": 6)"),
            std::string::npos);
  // A partial set keeps the rest; a long name keeps 255 characters.
  EXPECT_EQ(post("/6031", R"({"id":5,"enable":0,"type":1})").out, kOk);
  EXPECT_NE(get("/6030").out.find(R"({ "id": 5, "enable": 0, "name": "New Year", "type": 1, "startYear": 2027)"), std::string::npos);
  EXPECT_EQ(post("/6031", R"({"id":31,"enable":1,"type":0,"name":")" + std::string(300, 'h') + "\"}").out, kOk);
  EXPECT_NE(get("/6030").out.find("\"" + std::string(255, 'h') + "\""), std::string::npos);
}

TEST_F(RecordRequestTest, HolidayRefusals) {
  for (const auto& bad : {with(kHoliday, "\"id\":5", "\"id\":32"), with(kHoliday, "\"id\":5", "\"id\":-1"),
                          with(kHoliday, "\"id\":5,", ""), with(kHoliday, "\"enable\":1", "\"enable\":2"),
                          with(kHoliday, "\"enable\":1", "\"enable\":-1"), with(kHoliday, "\"type\":2", "\"type\":-1"),
                          with(kHoliday, "\"type\":2,", ""), with(kHoliday, "New Year", "Ne\xffw"), std::string("[]")}) {
    expect_refused("/6031", bad);
  }
}

// ---- /6040, /6041 -------------------------------------------------------------------------------

TEST_F(RecordRequestTest, PlanSetCopiesThePlanAndChangedModes) {
  const std::string factory = get("/6040", "3").out;
  const std::string head = kJsonHeader + R"({ "id": 3, "schedule": [ { "wholedayEnable": 0, "wholedayActionType": 0, "plans": [ )"
                                         R"({ "startTime": "", "endTime": "", "actionType": 0 }, { )";
  EXPECT_EQ(factory.substr(0, head.size()), head);
  ASSERT_EQ(post("/6043", R"({"records":[{"id":0,"mode":1},{"id":1,"mode":1},{"id":2,"mode":0}]})").out, kOk);
  core_->clear_received();

  EXPECT_EQ(post("/6041", week_plan("[0,1,2,3,4,5,6,7]", 8, 1)).out, kOk);
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1413, 1411, 3485}));
  EXPECT_EQ(only_message(*core_, kRecordModesChanged.id).payload, int32s({0xfc, 0}));  // 0 and 1 had mode 1
  EXPECT_EQ(only_message(*core_, kRecordPlansChanged.id).payload, int32s({0xff, 0}));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{204, 907, 8}));
  for (int c : {0, 7}) {
    const auto p = plan(c);
    EXPECT_EQ(p->plan.days[1].day_flag, 1);
    EXPECT_EQ(p->plan.days[5].day_word, 1);
    EXPECT_EQ(text_of(p->plan.days[6].ranges[0].end_time), "24:00");
    EXPECT_EQ(p->plan.days[6].ranges[0].action_type, 2);
    EXPECT_EQ(p->plan.days[6].day_flag, 0);
    EXPECT_EQ(row(c).mode, 1);
  }
  EXPECT_EQ(plan(8)->plan.days[1].day_flag, 0);
  EXPECT_EQ(row(8).mode, 0);
  const std::string read = get("/6040", "7").out;
  EXPECT_NE(read.find(R"({ "wholedayEnable": 1, "wholedayActionType": 1, "plans": [ { "startTime": "", )"), std::string::npos);
  EXPECT_NE(read.find(R"("plans": [ { "startTime": "00:00", "endTime": "24:00", "actionType": 2 }, )"), std::string::npos);
  size_t ranges = 0;
  for (size_t at = read.find("startTime"); at != std::string::npos; at = read.find("startTime", at + 1)) ++ranges;
  EXPECT_EQ(ranges, 8u * 48u);

  // Every listed channel has the mode already: 1413 names none; "cnt" 0 lists no channel at all.
  core_->clear_received();
  EXPECT_EQ(post("/6041", week_plan("[0]", 1, 1)).out, kOk);
  EXPECT_EQ(only_message(*core_, kRecordModesChanged.id).payload, int32s({0, 0}));
  core_->clear_received();
  EXPECT_EQ(post("/6041", week_plan("[0]", 0, 2)).out, kOk);
  EXPECT_EQ(only_message(*core_, kRecordModesChanged.id).payload, int32s({0, 0}));
  EXPECT_EQ(only_message(*core_, kRecordPlansChanged.id).payload, int32s({0, 0}));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{204, 907, 0}));
}

TEST_F(RecordRequestTest, PlanSetSkipsBadChannelsAndRefusesBadInput) {
  EXPECT_EQ(post("/6041", week_plan(R"([70,"x",-1,9,10])", 4, 2)).out, kOk);
  EXPECT_EQ(only_message(*core_, kRecordPlansChanged.id).payload, int32s({1 << 9, 0}));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{204, 907, 10}));
  std::string long_time = week_plan("[1]", 1, 0);
  long_time = with(long_time, "\"24:00\"", "\"" + std::string(40, '9') + "\"");
  EXPECT_EQ(post("/6041", long_time).out, kOk);
  EXPECT_EQ(text_of(plan(1)->plan.days[0].ranges[0].end_time), std::string(31, '9'));
  for (const auto& bad : {with(week_plan("[1]", 1, 0), "\"cnt\":1,", ""), with(week_plan("[1]", 1, 0), "\"chnid\":[1],", ""),
                          week_plan("[1]", 1, 3), week_plan("[1]", 1, -1),
                          with(week_plan("[1]", 1, 0), "\"00:00\"", "\"0\xc3\x28\""),
                          with(week_plan("[1]", 1, 0), "\"wholedayActionType\":0", "\"wholedayActionType\":3000000000")}) {
    expect_refused("/6041", bad);
  }
  for (const char* bad : {"64", "-1", "x", ""}) EXPECT_EQ(get("/6040", bad).out, "") << bad;
}

// ---- /6042, /6043 -------------------------------------------------------------------------------

TEST_F(RecordRequestTest, ModesArePlacedByPosition) {
  const std::string listed = get("/6042").out;
  const std::string head = kJsonHeader + R"({ "records": [ { "id": 0, "mode": 0 }, { "id": 1, "mode": 0 }, )";
  EXPECT_EQ(listed.substr(0, head.size()), head);
  EXPECT_NE(listed.find(R"({ "id": 31, "mode": 0 } ] })"), std::string::npos);
  EXPECT_EQ(post("/6043", R"({"records":[{"id":5,"mode":1}]})").out, kOk);
  EXPECT_EQ(row(0).mode, 1);
  EXPECT_EQ(row(5).mode, 0);
  EXPECT_EQ(row(0).post_record_duration, 30);  // the rest of the row is kept
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3485, 1407}));
  EXPECT_EQ(only_message(*core_, kRecordModeChanged.id).payload, int32s({0}));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{204, 905, 0}));
  for (const char* bad : {R"({"records":[{"id":1,"mode":2},{"id":64,"mode":1}]})", R"({"records":[{"id":1,"mode":3}]})",
                          R"({"records":[{"id":1,"mode":-1}]})", R"({"records":[{"id":-1,"mode":1}]})",
                          R"({"records":[{"id":1}]})", R"({"records":[{"mode":1}]})", R"({"records":[7]})"}) {
    expect_refused("/6043", bad, kTextHeader + "ERROR");
  }
  expect_refused("/6043", R"({"recs":[]})");
  // Only the first 64 entries are walked: a 65th, bad or not, is not looked at.
  std::string many;
  for (int k = 0; k < 64; ++k) many += R"({"id":0,"mode":2},)";
  EXPECT_EQ(post("/6043", R"({"records":[)" + many + R"({"id":99,"mode":9}]})").out, kOk);
  EXPECT_EQ(row(63).mode, 2);
}

// ---- /6044, /6045 -------------------------------------------------------------------------------

const char kSettings[] = R"({"cnt":3,"chnid":[1,2,3],"prevRecordOn":0,"prevRecordDuration":10,"postRecordOn":1,)"
                         R"("postRecordDuration":60,"audioEnable":1,"recordExpDate":7,"camAnr":1,"recordStreamType":2})";

TEST_F(RecordRequestTest, SettingsSetWritesRowsCamerasAndTellsTheCore) {
  CameraRecord cam = camera(1);
  cam.enable = 1;
  store_camera(cam);
  cam = camera(2);
  cam.enable = 1;
  cam.poe_channel = 1;  // on a PoE channel: "anr" cannot be turned on
  store_camera(cam);
  cam = camera(3);
  cam.enable = 1;
  cam.cam_protocol = 1;
  store_camera(cam);
  core_->reply(kAnrChange.id, Bytes(520, 0));
  const std::string factory = get("/6044", "1").out;
  EXPECT_EQ(factory.rfind(kJsonHeader + R"({ "id": 1, "prevRecordOn": 1, "prevRecordDuration": 5, "postRecordOn": 1, )"
                                        R"("postRecordDuration": 30, "audioEnable": 0, )"), 0u) << factory;
  EXPECT_EQ(post("/6045", kSettings).out, kJsonHeader + R"({ "resp": 0 })");
  EXPECT_EQ(get("/6044", "1").out,
            kJsonHeader + R"({ "id": 1, "prevRecordOn": 0, "prevRecordDuration": 10, "postRecordOn": 1, "postRecordDuration": 60, )"
                          R"("audioEnable": 1, "recordStreamType": 2, "recordExpDate": 7, "cameraAnr": 1, "camEnable": 1, )"
                          R"("camProtocol": 0, "poeChannel": 0 })");
  EXPECT_EQ(camera(2).anr, 0);
  EXPECT_EQ(camera(3).anr, 0);
  EXPECT_EQ(camera(3).record_stream, 2);
  EXPECT_EQ(row(4).post_record_duration, 30);
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1310, 3485, 2285}));
  RecordChannelList listed{};
  listed.channels[0] = 1;
  listed.channels[1] = 2;
  listed.channels[2] = 3;
  listed.count = 3;
  EXPECT_EQ(only_message(*core_, kRecordSettingsChanged.id).payload, bytes_of(listed));
  AnrChange anr{};
  anr.channels[0] = 1;
  anr.count = 1;
  anr.value = 1;
  EXPECT_EQ(only_message(*core_, kAnrChange.id).payload, bytes_of(anr));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{204, 906, 0}));

  // Turning "anr" off reaches every camera that has it; a partial set keeps the other members.
  core_->clear_received();
  EXPECT_EQ(post("/6045", R"({"cnt":2,"chnid":[1,2],"postRecordDuration":5,"camAnr":0})").out, kJsonHeader + R"({ "resp": 0 })");
  EXPECT_EQ(camera(1).anr, 0);
  EXPECT_EQ(row(1).prev_record_duration, 10);
  EXPECT_EQ(row(1).post_record_duration, 5);
  EXPECT_EQ(camera(1).record_stream, 2);
  EXPECT_EQ(int32_at(only_message(*core_, kAnrChange.id).payload, 256), 1);

  // At most 64 listed channels.
  core_->clear_received();
  std::string list;
  for (int i = 0; i < 65; ++i) list += std::string(i ? "," : "") + std::to_string(i % 64);
  EXPECT_EQ(post("/6045", R"({"cnt":65,"chnid":[)" + list + R"(],"postRecordDuration":5,"camAnr":0})").out,
            kJsonHeader + R"({ "resp": 0 })");
  EXPECT_EQ(int32_at(only_message(*core_, kRecordSettingsChanged.id).payload, 256), 64);
}

TEST_F(RecordRequestTest, SettingsReplyFollowsTheCoresResult) {
  const struct {
    int32_t flag;
    int32_t count;
    int32_t b1;
    const char* resp;
  } rows[] = {{1, 2, 1, "-1"}, {1, 1, 1, "0"}, {0, 2, 1, "0"}, {1, 2, 0, "0"}, {1, 70, 1, "-1"}};
  for (const auto& r : rows) {
    auto result = std::make_unique<AnrResult>();
    *result = AnrResult{};
    result->flag = r.flag;
    result->count = r.count;
    result->b[1] = r.b1;
    result->b[0] = r.count == 1 ? 1 : 0;
    core_->reply(kAnrChange.id, bytes_of(*result));
    EXPECT_EQ(post("/6045", kSettings).out, kJsonHeader + R"({ "resp": )" + r.resp + " }") << r.count;
  }
  core_->no_reply(kAnrChange.id);
  EXPECT_EQ(post("/6045", kSettings).out, kCgiErrorJson);
}

TEST_F(RecordRequestTest, SettingsRefusals) {
  for (const auto& bad : {with(kSettings, "\"prevRecordOn\":0", "\"prevRecordOn\":2"),
                          with(kSettings, "\"postRecordOn\":1", "\"postRecordOn\":-1"),
                          with(kSettings, "\"postRecordOn\":1", "\"postRecordOn\":2"),
                          with(kSettings, "\"prevRecordOn\":0", "\"prevRecordOn\":-1"),
                          with(kSettings, "\"audioEnable\":1", "\"audioEnable\":-1"),
                          with(kSettings, "\"prevRecordDuration\":10", "\"prevRecordDuration\":-1"),
                          with(kSettings, "\"audioEnable\":1", "\"audioEnable\":2"),
                          with(kSettings, "\"recordStreamType\":2", "\"recordStreamType\":3"),
                          with(kSettings, "\"recordStreamType\":2", "\"recordStreamType\":-1"),
                          with(kSettings, "\"postRecordDuration\":60,", ""), with(kSettings, ",\"camAnr\":1", ""),
                          with(kSettings, "\"cnt\":3,", ""), with(kSettings, "\"chnid\":[1,2,3],", ""),
                          with(kSettings, "[1,2,3]", "1")}) {
    expect_refused("/6045", bad);
  }
  for (const char* bad : {"64", "-1", "1x"}) EXPECT_EQ(get("/6044", bad).out, "") << bad;
}

// ---- /6046, /6047 -------------------------------------------------------------------------------

TEST_F(RecordRequestTest, SupportAndStreamListsComeFromTheCore) {
  core_->reply(kRecordSupport.id, int32s({9, 1}));
  EXPECT_EQ(get("/6046", "9").out, kJsonHeader + R"({ "chnid": 9, "support": 1 })");
  EXPECT_EQ(only_message(*core_, kRecordSupport.id).payload, int32s({9}));
  EXPECT_EQ(get("/6046", "64").out, "");
  core_->no_reply(kRecordSupport.id);
  EXPECT_EQ(get("/6046", "9").out, kCgiErrorJson);

  RecordStreamLists lists{};
  for (int i = 0; i < 64; ++i) {
    lists.primary[i] = i;
    lists.secondary[i] = 100 + i;
  }
  const struct {
    int32_t size;
    size_t listed;
  } rows[] = {{2, 2}, {0, 0}, {-1, 0}, {70, 64}};
  for (const auto& r : rows) {
    lists.size = r.size;
    core_->reply(kRecordStreams.id, bytes_of(lists));
    const std::string out = get("/6047").out;
    EXPECT_NE(out.find(R"("size": )" + std::to_string(r.listed) + " }"), std::string::npos) << out;
    if (r.size == 2) {
      EXPECT_EQ(out, kJsonHeader + R"({ "primary": [ 0, 1 ], "secondary": [ 100, 101 ], "size": 2 })");
    }
  }
  core_->reply(kRecordStreams.id, Bytes(515, 0));
  EXPECT_EQ(get("/6047").out, kCgiErrorJson);
}

}  // namespace
}  // namespace zvtest
