// OSD and privacy-mask requests through the real front end: exact replies and payloads, refusals
// that leave the database unchanged, and replies from the core that cannot be trusted.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/request.h"
#include "common/messages/video.h"
#include "tests/video/video_fixture.h"

namespace zvtest {
namespace {

class OsdRequestTest : public VideoTest {};

const char kOsdBody[] =
    R"({"camId": 6, "camName": "Gate", "showName": 1, "showDate": 0, "showWeek": 1, "dateFormat": 3,
        "timeFormat": 1, "datePosX": 0.5, "datePosY": 0.25, "namePosX": 0, "namePosY": 12.5, "alpha": 40})";

// ---- /6000, /6001, /6002 ------------------------------------------------------------------------

TEST_F(OsdRequestTest, ReadPrintsTheFactoryRecord) {
  EXPECT_EQ(get("/6000", "5").out,
            kJsonHeader + R"({ "camId": 5, "camName": "CAM6", "showName": 1, "showDate": 1, "showWeek": 1, )"
                          R"("dateFormat": 0, "timeFormat": 0, "datePosX": 0.02, "datePosY": 0.02, )"
                          R"("namePosX": 0.02, "namePosY": 0.75, "alpha": 0 })");
  EXPECT_NE(get("/6000", "63").out.find("\"CAM64\""), std::string::npos);
  EXPECT_EQ(get("/6000", "64").out, "");
  EXPECT_EQ(get("/6000", "-1").out, "");
}

TEST_F(OsdRequestTest, SetStoresAndNotifies) {
  EXPECT_EQ(post("/6001", kOsdBody).out, kOk);
  EXPECT_EQ(get("/6000", "6").out,
            kJsonHeader + R"({ "camId": 6, "camName": "Gate", "showName": 1, "showDate": 0, "showWeek": 1, )"
                          R"("dateFormat": 3, "timeFormat": 1, "datePosX": 0.5, "datePosY": 0.25, )"
                          R"("namePosX": 0.0, "namePosY": 12.5, "alpha": 40 })");
  EXPECT_EQ(only_message(*core_, kOsdChanged.id).payload, int32s({6, 1, 0}));
  // The stored reserved word is not the request's to change.
  OsdRecord osd{};
  ASSERT_EQ(kOsds.read(kZvdbPath, &osd, {2}), 0);
  osd.reserved = 7;
  ASSERT_EQ(kOsds.write(kZvdbPath, &osd), 0);
  zvdb_close_all();
  std::string body = kOsdBody;
  body.replace(body.find("6"), 1, "2");
  EXPECT_EQ(post("/6001", body).out, kOk);
  ASSERT_EQ(kOsds.read(kZvdbPath, &osd, {2}), 0);
  zvdb_close_all();
  EXPECT_EQ(std::string(osd.cam_name), "Gate");
  EXPECT_EQ(osd.reserved, 7);
}

TEST_F(OsdRequestTest, SetCutsTheNameAtSixtyThree) {
  std::string body = kOsdBody;
  body.replace(body.find("Gate"), 4, std::string(70, 'n'));
  EXPECT_EQ(post("/6001", body).out, kOk);
  EXPECT_EQ(text_of(osd(6).cam_name), std::string(63, 'n'));
}

TEST_F(OsdRequestTest, SetRefusesBadValuesWithoutAReply) {
  struct Case {
    const char* from;
    const char* to;
  } cases[] = {
      {"\"dateFormat\": 3", "\"dateFormat\": 4"}, {"\"showWeek\": 1", "\"showWeek\": 2"},
      {"\"namePosY\": 12.5", "\"namePosY\": -0.5"}, {"\"camId\": 6", "\"camId\": 64"},
      {"\"alpha\": 40", "\"alpha\": -1"},          {"\"alpha\": 40", "\"other\": 40"},
      {"\"camName\": \"Gate\"", "\"camName\": 7"}, {"\"timeFormat\": 1", "\"timeFormat\": [1]"},
  };
  for (const Case& c : cases) {
    std::string body = kOsdBody;
    body.replace(body.find(c.from), std::strlen(c.from), c.to);
    expect_refused("/6001", body);
  }
  expect_refused("/6001", "{");
}

TEST_F(OsdRequestTest, CameraNameSetKeepsThirtyOneCharacters) {
  const OsdRecord before = osd(2);
  EXPECT_EQ(post("/6002", "{\"camId\": 2, \"camName\": \"" + std::string(40, 'k') + "\"}").out, kOk);
  const OsdRecord after = osd(2);
  EXPECT_EQ(text_of(after.cam_name), std::string(31, 'k'));
  EXPECT_EQ(after.show_date, before.show_date);
  EXPECT_DOUBLE_EQ(after.name_pos_y, before.name_pos_y);
  EXPECT_TRUE(core_->received().empty());
  expect_refused("/6002", R"({"camId": 64, "camName": "x"})");
  expect_refused("/6002", R"({"camId": -1, "camName": "x"})");
  expect_refused("/6002", R"({"camId": 1})");
  expect_refused("/6002", R"({"camName": "x"})");
}

// ---- /6996, /6997 -------------------------------------------------------------------------------

TEST_F(OsdRequestTest, CameraOverlaySetSendsTheRecordAndPrintsTheStatus) {
  const std::string body = R"({"ch": 3, "enable_text": 1, "text_name": "Lobby", "textpos": 2, "enable_date": 1,
                               "datepos": 3, "dateformat": 4, "text_name_sub": "Sub", "datepos_sub": 5,
                               "type": 9})";
  struct Case {
    int32_t status;
    std::string reply;
  } cases[] = {{0, kOk}, {-1, kTextHeader + "NO_SUPPORT"}, {3, kTextHeader + "ERROR"}};
  // The sub stream's switches, position and format are left out: they stay as the camera has them.
  CameraOsd camera{};
  camera.enable_text = 7;
  camera.enable_text_sub = 1;
  camera.textpos_sub = 6;
  camera.dateformat_sub = 8;
  core_->reply(kCameraOsdRead.id, bytes_of(camera));
  for (const Case& c : cases) {
    core_->reply(kCameraOsdSet.id, int32s({c.status}));
    EXPECT_EQ(post("/6996", body).out, c.reply);
  }
  CameraOsd expected = camera;  // the request's members over the camera's
  expected.ch = 3;
  expected.enable_text = 1;
  std::strcpy(expected.text_name, "Lobby");
  expected.textpos = 2;
  expected.enable_date = 1;
  expected.datepos = 3;
  expected.dateformat = 4;
  std::strcpy(expected.text_name_sub, "Sub");
  expected.datepos_sub = 5;
  expected.type = 9;
  EXPECT_EQ(only_message(*core_, kCameraOsdSet.id).payload, bytes_of(expected));

  core_->no_reply(kCameraOsdSet.id);
  EXPECT_EQ(post("/6996", body).out, kCgiErrorText);
  core_->reply(kCameraOsdSet.id, Bytes{1, 2});  // shorter than a status word
  EXPECT_EQ(post("/6996", body).out, kCgiErrorText);
  core_->no_reply(kCameraOsdRead.id);  // the camera's values cannot be had: nothing is set
  core_->clear_received();
  EXPECT_EQ(post("/6996", body).out, kCgiErrorText);
  EXPECT_EQ(received_ids(*core_), std::vector<int32_t>{kCameraOsdRead.id});
  core_->clear_received();
  expect_refused("/6996", R"({"ch": 3, "enable_text": 1, "textpos": 2, "enable_date": 1, "datepos": 3, "dateformat": 4})");
  expect_required("/6996", body, {"ch", "enable_text", "textpos", "enable_date", "datepos", "dateformat"});
}

TEST_F(OsdRequestTest, CameraOverlayReadPrintsConnectedOrDisconnected) {
  CameraOsd osd{};
  osd.ch = 1;
  osd.enable_text = 1;
  std::strcpy(osd.text_name, "Door");
  osd.textpos = 2;
  osd.dateformat = 1;
  osd.enable_text_sub = 1;
  std::memset(osd.text_name_sub, 's', sizeof osd.text_name_sub);  // unterminated
  core_->reply(kCameraOsdRead.id, bytes_of(osd));
  EXPECT_EQ(post("/6997", R"({"id": 1})").out,
            kJsonHeader + R"({ "enable_text": 1, "text_name": "Door", "textpos": 2, "enable_date": 0, )"
                          R"("datepos": 0, "dateformat": 1, "enable_text_sub": 1, "text_name_sub": ")" +
                std::string(256, 's') +
                R"(", "textpos_sub": 0, "enable_date_sub": 0, "datepos_sub": 0, "dateformat_sub": 0, )"
                R"("disconnect": 1 })");
  EXPECT_EQ(only_message(*core_, kCameraOsdRead.id).payload, int32s({1}));

  osd.ch = 0;  // the camera of channel 0 is connected too
  core_->reply(kCameraOsdRead.id, bytes_of(osd));
  EXPECT_NE(post("/6997", R"({"id": 0})").out.find(R"("dateformat_sub": 0, "disconnect": 1 })"), std::string::npos);
  osd.ch = -1;
  core_->reply(kCameraOsdRead.id, bytes_of(osd));
  EXPECT_EQ(post("/6997", R"({"id": 1})").out, kJsonHeader + R"({ "disconnect": 0 })");
  core_->no_reply(kCameraOsdRead.id);
  EXPECT_EQ(post("/6997", R"({"id": 1})").out, kCgiErrorText);
  core_->clear_received();
  expect_refused("/6997", R"({"channel": 1})");
}

// ---- /6018, /6019 -------------------------------------------------------------------------------

TEST_F(OsdRequestTest, RecorderMasksReadListsEveryStoredChannel) {
  EXPECT_EQ(get("/6018").out, kJsonHeader + "[ ]");
  PrivacyMaskEntry entry{};
  entry.id = 2;
  entry.areas[0] = {1, 1, 10, 20, 30, 40, 704, 576, 3};
  ASSERT_EQ(kPrivacyMasks.write(kZvdbPath, &entry), 0);
  entry.id = 0;
  ASSERT_EQ(kPrivacyMasks.write(kZvdbPath, &entry), 0);
  zvdb_close_all();
  RunResult r = get("/6018");
  JsonPtr reply(json_tokener_parse(body_of(r.out).c_str()));
  ASSERT_EQ(json_object_array_length(reply.get()), 2u);
  json_object* second = json_object_array_get_idx(reply.get(), 1);
  json_object* areas = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(second, "area", &areas));
  EXPECT_EQ(json_object_array_length(areas), 24u);
  EXPECT_STREQ(json_object_to_json_string(json_object_array_get_idx(areas, 0)),
               R"({ "area_id": 1, "enable": 1, "start_x": 10, "start_y": 20, "area_width": 30, )"
               R"("area_height": 40, "width": 704, "height": 576, "fill_color": 3 })");
  EXPECT_EQ(r.out.substr(0, kJsonHeader.size() + 15), kJsonHeader + R"([ { "id": 0, "a)");
}

std::string mask_areas(int n) {
  std::string out = "[";
  for (int i = 0; i < n; ++i) {
    out += (i ? "," : "") + std::string(R"({"area_id": )") + std::to_string(i) +
           R"(, "enable": 1, "start_x": 1, "start_y": 2, "area_width": 3, "area_height": 4,
               "fill_color": 5, "ratio": 6, "name": "m)" + std::to_string(i) + "\"}";
  }
  return out + "]";
}

TEST_F(OsdRequestTest, MaskSetFillsAtMostTwentyEightAreas) {
  const std::string body = R"({"cnt": 1, "chnid": [4], "enable": 1, "cgiSdkFlag": 2, "num": 20, "areaMaskEnable": 1,
                               "mosaicSupport": 1, "mosaicNum": 12, "delMask": 8589934593, "area": )" +
                           mask_areas(30) + "}";
  EXPECT_EQ(post("/6019", body).out, kOk);
  auto set = std::make_unique<PrivacyMaskSet>(record_from<PrivacyMaskSet>(only_message(*core_, kMaskSet.id).payload));
  EXPECT_EQ(std::string(set->targets, 64), std::string(4, '0') + "1" + std::string(59, '0'));
  EXPECT_EQ(set->enable, 1);
  EXPECT_EQ(set->cgi_sdk_flag, 2);
  EXPECT_EQ(set->num, 20);
  EXPECT_EQ(set->area_mask_enable, 1);
  EXPECT_EQ(set->mosaic_support, 1);
  EXPECT_EQ(set->mosaic_num, 12);
  EXPECT_EQ(set->del_mask, (int64_t{1} << 33) | 1);
  EXPECT_EQ(set->areas[27].area_id, 27);
  EXPECT_EQ(text_of(set->areas[27].name), "m27");
  EXPECT_EQ(set->areas[27].ratio, 6);
  const char zeros[64] = {};
  EXPECT_EQ(std::memcmp(set->reserved0, zeros, sizeof set->reserved0), 0);
  EXPECT_EQ(std::memcmp(set->reserved2, zeros, sizeof set->reserved2), 0);
}

TEST_F(OsdRequestTest, MaskSetMarksOnlyListedChannels) {
  struct Case {
    std::string body;
    std::string targets;
    int areas_filled;
  } cases[] = {
      {R"({"cnt": 2, "chnid": [5, 70], "num": 1, "area": )" + mask_areas(2) + "}",
       std::string(5, '0') + "1" + std::string(58, '0'), 1},
      {R"({"cnt": 2000000000, "chnid": [0, 63], "num": -5, "mosaicNum": 2, "area": )" + mask_areas(3) + "}",
       "1" + std::string(62, '0') + "1", 2},
      {R"({"cnt": 3, "chnid": ["x", null, 1], "num": 99, "mosaicNum": 99, "area": [1, "x"]})",
       "01" + std::string(62, '0'), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    core_->clear_received();
    EXPECT_EQ(post("/6019", c.body).out, kOk);
    auto set = std::make_unique<PrivacyMaskSet>(record_from<PrivacyMaskSet>(only_message(*core_, kMaskSet.id).payload));
    EXPECT_EQ(std::string(set->targets, 64), c.targets);
    int filled = 0;
    for (const CameraMaskArea& a : set->areas) filled += a.enable;
    EXPECT_EQ(filled, c.areas_filled);
    EXPECT_EQ(set->del_mask, 0);
  }
  core_->clear_received();
  // An area that leaves its name out goes to the cameras without one.
  EXPECT_EQ(post("/6019", R"({"cnt": 1, "chnid": [1], "num": 1, "area": [{"enable": 1}]})").out, kOk);
  EXPECT_EQ(text_of(record_from<PrivacyMaskSet>(only_message(*core_, kMaskSet.id).payload).areas[0].name), "");
  core_->clear_received();
  expect_refused("/6019", R"({"chnid": [1], "area": []})");
  expect_refused("/6019", R"({"cnt": 1, "chnid": 1, "area": []})");
  expect_refused("/6019", R"({"cnt": 1, "chnid": [1], "area": {"a": 1}})");
  expect_refused("/6019", "{\"cnt\": 1, \"chnid\": [1], \"num\": 1, \"area\": [{\"enable\": 1, \"name\": \"\xff\"}]}");
}

// ---- /6115, /6116, /6173, /6198 --------------------------------------------------------------------

TEST_F(OsdRequestTest, CameraMasksReadPrintsNumPlusMosaicAreas) {
  auto mask = std::make_unique<CameraPrivacyMask>();
  *mask = CameraPrivacyMask{};
  mask->id = 3;
  mask->enable = 1;
  mask->num = 1;
  mask->cgi_sdk_flag = 1;
  std::strcpy(mask->sdkversion, "2.1");
  mask->max_ptz_zoom_ratio = 30;
  mask->area_enable = 1;
  std::strcpy(mask->color_list, "black");
  mask->areas[0] = {0, 1, 10, 20, 30, 40, 2, 5, "front"};
  mask->mosaic_num = 1;
  mask->areas[1] = {1, 0, 1, 2, 3, 4, 0, 0, ""};
  core_->reply(kCameraMaskRead.id, bytes_of(*mask));
  EXPECT_EQ(post("/6115", R"({"id": 3})").out,
            kJsonHeader +
                R"([ { "id": 3, "num": 1, "maxPtzZoomRatio": 30, "areaEnable": 1, "enable": 1, "sdkversion": "2.1", )"
                R"("cgiSdkFlag": 1, "colorList": "black", "mosaicSupport": 0, "mosaicNum": 1, "area": [ )"
                R"({ "area_id": 0, "enable": 1, "start_x": 10, "start_y": 20, "area_width": 30, "area_height": 40, )"
                R"("width": 460, "height": 260, "fill_color": 2, "left": 10, "top": 20, "right": 30, "bottom": 40, )"
                R"("ratio": 5, "name": "front" }, )"
                R"({ "area_id": 1, "enable": 0, "start_x": 1, "start_y": 2, "area_width": 3, "area_height": 4, )"
                R"("width": 460, "height": 260, "fill_color": 0, "left": 1, "top": 2, "right": 3, "bottom": 4, )"
                R"("ratio": 0, "name": "" } ] } ])");
  EXPECT_EQ(only_message(*core_, kCameraMaskRead.id).payload, int32s({3}));
}

TEST_F(OsdRequestTest, CameraMasksReadClampsCountsAndNeverTrustsTheReply) {
  auto mask = std::make_unique<CameraPrivacyMask>();
  *mask = CameraPrivacyMask{};
  mask->num = 20;
  mask->mosaic_num = 12;
  std::memset(mask->sdkversion, 'v', sizeof mask->sdkversion);  // unterminated
  auto second = std::make_unique<CameraPrivacyMask>(*mask);
  second->num = -100;
  second->mosaic_num = 2000000000;
  core_->reply(kCameraMaskRead.id, concat({bytes_of(*mask), bytes_of(*second), Bytes(100, 1)}));
  RunResult r = post("/6115", R"({"id": 0})");
  JsonPtr reply(json_tokener_parse(body_of(r.out).c_str()));
  ASSERT_NE(reply, nullptr) << r.out;
  ASSERT_EQ(json_object_array_length(reply.get()), 2u);  // the trailing partial record is ignored
  for (size_t i = 0; i < 2; ++i) {
    json_object* areas = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(json_object_array_get_idx(reply.get(), i), "area", &areas));
    EXPECT_EQ(json_object_array_length(areas), 28u);
  }
  EXPECT_NE(r.out.find("\"sdkversion\": \"" + std::string(32, 'v') + "\""), std::string::npos);

  // At most 64 records are read: the 64th is the last printed.
  Bytes many;
  for (int i = 0; i < 65; ++i) many = concat({many, bytes_of(*mask)});
  core_->reply(kCameraMaskRead.id, many);
  reply.reset(json_tokener_parse(body_of(post("/6115", R"({"id": 0})").out).c_str()));
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(json_object_array_length(reply.get()), 64u);

  core_->reply(kCameraMaskRead.id, Bytes(2823, 0));
  EXPECT_EQ(post("/6115", R"({"id": 0})").out, kCgiErrorText);
  core_->no_reply(kCameraMaskRead.id);
  EXPECT_EQ(post("/6115", R"({"id": 0})").out, kCgiErrorText);
}

TEST_F(OsdRequestTest, MaskResultAndRemoval) {
  core_->reply(kCameraMaskResult.id, int32s({5}));
  EXPECT_EQ(post("/6116", R"({"id": 2})").out, kJsonHeader + R"({ "result": 5 })");
  EXPECT_EQ(only_message(*core_, kCameraMaskResult.id).payload, int32s({2}));
  core_->no_reply(kCameraMaskResult.id);
  EXPECT_EQ(post("/6116", R"({"id": 2})").out, kCgiErrorText);

  core_->reply(kCameraMaskRemove.id, int32s({0}));
  EXPECT_EQ(post("/6198", R"({"chnid": 4, "maskid": 2})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(only_message(*core_, kCameraMaskRemove.id).payload, int32s({4, 2}));
  core_->no_reply(kCameraMaskRemove.id);
  EXPECT_EQ(post("/6198", R"({"chnid": 4, "maskid": 2})").out, kCgiErrorJson);
  // Without a channel the mask would go from channel 0.
  for (const char* body : {R"({"maskid": 2})", R"({"chnid": 4})", R"({"chnid": -1, "maskid": 2})",
                           R"({"chnid": 64, "maskid": 2})"}) {
    expect_refused("/6198", body);
  }
}

TEST_F(OsdRequestTest, MaskAreaRemovalChecksItsRanges) {
  EXPECT_EQ(post("/6173", R"({"chan_id": 63, "area_id": 24})").out, kOk);
  EXPECT_EQ(only_message(*core_, kMaskAreaRemove.id).payload, int32s({63, 24}));
  core_->clear_received();
  for (const char* body : {R"({"chan_id": 1, "area_id": 25})", R"({"chan_id": 64, "area_id": 1})",
                           R"({"chan_id": 1})", "nope"}) {
    expect_refused("/6173", body, kCgiErrorJson);
  }
}

}  // namespace
}  // namespace zvtest
