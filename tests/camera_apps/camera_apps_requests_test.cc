// Camera application requests through the real front end with a fake core: exact replies and
// payloads, what is stored and read back, refusals that store and send nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/messages/camera_apps.h"
#include "platform/zvdb/camera_apps_tables.h"
#include "platform/zvdb/video_tables.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

class CameraAppsTest : public RequestTest {
 protected:
  template <class T>
  T stored(const zvdb::Table<T>& table, int key) {
    T record{};
    table.read(kZvdbPath, &record, zvdb::Key{key});
    zvdb_close_all();
    return record;
  }
  // The reply begins with `head`.
  static void expect_head(const std::string& reply, const std::string& head) {
    EXPECT_EQ(reply.substr(0, head.size()), head);
  }
};

const std::string kJsonError = kCgiErrorJson;

// ---- Refusals: every identifier, first invalid value on both sides, absent ids, not JSON ------

TEST_F(CameraAppsTest, BadArgumentsAreRefusedWithNothingStoredOrSent) {
  struct Case {
    const char* id;
    const char* body;
    std::string reply;
  } cases[] = {
      {"/2066", "{", kJsonError},
      {"/2067", R"({"group": []})", kJsonError},
      {"/2068", R"({"url": "x"})", kJsonError},
      {"/2068", R"({"chnid": 64, "url": "x"})", kCgiErrorText},
      {"/2068", R"({"chnid": -1, "url": "x"})", kCgiErrorText},
      {"/2069", R"({"groupid": 4})", kJsonError},
      {"/2070", R"({"groupid": -1, "interval": 3})", kJsonError},
      {"/2070", R"({"groupid": 4, "interval": 3})", kJsonError},
      {"/2070", R"({"interval": 3})", kJsonError},
      {"/2071", R"({"groupid": 4})", kJsonError},
      {"/2072", R"({"groupid": -1})", kJsonError},
      {"/2073", R"({"id": 4})", kJsonError},
      {"/2074", R"({"id": -1, "enable": 1})", kJsonError},
      {"/2074", R"({"id": 4, "enable": 1})", kJsonError},
      {"/2074", R"({"enable": 1})", kJsonError},
      {"/2076", R"({"reports": []})", kJsonError},
      {"/2077", R"({"chnId": 8})", kJsonError},
      {"/2077", R"({"chnId": -1})", kJsonError},
      {"/2077", R"({"enable": 1})", kJsonError},
      {"/2078", "[1]", kJsonError},
      {"/2080", "x", kJsonError},
      {"/2081", R"({"other": 1})", ""},
      {"/2081", "", ""},
  };
  for (const Case& c : cases) {
    expect_refused(c.id, c.body, c.reply);
  }
  // Texts that are not UTF-8 are refused before anything is stored.
  expect_refused("/2067", "{\"groups\": [{\"name\": \"a\xff\"}]}", kJsonError);
  expect_refused("/2070", "{\"groupid\": 1, \"interval\": 2, \"tri_channels_pic\": \"\xc3\"}", kJsonError);
  expect_refused("/2074", "{\"id\": 1, \"name\": \"\xfe\"}", kJsonError);
  expect_refused("/2074", "{\"id\": 1, \"action\": {\"triChnAlarms\": [\"ok\", \"\xff\"]}}", kJsonError);
  expect_refused("/2076", "{\"report\": [{\"backupTime\": \"\xff\"}]}", kJsonError);
  expect_refused("/2077", "{\"chnId\": 1, \"action\": {\"ptz\": [[[\"0\xe0\", \"1\", 1]]]}}", kJsonError);
}

// ---- Every member a set writes is read back -----------------------------------------------------

TEST_F(CameraAppsTest, EveryMemberASetWritesIsReadBack) {
  core_->reply(kCountingGroupsChanged.id, int32s({0}));
  core_->reply(kPosChanged.id, int32s({0}));
  core_->reply(kCountingReportsChanged.id, int32s({0}));
  struct Case {
    const char* set;
    std::string body;
    const char* read;
    const char* read_body;
    std::string object;  // as the read prints it
  } cases[] = {
      {"/2067",
       R"({"groups": [{}, {"enable": 1, "stays": 2, "liveview_auto_reset": 3, "auto_day": 4, "liveview_font_size": 5,
           "name": "n", "auto_day_time": "06:30", "tri_channels": "01", "liveview_green_tips": "g",
           "liveview_red_tips": "r"}]})",
       "/2066", R"({"action": 0})",
       R"({ "groupid": 1, "enable": 1, "stays": 2, "liveview_auto_reset": 3, "auto_day": 4, "liveview_font_size": 5, )"
       R"("name": "n", "auto_day_time": "06:30", "tri_channels": "01", "liveview_green_tips": "g", )"
       R"("liveview_red_tips": "r" })"},
      {"/2074",
       R"({"id": 3, "enable": 1, "name": "a", "protocol": 2, "connectionMode": 3, "ip": "b", "liveviewDisplay": 4,
           "displayChannel": 5, "startX": 6, "startY": 7, "areaWidth": 8, "areaHeight": 9, "characterEncodeing": 10,
           "fontSize": 11, "fontColor": 12, "overlayMode": 13, "displayTime": 14, "timeout": 15, "privacy1": "c",
           "privacy2": "d", "privacy3": "e", "port": 16})",
       "/2073", R"({"id": 0})",
       R"({ "id": 3, "enable": 1, "name": "a", "protocol": 2, "connectionMode": 3, "ip": "b", "liveviewDisplay": 4, )"
       R"("displayChannel": 5, "startX": 6, "startY": 7, "areaWidth": 8, "areaHeight": 9, "characterEncodeing": 10, )"
       R"("fontSize": 11, "fontColor": 12, "overlayMode": 13, "displayTime": 14, "timeout": 15, "privacy1": "c", )"
       R"("privacy2": "d", "privacy3": "e", "port": 16 })"},
      {"/2076",
       R"({"report": [{}, {}, {"reportType": 7, "enable": 1, "triChannels": "1", "triGroups": "01",
           "stayLengthType": 2, "stayLengthValue": 3, "backupDay": 4, "backupTime": "05:00", "fileFormat": 5,
           "timeRange": 6, "backupTo": 7, "lineMask": 8}]})",
       "/2075", "",
       R"({ "reportType": 7, "enable": 1, "triChannels": "1", "triGroups": "01", "stayLengthType": 2, )"
       R"("stayLengthValue": 3, "backupDay": 4, "backupTime": "05:00", "fileFormat": 5, "timeRange": 6, )"
       R"("backupTo": 7, "lineMask": 8 })"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    EXPECT_EQ(post(c.set, c.body).out, kJsonHeader + R"({ "res": 0 })");
    const std::string read = post(c.read, c.read_body).out;
    EXPECT_NE(read.find(c.object), std::string::npos) << read;
  }
}

// ---- Counting groups ---------------------------------------------------------------------------

TEST_F(CameraAppsTest, GroupsListTheFactoryRowsWithTheirDialogOnlyWhenAsked) {
  const std::string plain = post("/2066", R"({"action": 0})").out;
  expect_head(plain, kJsonHeader + R"({ "groups": [ { "groupid": 0, "enable": 0, "stays": 100, "liveview_auto_reset": 0, )"
                          R"("auto_day": 0, "liveview_font_size": 1, "name": "Group1", "auto_day_time": "00:00", )"
                          R"("tri_channels": ")" + std::string(64, '0') + R"(", "liveview_green_tips": "Welc)");
  EXPECT_EQ(plain.find("dialog"), std::string::npos);
  EXPECT_NE(plain.find(R"("groupid": 3, )"), std::string::npos);
  const std::string full = post("/2066", R"({"action": 1})").out;
  size_t at = full.find("\"dialog\"");
  for (const char* key : {"chnid", "triAlarms", "interval", "email_interval", "email_pic_enable",
                          "tri_channels_pic", "ptz_interval", "alarmout_interval", "white_interval", "effective",
                          "audible", "email", "ptz", "triChnAlarms", "white", "whiteInfo", "audioId",
                          "audioIdMask", "ptzParams"}) {
    const size_t next = full.find("\"" + std::string(key) + "\"", at);
    ASSERT_NE(next, std::string::npos) << key;
    at = next;
  }
  EXPECT_TRUE(core_->received().empty());
}

TEST_F(CameraAppsTest, GroupSetChangesFourGroupsKeepsWhatAnEntryLacksAndPrintsTheCoreAnswer) {
  core_->reply(kCountingGroupsChanged.id, int32s({7}));
  const std::string six = R"({"groups": [{"name": "Hall", "tri_channels": "011", "stays": 5, "groupid": 9},
      {"enable": 1}, 3, {"liveview_red_tips": ")" + std::string(140, 'r') + R"("}, {"name": "five"}, {"name": "six"}]})";
  EXPECT_EQ(post("/2067", six).out, kJsonHeader + R"({ "res": 7 })");
  EXPECT_EQ(only_message(*core_, kCountingGroupsChanged.id).payload, int32s({0}));
  const CountingGroup g0 = stored(kCountingGroupsTable, 0);
  EXPECT_EQ(g0.groupid, 0);
  EXPECT_EQ(text_of(g0.name), "Hall");
  EXPECT_EQ(text_of(g0.tri_channels), "011");
  EXPECT_EQ(g0.stays, 5);
  EXPECT_EQ(text_of(g0.liveview_green_tips), "Welcome");  // not carried: as stored
  const CountingGroup g1 = stored(kCountingGroupsTable, 1);
  EXPECT_EQ(g1.enable, 1);
  EXPECT_EQ(text_of(g1.name), "Group2");
  EXPECT_EQ(text_of(stored(kCountingGroupsTable, 2).name), "Group3");  // not an object: skipped
  EXPECT_EQ(text_of(stored(kCountingGroupsTable, 3).liveview_red_tips), std::string(127, 'r'));
  EXPECT_EQ(zvdb::count_records(kZvdbPath, zvdb::kCountingGroupTable), 4);
  zvdb_close_all();
  core_->no_reply(kCountingGroupsChanged.id);
  EXPECT_EQ(post("/2067", R"({"groups": []})").out, kJsonError);
}

const char kGroupEvent[] =
    R"({"groupid": 2, "interval": 30, "triAlarms": 3, "audioId": 4, "email_interval": 5, "email_pic_enable": 1,
        "tri_channels_pic": "0110", "ptz_interval": 6, "alarmout_interval": 7, "white_interval": 8,
        "triChnAlarms": ["a1", "b2"], "whiteInfo": [[1, 2, 3]], "ptzParams": [{"acto_ptz_channel": 5,
        "acto_ptz_type": 1, "acto_ptz_preset": 2, "acto_ptz_patrol": 0}],
        "audible": [[["08:00", "09:00", 1]]], "effective": [[["01:00", "02:00", 1]]]})";

TEST_F(CameraAppsTest, GroupEventIsStoredReadBackAndAnnounced) {
  core_->reply(kCountingEventChanged.id, int32s({0}));
  EXPECT_EQ(post("/2070", kGroupEvent).out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(only_message(*core_, kCountingEventChanged.id).payload, int32s({2, -1}));
  const std::string block = post("/2069", R"({"groupid": 2})").out;
  expect_head(block, kJsonHeader + R"({ "chnid": 2, "triAlarms": 3, "interval": 30, "email_interval": 5, )"
                          R"("email_pic_enable": 1, "tri_channels_pic": "0110", "ptz_interval": 6, )"
                          R"("alarmout_interval": 7, "white_interval": 8, "effective": [ [ { "startTime": "08:00")");
  EXPECT_NE(block.find(R"("triChnAlarms": [ "a1", "b2" ])"), std::string::npos);
  EXPECT_NE(block.find(R"("whiteInfo": [ { "chnid": 1, "mode": 2, "time": 3 } ])"), std::string::npos);
  EXPECT_NE(block.find(R"("audioId": 4, "audioIdMask")"), std::string::npos);
  EXPECT_EQ(block.find("ptzParams"), std::string::npos);
  EXPECT_EQ(block.find("01:00"), std::string::npos);  // a group has no effective plan of its own
  const std::string dialog = post("/2066", R"({"action": 1})").out;
  EXPECT_NE(dialog.find(R"("ptzParams": [ { "acto_ptz_channel": 5, "acto_ptz_type": 1, "acto_ptz_preset": 2, )"),
            std::string::npos);
  // Only the interval: the event changes, the plans stay.
  EXPECT_EQ(post("/2070", R"({"groupid": 2, "interval": 31})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(stored(kCountingEvents, 2).interval, 31);
  EXPECT_NE(post("/2069", R"({"groupid": 2})").out.find("08:00"), std::string::npos);
  core_->no_reply(kCountingEventChanged.id);
  EXPECT_EQ(post("/2070", R"({"groupid": 1, "interval": 1})").out, kJsonError);
}

TEST_F(CameraAppsTest, GroupCommandsCarryTheGroupAndPrintRes) {
  struct Case {
    const char* id;
    int32_t message;
  } cases[] = {{"/2071", kCountingGroupReset.id}, {"/2072", kCountingGroupStaying.id}};
  for (const Case& c : cases) {
    core_->reply(c.message, int32s({-5}));
    EXPECT_EQ(post(c.id, R"({"groupid": 3})").out, kJsonHeader + R"({ "res": -5 })");
    EXPECT_EQ(only_message(*core_, c.message).payload, int32s({3}));
    core_->reply(c.message, Bytes{1, 2});
    EXPECT_EQ(post(c.id, R"({"groupid": 0})").out, kJsonError);
  }
}

TEST_F(CameraAppsTest, CountingUrlSendsTheUrlAndPrintsTheDataUpToTheReplysEnd) {
  core_->reply(kCountingUrl.id, concat({int32s({1, 9}), Bytes{'i', 'n', '=', '4'}}));
  EXPECT_EQ(post("/2068", R"({"chnid": 9, "url": ")" + std::string(255, 'u') + R"("})").out,
            kJsonHeader + R"({ "res": 1, "chnid": 9, "data": "in=4" })");
  EXPECT_EQ(only_message(*core_, kCountingUrl.id).payload, concat({int32s({9}), text_field(std::string(255, 'u'), 256)}));
  // One character more: refused, not cut to another page's address.
  expect_refused("/2068", R"({"chnid": 9, "url": ")" + std::string(256, 'u') + R"("})", kJsonError);
  core_->reply(kCountingUrl.id, int32s({0, 63}));
  EXPECT_EQ(post("/2068", R"({"chnid": 63, "url": "x"})").out, kJsonHeader + R"({ "res": 0, "chnid": 63, "data": "" })");
  core_->reply(kCountingUrl.id, Bytes(2000, 'd'));
  const std::string cut = post("/2068", R"({"chnid": 0, "url": "x"})").out;
  EXPECT_NE(cut.find("\"data\": \"" + std::string(kCountingDataSize, 'd') + "\" }"), std::string::npos);
}

// ---- POS ---------------------------------------------------------------------------------------

TEST_F(CameraAppsTest, PosReadPrintsFourTerminalsAndTheEventOfTheAskedOne) {
  const std::string r = post("/2073", R"({"id": 3})").out;
  expect_head(r, kJsonHeader + R"({ "pos": [ { "id": 0, "enable": 0, "name": "POS1", "protocol": 0, "connectionMode": 0, )"
                          R"("ip": "", "liveviewDisplay": 0, "displayChannel": 0, "startX": 0, "startY": 0, "areaWidth": 320, )");
  EXPECT_NE(r.find(R"("privacy3": "", "port": 9003 } ], "action": { "effective": [ [ )"), std::string::npos);
  EXPECT_NE(r.find(R"({ "id": 1, "enable": 0, "name": "POS2", "protocol": 0, "connectionMode": 0, "ip": "", )"
                   R"("liveviewDisplay": 0, "displayChannel": 1, "startX": 0, "startY": 0, "areaWidth": 320, )"
                   R"("areaHeight": 240, "characterEncodeing": 0, "fontSize": 1, "fontColor": 0, "overlayMode": 0, )"
                   R"("displayTime": 10, "timeout": 10, )"), std::string::npos) << r;
  size_t at = r.find("\"action\"");
  for (const char* key : {"effective", "audible", "interval", "audioId", "email", "email_interval",
                          "email_pic_enable", "tri_channels_pic", "ptz", "ptz_interval", "ptzParams", "white",
                          "whiteInfo", "white_interval", "alarmout_interval", "triAlarms", "triChannels",
                          "triChnAlarms"}) {
    const size_t next = r.find("\"" + std::string(key) + "\"", at);
    ASSERT_NE(next, std::string::npos) << key;
    at = next;
  }
}

TEST_F(CameraAppsTest, PosSetStoresTheTerminalAndItsEventAndRebuildsTheTriggerMask) {
  core_->reply(kPosChanged.id, int32s({0}));
  const std::string forty = "1" + std::string(30, '0') + "11" + std::string(6, '0') + "1";  // 0, 31, 32, 39
  const std::string body = R"({"id": 1, "enable": 1, "name": ")" + std::string(40, 'n') +
                           R"(", "ip": "10.0.0.9", "port": 5000, "privacy1": ")" + std::string(70, 'p') +
                           R"(", "action": {"triChannels": ")" + forty +
                           R"(", "interval": 9, "ptzParams": [{"acto_ptz_channel": 2, "acto_ptz_type": 3}],
                           "effective": [[["00:00", "24:00", 1]]]}})";
  EXPECT_EQ(post("/2074", body).out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(only_message(*core_, kPosChanged.id).payload, int32s({1}));
  const PosRecord p = stored(kPosDevicesTable, 1);
  EXPECT_EQ(text_of(p.name), std::string(32, 'n'));
  EXPECT_EQ(text_of(p.ip), "10.0.0.9");
  EXPECT_EQ(text_of(p.privacy1), std::string(63, 'p'));
  EXPECT_EQ(p.port, 5000);
  expect_refused("/2074", R"({"id": 1, "port": 65536})", kJsonError);
  expect_required("/2074", R"({"id": 1, "name": "Till"})", {"id"}, kJsonError);
  EXPECT_EQ(p.area_width, 320);  // not carried: as stored
  AppEventRecord e = stored(kPosEvents, 1);
  EXPECT_EQ(text_of(e.tri_channels), forty);
  EXPECT_EQ(e.tri_channels_mask, 0x80000001u);
  EXPECT_EQ(e.interval, 9);
  const std::string read = post("/2073", R"({"id": 1})").out;
  EXPECT_NE(read.find(R"("ptzParams": [ { "acto_ptz_channel": 2, "acto_ptz_type": 3, )"), std::string::npos);
  EXPECT_NE(read.find(R"("triChannels": ")" + forty), std::string::npos);
  EXPECT_NE(read.find(R"("effective": [ [ { "startTime": "00:00", "endTime": "24:00", "actionType": 1 })"),
            std::string::npos);
  // A channel can be removed again; a set without "action" leaves the event alone.
  EXPECT_EQ(post("/2074", R"({"id": 1, "action": {"triChannels": "01"}})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(stored(kPosEvents, 1).tri_channels_mask, 2u);
  EXPECT_EQ(post("/2074", R"({"id": 1, "name": "Till"})").out, kJsonHeader + R"({ "res": 0 })");
  e = stored(kPosEvents, 1);
  EXPECT_EQ(text_of(e.tri_channels), "01");
  EXPECT_EQ(e.interval, 9);
  EXPECT_EQ(text_of(stored(kPosDevicesTable, 1).name), "Till");
  std::string long_text = R"({"id": 2, "action": {"triChannels": ")" + std::string(70, '1') + R"("}})";
  EXPECT_EQ(post("/2074", long_text).out, kJsonHeader + R"({ "res": 0 })");
  e = stored(kPosEvents, 2);
  EXPECT_EQ(text_of(e.tri_channels), std::string(64, '1'));
  EXPECT_EQ(e.tri_channels_mask, 0xffffffffu);
}

// ---- Counting reports --------------------------------------------------------------------------

TEST_F(CameraAppsTest, ReportsReadAlwaysCarryEmailAndSetsLeaveMissingDefinitions) {
  const std::string factory = get("/2075").out;
  expect_head(factory, kJsonHeader + R"({ "report": [ { "reportType": 0, "enable": 0, "triChannels": ")" + std::string(64, '0') +
                R"(", "triGroups": "0000", "stayLen)");
  EXPECT_EQ(factory.substr(factory.size() - 18), R"( } ], "email": 1 })");
  core_->reply(kCountingReportsChanged.id, int32s({5}));
  const std::string two = R"({"report": [{"enable": 1, "triGroups": ")" + std::string(20, '1') +
                          R"(", "backupTime": ")" + std::string(31, 't') + R"(", "lineMask": 3}, {"fileFormat": 2}]})";
  EXPECT_EQ(post("/2076", two).out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_TRUE(only_message(*core_, kCountingReportsChanged.id).payload.empty());
  CountingReport reports[kCountingReports];
  ASSERT_EQ(read_peoplecnt_auto_backup(kZvdbPath, reports), 0);
  zvdb_close_all();
  EXPECT_EQ(reports[0].enable, 1);
  EXPECT_EQ(text_of(reports[0].tri_groups), std::string(16, '1'));
  EXPECT_EQ(text_of(reports[0].backup_time), std::string(31, 't'));
  EXPECT_EQ(reports[0].line_mask, 3);
  EXPECT_EQ(text_of(reports[0].tri_channels), std::string(64, '0'));
  EXPECT_EQ(reports[1].file_format, 2);
  EXPECT_EQ(text_of(reports[1].backup_time), "00:00");
  EXPECT_EQ(reports[3].report_type, 3);
  core_->reply(kCountingReportsChanged.id, {});  // an empty answer is an answer too
  EXPECT_EQ(post("/2076", R"({"report": []})").out, kJsonHeader + R"({ "res": 0 })");
  core_->no_reply(kCountingReportsChanged.id);
  EXPECT_EQ(post("/2076", R"({"report": []})").out, kJsonError);
  // A time one character above its field: refused, not stored cut as another time.
  expect_refused("/2076", R"({"report": [{"backupTime": ")" + std::string(32, 't') + R"("}]})", kJsonError);
}

// ---- Face capture ------------------------------------------------------------------------------

TEST_F(CameraAppsTest, FaceCaptureFillsThePayloadAndStoresTheEventOnlyWithAnAction) {
  core_->reply(kFaceCaptureSet.id, int32s({3}));
  const std::string body =
      R"({"chnId": 5, "enable": 1, "width": 640, "httpUrl": ")" + std::string(127, 'h') +
      R"(", "shield": [{}, {"enable": 1}, {"enable": 1, "polygonX": "1,2"}, {}, {"enable": 9}],
         "captureModeArray": [{"captureQuality": 1}, {"captureQuality": 2, "snapshot": 3}, 4, {"snapshot": 8}],
         "mutuallyExclusive": 1})";
  EXPECT_EQ(post("/2077", body).out, kJsonHeader + R"({ "status": 3 })");
  EXPECT_EQ(received_ids(*core_), std::vector<int32_t>{kFaceCaptureSet.id});
  const Bytes payload = only_message(*core_, kFaceCaptureSet.id).payload;
  ASSERT_EQ(payload.size(), 1288u);
  EXPECT_EQ(int32_at(payload, 0), 0);
  EXPECT_EQ(int32_at(payload, 4), 5);
  EXPECT_EQ(int32_at(payload, 140), 1);
  EXPECT_EQ(int32_at(payload, 144), 640);
  EXPECT_EQ(int32_at(payload, 160), 1);
  EXPECT_EQ(int32_at(payload, 164), 2);
  EXPECT_EQ(int32_at(payload, 636), 3);
  EXPECT_EQ(int32_at(payload, 640), 0);  // element 2 is not an object; element 3 is not read
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&payload[376]), 128), std::string(127, 'h') + '\0');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&payload[216]), 7), std::string("(null)\0", 7));
  // The post's login the request leaves out is empty, never "(null)".
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&payload[504]), 128), std::string(128, '\0'));
  EXPECT_EQ(int32_at(payload, 740 + 132), 1);
  EXPECT_EQ(int32_at(payload, 1004), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&payload[1008]), 4), std::string("1,2\0", 4));
  EXPECT_EQ(int32_at(payload, 1268), 0);
  EXPECT_EQ(int32_at(payload, 1284), 1);
  EXPECT_EQ(stored(kFaceEvents, 5).id, 0);  // nothing stored
  expect_refused("/2077", R"({"chnId": 5, "httpUrl": ")" + std::string(128, 'h') + R"("})", kJsonError);

  core_->clear_received();
  const std::string with_action =
      R"({"chnId": 7, "action": {"triChannels": "0001", "audioId": 2, "white": [[["01:00", "02:00", 0]]]}})";
  EXPECT_EQ(post("/2077", with_action).out, kJsonHeader + R"({ "status": 3 })");
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{kFaceEventChanged.id, kFaceCaptureSet.id}));
  EXPECT_EQ(only_message(*core_, kFaceEventChanged.id).payload, int32s({7}));
  const AppEventRecord e = stored(kFaceEvents, 7);
  EXPECT_EQ(e.tri_channels_mask, 8u);
  EXPECT_EQ(e.audio_id, 2);
  Schedule white{};
  kLedPlans.read(kZvdbPath, &white, led_key(7, "face_whiteled_esche"));
  zvdb_close_all();
  EXPECT_EQ(text_of(white.days[0].ranges[0].end_time), "02:00");
  EXPECT_EQ(post("/2077", R"({"chnId": 7, "action": {"triChannels": "0"}})").out, kJsonHeader + R"({ "status": 3 })");
  EXPECT_EQ(stored(kFaceEvents, 7).tri_channels_mask, 0u);  // the channel is removed again
  EXPECT_EQ(stored(kFaceEvents, 7).audio_id, 2);
  core_->no_reply(kFaceCaptureSet.id);
  EXPECT_EQ(post("/2077", R"({"chnId": 0})").out, kJsonError);
}

// ---- Camera firmware ---------------------------------------------------------------------------

TEST_F(CameraAppsTest, FirmwareCheckSendsMasksFromTheTextsUpToTheirEnd) {
  struct Case {
    const char* body;
    uint64_t channels;
    uint64_t keep;
    int32_t size;
  } cases[] = {
      {R"({"chnMask": "10000001", "resetMask": "00000000", "fileSize": 1234})", 0x81, ~uint64_t{0}, 1234},
      {R"({"chnMask": "0111111111", "resetMask": "01", "fileSize": 1})", 0xfe, ~uint64_t{2}, 1},
      {R"({"chnMask": "1"})", 1, ~uint64_t{0}, 0},
  };
  core_->reply(kFirmwareCheck.id, int32s({-1}));
  for (const Case& c : cases) {
    core_->clear_received();
    EXPECT_EQ(post("/2078", c.body).out, kJsonHeader + R"({ "res": -1 })");
    FirmwareCheck expected{};
    expected.channels = c.channels;
    expected.keep = c.keep;
    expected.file_size = c.size;
    EXPECT_EQ(only_message(*core_, kFirmwareCheck.id).payload, bytes_of(expected)) << c.body;
  }
}

TEST_F(CameraAppsTest, FirmwareStartSendsTheChannelsAndPrintsTheProgress) {
  FirmwareProgress progress{};
  progress.channels = 0x109;  // 0, 3 and 8: only 0..7 have a status
  progress.status[0] = 10;
  progress.status[3] = 30;
  progress.status[5] = 50;
  core_->reply(kFirmwareStart.id, bytes_of(progress));
  EXPECT_EQ(post("/2080", R"({"chnAry": [0, 3, 70, -1, "x", 63], "reset": -2, "url": ")" + std::string(127, 'w') + "\"}").out,
            kJsonHeader + R"({ "chnid": 265, "status": [ 10, 30 ], "chnMask": "10010000" })");
  FirmwareStart expected{};
  expected.channels = 9 | (uint64_t{1} << 63);
  expected.reset = -2;
  std::memset(expected.url, 'w', 127);
  std::strcpy(expected.path, "/dev/shm/updateIPCFM.bin");
  EXPECT_EQ(only_message(*core_, kFirmwareStart.id).payload, bytes_of(expected));
  // An address one character above its 127: refused, the image is never fetched from a cut one.
  expect_refused("/2080", R"({"chnAry": [1], "url": ")" + std::string(128, 'w') + "\"}", kJsonError);
  core_->reply(kFirmwareStart.id, Bytes(39, 0));
  EXPECT_EQ(post("/2080", R"({"chnAry": [1]})").out, kJsonError);
}

TEST_F(CameraAppsTest, FirmwareProgressPrintsTextLinesOfTheStartedChannels) {
  FirmwareProgress progress{};
  progress.channels = 9;
  progress.status[0] = 100;
  progress.status[3] = 42;
  progress.status[4] = 7;
  core_->reply(kFirmwareProgress.id, bytes_of(progress));
  EXPECT_EQ(get("/2079").out, kTextHeader + "chnid=9\r\nstatus0=100\r\nstatus3=42\r\nchnMask=10010000\r\n");
  EXPECT_TRUE(only_message(*core_, kFirmwareProgress.id).payload.empty());
  progress.channels = ~uint64_t{0};
  core_->reply(kFirmwareProgress.id, bytes_of(progress));
  EXPECT_EQ(get("/2079").out.substr(0, kTextHeader.size() + 12), kTextHeader + "chnid=-1\r\nst");
  core_->reply(kFirmwareProgress.id, Bytes{});
  EXPECT_EQ(get("/2079").out, kCgiErrorText);
  core_->reply(kFirmwareProgress.id, Bytes(39, 1));
  EXPECT_EQ(get("/2079").out, kCgiErrorText);
  core_->no_reply(kFirmwareProgress.id);
  EXPECT_EQ(get("/2079").out, kJsonError);
}

TEST_F(CameraAppsTest, FirmwareStopTellsTheCoreAndPrintsNothing) {
  EXPECT_EQ(post("/2081", R"({"stop": 1})").out, "");
  EXPECT_EQ(only_message(*core_, kFirmwareStop.id).payload, int32s({1}));
}

}  // namespace
}  // namespace zvtest
