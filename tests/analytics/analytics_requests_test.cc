// Every analytics request through the real front end, against a fake core: exact replies, exact
// payloads the core receives, the first invalid value on both sides of each range refused with
// nothing stored or sent, and the action blocks stored in the database.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/messages/analytics.h"
#include "common/request.h"
#include "platform/zvdb/analytics_tables.h"
#include "platform/zvdb/video_tables.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

class AnalyticsTest : public RequestTest {
 protected:
  // The cameras answer the reads of their detection settings with zeros (a set that leaves members
  // out asks for them first).
  void SetUp() override {
    RequestTest::SetUp();
    for (int32_t id : {kRegionEntranceRead.id, kRegionExitRead.id, kAdvancedMotionRead.id, kTamperRead.id,
                       kLoiteringRead.id, kHumanRead.id}) {
      core_->reply(id, Bytes(sizeof(VcaRegionRecord)));
    }
    core_->reply(kObjectLeftRead.id, Bytes(sizeof(VcaObjectLeftRecord)));
    core_->reply(kRegionalCountRead.id, Bytes(sizeof(RegionalCountSettings)));
    core_->reply(kFisheyeRead.id, Bytes(sizeof(FisheyeSettings)));
    core_->reply(kPeopleCountRead.id, Bytes(sizeof(PeopleCountSettings)));
    core_->reply(kVcaSettingsRead.id, Bytes(sizeof(VcaSettings)));
    core_->reply(kVcaSettingsV2Read.id, Bytes(sizeof(VcaSettingsV2)));
  }
  SmartEventRecord event(const zvdb::Table<SmartEventRecord>& table, int channel, int sub) {
    SmartEventRecord r{};
    table.read(kZvdbPath, &r, {channel, sub});
    zvdb_close_all();
    return r;
  }
  // The reply of `id` when the core answers `message` with `payload`.
  std::string ask(const std::string& id, const std::string& body, int32_t message, const Bytes& payload) {
    core_->reply(message, payload);
    return post(id, body).out;
  }
};

template <class T>
T last_payload(FakeCore& core, int32_t id) {
  const std::vector<ReceivedMessage> m = core.received(id);
  return m.empty() ? T{} : record_from<T>(m.back().payload);
}

std::string plates_of(const std::string& list) { return R"({"cnt": 100, "plate": )" + list + "}"; }

// `text` begins with the header of a JSON reply and then `body`.
::testing::AssertionResult json_starts(const std::string& text, const std::string& body) {
  const std::string head = kJsonHeader + body;
  if (text.compare(0, head.size(), head) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << text.substr(0, head.size() + 40);
}

// ---- Reads of the camera's detection settings ---------------------------------------------------

TEST_F(AnalyticsTest, RegionReadsPrintTheirOwnMembers) {
  auto r = std::make_unique<VcaRegionRecord>();
  r->channel = 2;
  r->enable = 1;
  r->sensitivity = 4;
  r->loiter_time = 5;
  r->loiter_size = 6;
  r->tracks = 7;
  std::memset(r->region, 'r', sizeof r->region);  // unterminated: bounded by its width
  r->ignore_time = 8;
  r->objtype = 9;
  std::strcpy(r->polygon_x, "1,2");
  std::strcpy(r->polygon_y, "3,4");
  const std::string region = std::string(300, 'r');
  const std::string poly = R"("polygonX": "1,2", "polygonY": "3,4")";
  struct Case {
    const char* id;
    const char* body;
    int32_t message;
    std::string reply;
  } cases[] = {
      {"/6132", R"({"channel": 2, "type": 0})", 3237,
       R"({ "region": ")" + region + R"(", "enable": 1, "sensitivity": 4, "objtype": 9, )" + poly + " }"},
      {"/6132", R"({"channel": 2, "type": 5})", 3238,
       R"({ "region": ")" + region + R"(", "enable": 1, "sensitivity": 4, "objtype": 9, )" + poly + " }"},
      {"/6134", R"({"channel": 2})", 3239,
       R"({ "region": ")" + region + R"(", "enable": 1, "sensitivity": 4, "objtype": 9, )" + poly +
           R"(, "ignore_time": 8 })"},
      {"/6136", R"({"channel": 2})", 3240, R"({ "enable": 1, "sensitivity": 4 })"},
      {"/6140", R"({"channel": 2})", 3242,
       R"({ "region": ")" + region + R"(", "enable": 1, "time": 5, "size": 6, "objtype": 9, )" + poly + " }"},
      {"/6142", R"({"channel": 2})", 3243, R"({ "enable": 1, "tracks": 7 })"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    core_->clear_replies();
    EXPECT_EQ(ask(c.id, c.body, c.message, bytes_of(*r)), kJsonHeader + c.reply);
    EXPECT_EQ(only_message(*core_, c.message).payload, int32s({2}));
    core_->clear_received();
  }
  for (const char* id : {"/6132", "/6134", "/6136", "/6138", "/6140", "/6142", "/6146", "/6157", "/6172", "/6194",
                         "/6144"}) {
    SCOPED_TRACE(id);
    expect_refused(id, R"({"channel": 64})", kCgiErrorJson);
    expect_refused(id, R"({"channel": -1})", kCgiErrorJson);
    expect_refused(id, R"({"chnid": 1})", kCgiErrorJson);
    expect_refused(id, "{", "");
  }
  core_->clear_replies();
  EXPECT_EQ(post("/6136", R"({"channel": 2})").out, kCgiErrorJson);  // no reply
  core_->reply(3240, Bytes(3195, 0));                                   // one byte short
  EXPECT_EQ(post("/6136", R"({"channel": 2})").out, kCgiErrorJson);
}

TEST_F(AnalyticsTest, SupportVersionZoomAndObjectLeftReads) {
  EXPECT_EQ(ask("/6157", R"({"channel": 1})", 3257, Bytes{}), kJsonHeader + R"({ "support": -1, "type": -1 })");
  EXPECT_EQ(ask("/6157", R"({"channel": 1})", 3257, int32s({1, 3})), kJsonHeader + R"({ "support": 1, "type": 3 })");
  VcaSupportVersion v{5, 1, {}};
  std::memset(v.vca_version, 'v', sizeof v.vca_version);
  EXPECT_EQ(ask("/6186", R"({"chnid": 5})", 3293, bytes_of(v)),
            kJsonHeader + R"({ "chnid": 5, "vca_support": 1, "vca_version": ")" + std::string(32, 'v') + "\" }");
  EXPECT_EQ(ask("/6189", R"({"chnid": 5})", 1215, int32s({5, 2, 3})),
            kJsonHeader + R"({ "chnid": 5, "state": 2, "zoomNumber": 3 })");
  auto o = std::make_unique<VcaObjectLeftRecord>();
  o->left_enable = 1;
  o->remove_enable = 2;
  o->min_time = 3;
  o->sensitivity = 4;
  std::strcpy(o->region, "rg");
  EXPECT_EQ(ask("/6172", R"({"channel": 1})", 3268, bytes_of(*o)),
            kJsonHeader + R"({ "region": "rg", "left_enable": 1, "remove_enable": 2, "min_time": 3, )"
                          R"("sensitivity": 4, "polygonX": "", "polygonY": "" })");
  for (const char* id : {"/6186", "/6189", "/6190", "/6181", "/6096", "/6192"}) {
    expect_refused(id, R"({"chnid": 64})", kCgiErrorJson);
  }
}

// ---- Region-based sets --------------------------------------------------------------------------

TEST_F(AnalyticsTest, RegionSetsSendTheirFormAndPrintTheStatus) {
  const std::string polygons = R"([{"polygonX": "a0", "polygonY": "b0"}, {"polygonX": "a1", "polygonY": "b1"},
      {"polygonX": "a2", "polygonY": "b2"}, {"polygonX": "a3"}, {"polygonX": "a4"}, {"polygonX": "a5"}])";
  const std::string all = R"("chnid": 3, "enable": 1, "sensitivity": 2, "objtype": 3, "region": "R", "time": 4,
      "size": 5, "tracks": 6, "ignore_time": 7, "polygonX": "PX", "polygonY": "PY", "copyChn": "0000",
      "regionScene": 9, "regionInfo": [{"enable": 1, "objType": 2, "time": 3, "region": )" + polygons +
                          R"(}, 7, {"enable": 5}])";
  struct Case {
    const char* id;
    std::string body;
    int32_t message;
    void (*expect)(VcaRegionRecord&);
  } cases[] = {
      {"/6133", "{\"type\": 0, \"regionType\": 1, " + all + "}", 3244,
       [](VcaRegionRecord& e) {
         e.enable = 1, e.sensitivity = 2, e.objtype = 3, std::strcpy(e.region, "R");
         std::strcpy(e.polygon_x, "PX"), std::strcpy(e.polygon_y, "PY"), std::strcpy(e.copy, "0000");
         e.region_type = 1, e.region_scene = 9, e.blocks[0].enable = 1, e.blocks[0].obj_type = 2;
         e.blocks[0].time = 3, std::strcpy(e.blocks[0].polygons[0].polygon_x, "a0");
         std::strcpy(e.blocks[0].polygons[0].polygon_y, "b0"), e.blocks[2].enable = 5;
       }},
      {"/6133", "{\"type\": 3, \"regionType\": 2, " + all + "}", 3245,
       [](VcaRegionRecord& e) {
         e.enable = 1, e.sensitivity = 2, e.objtype = 3, std::strcpy(e.region, "R");
         std::strcpy(e.polygon_x, "PX"), std::strcpy(e.polygon_y, "PY"), std::strcpy(e.copy, "0000");
         e.region_type = 2, e.region_scene = 9, e.blocks[0].enable = 1, e.blocks[0].obj_type = 2;
         e.blocks[0].time = 3, e.blocks[2].enable = 5;
         for (int p = 0; p < 5; ++p) {  // five of the six polygons
           std::snprintf(e.blocks[0].polygons[p].polygon_x, 64, "a%d", p);
           if (p < 3) std::snprintf(e.blocks[0].polygons[p].polygon_y, 64, "b%d", p);
         }
       }},
      {"/6135", "{\"regionType\": 0, " + all + "}", 3246,
       [](VcaRegionRecord& e) {
         e.enable = 1, e.sensitivity = 2, e.objtype = 3, std::strcpy(e.region, "R"), e.ignore_time = 7;
         std::strcpy(e.polygon_x, "PX"), std::strcpy(e.polygon_y, "PY"), std::strcpy(e.copy, "0000");
         e.region_scene = 9;
       }},
      {"/6137", "{" + all + "}", 3247,
       [](VcaRegionRecord& e) { e.enable = 1, e.sensitivity = 2, std::strcpy(e.copy, "0000"); }},
      {"/6141", "{\"regionType\": 0, " + all + "}", 3249,
       [](VcaRegionRecord& e) {
         e.enable = 1, e.objtype = 3, std::strcpy(e.region, "R"), e.loiter_time = 4, e.loiter_size = 5;
         std::strcpy(e.polygon_x, "PX"), std::strcpy(e.polygon_y, "PY"), std::strcpy(e.copy, "0000");
         e.region_scene = 9;
       }},
      {"/6143", "{" + all + "}", 3250,
       [](VcaRegionRecord& e) { e.enable = 1, e.tracks = 6, std::strcpy(e.copy, "0000"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id + std::to_string(c.message));
    auto expected = std::make_unique<VcaRegionRecord>();
    expected->channel = 3;
    c.expect(*expected);
    EXPECT_EQ(ask(c.id, c.body, c.message, int32s({0})), kOk);
    EXPECT_EQ(only_message(*core_, c.message).payload, bytes_of(*expected));
    EXPECT_EQ(ask(c.id, c.body, c.message, int32s({2})), kTextHeader + "FAILED");
    core_->no_reply(c.message);
    EXPECT_EQ(post(c.id, c.body).out, kCgiErrorText);
    core_->clear_received();
    expect_refused(c.id, R"({"chnid": 64, "enable": 1})", kCgiErrorText);
    expect_refused(c.id, R"({"chnid": -1})", kCgiErrorText);
    expect_refused(c.id, R"({"enable": 1})", kCgiErrorText);
    expect_refused(c.id, "{\"chnid\": 1, \"copyChn\": \"\xff\"}", kCgiErrorText);  // not UTF-8
    expect_refused(c.id, "{\"chnid\": 1, \"dialog\": {\"chnid\": 1, \"triChannels\": \"1\xff\"}}", kCgiErrorText);
    expect_refused(c.id, "[", kCgiErrorText);
  }
}

TEST_F(AnalyticsTest, DialogStoresTheKindAndItsCopiesBeforeTheCameraIsAsked) {
  core_->reply(3245, int32s({0}));
  auto camera = std::make_unique<VcaRegionRecord>();  // the exit detection as the camera has it
  camera->enable = 1;
  camera->sensitivity = 6;
  std::strcpy(camera->polygon_x, "CX");
  core_->reply(3238, bytes_of(*camera));
  // Copy text: channels 1 and 2; positions 9 and 10 are beyond the eight a copy reaches.
  EXPECT_EQ(post("/6133", R"({"chnid": 40, "type": 3, "copyChn": "01100000011",
                              "dialog": {"chnid": 40, "interval": 33, "triChannels": "0101", "enable": 1,
                                         "ptzChnId": 2, "ptzType": 8, "ptzParams": [{"acto_ptz_channel": 5}]}})")
                .out,
            kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1412, 3238, 3245}));
  EXPECT_EQ(only_message(*core_, 1412).payload, int32s({0b110, 1 << 8}));  // channels 1, 2 and 40
  auto sent = std::make_unique<VcaRegionRecord>();
  *sent = *camera;
  sent->channel = 40;
  std::strcpy(sent->copy, "01100000011");
  EXPECT_EQ(only_message(*core_, 3245).payload, bytes_of(*sent)) << "the camera keeps its detection settings";
  for (int channel : {40, 1, 2}) {
    const SmartEventRecord r = event(kSmartEvents, channel, 3);
    EXPECT_EQ(r.interval, 33) << channel;
    EXPECT_EQ(r.tri_channels_mask, 0b1010u);
    EXPECT_EQ(r.enable, 0) << "the detection's own settings carry enable, not its dialog";
  }
  EXPECT_EQ(event(kSmartEvents, 9, 3).interval, 20);
  EXPECT_EQ(event(kSmartEvents, 40, 0).interval, 20) << "other kinds keep theirs";
  // A kind outside 0..8 ignores the dialog; the camera is still asked.
  core_->clear_received();
  core_->reply(3245, int32s({0}));
  EXPECT_EQ(post("/6133", R"({"chnid": 4, "type": 9, "dialog": {"chnid": 4, "interval": 1}})").out, kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3238, 3245}));
  core_->clear_received();
  core_->reply(3245, int32s({0}));  // not even a text that is not UTF-8 is looked at
  EXPECT_EQ(post("/6133", "{\"chnid\": 4, \"type\": 9, \"dialog\": {\"chnid\": 4, \"name\": \"\xC3\"}}").out, kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3238, 3245}));
}

TEST_F(AnalyticsTest, ObjectLeftSetTakesItsOwnRegionSet) {
  auto camera = std::make_unique<VcaObjectLeftRecord>();
  std::strcpy(camera->polygon_x, "0,0");
  std::strcpy(camera->polygon_y, "0,0");
  camera->sensitivity = 9;
  core_->reply(3268, bytes_of(*camera));
  EXPECT_EQ(ask("/6171", R"({"chnid": 9, "left_enable": 1, "remove_enable": 2, "min_time": 3, "sensitivity": 4,
                             "region": "rg", "copyChn": "1", "regionType": 1, "regionScene": 5,
                             "regionInfo": [{"leftEnable": 1, "removeEnable": 1, "enable": 7,
                                             "region": [{"polygonX": "x0"}, {"polygonX": "x1"}]}],
                             "dialog": {"chnid": 9, "interval": 2}})",
                3269, int32s({0})),
            kOk);
  auto expected = std::make_unique<VcaObjectLeftRecord>();
  std::strcpy(expected->polygon_x, "0,0");  // the camera's polygon (the request carries none)
  std::strcpy(expected->polygon_y, "0,0");
  expected->channel = 9;
  expected->left_enable = 1;
  expected->remove_enable = 2;
  expected->min_time = 3;
  expected->sensitivity = 4;
  std::strcpy(expected->region, "rg");
  std::strcpy(expected->copy, "1");
  expected->region_type = 1;
  expected->region_scene = 5;
  expected->blocks[0].left_enable = 1;
  expected->blocks[0].remove_enable = 1;
  std::strcpy(expected->blocks[0].polygons[0].polygon_x, "x0");
  EXPECT_EQ(only_message(*core_, 3269).payload, bytes_of(*expected));
  EXPECT_EQ(only_message(*core_, 1412).payload, int32s({1 | 1 << 9, 0})) << "kind 8, copied to channel 0";
  EXPECT_EQ(event(kSmartEvents, 0, 8).interval, 2);
  core_->no_reply(3269);
  EXPECT_EQ(post("/6171", R"({"chnid": 9})").out, kCgiErrorJson);
  expect_refused("/6171", R"({"chnid": 64})", "");
  expect_refused("/6171", "{", "");
}

TEST_F(AnalyticsTest, TextsAreCutToTheirFields) {
  core_->reply(3246, int32s({0}));
  EXPECT_EQ(post("/6135", R"({"chnid": 1, "region": ")" + std::string(310, 'r') + R"(", "polygonX": ")" +
                              std::string(70, 'x') + R"(", "copyChn": ")" + std::string(70, '1') + R"("})")
                .out,
            kOk);
  auto sent = std::make_unique<VcaRegionRecord>(last_payload<VcaRegionRecord>(*core_, 3246));
  EXPECT_EQ(std::string(sent->region), std::string(299, 'r'));
  EXPECT_EQ(std::string(sent->polygon_x), std::string(63, 'x'));
  EXPECT_EQ(std::string(sent->copy), std::string(64, '1'));
  EXPECT_EQ(std::string(sent->polygon_y), "") << "an absent text is empty, not \"(null)\"";
}

// A record the database does not hold: each request's not-found answer, nothing stored or sent.
TEST_F(AnalyticsTest, MissingActionRecords) {
  ASSERT_EQ(kSmartEvents.remove(kZvdbPath, {5, 2}), 0);
  ASSERT_EQ(kSmartEvents.remove(kZvdbPath, {5, 7}), 0);
  zvdb_close_all();
  expect_refused("/6150", R"({"channel": 5, "type": 0, "event": 2, "triAlarms": 1})", kTextHeader + "ERROT");
  expect_refused("/6151", R"({"channel": 5, "type": 2})", kCgiErrorJson);
  core_->clear_received();
  EXPECT_EQ(post("/6145", R"({"chnid": 5, "lineEnable": [1]})").out, kCgiErrorText);
  EXPECT_TRUE(core_->received(3254).empty()) << "the camera is asked for what it has, but nothing is set";
  // The action-block set starts a missing record from zeros carrying its key.
  EXPECT_EQ(post("/6149", R"({"chnid": 5, "event": 2, "interval": 3})").out, kOk);
  EXPECT_EQ(post("/6151", R"({"channel": 5, "type": 2})").out,
            kJsonHeader + R"({ "chnid": 5, "enable": 0, "triAlarms": 0, "interval": 3, "email_interval": 0, )"
                          R"("email_pic_enable": 0, "tri_channels_pic": "", "triChannels": "" })");
}

// ---- Lines --------------------------------------------------------------------------------------

TEST_F(AnalyticsTest, LineCrossingConvertsCanvasToCamera) {
  struct Case {
    std::string size;
    std::string position;
    std::vector<int32_t> camera;  // x1, y1, x2, y2
  } cases[] = {
      {"", "460;260;0;0", {1920, 1080, 1, 1}},
      {"", "10;20", {42, 83, 1, 1}},
      {R"("width": 1280, "height": 720,)", "230;130;460;0", {640, 360, 1280, 1}},
      {"", "1;1;1;" + std::string(25, '0') + "99", {4, 4, 4, 1}},  // 31 characters kept
      {"", "1;1;1;" + std::string(24, '0') + "99", {4, 4, 4, 37}},  // the 31st character is the last kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    core_->clear_received();
    EXPECT_EQ(ask("/6139", R"({"chnid": 1, "enable": 1, "objtype": 2, )" + c.size + R"( "line": [7,
                  {"position": ")" + c.position + R"(", "direction": 3}]})",
                  3248, int32s({0})),
              kOk);
    const VcaLineRecord sent = last_payload<VcaLineRecord>(*core_, 3248);
    EXPECT_EQ(sent.channel, 1);
    EXPECT_EQ(sent.enable, 1);
    EXPECT_EQ(sent.objtype, 2);
    EXPECT_EQ(sent.width, 0);
    EXPECT_EQ(sent.lines[0].x1, 0) << "an element that is not an object is skipped";
    EXPECT_EQ((std::vector<int32_t>{sent.lines[1].x1, sent.lines[1].y1, sent.lines[1].x2, sent.lines[1].y2}),
              c.camera);
    EXPECT_EQ(sent.lines[1].direction, 3);
  }
  // All four lines are sent, a fifth is not read; the line block stored with the set is kind 4's,
  // not the loitering one.
  core_->clear_received();
  EXPECT_EQ(ask("/6139", R"({"chnid": 1, "enable": 1, "objtype": 2, "line": [{}, {}, {}, {"position": "10;20", "direction": 3},
                             {"position": "10;20", "direction": 3}], "dialog": {"chnid": 1, "interval": 33}})",
                3248, int32s({0})),
            kOk);
  EXPECT_EQ(last_payload<VcaLineRecord>(*core_, 3248).objtype, 2);
  const VcaLine fourth = last_payload<VcaLineRecord>(*core_, 3248).lines[3];
  EXPECT_EQ((std::vector<int32_t>{fourth.x1, fourth.y1, fourth.x2, fourth.y2, fourth.direction}),
            (std::vector<int32_t>{42, 83, 1, 1, 3}));
  EXPECT_EQ(event(kSmartEvents, 1, 4).interval, 33);
  EXPECT_EQ(event(kSmartEvents, 1, 5).interval, 20);
  VcaLineRecord read{};
  read.enable = 1;
  read.width = 1920;
  read.height = 1080;
  read.lines[0] = {1920, 1080, 42, 83, 2, {}};
  read.objtype = 4;
  EXPECT_EQ(ask("/6138", R"({"channel": 1})", 3241, bytes_of(read)),
            kJsonHeader + R"({ "line": [ { "direction": 2, "position": "460;260;10;20" }, )"
                          R"({ "direction": 0, "position": "0;0;0;0" }, { "direction": 0, "position": "0;0;0;0" }, )"
                          R"({ "direction": 0, "position": "0;0;0;0" } ], "enable": 1, "width": 1920, )"
                          R"("height": 1080, "objtype": 4 })");
  read.width = 0;
  EXPECT_NE(ask("/6138", R"({"channel": 1})", 3241, bytes_of(read)).find(R"("position": "0;0;0;0")"),
            std::string::npos);
  core_->clear_received();  // left out: the camera's object type and lines
  EXPECT_EQ(ask("/6139", R"({"chnid": 1, "enable": 0, "objtype": null})", 3248, int32s({0})), kOk);
  VcaLineRecord expected = read;
  expected.channel = 1;
  expected.enable = 0;
  expected.width = expected.height = 0;
  EXPECT_EQ(only_message(*core_, 3248).payload, bytes_of(expected));
}

TEST_F(AnalyticsTest, LinesWithSubLinesTakeFiveOfEach) {
  std::string subs = "[";
  for (int s = 0; s < 6; ++s) subs += std::string(s ? "," : "") + R"({"position": "460;260;46;26", "direction": )" + std::to_string(s) + "}";
  subs += "]";
  const std::string body = R"({"chnid": 2, "sensitivity": 3, "lineType": 2, "lineScene": 4, "line": [
      {"enable": 1, "direction": 2, "objtype": 3, "position": ")" + std::string(59, ' ') + R"(9;123", "line": )" + subs +
                           "}, {}, {}, {}, {\"enable\": 9}]}";
  EXPECT_EQ(ask("/6193", body, 1210, int32s({0})), kOk);
  auto sent = std::make_unique<VcaLineRecordV2>(last_payload<VcaLineRecordV2>(*core_, 1210));
  EXPECT_EQ(sent->sensitivity, 3);
  EXPECT_EQ(sent->line_type, 2);
  EXPECT_EQ(sent->line_scene, 4);
  EXPECT_EQ(sent->lines[0].enable, 1);
  EXPECT_EQ(sent->lines[0].objtype, 3);
  EXPECT_EQ(sent->lines[0].x1, 38) << "63 characters of position kept: \"9;12\" and not the 3 after it";
  EXPECT_EQ(sent->lines[0].y1, 50);  // 12 on the canvas
  EXPECT_EQ(sent->lines[0].sub_lines[4].direction, 4);
  EXPECT_EQ(sent->lines[0].sub_lines[4].x1, 1920);
  EXPECT_EQ(sent->lines[0].sub_lines[4].x2, 192);
  EXPECT_EQ(sent->lines[3].enable, 0) << "a fifth line is not read";
  EXPECT_EQ(bytes_of(sent->lines[1]), bytes_of(sent->lines[2])) << "a sixth sub-line is not read";

  auto read = std::make_unique<VcaLineRecordV2>();
  read->channel = 2;
  read->width = 1920;
  read->height = 1080;
  read->sensitivity = 5;
  read->lines[0] = {1, 1920, 1080, 192, 108, 2, 3, {}};
  EXPECT_EQ(ask("/6192", R"({"chnid": 2})", 1209, bytes_of(*read)),
            kJsonHeader + R"({ "chnid": 2, "width": 1920, "height": 1080, "sensitivity": 5, "line": [ )"
                          R"({ "enable": 1, "objtype": 3, "direction": 2, "position": "460;260;46;26" }, )"
                          R"({ "enable": 0, "objtype": 0, "direction": 0, "position": "0;0;0;0" }, )"
                          R"({ "enable": 0, "objtype": 0, "direction": 0, "position": "0;0;0;0" }, )"
                          R"({ "enable": 0, "objtype": 0, "direction": 0, "position": "0;0;0;0" } ] })");
  core_->clear_received();  // left out: the camera's sensitivity, scene and lines
  EXPECT_EQ(ask("/6193", R"({"chnid": 2, "lineType": 1})", 1210, int32s({0})), kOk);
  read->line_type = 1;
  read->width = read->height = 0;
  EXPECT_EQ(only_message(*core_, 1210).payload, bytes_of(*read));
  expect_refused("/6193", R"({"line": []})", kCgiErrorText);
  expect_refused("/6139", R"({"chnid": 64})", kCgiErrorText);
  expect_refused("/6139", R"({"chnid": -1})", kCgiErrorText);
  expect_refused("/6139", R"({"enable": 1})", kCgiErrorText);
  core_->reply(1209, Bytes(10));  // shorter than the camera's record: no answer to keep values from
  core_->clear_received();
  EXPECT_EQ(post("/6193", R"({"chnid": 2, "lineType": 1})").out, kCgiErrorText);
  settle();
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1209}));
}

// ---- Areas --------------------------------------------------------------------------------------

TEST_F(AnalyticsTest, AnalyticsSettingsConvertTheAreaBothWays) {
  EXPECT_EQ(ask("/6147", R"({"chnid": 6, "fps": 1, "mode": 2, "installation": 3, "analysis": 4, "width": 1920,
                             "height": 1080, "position": [{"minStartX": 460, "minStartY": 260, "minWidth": 0,
                             "minHeight": 10, "maxStartX": 230, "maxStartY": 130, "maxWidth": -4}]})",
                3260, int32s({0})),
            kOk);
  EXPECT_EQ(only_message(*core_, 3260).payload,
            int32s({6, 0, 1, 2, 3, 4, 1920, 1080, 1920, 1080, 1, 42, 960, 540, 1, 1}));
  EXPECT_EQ(ask("/6146", R"({"channel": 6})", 3259,
                int32s({6, 7, 1, 2, 3, 4, 1920, 1080, 1920, 1080, 0, 42, 960, 540, 1, -5})),
            kJsonHeader + R"({ "fps": 1, "mode": 2, "installation": 3, "analysis": 4, "width": 1920, "height": 1080, )"
                          R"("vcaType": 7, "position": [ { "minStartX": 460, "minStartY": 260, "minWidth": 1, )"
                          R"("minHeight": 10, "maxStartX": 230, "maxStartY": 130, "maxWidth": 1, "maxHeight": 1 } ] })");
  core_->clear_received();  // left out: the camera's members and object sizes, as it sends them
  EXPECT_EQ(ask("/6147", R"({"chnid": 6, "fps": 9})", 3260, int32s({0})), kOk);
  EXPECT_EQ(only_message(*core_, 3260).payload,
            int32s({6, 0, 9, 2, 3, 4, 1920, 1080, 1920, 1080, 0, 42, 960, 540, 1, -5}));
  // Every member but no "position" (or one whose first element is no object): the object sizes
  // are still the camera's.
  for (const char* position : {"", R"(, "position": [5])"}) {
    core_->clear_received();
    EXPECT_EQ(ask("/6147", std::string(R"({"chnid": 6, "fps": 1, "mode": 2, "installation": 3, "analysis": 4,
                                          "width": 1920, "height": 1080)") + position + "}",
                  3260, int32s({0})),
              kOk);
    EXPECT_EQ(only_message(*core_, 3260).payload,
              int32s({6, 0, 1, 2, 3, 4, 1920, 1080, 1920, 1080, 0, 42, 960, 540, 1, -5}))
        << position;
  }
  core_->no_reply(3260);
  EXPECT_EQ(post("/6147", R"({"chnid": 6})").out, kCgiErrorJson);
  expect_refused("/6147", R"({"chnid": 64})", "");
  expect_refused("/6147", "{", "");
}

TEST_F(AnalyticsTest, AreasOfTheSecondFormAreCarriedUnconverted) {
  std::string areas = "[";
  for (int i = 0; i < 9; ++i) areas += std::string(i ? "," : "") + R"({"minStartX": )" + std::to_string(i + 1) + R"(, "maxHeight": 9000})";
  EXPECT_EQ(ask("/6195", R"({"chnid": 1, "fps": 5, "width": 2, "copyChn": "0110", "position": )" + areas + "]}", 1212,
                int32s({0})),
            kOk);
  auto sent = std::make_unique<VcaSettingsV2>(last_payload<VcaSettingsV2>(*core_, 1212));
  EXPECT_EQ(sent->fps, 5);
  EXPECT_EQ(sent->min_start_x[7], 8);
  EXPECT_EQ(sent->max_height[7], 9000);
  EXPECT_EQ(std::string(sent->copy), "0110");
  EXPECT_TRUE(core_->received(1412).empty()) << "no action block";
  sent->width = 1920;
  sent->height = 1080;
  const std::string reply = ask("/6194", R"({"channel": 1})", 1211, bytes_of(*sent));
  EXPECT_NE(reply.find(R"({ "minStartX": 8, "minStartY": 0, "minWidth": 0, "minHeight": 0, "maxStartX": 0, )"
                       R"("maxStartY": 0, "maxWidth": 0, "maxHeight": 9000, "width": 1920, "height": 1080 } ] })"),
            std::string::npos)
      << reply;
  core_->clear_received();  // left out: the camera's members and areas
  EXPECT_EQ(ask("/6195", R"({"chnid": 1, "mode": 3})", 1212, int32s({0})), kOk);
  sent->mode = 3;
  std::memset(sent->copy, 0, sizeof sent->copy);
  EXPECT_EQ(only_message(*core_, 1212).payload, bytes_of(*sent));
}

// ---- Action blocks ------------------------------------------------------------------------------

TEST_F(AnalyticsTest, SmartActionBlockSetReadFieldAndRecord) {
  EXPECT_EQ(post("/6149", R"({"chnid": 40, "event": 8, "enable": 1, "interval": 9, "triChannels": "11",
                              "tri_channels_pic": "p", "triChnAlarms": ["x", "y"], "ptzChnId": 1, "ptzType": 13,
                              "ptzParams": [{"acto_ptz_channel": 3}]})")
                .out,
            kOk);
  EXPECT_EQ(only_message(*core_, 1412).payload, int32s({0, 1 << 8}));
  const std::string read = post("/6148", R"({"chnid": 40, "event": 8})").out;
  EXPECT_TRUE(json_starts(read, R"({ "chnid": 40, "event": 8, "action": [ { "chnid": 40, "enable": 1, "triAlarms": 0, )"
                                R"("interval": 9, "email_interval": 20, "email_pic_enable": 0, "tri_channels_pic": "p", )"));
  EXPECT_NE(read.find(R"("triChnAlarms": [ "x", "y" ])"), std::string::npos);
  EXPECT_NE(read.find(R"("ptzParams": [ ] } ] })"), std::string::npos) << "this request reads no PTZ keys";

  EXPECT_EQ(post("/6151", R"({"channel": 40, "type": 8})").out,
            kJsonHeader + R"({ "chnid": 40, "enable": 1, "triAlarms": 0, "interval": 9, "email_interval": 20, )"
                          R"("email_pic_enable": 0, "tri_channels_pic": "p", "triChannels": "11" })");
  core_->clear_received();
  EXPECT_EQ(post("/6150", R"({"channel": 40, "type": 0, "event": 8, "triAlarms": 6})").out, kOk);
  EXPECT_EQ(post("/6150", R"({"channel": 40, "type": 1, "event": 8, "triChannels": "0001"})").out, kOk);
  EXPECT_EQ(post("/6150", R"({"channel": 40, "type": 2, "event": 8, "triAlarms": 1})").out, kOk);
  EXPECT_EQ(post("/6150", R"({"channel": 40, "type": 0, "event": 8})").out, kOk) << "triAlarms left out: kept";
  const SmartEventRecord r = event(kSmartEvents, 40, 8);
  EXPECT_EQ(r.tri_alarms, 6);
  EXPECT_EQ(r.tri_channels_mask, 0b1000u);
  EXPECT_EQ(std::string(r.tri_channels), "0001");
  EXPECT_EQ(core_->received(1412).size(), 4u);

  for (const char* body : {R"({"channel": 64, "event": 0})", R"({"channel": -1, "event": 0})",
                           R"({"channel": 0, "event": 9})", R"({"channel": 0, "event": -1})", R"({"event": 0})",
                           R"({"channel": 0})"}) {
    expect_refused("/6150", body, kTextHeader + "ERROT");
  }
  expect_refused("/6149", "{\"chnid\": 0, \"event\": 0, \"tri_channels_pic\": \"\xc3\"}", kCgiErrorText);
  for (const char* body : {R"({"chnid": 64, "event": 0})", R"({"chnid": 0, "event": 9})", R"({"chnid": 0})",
                           R"({"chnid": -1, "event": 0})", R"({"chnid": 0, "event": -1})", R"({"event": 0})"}) {
    expect_refused("/6148", body, kCgiErrorJson);
    expect_refused("/6149", body, kCgiErrorText);
  }
  for (const char* body : {R"({"channel": 64, "type": 0})", R"({"channel": -1, "type": 0})", R"({"channel": 0, "type": 9})",
                           R"({"channel": 0, "type": -1})", R"({"type": 0})"}) {
    expect_refused("/6151", body, kCgiErrorJson);
  }
}

// ---- Plates -------------------------------------------------------------------------------------

TEST_F(AnalyticsTest, PlateActionBlocksByMode) {
  EXPECT_EQ(post("/6180", R"({"chnid": 3, "mode": 0, "enable": 1, "dialog": {"chnid": 3, "interval": 4,
                              "whiteInfo": [[1, 2, 3]], "ptzChnId": 3, "ptzType": 15,
                              "ptzParams": [{"acto_ptz_channel": 9, "acto_ptz_type": 1}]}})")
                .out,
            kOk);
  EXPECT_EQ(only_message(*core_, 1416).payload, int32s({3, 0}));
  const SmartEventRecord black = event(kAnprEvents, 3, plate_mode_sub(0));
  EXPECT_EQ(black.enable, 1);
  EXPECT_EQ(black.interval, 4);
  const std::string read = post("/6179", R"({"chnid": 3, "mode": 0})").out;
  EXPECT_TRUE(json_starts(read, R"({ "chnid": 3, "mode": 0, "enable": 1, "triAlarms": 0, )"));
  EXPECT_NE(read.find(R"("whiteInfo": [ { "chnid": 1, "mode": 2, "time": 3 } ])"), std::string::npos);
  EXPECT_NE(read.find(R"("ptzParams": [ { "acto_ptz_channel": 9, "acto_ptz_type": 1, )"), std::string::npos);

  // The plate event itself (mode -1) shares the visitor list's LED tables.
  EXPECT_EQ(ask("/6182", R"({"chnid": 3, "dialog": {"chnid": 3, "whiteInfo": [[7, 7, 7]],
                             "effective": [[["01:00", "02:00", 1]]]}})",
                3290, int32s({0})),
            kOk);
  settle();
  EXPECT_TRUE(core_->received(3290).empty()) << "the block alone leaves the camera's recognition settings";
  EXPECT_NE(post("/6179", R"({"chnid": 3, "mode": 2})").out.find(R"("whiteInfo": [ { "chnid": 7, )"), std::string::npos);
  const std::string whole = post("/6179", R"({"chnid": 3, "mode": -1})").out;
  EXPECT_TRUE(json_starts(whole, R"({ "chnid": 3, "mode": -1, "effective": [ [ { "startTime": "01:00", )"
                                 R"("endTime": "02:00", "actionType": 1 }, )"));
  EXPECT_EQ(whole.find("whiteInfo"), std::string::npos);
  for (const char* body : {R"({"chnid": 3, "mode": 3})", R"({"chnid": 3, "mode": -2})", R"({"chnid": 64, "mode": 0})",
                           R"({"mode": 0})", R"({"chnid": 3})", "{"}) {
    expect_refused("/6179", body, kCgiErrorJson);
    expect_refused("/6180", body, kCgiErrorJson);
  }
  // An action block text that is not UTF-8 refuses the whole request.
  const std::string bad_dialog = "\"dialog\": {\"chnid\": 3, \"triChnAlarms\": [\"\xff\"]}}";
  expect_refused("/6180", "{\"chnid\": 3, \"mode\": 1, " + bad_dialog, kCgiErrorJson);
  expect_refused("/6182", "{\"chnid\": 3, " + bad_dialog, kCgiErrorJson);
  // The camera's HTTP post password one character above its field: refused, never sent cut.
  expect_refused("/6182", R"({"chnid": 3, "post_http_password": ")" + std::string(64, 'p') + "\"}", kCgiErrorJson);
}

TEST_F(AnalyticsTest, RecognitionSettingsAndFormatFilter) {
  const std::string body = R"({"chnid": 4, "enable": 1, "post_tcp_port": 80, "post_http_user": ")" +
                           std::string(63, 'u') + R"(", "post_http_url": "http://x", "confidence": 9,
      "region": ["r0", 5, ")" + std::string(40, 'r') + R"("], "cur_area": "ca", "night_mode_effective_mode": 2,
      "roi": [{"name": "roi0", "startX": 1, "endY": 4}], "preset": [[{}, {}, {}, {}, {"name": "x"}], [7, {"name": "p", "endy": 8, "endY": 9}]],
      "formatData": {"chnid": 4, "filter": 1, "wildcards": [{"enable": 1, "cr_count": 7, "format": ")" +
                           std::string(20, 'f') + R"("}]}})";
  // What the request leaves out stays as the camera has it.
  auto camera = std::make_unique<AnprSettings>();
  camera->chnid = 4;
  std::strcpy(camera->post_http_password, "kept");
  camera->night_mode_level = 3;
  std::strcpy(camera->region[31].text, "last");
  std::strcpy(camera->preset[3][3].name, "corner");
  camera->preset[3][3].end_y = 6;
  core_->reply(3289, bytes_of(*camera));
  EXPECT_EQ(ask("/6182", body, 3290, int32s({0})), kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3289, 1208, 3290})) << "no dialog: no plate notice";
  auto s = std::make_unique<AnprSettings>(last_payload<AnprSettings>(*core_, 3290));
  EXPECT_EQ(std::string(s->post_http_password), "kept");
  EXPECT_EQ(s->night_mode_level, 3);
  EXPECT_EQ(s->region[31].text[0], '\0') << "a region list given replaces the camera's";
  EXPECT_EQ(s->preset[3][3].end_y, 0) << "a preset list given replaces the camera's";
  EXPECT_EQ(std::string(s->post_http_user), std::string(63, 'u'));
  EXPECT_EQ(std::string(s->region[2].text), std::string(31, 'r'));
  EXPECT_EQ(s->region[1].text[0], '\0');
  EXPECT_EQ(s->roi[0].end_y, 4);
  EXPECT_EQ(s->preset[1][1].end_y, 8) << "preset entries spell the key \"endy\"";
  EXPECT_EQ(s->preset[1][0].name[0], '\0') << "a fifth area of a preset is not read";
  EXPECT_EQ(s->night_mode_effective_mode, 2);
  const PlateFormatFilter f = last_payload<PlateFormatFilter>(*core_, 1208);
  EXPECT_EQ(f.cr_count[0], 7);
  EXPECT_EQ(std::string(f.format[0]), std::string(15, 'f'));

  const std::string read = ask("/6181", R"({"chnid": 4})", 3289, bytes_of(*s));
  EXPECT_NE(read.find(R"("post_http_url": "http:\/\/x", "confidence": 9, "night_mode_enable": 0)"), std::string::npos);
  EXPECT_NE(read.find(R"("region": [ "r0", "", ")" + std::string(31, 'r') + R"(", "", )"), std::string::npos);
  EXPECT_NE(read.find(R"("" ], "cur_area": "ca", "in_night_mode": 0, "roi": [ )"), std::string::npos);
  EXPECT_NE(read.find(R"({ "name": "p", "startX": 0, "startY": 0, "endX": 0, "endy": 8 })"), std::string::npos);

  EXPECT_TRUE(json_starts(ask("/6190", R"({"chnid": 4})", 1207, bytes_of(f)),
                          R"({ "chnid": 4, "filter": 1, "wildcards": [ { "enable": 1, "cr_count": 7, )"
                          R"("format": "fffffffffffffff" }, )"));
  EXPECT_EQ(ask("/6191", R"({"chnid": 4, "filter": 2, "wildcards": [3, {"format": "AB"}]})", 1208, int32s({1})),
            kTextHeader + "FAILED");
  const PlateFormatFilter g = last_payload<PlateFormatFilter>(*core_, 1208);
  EXPECT_EQ(g.filter, 2);
  EXPECT_EQ(std::string(g.format[1]), "AB");
  // Nine wildcards are read; a tenth is not.
  std::string ten;
  PlateFormatFilter nine{};
  nine.chnid = 4;
  for (int i = 0; i < 10; ++i) {
    ten += (i ? ", " : "") + std::string(R"({"enable": 1, "cr_count": )") + std::to_string(20 + i) + R"(, "format": "F)" +
           std::to_string(i) + "\"}";
    if (i == kPlateWildcards) continue;
    nine.enable[i] = 1;
    nine.cr_count[i] = 20 + i;
    nine.format[i][0] = 'F';
    nine.format[i][1] = static_cast<char>('0' + i);
  }
  core_->clear_received();
  EXPECT_EQ(ask("/6191", R"({"chnid": 4, "filter": 0, "wildcards": [)" + ten + "]}", 1208, int32s({0})), kOk);
  EXPECT_EQ(only_message(*core_, 1208).payload, bytes_of(nine));
  core_->clear_received();  // the wildcard list left out: the camera's (f, the read's answer above)
  EXPECT_EQ(ask("/6191", R"({"chnid": 4, "filter": 0})", 1208, int32s({0})), kOk);
  PlateFormatFilter kept = f;
  kept.filter = 0;
  EXPECT_EQ(only_message(*core_, 1208).payload, bytes_of(kept));
  // Members given as null, and the region and preset lists left out, are the camera's.
  core_->clear_received();
  core_->reply(3289, bytes_of(*camera));
  EXPECT_EQ(ask("/6182", R"({"chnid": 4, "enable": 1, "confidence": null})", 3290, int32s({0})), kOk);
  const AnprSettings partial = last_payload<AnprSettings>(*core_, 3290);
  EXPECT_EQ(partial.enable, 1);
  EXPECT_EQ(partial.confidence, 0);
  EXPECT_EQ(std::string(partial.post_http_password), "kept");
  EXPECT_EQ(std::string(partial.region[31].text), "last");
  EXPECT_EQ(std::string(partial.preset[3][3].name), "corner");
  EXPECT_EQ(partial.preset[3][3].end_y, 6);
  camera->confidence = 9;
  core_->reply(3289, bytes_of(*camera));
  post("/6182", R"({"chnid": 4, "confidence": null, "region": [], "preset": []})");
  EXPECT_EQ(last_payload<AnprSettings>(*core_, 3290).confidence, 9);
  // The camera cannot be asked: nothing is stored or sent.
  core_->clear_received();
  core_->no_reply(3289);
  EXPECT_EQ(post("/6182", R"({"chnid": 4, "enable": 1, "dialog": {"chnid": 4}})").out, kCgiErrorJson);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{3289}));
  core_->reply(3289, bytes_of(*camera));
  core_->no_reply(3290);
  EXPECT_EQ(post("/6182", R"({"chnid": 4, "enable": 1})").out, kCgiErrorJson);
  expect_refused("/6182", R"({"chnid": 64})", kCgiErrorJson);
  // A user or address one character above its field: refused, not sent cut to the camera.
  expect_refused("/6182", R"({"chnid": 4, "post_http_user": ")" + std::string(64, 'u') + "\"}", kCgiErrorJson);
  expect_refused("/6182", R"({"chnid": 4, "post_http_url": ")" + std::string(512, 'h') + "\"}", kCgiErrorJson);
  expect_refused("/6191", R"({"filter": 1})", kCgiErrorJson);
}

TEST_F(AnalyticsTest, PlateListRequests) {
  EXPECT_EQ(post("/6184", plates_of(R"([["black", "A%2012"], ["white", "B2"], 4, ["black", "C%4"]])")).out,
            kJsonHeader + R"({ "count": 3 })");
  PlateListEntry e{};
  EXPECT_EQ(read_anpr_list_plate(kAnprDbPath, &e, "A 12"), 0);
  EXPECT_EQ(read_anpr_list_plate(kAnprDbPath, &e, "C%4"), 0);
  // /6185: an old plate that is not stored still adds the new one.
  EXPECT_EQ(post("/6185", plates_of(R"([["B2", "visitor", "B3"], ["none", "black", "Q1"]])")).out, kOk);
  EXPECT_EQ(read_anpr_list_plate(kAnprDbPath, &e, "B2"), -1);
  ASSERT_EQ(read_anpr_list_plate(kAnprDbPath, &e, "B3"), 0);
  EXPECT_STREQ(e.type, "visitor");
  EXPECT_EQ(read_anpr_list_plate(kAnprDbPath, &e, "Q1"), 0);
  EXPECT_EQ(post("/6183", plates_of(R"(["A%2012", 7, "Q1"])")).out, kOk);
  int total = 0;
  PlateListEntry page[4];
  int count = 4;
  search_anpr_lists(kAnprDbPath, nullptr, 0, page, &count, &total);
  EXPECT_EQ(total, 2);  // B3 and C%4
  zvdb_close_all();

  struct Refusal {
    const char* id;
    std::string body;
    std::string reply;
  } refusals[] = {
      {"/6183", R"({"cnt": 0, "plate": ["B3"]})", kCgiErrorText},
      {"/6183", R"({"cnt": 10001, "plate": ["B3"]})", kCgiErrorText},
      {"/6183", R"({"cnt": 1, "plate": [5]})", kCgiErrorText},
      // Cut at its NUL the plate would name B3, which is stored: refused, B3 stays.
      {"/6183", R"({"cnt": 1, "plate": ["B3\u0000X"]})", kCgiErrorText},
      {"/6183", "{", kCgiErrorJson},
      {"/6184", R"({"cnt": 10001, "plate": [["a", "b"]]})", kCgiErrorJson},
      {"/6184", R"({"cnt": 1, "plate": [["a"]]})", kCgiErrorJson},
      {"/6184", R"({"cnt": 1, "plate": [["a", "%FF"]]})", kCgiErrorJson},
      {"/6185", R"({"cnt": 0, "plate": []})", kCgiErrorText},
      {"/6185", "{", kCgiErrorText},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.id + r.body);
    EXPECT_EQ(post(r.id, r.body).out, r.reply);
    count = 4;
    search_anpr_lists(kAnprDbPath, nullptr, 0, page, &count, &total);
    EXPECT_EQ(total, 2);
    zvdb_close_all();
  }
}

// ---- Counting -----------------------------------------------------------------------------------

TEST_F(AnalyticsTest, LineCountingStoresPositionsAsGivenAndEnablesItsRecord) {
  const std::string body = R"({"chnid": 5, "width": 1920, "height": 1080, "osdEnable": 1, "lineNum": 2,
      "lineEnable": [0, 0, 0, 0], "direction": [1, 2, 3, 4, 5], "autoResetSec": [9], "copyChn": "11",
      "position": ["1920;1080;10;20", "7;8", 3, ")" + std::string(122, ' ') + "1;2;34\"]}";
  EXPECT_EQ(ask("/6145", body, 3254, int32s({0})), kOk);
  EXPECT_EQ(event(kSmartEvents, 5, 7).enable, 0);
  const PeopleCountSettings sent = last_payload<PeopleCountSettings>(*core_, 3254);
  EXPECT_EQ(sent.osd_enable, 1);
  EXPECT_EQ(sent.line_num, 2);
  EXPECT_EQ(sent.lines[3].direction, 4);
  EXPECT_EQ(sent.lines[0].auto_reset_sec, 9);
  EXPECT_EQ((std::vector<int32_t>{sent.lines[0].start_x, sent.lines[0].start_y, sent.lines[0].stop_x,
                                  sent.lines[0].stop_y, sent.lines[1].start_x, sent.lines[1].stop_y}),
            (std::vector<int32_t>{1920, 1080, 10, 20, 7, 0}));
  EXPECT_EQ(sent.lines[3].stop_x, 3) << "127 characters kept";

  std::string enabled = body;
  enabled.replace(enabled.find("[0, 0, 0, 0]"), 12, "[0, 0, 1, 0]");
  EXPECT_EQ(ask("/6145", enabled, 3254, int32s({0})), kOk);
  EXPECT_EQ(event(kSmartEvents, 5, 7).enable, 1);
  EXPECT_EQ(ask("/6144", R"({"channel": 5})", 3253, bytes_of(sent)),
            kJsonHeader + R"({ "width": 1920, "height": 1080, "osdEnable": 1, "osdFontSize": 0, "osdTextPos": 0, )"
                          R"("osdType": 0, "sensitivity": 0, "lineNum": 2, "lineEnable": [ 0, 0, 0, 0 ], )"
                          R"("autoResetEnable": [ 0, 0, 0, 0 ], "direction": [ 1, 2, 3, 4 ], )"
                          R"("showCntEnable": [ 0, 0, 0, 0 ], "startX": [ 1920, 7, 0, 1 ], )"
                          R"("startY": [ 1080, 8, 0, 2 ], "stopX": [ 10, 0, 0, 3 ], "stopY": [ 20, 0, 0, 0 ], )"
                          R"("autoResetWeekday": [ 0, 0, 0, 0 ], "autoResetHour": [ 0, 0, 0, 0 ], )"
                          R"("autoResetMin": [ 0, 0, 0, 0 ], "autoResetSec": [ 9, 0, 0, 0 ], "position": [ )"
                          R"("460;260;2;5", "2;2;1;1", "1;1;1;1", "1;1;1;1" ] })");
  // Left out: "osdEnable" and every line list but "lineEnable", "position" among them: the camera's.
  PeopleCountSettings camera = sent;
  camera.osd_enable = 0;
  camera.lines[1].direction = 7;
  core_->reply(3253, bytes_of(camera));
  core_->clear_received();
  EXPECT_EQ(ask("/6145", R"({"chnid": 5, "width": 1920, "height": 1080, "lineNum": 2, "lineEnable": [1]})", 3254,
                int32s({0})),
            kOk);
  PeopleCountSettings expected = camera;
  expected.lines[0].line_enable = 1;
  EXPECT_EQ(only_message(*core_, 3254).payload, bytes_of(expected));
  EXPECT_EQ(event(kSmartEvents, 5, 7).enable, 1);
  expect_refused("/6145", R"({"chnid": 64})", kCgiErrorText);
  expect_refused("/6145", "{", kCgiErrorText);

  EXPECT_EQ(ask("/6154", R"({"channel": 5, "line": 2, "resetdb": 1})", 3261, int32s({0})), kOk);
  EXPECT_EQ(only_message(*core_, 3261).payload, int32s({5, 0, 0, 2, 1}));
  core_->no_reply(3261);
  EXPECT_EQ(post("/6154", R"({"channel": 5})").out, kCgiErrorJson);
  expect_refused("/6154", R"({"channel": 64})", kCgiErrorJson);
}

TEST_F(AnalyticsTest, RegionalCountingStoresEachRegionAndItsCopies) {
  const std::string body = R"({"chnid": 6, "sensitivity": 2, "maxObjHeight": 9, "copyChn": "00000001",
      "regional": [{"enable": 1, "polygonX": ")" + std::string(70, 'x') + R"(", "maxStayTimeValue": 5}],
      "action": [{"interval": 7, "audible": [[["00:00", "01:00", 1]]], "white": [[["00:00", "02:00", 1]]],
                  "triChannels": "1",
                  "ptzParams": [)" + [] {
    std::string p;
    for (int i = 0; i < 65; ++i) p += std::string(i ? "," : "") + R"({"acto_ptz_channel": )" + std::to_string(i + 1) + "}";
    return p;
  }() + R"(]}, {}]})";
  // Channel 7's own e-mail plan of region 0: the block carries none, so the copy keeps it.
  Schedule own{};
  std::strcpy(own.days[2].ranges[0].end_time, "03:00");
  ASSERT_EQ(zvdb::write_record_at(kZvdbPath, zvdb::kRegionalCountPlanTables[1], &own, zvdb::Key{7, 0}), 0);
  auto camera = std::make_unique<RegionalCountSettings>();
  camera->sensitivity = 8;
  camera->min_obj_x = 4;  // left out of the request: the camera's value is sent back
  core_->reply(1220, bytes_of(*camera));
  EXPECT_EQ(ask("/6097", body, 1221, int32s({3})), kJsonHeader + R"({ "res": 3 })");
  auto sent = std::make_unique<RegionalCountSettings>(last_payload<RegionalCountSettings>(*core_, 1221));
  EXPECT_EQ(sent->sensitivity, 2);
  EXPECT_EQ(sent->min_obj_x, 4);
  EXPECT_EQ(sent->max_obj_height, 9);
  EXPECT_EQ(std::string(sent->regions[0].polygon_x), std::string(63, 'x'));
  EXPECT_EQ(sent->regions[0].max_stay_time_value, 5);
  EXPECT_TRUE(core_->received(1412).empty() && core_->received(1416).empty()) << "regional blocks are not announced";
  for (int channel : {6, 7}) {
    EXPECT_EQ(event(kRegionalCountEvents, channel, 0).interval, 7) << channel;
    EXPECT_EQ(event(kRegionalCountEvents, channel, 0).tri_channels_mask, 1u);
  }
  PtzActionList list{};
  int count = 0;
  read_ptz_params(kZvdbPath, &list, 22, 6, &count);
  EXPECT_EQ(count, 64) << "a region's list holds 64";
  EXPECT_EQ(list.entries[63].acto_ptz_channel, 64);
  read_ptz_params(kZvdbPath, &list, 22, 7, &count);
  EXPECT_EQ(list.entries[0].source_id, 7);
  EXPECT_EQ(count, 64);
  Schedule plan{};
  ASSERT_EQ(zvdb::read_record(kZvdbPath, zvdb::kRegionalCountPlanTables[1], &plan, zvdb::Key{7, 0}), 0);
  EXPECT_EQ(std::string(plan.days[2].ranges[0].end_time), "03:00") << "a plan the block leaves out is not copied";
  ASSERT_EQ(zvdb::read_record(kZvdbPath, zvdb::kRegionalCountPlanTables[0], &plan, zvdb::Key{7, 0}), 0);
  EXPECT_EQ(std::string(plan.days[0].ranges[0].end_time), "01:00") << "the audible plan the block carries is";
  ASSERT_EQ(kLedPlans.read(kZvdbPath, &plan, led_key(7, "regional_pcnt_whiteled_esche")), 0);
  EXPECT_EQ(std::string(plan.days[0].ranges[0].end_time), "02:00") << "and so is its LED plan";
  zvdb_close_all();

  sent->result = 1;
  const std::string read = ask("/6096", R"({"chnid": 6})", 1220, bytes_of(*sent));
  EXPECT_TRUE(json_starts(read, R"({ "result": 1, "chnid": 6, "sensitivity": 2, )"));
  EXPECT_NE(read.find(R"("action": [ { "audible": [ [ { "startTime": "00:00", "endTime": "01:00", "actionType": 1 })"),
            std::string::npos);
  EXPECT_NE(read.find(R"("ptz_interval": 0, "ptzParams": [ { "acto_ptz_channel": 1, )"), std::string::npos);
  JsonPtr reply(json_tokener_parse(read.substr(read.find('{')).c_str()));
  json_object* blocks = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(reply.get(), "action", &blocks));
  EXPECT_EQ(json_object_array_length(blocks), 4u) << "one action block per region";
  core_->no_reply(1221);
  EXPECT_EQ(post("/6097", R"({"chnid": 6})").out, kCgiErrorJson);
  expect_refused("/6097", R"({"chnid": 64, "action": [{"interval": 1}]})", kCgiErrorJson);
  expect_refused("/6097", R"({"action": [{"interval": 1}]})", kCgiErrorJson);
  expect_refused("/6097", "{", kCgiErrorJson);
  expect_refused("/6097", "{\"chnid\": 6, \"action\": [{\"audible\": [[[\"\xff\", \"01:00\", 1]]]}]}", kCgiErrorJson);
}

// ---- Fisheye ------------------------------------------------------------------------------------

TEST_F(AnalyticsTest, FisheyeRequests) {
  EXPECT_EQ(ask("/6130", R"({"id": 2})", 3232, int32s({2, 1, 2, 3, 0})),
            kJsonHeader + R"({ "chnid": 2, "result": 0, "fishmount": 1, "fishdisplay": 2, "fishcorrect": 3 })");
  core_->no_reply(3232);
  EXPECT_EQ(post("/6130", R"({"id": 2})").out, kCgiErrorText);
  expect_refused("/6130", R"({"id": 64})", "");
  expect_refused("/6130", R"({"id": -1})", "");
  core_->reply(3232, int32s({2, 5, 6, 3, 0}));  // "fishcorrect" left out: the camera's 3 stays
  EXPECT_EQ(ask("/6131", R"({"chnid": 2, "fishmount": 1, "fishdisplay": 2})", 3231, int32s({0})), kOk);
  EXPECT_EQ(only_message(*core_, 3231).payload, int32s({2, 1, 2, 3, 0}));
  core_->no_reply(3231);
  EXPECT_EQ(post("/6131", R"({"chnid": 2})").out, kCgiErrorJson);

  EXPECT_EQ(ask("/6196", R"({"ipaddr": "10.0.0.9", "username": "admin", "password": "pw", "port": 80})", 3373,
                int32s({2, 1, 2, 3, 4})),
            kJsonHeader + R"({ "support": 0, "transfer": 1, "install": 2, "display": 3, "streamCnt": 4 })");
  FisheyeProbe probe{};
  std::strcpy(probe.ipaddr, "10.0.0.9");
  std::strcpy(probe.username, "admin");
  std::strcpy(probe.password, "pw");
  probe.port = 80;
  EXPECT_EQ(only_message(*core_, 3373).payload, bytes_of(probe));
  expect_refused("/6196", R"({"ipaddr": ")" + std::string(64, '1') + R"(", "port": 80})", "");
  expect_refused("/6196", R"({"ipaddr": "10.0.0.9", "password": ")" + std::string(64, 'p') + R"(", "port": 80})", "");
  EXPECT_EQ(ask("/6197", R"({"ipaddr": "10.0.0.9", "port": 80, "transfer": 1, "install": 2, "display": 3})", 3374,
                int32s({-2})),
            kJsonHeader + R"({ "res": -2 })");
  FisheyeProbeSet set{};
  std::strcpy(set.camera.ipaddr, "10.0.0.9");
  set.camera.port = 80;
  set.transfer = 1;
  set.install = 2;
  set.display = 3;
  EXPECT_EQ(only_message(*core_, 3374).payload, bytes_of(set));
  core_->no_reply(3374);
  EXPECT_EQ(post("/6197", "{}").out, kCgiErrorJson);
}

// The first channel outside 0..63 on either side, in a request that is accepted otherwise: each
// request's own refusal, nothing stored, nothing sent to the camera.
TEST_F(AnalyticsTest, ChannelJustOutsideEitherEndIsRefused) {
  struct Row {
    const char* id;
    const char* key;
    const char* rest;
    std::string refusal;
  };
  const Row rows[] = {
      {"/6097", "chnid", R"("action": [{"interval": 1}])", kCgiErrorJson},
      {"/6131", "chnid", R"("fishmount": 1, "fishdisplay": 2)", ""},
      {"/6145", "chnid", R"("lineEnable": [1])", kCgiErrorText},
      {"/6147", "chnid", R"("fps": 1)", ""},
      {"/6151", "channel", R"("type": 2)", kCgiErrorJson},
      {"/6151", "type", R"("channel": 5)", kCgiErrorJson},
      {"/6154", "channel", R"("line": 2, "resetdb": 1)", kCgiErrorJson},
      {"/6171", "chnid", R"("left_enable": 1)", ""},
      {"/6180", "chnid", R"("mode": 0, "enable": 1)", kCgiErrorJson},
      {"/6182", "chnid", R"("enable": 1)", kCgiErrorJson},
      {"/6191", "chnid", R"("filter": 1)", kCgiErrorJson},
      {"/6193", "chnid", R"("lineType": 1)", kCgiErrorText},
      {"/6195", "chnid", R"("mode": 3)", ""},
  };
  expect_required("/6131", R"({"chnid": 2, "fishmount": 1, "fishdisplay": 2})", {"chnid"});
  for (const Row& r : rows) {
    for (const char* value : {"-1", "64"}) {
      if (std::string(r.key) == "type" && std::string(value) == "64") continue;
      expect_refused(r.id, std::string("{\"") + r.key + "\": " + value + ", " + r.rest + "}", r.refusal);
    }
  }
}

}  // namespace
}  // namespace zvtest
