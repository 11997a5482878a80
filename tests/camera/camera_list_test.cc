// The camera list through the real front end: add, edit, read, delete, login and transport,
// catalogue, names and live status; exact replies, messages and operation-log records, and
// refusals that leave the database unchanged.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "common/web_utils.h"
#include "platform/zvdb/engine.h"
#include "tests/camera/camera_fixture.h"

namespace zvtest {
namespace {

using CameraListTest = CameraTest;

// The members of an add request, as raw JSON values, in the order the page sends them.
using Members = std::vector<std::pair<std::string, std::string>>;
const Members kAddMembers = {
    {"id", "5"}, {"name", "\"Gate\""}, {"minorid", "3"}, {"enable", "1"}, {"ipAddr", "\"192.168.1.64\""},
    {"managePort", "8080"}, {"camProtocol", "0"}, {"userName", "\"cam\""}, {"password", "\"secret\""},
    {"transmitProtocol", "1"}, {"enableSubStream", "1"}, {"syncTime", "1"}, {"ddns", "\"gate.example\""},
    {"mac_addr", "\"02:00:00:00:00:05\""}, {"poechannel", "2"}, {"physicalport", "3"}, {"otherPoe", "1"},
    {"mainRtspPort", "1554"}, {"mainSourcePath", "\"/main\""},
};

// The add request with some members changed (added when new, removed when the value is empty).
std::string camera_body(const Members& changes = {}) {
  Members members = kAddMembers;
  for (const auto& [key, value] : changes) {
    auto it = std::find_if(members.begin(), members.end(), [&](const auto& m) { return m.first == key; });
    if (value.empty()) {
      if (it != members.end()) members.erase(it);
    } else if (it != members.end()) {
      it->second = value;
    } else {
      members.emplace_back(key, value);
    }
  }
  std::string body = "{";
  for (const auto& [key, value] : members) body += (body.size() > 1 ? ", \"" : "\"") + key + "\": " + value;
  return body + "}";
}
std::string add_body(const std::string& key, const std::string& value) { return camera_body({{key, value}}); }
const std::string kAddBody = camera_body();

TEST_F(CameraListTest, AddStoresTheCameraNotifiesAndLogs) {
  EXPECT_EQ(post("/2004", kAddBody).out, kOk);
  const CameraRecord c = camera(5);
  EXPECT_EQ(c.id, 5);
  EXPECT_EQ(c.enable, 1);
  EXPECT_EQ(c.minor_id, 3);
  EXPECT_EQ(text_of(c.ip_addr), "192.168.1.64");
  EXPECT_EQ(c.manage_port, 8080);
  EXPECT_EQ(text_of(c.user_name), "cam");
  EXPECT_EQ(text_of(c.password), "secret");
  EXPECT_EQ(c.transmit_protocol, 1);
  EXPECT_EQ(c.enable_sub_stream, 1);
  EXPECT_EQ(c.sync_time, 1);
  EXPECT_EQ(text_of(c.ddns), "gate.example");
  EXPECT_EQ(text_of(c.mac_addr), "02:00:00:00:00:05");
  EXPECT_EQ(c.poe_channel, 2);
  EXPECT_EQ(c.physical_port, 3);
  EXPECT_EQ(c.main_rtsp_port, 554) << "RTSP members are taken only for the RTSP protocol";
  EXPECT_EQ(text_of(osd(5).cam_name), "Gate");

  core_->wait_for(kMsgOpLog, 1);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1201, 1206, 3485}));
  EXPECT_EQ(only_message(*core_, 1201).payload, int32s({5}));
  EXPECT_EQ(only_message(*core_, 1206).payload, int32s({5, 1}));
  const LoggedChange log = logged_change(only_message(*core_, kMsgOpLog).payload);
  EXPECT_EQ(log.record.main_type, 4);
  EXPECT_EQ(log.record.sub_type, 210);
  EXPECT_EQ(log.record.param_type, 901);
  EXPECT_EQ(log.record.channel, 6);
  EXPECT_EQ(log.record.remote, 1);
  EXPECT_EQ(text_of(log.record.user), "admin");
  EXPECT_EQ(text_of(log.record.remote_address), "192.0.2.7");
  EXPECT_EQ(log.detail_kind, 111);
  EXPECT_EQ(log.detail_length, 176);
  CameraLogDetail expected{};
  expected.action = 901;
  std::strcpy(expected.ip_addr, "192.168.1.64");
  expected.manage_port = 8080;
  expected.channel = 6;
  std::strcpy(expected.protocol, "ONVIF");
  std::strcpy(expected.transport, "TCP");
  expected.sync_time = 1;
  EXPECT_EQ(bytes_of(log.detail), bytes_of(expected));
}

TEST_F(CameraListTest, AddDefaultsForAbsentMembers) {
  EXPECT_EQ(post("/2004", add_body("mac_addr", "")).out, kOk);
  EXPECT_EQ(text_of(camera(5).mac_addr), "") << "an absent MAC address is stored empty";
  EXPECT_EQ(post("/2004", add_body("ddns", "")).out, kOk);
  EXPECT_EQ(text_of(camera(5).ddns), "(null)") << "other absent texts are stored as (null)";
  core_->clear_received();
  EXPECT_EQ(post("/2004", add_body("otherPoe", "2")).out, kOk);
  EXPECT_EQ(only_message(*core_, 1206).payload, int32s({5, 0}));
}

TEST_F(CameraListTest, RtspMembersAreTakenOnlyForTheRtspProtocol) {
  const std::string rtsp = R"({"id": 1, "name": "R", "enable": 1, "ipAddr": "10.0.0.1", "managePort": 80,
      "camProtocol": 1, "transmitProtocol": 0, "mainRtspPort": 1554, "mainSourcePath": "/live/main",
      "subRtspPort": 1555, "subSourcePath": "/live/sub", "mainrtspurl": "rtsp://10.0.0.1/main"})";
  std::string high_port = rtsp;
  expect_refused("/2004", high_port.replace(high_port.find("1555"), 4, "65536"), "");
  EXPECT_EQ(post("/2004", rtsp).out, kOk);
  CameraRecord c = camera(1);
  EXPECT_EQ(c.main_rtsp_port, 1554);
  EXPECT_EQ(text_of(c.main_source_path), "/live/main");
  EXPECT_EQ(c.sub_rtsp_port, 1555);
  EXPECT_EQ(text_of(c.sub_source_path), "/live/sub");
  EXPECT_EQ(text_of(c.main_rtsp_url), "rtsp://10.0.0.1/main");
  EXPECT_EQ(text_of(c.sub_rtsp_url), "(null)");
  std::string onvif = rtsp;
  onvif.replace(onvif.find("\"camProtocol\": 1"), 16, "\"camProtocol\": 0");
  onvif.replace(onvif.find("1554"), 4, "9999");
  EXPECT_EQ(post("/2003", onvif).out, kOk);
  EXPECT_EQ(camera(1).main_rtsp_port, 1554) << "an ONVIF edit keeps the stored RTSP fields";
}

TEST_F(CameraListTest, EditKeepsTheLoginUnlessTypeIsZero) {
  ASSERT_EQ(post("/2004", kAddBody).out, kOk);
  core_->clear_received();
  const std::string edit =
      camera_body({{"userName", "\"new\""}, {"type", "1"}, {"name", "\"Yard\""}, {"ipAddr", "\"192.168.1.65\""}});
  EXPECT_EQ(post("/2003", edit).out, kOk);
  CameraRecord c = camera(5);
  EXPECT_EQ(text_of(c.user_name), "cam") << "type 1 keeps the stored login";
  EXPECT_EQ(text_of(c.ip_addr), "192.168.1.65");
  EXPECT_EQ(text_of(c.mac_addr), "02:00:00:00:00:05") << "an edit keeps the PoE fields";
  EXPECT_EQ(text_of(osd(5).cam_name), "Yard");
  core_->wait_for(kMsgOpLog, 1);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1203, 3485}));
  const LoggedChange log = logged_change(only_message(*core_, kMsgOpLog).payload);
  EXPECT_EQ(log.record.sub_type, 204);
  EXPECT_EQ(log.record.param_type, 903);
  EXPECT_EQ(log.detail.action, 903);
  EXPECT_EQ(text_of(log.detail.ip_addr), "192.168.1.65");

  EXPECT_EQ(post("/2003", add_body("userName", "\"new\"")).out, kOk);
  EXPECT_EQ(text_of(camera(5).user_name), "new") << "an absent type counts as 0";
}

// An edit or transport set that leaves a member out keeps its stored value (it was stored as 0,
// or as "(null)" for a text).
TEST_F(CameraListTest, EditsKeepTheMembersTheyDoNotCarry) {
  const struct {
    const char* path;
    std::string body;
  } rows[] = {
      {"/2003", camera_body({{"enableSubStream", ""}, {"syncTime", ""}, {"ddns", ""}, {"minorid", ""}})},
      {"/2003", camera_body({{"type", "0"}, {"userName", ""}, {"password", ""}})},
      {"/2031", R"({"id": 5, "transmitProtocol": 0})"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.body);
    ASSERT_EQ(post("/2004", kAddBody).out, kOk);
    ASSERT_EQ(post(r.path, r.body).out, kOk);
    const CameraRecord c = camera(5);
    EXPECT_EQ(c.enable_sub_stream, 1);
    EXPECT_EQ(c.sync_time, 1);
    EXPECT_EQ(c.minor_id, 3);
    EXPECT_EQ(text_of(c.ddns), "gate.example");
    EXPECT_EQ(text_of(c.user_name), "cam");
    EXPECT_EQ(text_of(c.password), "secret");
  }
}

TEST_F(CameraListTest, DetailNamesProtocolAndTransport) {
  struct Case {
    int protocol;
    int transport;
    const char* protocol_name;
    const char* transport_name;
  };
  const Case cases[] = {{0, 0, "ONVIF", "UDP"}, {1, 1, "RTSP", "TCP"}, {2, 2, "ZVSF", "TCP"},
                        {5, 0, "ZVSF", "UDP"},  {7, 1, "ZVSF", "TCP"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocol);
    core_->clear_received();
    const std::string body = camera_body({{"camProtocol", std::to_string(c.protocol)},
                                          {"transmitProtocol", std::to_string(c.transport)}});
    ASSERT_EQ(post("/2003", body).out, kOk);
    const LoggedChange log = logged_change(only_message(*core_, kMsgOpLog).payload);
    EXPECT_EQ(text_of(log.detail.protocol), c.protocol_name);
    EXPECT_EQ(text_of(log.detail.transport), c.transport_name);
  }
}

TEST_F(CameraListTest, ProtocolSevenNeedsNoAddress) {
  const std::string body = camera_body({{"camProtocol", "7"}, {"ipAddr", ""}, {"managePort", ""}});
  EXPECT_EQ(post("/2004", body).out, kOk) << body;
  EXPECT_EQ(text_of(camera(5).ip_addr), "(null)");
  EXPECT_EQ(camera(5).manage_port, 0);
}

TEST_F(CameraListTest, InvalidCamerasAreRefusedWithoutAChange) {
  const std::string refused[] = {
      add_body("id", "65"),           add_body("id", "-1"),          add_body("id", ""),
      add_body("name", ""),           add_body("name", "7"),         add_body("enable", "2"),
      add_body("enable", ""),         add_body("camProtocol", "8"),  add_body("camProtocol", "-1"),
      add_body("ipAddr", ""),         add_body("ipAddr", "1"),       add_body("managePort", ""),
      add_body("managePort", "-1"),   add_body("managePort", "65536"), add_body("transmitProtocol", "3"),
      add_body("transmitProtocol", ""), add_body("minorid", "10000000000"),
      "not json",                     "",                            "[1, 2]",
  };
  for (const std::string& body : refused) {
    expect_refused("/2004", body, "");
    expect_refused("/2003", body, "");
  }
}

TEST_F(CameraListTest, ChannelSixtyFourIsStoredWithoutAnOsdName) {
  EXPECT_EQ(post("/2004", add_body("id", "64")).out, kOk);
  EXPECT_EQ(camera(64).id, 64);
  EXPECT_EQ(text_of(camera(64).ip_addr), "192.168.1.64");
  EXPECT_EQ(only_message(*core_, 1201).payload, int32s({64}));
  EXPECT_EQ(logged_change(only_message(*core_, kMsgOpLog).payload).record.channel, 65);
  const std::string after = dump();
  EXPECT_EQ(after.find("osd 64,"), std::string::npos);
}

TEST_F(CameraListTest, ReadPrintsTheStoredCamera) {
  CameraRecord c{};
  c.id = 4;
  c.enable = 1;
  std::strcpy(c.ip_addr, "10.1.1.4");
  c.manage_port = 81;
  c.cam_protocol = 3;
  std::strcpy(c.user_name, "u");
  std::strcpy(c.password, "p\"w");
  c.transmit_protocol = 1;
  c.main_rtsp_port = 10;
  std::strcpy(c.main_source_path, "/m");
  c.enable_sub_stream = 1;
  c.sub_rtsp_port = 11;
  std::strcpy(c.sub_source_path, "/s");
  c.sync_time = 1;
  std::strcpy(c.main_rtsp_url, "rtsp://a");
  std::strcpy(c.sub_rtsp_url, "rtsp://b");
  c.physical_port = 7;
  c.poe_channel = 6;
  std::strcpy(c.mac_addr, "02:00:00:00:00:04");
  c.minor_id = 9;
  std::memset(c.ddns, 'd', sizeof c.ddns);  // the database keeps 63 characters and the terminator
  store_camera(c);
  IpcModelRecord model{.id = 3, .protocol = 6, .name = "M", .alarm_type = 0, .default_model = 0};
  ASSERT_EQ(write_ipc_model(kZvdbPath, &model), 0);
  zvdb_close_all();

  EXPECT_EQ(post("/2000", R"({"chnid": 4})").out,
            kJsonHeader + R"({ "id": 4, "name": "CAM5", "ipAddr": "10.1.1.4", "managePort": 81, "protocol": 6, )"
                          R"("model": 3, "userName": "u", "password": "p\"w", "transmitProtocol": 1, )"
                          R"("mainRtspPort": 10, "mainSourcePath": "\/m", "subRtspEnable": 1, "subRtspPort": 11, )"
                          R"("subSourcePath": "\/s", "syncTime": 1, "mainRtspUrl": "rtsp:\/\/a", )"
                          R"("subRtspUrl": "rtsp:\/\/b", "physicalport": 7, "poechannel": 6, )"
                          R"("mac_addr": "02:00:00:00:00:04", "minorid": 9, "ddns": ")" +
                std::string(63, 'd') + R"(" })");
}

TEST_F(CameraListTest, ReadAndDeleteServeChannelsZeroToSeven) {
  for (const char* id : {"/2000", "/2005"}) {
    for (const char* body : {R"({"chnid": 8})", R"({"chnid": -1})", R"({})", "nope", R"({"chnid": "x"})"}) {
      expect_refused(id, body, kCgiErrorJson);
    }
  }
  const std::string fresh = post("/2000", R"({"chnid": 7})").out;
  EXPECT_NE(fresh.find(R"("name": "CAM8", "ipAddr": "", "managePort": 80, )"), std::string::npos) << fresh;
  EXPECT_NE(fresh.find(R"("mainRtspPort": 554, "mainSourcePath": "", "subRtspEnable": 1, "subRtspPort": 554, )"
                       R"("subSourcePath": "", "syncTime": 1, )"),
            std::string::npos) << fresh;
}

TEST_F(CameraListTest, DeleteClearsTheCameraAndItsMasks) {
  ASSERT_EQ(post("/2004", add_body("id", "3")).out, kOk);
  CameraRecord c = camera(3);
  c.kept_word = 77;
  c.reserved1 = 5;
  c.anr = 1;
  store_camera(c);
  PrivacyMaskEntry masks{};
  masks.id = 3;
  for (int i = 0; i < kPrivacyMaskAreas; ++i) {
    masks.areas[i] = PrivacyMaskArea{i + 1, 1, 10, 20, 30, 40, 460, 260, 0xff};
  }
  ASSERT_EQ(kPrivacyMasks.write(kZvdbPath, &masks), 0);
  zvdb_close_all();
  core_->clear_received();

  EXPECT_EQ(post("/2005", R"({"chnid": 3})").out, kOk);
  CameraRecord expected{};
  expected.id = 3;
  expected.state = 1;
  expected.kept_word = 77;
  EXPECT_EQ(bytes_of(camera(3)), bytes_of(expected));
  EXPECT_EQ(text_of(osd(3).cam_name), "CAM4");
  PrivacyMaskEntry cleared{};
  kPrivacyMasks.read(kZvdbPath, &cleared, {3});
  zvdb_close_all();
  // Exactly the enable word and the area (five words) are cleared; the area id stays.
  for (int i = 0; i < kPrivacyMaskAreas; ++i) {
    const PrivacyMaskArea& a = cleared.areas[i];
    EXPECT_EQ(std::vector<int32_t>({a.area_id, a.enable, a.start_x, a.start_y, a.area_width, a.area_height,
                                    a.width, a.height, a.fill_color}),
              std::vector<int32_t>({i + 1, 0, 0, 0, 0, 0, 460, 260, 0xff}));
  }
  core_->wait_for(kMsgOpLog, 1);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1202, 1206, 3485}));
  EXPECT_EQ(only_message(*core_, 1202).payload, int32s({3}));
  EXPECT_EQ(only_message(*core_, 1206).payload, int32s({3, 0}));
  const LoggedChange log = logged_change(only_message(*core_, kMsgOpLog).payload);
  EXPECT_EQ(log.record.sub_type, 211);
  EXPECT_EQ(log.record.param_type, 902);
  EXPECT_EQ(log.record.channel, 4);
  EXPECT_EQ(log.record.detail_size, 0u);
}

TEST_F(CameraListTest, DeleteOfAChannelWithoutMasksLeavesOtherMasksAlone) {
  PrivacyMaskEntry masks{};
  masks.id = 0;
  masks.areas[0] = PrivacyMaskArea{1, 1, 10, 20, 30, 40, 460, 260, 0};
  ASSERT_EQ(kPrivacyMasks.write(kZvdbPath, &masks), 0);
  zvdb_close_all();
  EXPECT_EQ(post("/2005", R"({"chnid": 6})").out, kOk);
  PrivacyMaskEntry stored{};
  ASSERT_EQ(kPrivacyMasks.read(kZvdbPath, &stored, {0}), 0);
  EXPECT_EQ(bytes_of(stored), bytes_of(masks)) << "another channel's delete leaves channel 0's masks";
  PrivacyMaskEntry six{};
  EXPECT_EQ(kPrivacyMasks.read(kZvdbPath, &six, {6}), -1) << "no mask row is made for channel 6";
  zvdb_close_all();
  EXPECT_EQ(post("/2005", R"({"chnid": 0})").out, kOk);
  kPrivacyMasks.read(kZvdbPath, &stored, {0});
  zvdb_close_all();
  EXPECT_EQ(stored.areas[0].enable, 0) << "channel 0's own delete clears its masks";
}

TEST_F(CameraListTest, LoginAndTransportSetsLogAsEdits) {
  ASSERT_EQ(post("/2004", kAddBody).out, kOk);
  core_->clear_received();
  EXPECT_EQ(post("/2017", R"({"id": 5, "userName": "root", "password": "pw2"})").out, kOk);
  EXPECT_EQ(text_of(camera(5).user_name), "root");
  EXPECT_EQ(text_of(camera(5).password), "pw2");
  EXPECT_EQ(post("/2031", R"({"id": 5, "transmitProtocol": 0, "syncTime": 0})").out, kOk);
  EXPECT_EQ(camera(5).transmit_protocol, 0);
  EXPECT_EQ(camera(5).sync_time, 0);
  core_->wait_for(kMsgOpLog, 2);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{1203, 3485, 1203, 3485}));
  const auto logs = core_->received(kMsgOpLog);
  const LoggedChange login = logged_change(logs[0].payload);
  const LoggedChange transport = logged_change(logs[1].payload);
  EXPECT_EQ(login.record.sub_type, 204);
  EXPECT_EQ(login.record.param_type, 903);
  EXPECT_EQ(login.detail.action, 903);
  EXPECT_EQ(text_of(login.detail.transport), "TCP");
  EXPECT_EQ(text_of(transport.detail.transport), "UDP");
  EXPECT_EQ(transport.detail.sync_time, 0);
  EXPECT_EQ(transport.record.channel, 6);

  for (const char* body : {R"({"id": 65, "userName": "a", "password": "b"})", R"({"id": -1, "userName": "a", "password": "b"})",
                           R"({"id": 5, "password": "b"})", R"({"id": 5, "userName": "a"})", "x"}) {
    expect_refused("/2017", body, "");
  }
  for (const char* body : {R"({"id": 65, "transmitProtocol": 1})", R"({"id": 5, "transmitProtocol": 3})",
                           R"({"id": 5})", R"({"transmitProtocol": 1})", "x"}) {
    expect_refused("/2031", body, "");
  }
}

TEST_F(CameraListTest, AnUnusableDatabaseIsReportedAndNothingIsSent) {
  ASSERT_EQ(unlink(kZvdbPath), 0);
  ASSERT_EQ(mkdir(kZvdbPath, 0755), 0);
  EXPECT_EQ(post("/2004", kAddBody).out, kCgiErrorText);
  EXPECT_EQ(post("/2005", R"({"chnid": 1})").out, kCgiErrorText);
  EXPECT_EQ(post("/2017", R"({"id": 5, "userName": "root", "password": "pw2"})").out, kCgiErrorText);
  EXPECT_TRUE(core_->received().empty());
}

// ---- Status, catalogue, names and PoE settings -------------------------------------------------

CameraStatusRecord status_record(int32_t id) {
  CameraStatusRecord s{};
  s.id = id;
  s.manage_port = 80;
  s.cam_protocol = 2;
  s.state = 1;
  s.main_rtsp_port = 554;
  std::strcpy(s.ip_addr, "10.0.0.9");
  std::strcpy(s.vendor, "V");
  std::strcpy(s.sn, "SN");
  std::strcpy(s.fw_version, "FW");
  std::strcpy(s.mac, "MAC");
  std::memset(s.model, 'm', sizeof s.model);  // no terminator
  s.poe_channel = 1;
  s.physical_port = 2;
  s.alarm_in = 3;
  s.alarm_out = 4;
  s.white_led = 5;
  s.led_alarm = 6;
  s.led_manual = 7;
  s.minor_id = 8;
  s.sub_state = 9;
  s.connect_state = 10;
  std::strcpy(s.sn_real, "SNREAL");
  std::strcpy(s.ddns, "D");
  return s;
}

TEST_F(CameraListTest, StatusPrintsEveryRecordWithItsName) {
  set_param("max_cameras", "16");
  Bytes payload = concat({bytes_of(status_record(2)), bytes_of(status_record(70))});
  payload.resize(payload.size() + 500, 0xee);  // a partial record is not printed
  core_->reply(kCameraStatus.id, payload);
  const std::string entry_tail =
      R"("ipAddr": "10.0.0.9", "managePort": 80, "camProtocol": 2, "vendor": "V", "sn": "SN", )"
      R"("snReal": "SNREAL", "mac": "MAC", "model": ")" + std::string(324, 'm') +
      R"(", "fwVersion": "FW", "state": 1, "mainRtspPort": 554, "physicalport": 2, "poechannel": 1, )"
      R"("alarmin": 3, "alarmout": 4, "whiteLed": 5, "ledAlarm": 6, "ledManual": 7, "minorid": 8, )"
      R"("subState": 9, "connectState": 10, "ddns": "D" })";
  const std::string expected = kJsonHeader + R"({ "IPC": [ { "id": 2, "enable": 1, "name": "CAM3", )" +
                               entry_tail + R"(, { "id": 70, "enable": 1, "name": "", )" + entry_tail +
                               R"( ], "maxIPCNums": 16 })";
  EXPECT_EQ(post("/2001", "").out, expected);
  EXPECT_EQ(post("/2007", "").out, expected);
  EXPECT_EQ(only_message(*core_, kCameraStatus.id).payload, Bytes{});
}

TEST_F(CameraListTest, CatalogueResetsTheDisplayModelOfProtocolTwo) {
  const IpcProtocolRecord protocols[] = {{2, "ZVSF", 3, 1, 1}, {4, "OTHER", 5, 0, 1}};
  const IpcModelRecord models[] = {{30, 2, "Cam A", 1, 1}, {31, 2, "Cam B", 2, 0}};
  ASSERT_EQ(zvdb::replace_all_records(kZvdbPath, zvdb::kIpcProtocolTable, protocols, 2), 0);
  ASSERT_EQ(zvdb::replace_all_records(kZvdbPath, zvdb::kIpcModelTable, models, 2), 0);
  zvdb_close_all();
  const std::string expected =
      kJsonHeader +
      R"({ "protocols": [ { "id": 2, "name": "ZVSF", "protocolFunction": 3, "enable": 1, "display_model": 0, )"
      R"("models": [ { "id": 30, "name": "Cam A", "alarm_type": 1, "default_model": 1 }, )"
      R"({ "id": 31, "name": "Cam B", "alarm_type": 2, "default_model": 0 } ] }, )"
      R"({ "id": 4, "name": "OTHER", "protocolFunction": 5, "enable": 0, "display_model": 1, "models": [ ] } ] })";
  EXPECT_EQ(post("/2008", "").out, expected);
  IpcProtocolRecord* stored = nullptr;
  int count = 0;
  ASSERT_EQ(read_ipc_protocols(kZvdbPath, &stored, &count), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(stored[0].display_model, 0) << "the reset is stored";
  EXPECT_EQ(stored[1].display_model, 1);
  release_ipc_protocol(&stored);
  EXPECT_EQ(stored, nullptr);
  zvdb_close_all();
}

// Each protocol's generic model first (the default one), then its two named models; from protocol 3
// on the pages offer the model list (protocol 2's is reset on the first read).
TEST_F(CameraListTest, CatalogueAsShipped) {
  const std::string r = post("/2008", "").out;
  EXPECT_EQ(r.rfind(kJsonHeader + R"({ "protocols": [ { "id": 0, "name": "ONVIF", "protocolFunction": 15, "enable": 1, )"
                                   R"("display_model": 0, "models": [ { "id": 0, "name": "Generic ONVIF", "alarm_type": 0, )"
                                   R"("default_model": 1 }, { "id": 8, "name": "IPC-2M", "alarm_type": 1, "default_model": 0 }, )"), 0u) << r;
  EXPECT_NE(r.find(R"({ "id": 3, "name": "ZVSF-TLS", "protocolFunction": 63, "enable": 1, "display_model": 1, )"),
            std::string::npos);
}

TEST_F(CameraListTest, CatalogueResetWaitingForTheLockKeepsWhatWasStoredMeanwhile) {
  const IpcProtocolRecord protocol{2, "ZVSF", 3, 1, 1};
  ASSERT_EQ(zvdb::replace_all_records(kZvdbPath, zvdb::kIpcProtocolTable, &protocol, 1), 0);
  zvdb_close_all();
  const int held = lock_file_acquire(kCgiLockFile);
  ASSERT_GE(held, 0);
  RunResult r;
  std::thread request([&] { r = post("/2008", ""); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the list is read by now
  IpcProtocolRecord meanwhile = protocol;
  meanwhile.enable = 0;
  ASSERT_EQ(write_ipc_protocol(kZvdbPath, &meanwhile), 0);
  zvdb_close_all();
  lock_file_release(held);
  request.join();
  EXPECT_NE(r.out.find(R"("enable": 0, "display_model": 0)"), std::string::npos) << r.out;
  IpcProtocolRecord stored{};
  ASSERT_EQ(zvdb::read_record(kZvdbPath, zvdb::kIpcProtocolTable, &stored, zvdb::Key{.a = 2}), 0);
  EXPECT_EQ(stored.enable, 0) << "the row stored meanwhile is kept";
  EXPECT_EQ(stored.display_model, 0);
  zvdb_close_all();
}

TEST_F(CameraListTest, FactoryCatalogueHasEightProtocolsWithModels) {
  const std::string reply = post("/2008", "").out;
  EXPECT_NE(reply.find(R"({ "id": 0, "name": "ONVIF")"), std::string::npos);
  EXPECT_NE(reply.find(R"({ "id": 1, "name": "RTSP")"), std::string::npos);
  EXPECT_NE(reply.find(R"({ "id": 7, "name": )"), std::string::npos);
  EXPECT_EQ(reply.find(R"("id": 2, "name": "ZVSF", "protocolFunction": 63, "enable": 1, "display_model": 1)"),
            std::string::npos);
}

TEST_F(CameraListTest, FactoryCamerasAreDisabledAndTheirColumnsCanBeCopied) {
  for (int channel : {0, 63}) {
    EXPECT_EQ(camera(channel).id, channel);
    EXPECT_EQ(camera(channel).enable, 0);
  }
  EXPECT_EQ(camera(64).id, -1) << "no factory row for channel 64";
  ASSERT_EQ(copy_table_column_int(kZvdbPath, "camera", "anr", 1, 0x5, 0x80000000u, "id"), 0);
  ASSERT_EQ(copy_table_column_int(kZvdbPath, "camera", "record_stream", 2, 0x2, 0, "id"), 0);
  zvdb_close_all();
  EXPECT_EQ(std::vector<int32_t>({camera(0).anr, camera(1).anr, camera(2).anr, camera(63).anr}),
            std::vector<int32_t>({1, 0, 1, 1}));
  EXPECT_EQ(camera(1).record_stream, 2);
  EXPECT_EQ(camera(0).record_stream, 0);
}

TEST_F(CameraListTest, NamesFollowMaxCamerasWithinSixtyFour) {
  ASSERT_EQ(post("/2004", add_body("id", "1")).out, kOk);
  set_param("max_cameras", "3");
  EXPECT_EQ(post("/2012", "").out,
            kJsonHeader + R"({ "IPC": [ { "id": 0, "name": "CAM1" }, { "id": 1, "name": "Gate" }, )"
                          R"({ "id": 2, "name": "CAM3" } ] })");
  set_param("max_cameras", "100000");
  const std::string all = post("/2012", "").out;
  EXPECT_NE(all.find(R"({ "id": 63, "name": "CAM64" } ] })"), std::string::npos);
  set_param("max_cameras", "-4");
  EXPECT_EQ(post("/2012", "").out, kJsonHeader + R"({ "IPC": [ ] })");
}

TEST_F(CameraListTest, PoePasswordAndPortCount) {
  EXPECT_EQ(post("/2016", "").out, kTextHeader + "kq5820");
  EXPECT_EQ(post("/2018", "").out, kTextHeader + "0");
  set_param("poepsd", std::string(70, 'p').c_str());
  set_param("max_poe_num", "8");
  EXPECT_EQ(post("/2016", "").out, kTextHeader + std::string(63, 'p'));
  EXPECT_EQ(post("/2018", "").out, kTextHeader + "8");
}

}  // namespace
}  // namespace zvtest
