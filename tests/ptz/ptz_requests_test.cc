// PTZ requests through the real front end: exact replies, core payloads and operation-log
// records, refusals that leave the database and the core untouched, and core replies that cannot
// be trusted.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/oplog.h"
#include "common/messages/camera.h"
#include "common/messages/ptz.h"
#include "platform/zvdb/ptz_tables.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

class PtzRequestTest : public RequestTest {
 protected:
  PtzTourTable tours(int channel) {
    PtzTourTable t{};
    kPtzTourTables.read(kZvdbPath, &t, {channel});
    zvdb_close_all();
    return t;
  }
  CameraWebParam web_param() { return record_from<CameraWebParam>(only_message(*core_, kWebParamSet.id).payload); }
};

std::string with(std::string body, const std::string& from, const std::string& to) {
  return body.replace(body.find(from), from.size(), to);
}

// ---- /5000, /5001, /5008: moves, presets, the camera's speed ----------------------------------

TEST_F(PtzRequestTest, MoveSendsTheCommandThenTheSpeedAndLogs) {
  core_->reply(kWebParamSet.id, int32s({0}));
  const std::string body = R"({"channelId":1,"action":4,"panSpeed":6,"tiltSpeed":2,"zoomSpeed":3,"focusSpeed":4,"fisheyeType":0,"streamId":1})";
  EXPECT_EQ(post("/5000", body).out, kOk);
  PtzCommand expected{1, 4, 0, 6, 2, 3, 4, 0, {}, 0, 1};
  EXPECT_EQ(only_message(*core_, kPtzMove.id).payload, bytes_of(expected));
  const CameraWebParam p = web_param();
  EXPECT_EQ(p.channel, 1);
  EXPECT_EQ(text_of(p.httpname), "vsetting.html");
  EXPECT_EQ(text_of(p.pagename), "");
  EXPECT_EQ(text_of(p.key), "ptzspeed");
  EXPECT_EQ(text_of(p.value), "5");
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 900, 2}));
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1251, 3226, 3485}));
}

TEST_F(PtzRequestTest, MoveEndWithAutofocusSendsASecondCommand) {
  core_->reply(kWebParamSet.id, int32s({0}));
  EXPECT_EQ(post("/5000", R"({"channelId":0,"action":21,"isAutoFocus":1,"panSpeed":1})").out, kOk);
  settle();
  const auto moves = core_->received(kPtzMove.id);
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(int32_at(moves[0].payload, 4), 21);
  EXPECT_EQ(int32_at(moves[1].payload, 4), 12);
  core_->clear_received();
  EXPECT_EQ(post("/5000", R"({"channelId":0,"action":21,"isAutoFocus":0})").out, kOk);
  settle();
  EXPECT_EQ(core_->received(kPtzMove.id).size(), 1u);
}

TEST_F(PtzRequestTest, CameraSpeedCountsFromZero) {
  core_->reply(kWebParamSet.id, int32s({0}));
  const struct {
    int speed;
    const char* value;
  } rows[] = {{1, "0"}, {0, "1"}, {-3, "1"}, {10, "9"}};
  for (const auto& row : rows) {
    core_->clear_received();
    EXPECT_EQ(post("/5008", R"({"chn":3,"Speed":)" + std::to_string(row.speed) + "}").out, kOk);
    EXPECT_EQ(text_of(web_param().value), row.value) << row.speed;
    EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 4}));
  }
  // A speed the camera refused or never answered is no change: nothing is logged.
  core_->clear_received();
  core_->reply(kWebParamSet.id, int32s({-1}));
  EXPECT_EQ(post("/5008", R"({"chn":3,"Speed":2})").out, kTextHeader + "ERROR");
  core_->no_reply(kWebParamSet.id);
  EXPECT_EQ(post("/5008", R"({"chn":3,"Speed":2})").out, kCgiErrorText);
  settle();
  EXPECT_TRUE(core_->received(kMsgOpLog).empty());
  core_->clear_received();
  for (const char* bad : {R"({"Speed":2})", R"({"chn":64,"Speed":2})", R"({"chn":-1,"Speed":2})", R"({"chn":1})"}) {
    expect_refused("/5008", bad);
  }
}

TEST_F(PtzRequestTest, MoveRefusesChannelsBeyondTheDeviceAndNegativeActions) {
  for (const char* bad : {R"({"channelId":32,"action":1})", R"({"channelId":-1,"action":1})",
                          R"({"action":1})", R"({"channelId":1,"action":-1})", R"({"channelId":1})", "{"}) {
    expect_refused("/5000", bad);
  }
  core_->reply(kWebParamSet.id, int32s({0}));
  EXPECT_EQ(post("/5000", R"({"channelId":31,"action":0})").out, kOk);
}

const char kPreset[] = R"({"channelId":2,"action":22,"presetId":300,"name":"Gate","panSpeed":1,"tiltSpeed":1,"zoomSpeed":1,"focusSpeed":1,"fisheyeType":0,"streamId":0})";

TEST_F(PtzRequestTest, PresetSaveCarriesItsNameAndAnswersAtOnce) {
  EXPECT_EQ(post("/5001", kPreset).out, kOk);
  const PtzCommand sent = record_from<PtzCommand>(only_message(*core_, kPtzPreset.id).payload);
  EXPECT_EQ(sent.preset_id, 300);
  EXPECT_EQ(text_of(sent.name), "Gate");
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 3}));
  EXPECT_TRUE(core_->received(kWebParamSet.id).empty());

  core_->clear_received();
  EXPECT_EQ(post("/5001", with(kPreset, "\"Gate\"", "\"" + std::string(40, 'n') + "\"")).out, kOk);
  EXPECT_EQ(text_of(record_from<PtzCommand>(only_message(*core_, kPtzPreset.id).payload).name), std::string(30, 'n'));
  core_->clear_received();
  EXPECT_EQ(post("/5001", with(kPreset, "\"action\":22", "\"action\":23")).out, kOk);
  EXPECT_EQ(text_of(record_from<PtzCommand>(only_message(*core_, kPtzPreset.id).payload).name), "");
}

TEST_F(PtzRequestTest, FisheyePresetSaveSetsTheCameraAndWaits) {
  const std::string body = with(with(kPreset, "\"fisheyeType\":0", "\"fisheyeType\":1"), "\"streamId\":0", "\"streamId\":2");
  core_->reply(kWebParamSet.id, int32s({0}));
  EXPECT_EQ(post("/5001", body).out, kOk);
  const CameraWebParam p = web_param();
  EXPECT_EQ(p.channel, 2);
  EXPECT_EQ(text_of(p.key), "ipncptz=setfishpreset");
  EXPECT_EQ(text_of(p.value), "2:300:Gate");
  core_->no_reply(kWebParamSet.id);
  EXPECT_EQ(post("/5001", body).out, kCgiErrorText);
}

TEST_F(PtzRequestTest, PresetRefusals) {
  for (const auto& bad : {with(kPreset, "300", "301"), with(kPreset, "300", "-1"), with(kPreset, "\"presetId\":300,", ""),
                          with(kPreset, "\"panSpeed\":1", "\"panSpeed\":-1"), with(kPreset, "\"focusSpeed\":1,", ""),
                          with(kPreset, "Gate", "Ga\\nte"), with(kPreset, "Gate", "Ga\\rte"),
                          with(kPreset, "Gate", "Ga\\u0000te"), with(kPreset, "\"channelId\":2", "\"channelId\":32")}) {
    expect_refused("/5001", bad);
  }
  expect_required("/5001", kPreset, {"channelId", "action", "presetId", "panSpeed", "tiltSpeed", "zoomSpeed", "focusSpeed"});
}

// ---- /5006, /5007, /5009-/5012: small commands and the status block ---------------------------

TEST_F(PtzRequestTest, FocusAndZoomAreToldAndLogged) {
  EXPECT_EQ(post("/5006", R"({"channelId":5,"action":7})").out, kOk);
  EXPECT_EQ(only_message(*core_, kPtzFocus.id).payload, int32s({5, 7}));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 900, 6}));
  core_->clear_received();
  EXPECT_EQ(post("/5007", R"({"camId":6,"Zoom":-1,"ZoomSpeed":3})").out, kOk);
  EXPECT_EQ(only_message(*core_, kPtzZoom.id).payload, int32s({6, -1, 3}));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 900, 7}));
  expect_refused("/5006", R"({"action":7})");
  expect_refused("/5006", R"({"channelId":5})");
  expect_refused("/5006", R"({"channelId":64,"action":7})");
  expect_refused("/5007", R"({"Zoom":1})");
}

TEST_F(PtzRequestTest, CameraCommandAndStateAnswerJson) {
  core_->reply(kPtzCameraCommand.id, int32s({-2}));
  EXPECT_EQ(post("/5009", R"({"chnid":63,"ptzCmd":9})").out, kJsonHeader + R"({ "res": -2 })");
  EXPECT_EQ(only_message(*core_, kPtzCameraCommand.id).payload, int32s({63, 9}));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 64}));
  core_->reply(kPtzCameraState.id, int32s({4, 1}));
  core_->clear_received();
  EXPECT_EQ(post("/5010", R"({"chnid":4})").out, kJsonHeader + R"({ "chnid": 4, "status": 1 })");
  settle();
  EXPECT_TRUE(core_->received(kMsgOpLog).empty());
  core_->clear_received();
  for (const char* id : {"/5009", "/5010"}) {
    expect_refused(id, R"({"chnid":64,"ptzCmd":1})", kCgiErrorJson);
    expect_refused(id, R"({"chnid":-1,"ptzCmd":1})", kCgiErrorJson);
    expect_refused(id, "x", kCgiErrorJson);
  }
  core_->no_reply(kPtzCameraState.id);
  EXPECT_EQ(post("/5010", R"({"chnid":4})").out, kCgiErrorJson);
}

TEST_F(PtzRequestTest, StatusBlockReadsAndWritesOverTheCamerasValues) {
  std::vector<int32_t> words;
  for (int i = 0; i < 17; ++i) words.push_back(i == 0 ? 5 : i * 10);  // the camera's own status word 5
  Bytes block;
  for (int32_t w : words) {
    const Bytes b = int32s({w});
    block.insert(block.end(), b.begin(), b.end());
  }
  core_->reply(kPtzStatusRead.id, block);
  EXPECT_EQ(post("/5011", R"({"chnId":3})").out,
            kJsonHeader + R"({ "status": 5, "chnId": 10, "zoomStatus": 20, "panTiltStatus": 30, "presetStatus": 40, )"
                          R"("patrolStatus": 50, "patternStatus": 60, "autoScanStatus": 70, "presetFreezing": 80, )"
                          R"("presetSpeed": 90, "manualSpeed": 100, "patrolRecovering": 110, "patrolRecoveryTime": 120, )"
                          R"("focusMode": 130, "minFocusDistance": 140, "resumeTime": 150, "fanWorkingMode": 160 })");
  EXPECT_EQ(only_message(*core_, kPtzStatusRead.id).payload, int32s({3}));

  core_->reply(kPtzStatusSet.id, int32s({0}));
  core_->clear_received();
  EXPECT_EQ(post("/5012", R"({"chnId":3,"zoomStatus":7,"fanWorkingMode":1,"channelMask":"0101"})").out,
            kJsonHeader + R"({ "status": 0 })");
  const auto sent = std::make_unique<PtzStatusWrite>(record_from<PtzStatusWrite>(only_message(*core_, kPtzStatusSet.id).payload));
  EXPECT_EQ(sent->block.status, 0);
  EXPECT_EQ(sent->block.chn_id, 3);
  EXPECT_EQ(sent->block.zoom_status, 7);
  EXPECT_EQ(sent->block.pan_tilt_status, 30);  // the camera's value, not carried
  EXPECT_EQ(sent->block.fan_working_mode, 1);
  EXPECT_EQ(std::string(sent->channel_mask, sizeof sent->channel_mask), "0101" + std::string(64, '\0'));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 4}));

  core_->clear_received();
  EXPECT_EQ(post("/5012", R"({"chnId":2})").out, kJsonHeader + R"({ "status": 0 })");
  EXPECT_EQ(text_of(record_from<PtzStatusWrite>(only_message(*core_, kPtzStatusSet.id).payload).channel_mask), "001");
  core_->clear_received();
  EXPECT_EQ(post("/5012", R"({"chnId":2,"channelMask":")" + std::string(64, '1') + "\"}").out,
            kJsonHeader + R"({ "status": 0 })");
  const PtzStatusWrite all = record_from<PtzStatusWrite>(only_message(*core_, kPtzStatusSet.id).payload);
  EXPECT_EQ(std::string(all.channel_mask, sizeof all.channel_mask), std::string(64, '1') + std::string(4, '\0'));
  core_->clear_received();
  for (const auto& bad : {std::string(R"({"chnId":2,"channelMask":"01x"})"),
                          R"({"chnId":2,"channelMask":")" + std::string(65, '1') + "\"}", std::string(R"({"zoomStatus":1})"),
                          std::string(R"({"chnId":64})")}) {
    expect_refused("/5012", bad, kCgiErrorJson);
  }
  expect_refused("/5011", R"({"chnId":64})", kCgiErrorJson);
  expect_refused("/5011", R"({"chnId":-1})", kCgiErrorJson);
  core_->reply(kPtzStatusRead.id, Bytes(67, 0));  // one byte short: not a status block
  EXPECT_EQ(post("/5011", R"({"chnId":3})").out, kCgiErrorJson);
}

// ---- /6050-/6054: ports and stored speeds -------------------------------------------------------

const char kPort[] = R"({"cnt":2,"chnid":[2,70],"connectType":1,"baudRate":4800,"dataBits":7,"stopBits":2,"parityType":2,"protocol":13,"address":9})";

TEST_F(PtzRequestTest, PortSetWritesListedChannelsOnly) {
  EXPECT_EQ(post("/6050", R"({"chnid":2})").out,
            kJsonHeader + R"({ "camId": 2, "connectType": 0, "baudRate": 9600, "dataBits": 8, "stopBits": 1, "parityType": 0, "protocol": 0, "address": 3 })");
  EXPECT_EQ(post("/6051", kPort).out, kOk);
  EXPECT_EQ(post("/6050", R"({"chnid":2})").out,
            kJsonHeader + R"({ "camId": 2, "connectType": 1, "baudRate": 4800, "dataBits": 7, "stopBits": 2, "parityType": 2, "protocol": 13, "address": 9 })");
  EXPECT_EQ(only_message(*core_, kPtzPortChanged.id).payload, int32s({2}));
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 3}));

  // A partial set keeps what it does not carry; a repeated channel is written and told once.
  core_->clear_received();
  EXPECT_EQ(post("/6051", R"({"cnt":3,"chnid":[2,"x",2],"address":4})").out, kOk);
  EXPECT_EQ(post("/6050", R"({"chnid":2})").out,
            kJsonHeader + R"({ "camId": 2, "connectType": 1, "baudRate": 4800, "dataBits": 7, "stopBits": 2, "parityType": 2, "protocol": 13, "address": 4 })");
  settle();
  EXPECT_EQ(core_->received(kPtzPortChanged.id).size(), 1u);
  // The count bounds the list; a missing list is refused.
  core_->clear_received();
  const std::string before = dump();
  EXPECT_EQ(post("/6051", R"({"cnt":0,"chnid":[5],"address":1})").out, kOk);
  EXPECT_EQ(post("/6051", R"({"cnt":1,"address":1})").out, "");
  EXPECT_EQ(dump(), before);
  settle();
  EXPECT_TRUE(core_->received().empty());
}

TEST_F(PtzRequestTest, PortRefusals) {
  for (const auto& bad : {with(kPort, "\"dataBits\":7", "\"dataBits\":9"), with(kPort, "\"dataBits\":7", "\"dataBits\":4"),
                          with(kPort, "\"parityType\":2", "\"parityType\":3"), with(kPort, "\"parityType\":2", "\"parityType\":-1"),
                          with(kPort, "\"connectType\":1", "\"connectType\":2"), with(kPort, "\"protocol\":13", "\"protocol\":14"),
                          with(kPort, "\"connectType\":1", "\"connectType\":-1"), with(kPort, "\"protocol\":13", "\"protocol\":-1"),
                          with(kPort, "\"baudRate\":4800", "\"baudRate\":-1"), with(kPort, "\"address\":9", "\"address\":-1"),
                          with(kPort, "\"stopBits\":2", "\"stopBits\":-1"), with(kPort, "\"cnt\":2,", ""),
                          with(kPort, "[2,70]", "2")}) {
    expect_refused("/6051", bad);
  }
  for (const char* bad : {R"({"chnid":8})", R"({"chnid":-1})", R"({})"}) expect_refused("/6050", bad, kCgiErrorJson);
}

TEST_F(PtzRequestTest, PortCheckPrintsTheCoresAnswer) {
  const struct {
    int32_t answer;
    const char* printed;
  } rows[] = {{-1, "-1"}, {0, "0"}, {5, "0"}};
  for (const auto& row : rows) {
    core_->reply(kPtzPortCheck.id, int32s({row.answer}));
    EXPECT_EQ(post("/6052", R"({"camId":7})").out, kTextHeader + row.printed);
  }
  EXPECT_EQ(only_message(*core_, kPtzPortCheck.id).payload, int32s({7}));
  core_->no_reply(kPtzPortCheck.id);
  EXPECT_EQ(post("/6052", R"({"camId":7})").out, kCgiErrorText);
  core_->clear_received();
  expect_refused("/6052", R"({"camId":64})");
  expect_refused("/6052", R"({"camId":-1})");
}

TEST_F(PtzRequestTest, SpeedsKeepWhatASetLeavesOut) {
  EXPECT_EQ(post("/6053", R"({"camId":63})").out,
            kJsonHeader + R"({ "pan_speed": 5, "tilt_speed": 5, "zoom_speed": 5, "foucs_speed": 5 })");
  EXPECT_EQ(post("/6054", R"({"camId":63,"pan_speed":1,"foucs_speed":9})").out, kOk);
  EXPECT_EQ(post("/6053", R"({"camId":63})").out,
            kJsonHeader + R"({ "pan_speed": 1, "tilt_speed": 5, "zoom_speed": 5, "foucs_speed": 9 })");
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 64}));
  expect_refused("/6053", R"({"camId":64})");
  expect_refused("/6054", R"({"camId":64,"pan_speed":1})");
  expect_refused("/6054", R"({"pan_speed":1})");
  expect_refused("/6054", R"({"camId":1,"tilt_speed":-1})");
}

// ---- /6055-/6057, /5002-/5005: tours and the listing ------------------------------------------

std::string path_of(int points) {
  std::string out = "[";
  for (int i = 0; i < points; ++i) {
    out += (i ? "," : "") + std::string(R"({"preset":)") + std::to_string(i + 1) + R"(,"speed":)" +
           std::to_string(i + 2) + R"(,"time":)" + std::to_string(i + 3) + "}";
  }
  return out + "]";
}

TEST_F(PtzRequestTest, TourSaveStoresAndShorteningLeavesNoStalePoint) {
  EXPECT_EQ(post("/6055", R"({"chn":4,"tourid":1,"rowsize":48,"path":)" + path_of(49) + "}").out, kOk);
  PtzTourTable t = tours(4);
  EXPECT_EQ(t.tours[0].points[47].preset, 48);
  EXPECT_EQ(t.tours[0].points[47].time, 50);
  EXPECT_EQ(t.tours[0].points[47].speed, 49);
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 5}));

  core_->clear_received();
  EXPECT_EQ(post("/6055", R"({"chn":4,"tourid":1,"rowsize":2,"path":)" + path_of(3) + "}").out, kOk);
  t = tours(4);
  EXPECT_EQ(t.tours[0].points[1].preset, 2);
  for (int i = 2; i < kPtzTourPoints; ++i) EXPECT_EQ(t.tours[0].points[i].preset, 0) << i;
  PtzTourSave expected{4, 1, 2, t.tours[0]};
  EXPECT_EQ(only_message(*core_, kPtzTourSaved.id).payload, bytes_of(expected));
  EXPECT_EQ(t.tours[1].points[0].preset, 0);

  const std::string good = R"({"chn":4,"tourid":8,"rowsize":2,"path":)" + path_of(2) + "}";
  for (const auto& bad : {with(good, "\"tourid\":8", "\"tourid\":9"), with(good, "\"tourid\":8", "\"tourid\":0"),
                          with(good, "\"rowsize\":2", "\"rowsize\":-1"),
                          with(good, "\"chn\":4", "\"chn\":64"), with(good, "\"chn\":4,", ""),
                          with(good, "\"preset\":2", "\"preset\":301"), with(good, "\"time\":4", "\"time\":-1"),
                          std::string(R"({"chn":4,"tourid":8,"rowsize":0})")}) {
    expect_refused("/6055", bad);
    expect_refused("/6056", bad);
  }
  expect_refused("/6055", R"({"chn":4,"tourid":1,"rowsize":49,"path":)" + path_of(49) + "}");

  // A "rowsize" past the path takes the path; an element that is no object is skipped and the
  // key points close up; the number read is sent.
  core_->clear_received();
  EXPECT_EQ(post("/6055", R"({"chn":4,"tourid":3,"rowsize":4,"path":[{"preset":7,"time":1,"speed":1},5,)"
                          R"({"preset":9,"time":2,"speed":2}]})")
                .out,
            kOk);
  const PtzTourSave sent = record_from<PtzTourSave>(only_message(*core_, kPtzTourSaved.id).payload);
  EXPECT_EQ(sent.rowsize, 2);
  EXPECT_EQ(sent.tour.points[0].preset, 7);
  EXPECT_EQ(sent.tour.points[1].preset, 9);
  EXPECT_EQ(sent.tour.points[2].preset, 0);
  EXPECT_EQ(tours(4).tours[2].points[1].preset, 9);
}

TEST_F(PtzRequestTest, FisheyeTourIsSentNotStored) {
  const std::string before = dump();
  EXPECT_EQ(post("/6056", R"({"chn":3,"tourid":2,"streamId":5,"rowsize":2,"path":)" + path_of(2) + "}").out, kOk);
  EXPECT_EQ(dump(), before);
  auto sent = std::make_unique<PtzFisheyeTourSave>(
      record_from<PtzFisheyeTourSave>(only_message(*core_, kPtzFisheyeTourSaved.id).payload));
  EXPECT_EQ(sent->chn, 3);
  EXPECT_EQ(sent->stream_id, 5);
  EXPECT_EQ(sent->tour_index, 1);
  EXPECT_EQ(sent->tours[1].presets[1], 2);
  EXPECT_EQ(sent->tours[1].speeds[1], 3);
  EXPECT_EQ(sent->tours[1].times[1], 4);
  EXPECT_EQ(sent->tours[1].presets[2], 0);
  EXPECT_EQ(sent->tours[0].presets[0], 0);
  EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 4}));
}

TEST_F(PtzRequestTest, TourClearAndTourCommands) {
  ASSERT_EQ(post("/6055", R"({"chn":4,"tourid":3,"rowsize":2,"path":)" + path_of(2) + "}").out, kOk);
  const struct {
    const char* id;
    int32_t message;
    int32_t param;
  } rows[] = {{"/6057", kPtzTourClear.id, 904}, {"/5002", kPtzTourStart.id, 900}, {"/5003", kPtzTourStop.id, 900}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    core_->clear_received();
    EXPECT_EQ(post(row.id, R"({"chn":4,"tourid":3,"fisheyeType":1,"streamId":2})").out, kOk);
    EXPECT_EQ(only_message(*core_, row.message).payload, int32s({4, 3, 0, 0, 0, 0, 1, 2}));
    EXPECT_EQ(log_record(), (std::vector<int32_t>{206, row.param, 5}));
    for (const char* bad : {R"({"chn":4,"tourid":9})", R"({"chn":4,"tourid":0})", R"({"chn":64,"tourid":1})", R"({"tourid":1})",
                            R"({"chn":4})"}) {
      expect_refused(row.id, bad);
    }
  }
  // A fisheye view's tour is the core's: the camera's stored tour 3 stays; without the view it goes.
  EXPECT_EQ(tours(4).tours[2].points[0].preset, 1);
  EXPECT_EQ(post("/6057", R"({"chn":4,"tourid":3,"fisheyeType":0})").out, kOk);
  EXPECT_EQ(tours(4).tours[2].points[0].preset, 0);
}

TEST_F(PtzRequestTest, TourActionsMapToTheCoresCodes) {
  const int32_t codes[] = {26, 21, 25, 27, 40, 0, 0};
  const int32_t actions[] = {0, 1, 2, 3, 4, 5, -1};
  for (size_t i = 0; i < std::size(actions); ++i) {
    core_->clear_received();
    EXPECT_EQ(post("/5004", R"({"action":)" + std::to_string(actions[i]) + R"(,"chn":9,"tourid":8})").out, kOk);
    Bytes expected = int32s({9, codes[i], 8});
    expected.resize(72, 0);
    EXPECT_EQ(only_message(*core_, kPtzTourRun.id).payload, expected);
    EXPECT_EQ(log_record(), (std::vector<int32_t>{206, 904, 10}));
  }
  for (const char* bad : {R"({"chn":9,"tourid":8})", R"({"action":1,"tourid":8})", R"({"action":1,"chn":9})",
                          R"({"action":1,"chn":9,"tourid":9})", R"({"action":1,"chn":9,"tourid":0})",
                          R"({"action":1,"chn":64,"tourid":8})", R"({"action":1,"chn":-1,"tourid":8})"}) {
    expect_refused("/5004", bad);
  }
}

TEST_F(PtzRequestTest, ListingPrintsPresetsToursAndStatus) {
  auto l = std::make_unique<PtzListing>();
  *l = PtzListing{};
  l->presets[0].enable = 1;
  std::memcpy(l->presets[0].name, "Door", 4);
  std::memset(l->presets[1].name, 'z', sizeof l->presets[1].name);  // unterminated: 32 characters
  l->tours[0].presets[0] = 3;
  l->tours[0].presets[1] = 4;
  l->tours[0].presets[3] = 9;  // after the empty third point: not listed
  l->tours[0].speeds[0] = 5;
  l->tours[0].times[0] = 6;
  l->patterns[3] = 1;
  l->autoscan_status[4] = 7;
  l->tour_status[4][7] = 8;
  core_->reply(kPtzListing.id, bytes_of(*l));
  const std::string out = post("/5005", R"({"chn":1})").out;
  const std::string head = kJsonHeader + R"({ "status": "OK", "PRESET": [ { "enable": 1, "name": "Door" }, { "enable": 0, "name": ")" +
                           std::string(32, 'z') + R"(" }, { )";
  EXPECT_EQ(out.substr(0, head.size()), head);
  EXPECT_NE(out.find(R"("TOUR": [ [ { "preset_id": 3, "speed": 5, "timeout": 6 }, { "preset_id": 4, "speed": 0, "timeout": 0 } ], [ ], )"),
            std::string::npos);
  EXPECT_NE(out.find(R"("PATTERN": [ { "enable": 0 }, { "enable": 0 }, { "enable": 0 }, { "enable": 1 } ], "autoscan_status": [ 0, 0, 0, 0, 7 ], )"),
            std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 30), R"([ 0, 0, 0, 0, 0, 0, 0, 8 ] ] })");
  EXPECT_EQ(only_message(*core_, kPtzListing.id).payload, int32s({1}));

  core_->clear_received();
  core_->reply(kPtzViewListing.id, bytes_of(*l));
  EXPECT_EQ(post("/5005", R"({"chn":1,"fisheyeType":1,"streamId":3})").out, out);
  EXPECT_EQ(only_message(*core_, kPtzViewListing.id).payload, int32s({1, 3}));

  for (const Bytes& bad : {Bytes{}, Bytes(15603, 0)}) {
    core_->reply(kPtzListing.id, bad);
    EXPECT_EQ(post("/5005", R"({"chn":1})").out, kJsonHeader + R"({ "status": "Error" })");
  }
  core_->no_reply(kPtzListing.id);
  EXPECT_EQ(post("/5005", R"({"chn":1})").out, kCgiErrorJson);
  core_->clear_received();
  expect_refused("/5005", R"({"chn":64})");
  expect_refused("/5005", R"({"fisheyeType":1})");
}

}  // namespace
}  // namespace zvtest
