// The camera setup pages through the real front end and a fake core: search, connection test and
// address change; image settings, day/night profiles and areas, exposure table; heat map,
// tracking and watermark; effective plans. Exact payloads and replies, refusals at the first
// invalid value on both sides, short and missing replies, and the stored rows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/request.h"
#include "common/messages/camera_setup.h"
#include "handlers/video/event_kinds.h"
#include "platform/zvdb/analytics_tables.h"
#include "platform/zvdb/camera_setup_tables.h"
#include "tests/camera/camera_fixture.h"

namespace zvtest {
namespace {

using CameraSetupTest = CameraTest;
const std::string kJsonError = kCgiErrorJson;

TEST_F(CameraSetupTest, RefusedRequestsSendAndStoreNothing) {
  struct Case {
    const char* path;
    const char* body;
    std::string reply;
  };
  const Case cases[] = {
      {"/2006", R"({"protocol": -1})", ""}, {"/2006", R"({"protocol": 8})", ""}, {"/2006", "{}", ""},
      {"/2014", R"({"ipAddr": "", "managePort": 80, "camProtocol": 0})", ""},
      {"/2014", R"({"ipAddr": "1.2.3.4", "managePort": -1, "camProtocol": 0})", ""},
      {"/2015", R"({"ipAddr": "1.2.3.4", "managePort": 65536, "camProtocol": 0})", ""},
      {"/2014", R"({"ipAddr": "1.2.3.4", "managePort": 80, "camProtocol": 8})", ""},
      {"/2015", R"({"ipAddr": "1.2.3.4", "managePort": 80, "camProtocol": -1})", ""},
      {"/2015", R"({"managePort": 80, "camProtocol": 0})", ""},
      {"/2011", R"({"macAddr": "m", "oldIpcAddr": "a", "newIpcAddr": "b", "netmask": "n", "gateway": "g",
                    "primaryDNS": "d", "username": "u", "password": "p", "port": 65536, "protocol": 0})", ""},
      {"/2011", R"({"macAddr": "m", "oldIpcAddr": "a", "newIpcAddr": "b", "netmask": "n", "gateway": "g",
                    "primaryDNS": "d", "username": "u", "password": "p", "port": -1, "protocol": 0})", ""},
      {"/2011", R"({"macAddr": "m", "oldIpcAddr": "a", "newIpcAddr": "b", "netmask": "n", "gateway": "g",
                    "primaryDNS": "d", "username": "u", "password": "p", "port": 80, "protocol": 8})", ""},
      {"/2011", R"({"oldIpcAddr": "a", "newIpcAddr": "b", "netmask": "n", "gateway": "g",
                    "primaryDNS": "d", "username": "u", "password": "p", "port": 80, "protocol": 0})", ""},
      {"/2032", R"({"oIPCAddr": []})", ""}, {"/2032", "{}", ""},
      // An address one character above its 31: refused, not cut to another camera's address.
      {"/2014", R"({"ipAddr": "fe80::1234:5678:9abc:def0%eth100", "managePort": 80, "camProtocol": 0})", ""},
      {"/2011", R"({"macAddr": "m", "oldIpcAddr": "a", "newIpcAddr": "fe80::1234:5678:9abc:def0%eth100",
                    "netmask": "n", "gateway": "g", "primaryDNS": "d", "username": "u", "password": "p", "port": 80,
                    "protocol": 0})", ""},
      {"/2019", R"({"id": 64})", kJsonError}, {"/2019", R"({"id": -1})", kJsonError}, {"/2019", "{}", ""},
      {"/2019", "x", ""},
      {"/2020", R"({"channel": [64, -1], "smartir": 1})", kJsonError}, {"/2020", R"({"smartir": 1})", ""},
      {"/2021", R"({"id": 64})", kJsonError}, {"/2022", R"({"id": -1})", kJsonError},
      {"/2037", R"({"id": 64})", kJsonError}, {"/2038", R"({"channel": 64, "id": 0})", kJsonError},
      {"/2038", R"({"channel": 1, "id": 7})", kJsonError}, {"/2038", R"({"channel": 1, "id": -1})", kJsonError},
      {"/2047", R"({"chnid": [1], "image": []})", ""}, {"/2047", R"({"cnt": 1, "image": [{"enable": 0}]})", ""},
      {"/2048", R"({"channel": 64, "exposure": []})", kJsonError}, {"/2048", R"({"channel": 1})", ""},
      {"/2049", R"({"channel": -1})", kJsonError},
      {"/2062", R"({"chnid": 64})", kJsonError},
      {"/2039", R"({"id": 64})", kJsonError}, {"/2040", R"({"chnid": -1})", kJsonError},
      {"/2050", R"({"chan_id": 64, "area_id": 0})", kJsonError},
      {"/2050", R"({"chan_id": 1, "area_id": 16})", kJsonError},
      {"/2050", R"({"chan_id": -1, "area_id": 0})", kJsonError}, {"/2050", R"({"chan_id": 1, "area_id": -1})", kJsonError},
      {"/2041", R"({"id": 64})", kJsonError}, {"/2044", R"({"channel": -1})", kJsonError},
      {"/2051", R"({"chnid": 64})", kJsonError}, {"/2052", R"({"chnid": -1})", kJsonError},
      {"/2054", "{}", kJsonError}, {"/2055", "x", kJsonError}, {"/2056", R"({"chnid": 64})", kJsonError},
      {"/2057", R"({"chnid": -1})", kJsonError}, {"/2058", R"({"chnid": 64})", kJsonError},
      {"/2059", R"({"chnid": 64})", kJsonError},
      {"/2042", "{\"channel\": 1, \"schedule\": [[[\"\xff\", \"\", 0]]]}", ""},
      {"/2052", "{\"chnid\": 1, \"effective\": [[[\"\xff\", \"\", 0]]]}", kJsonError},
      {"/2055", "{\"chnid\": 1, \"schedule\": [[[\"\xff\", \"\", 0]]]}", kJsonError},
      {"/2053", R"({"chnid": 64})", kCgiErrorText},
      {"/2035", R"({"channel": 64})", ""}, {"/2035", "x", ""},
      {"/2036", R"({"channel": 64, "start": 0, "end": 8, "schedule_motion": []})", ""},
      {"/2036", "{\"channel\": 1, \"start\": 0, \"end\": 0, \"schedule_motion\": [[[\"\xff\", \"\", 0]]]}", ""},
      {"/2036", "{\"channel\": 1, \"start\": 0, \"end\": 0, \"schedule_motion\": [], "
                "\"schedule_loitering\": [[[\"\xff\", \"\", 0]]]}", ""},  // a plan outside start..end too
  };
  for (const Case& c : cases) expect_refused(c.path, c.body, c.reply);
}

TEST_F(CameraSetupTest, MissingOrShortRepliesGiveTheErrorForm) {
  struct Waited {
    const char* path;
    const char* body;
    int32_t msg;
    size_t size;
    bool json;
  };
  const Waited waited[] = {
      {"/2011", R"({"macAddr": "m", "oldIpcAddr": "a", "newIpcAddr": "b", "netmask": "n", "gateway": "g",
                    "primaryDNS": "d", "username": "u", "password": "p"})", kAddressChange.id, 4, true},
      {"/2014", R"({"ipAddr": "1.2.3.4", "managePort": 80, "camProtocol": 0})", kLoginTest.id, 4, false},
      {"/2015", R"({"ipAddr": "1.2.3.4", "managePort": 80, "camProtocol": 0})", kLoginTestAlt.id, 4, false},
      {"/2033", "", kAddressChangeResults.id, sizeof(BatchChangeResults), true},
      {"/2019", R"({"id": 1})", kImageRead.id, sizeof(ImageSettingsReply), false},
      {"/2021", R"({"id": 1})", kImageExtensionRead.id, sizeof(ImageExtensionRecord), false},
      {"/2022", R"({"id": 1})", kImageExtensionSet.id, 4, false},
      {"/2037", R"({"id": 1})", kProfilesRead.id, sizeof(DayNightProfiles), true},
      {"/2039", R"({"id": 1})", kAreasRead.id, sizeof(DayNightAreas), true},
      {"/2043", R"({"id": 1})", kPlanBRead.id, sizeof(CameraPlanWide), true},
      {"/2062", R"({"chnid": 1})", kNightMode.id, sizeof(NightMode), true},
      {"/2051", R"({"chnid": 1})", kHeatMapRead.id, sizeof(HeatMap), true},
      {"/2052", R"({"chnid": 1})", kHeatMapSet.id, 4, true},
      {"/2054", R"({"chnid": 1})", kTrackingRead.id, sizeof(Tracking), true},
      {"/2055", R"({"chnid": 1})", kTrackingSet.id, 4, true},
      {"/2056", R"({"chnid": 1})", kTrackingSupport.id, 4, true},
      {"/2057", R"({"chnid": 1})", kCameraIdentity.id, sizeof(CameraIdentity), true},
      {"/2058", R"({"chnid": 1})", kWatermarkRead.id, sizeof(Watermark), true},
      {"/2059", R"({"chnid": 1})", kWatermarkSet.id, 4, true},
      {"/2006", R"({"protocol": 0})", kCameraSearch.id, 0, true},
      {"/2053", R"({"chnid": 1})", kHeatMapData.id, 0, true},  // an empty reply: the text form
  };
  for (const Waited& w : waited) {
    SCOPED_TRACE(w.path);
    const std::string error = w.json ? kCgiErrorJson : kCgiErrorText;
    core_->no_reply(w.msg);
    EXPECT_EQ(post(w.path, w.body).out, error);
    if (w.size > 0) {
      core_->reply(w.msg, Bytes(w.size - 1, 0));
      EXPECT_EQ(post(w.path, w.body).out, error) << "a short reply is the missing reply";
    }
  }
  core_->reply(kHeatMapData.id, Bytes{});
  EXPECT_EQ(post("/2053", R"({"chnid": 1})").out, kCgiErrorText) << "an empty heat-map reply";
}

// ---- Search, connection test, address change ---------------------------------------------------

SearchResult found_camera(const char* ip, const char* name) {
  SearchResult s{};
  std::strcpy(s.ip_addr, ip);
  std::strcpy(s.mac_addr, "02:5A:56:01:00:15");
  s.manage_port = 80;
  s.protocol = 2;
  std::strcpy(s.vendor, "V");
  std::memset(s.sn, 'S', sizeof s.sn);  // no terminator: bounded by its width
  std::strcpy(s.fw_version, "F");
  std::strcpy(s.model, "M");
  s.model_id = 9;
  std::strcpy(s.netmask, "255.255.255.0");
  std::strcpy(s.dns, "D");
  std::strcpy(s.gateway, "G");
  std::strcpy(s.netif, "eth0");
  s.active_status = 1;
  std::strcpy(s.name, name);
  std::strcpy(s.sn_real, "R");
  return s;
}

TEST_F(CameraSetupTest, SearchListsEachFoundCameraOnce) {
  core_->reply(kCameraSearch.id, Bytes{});
  EXPECT_EQ(post("/2006", R"({"protocol": 7, "nic": "eth0"})").out,
            kJsonHeader + R"({ "resultString": "NO", "IPC": [ ] })");
  EXPECT_EQ(only_message(*core_, kCameraSearch.id).payload, int32s({7}));

  core_->clear_received();
  const Bytes two = concat({bytes_of(found_camera("192.168.1.21", "Gate")),
                            bytes_of(found_camera("192.168.1.22", "Cam\xc3\xa9ra")), Bytes(759, 1)});
  core_->reply(kCameraSearch.id, two);
  const std::string sn(128, 'S');
  auto object = [&sn](const char* ip, const char* name) {
    return std::string(R"({ "ipAddr": ")") + ip +
           R"(", "managePort": 80, "protocol": 2, "macAddr": "02:5A:56:01:00:15", "vendor": "V", "sn": ")" + sn +
           R"(", "fwVersion": "F", "model": "M", "modelId": 9, "netmask": "255.255.255.0", "dns": "D", )"
           R"("gateway": "G", "netif": "eth0", "active_status": 1, "name": ")" + name + R"(", "snReal": "R" })";
  };
  EXPECT_EQ(post("/2006", R"({"protocol": 0})").out,
            kJsonHeader + R"({ "resultString": "OK", "IPC": [ )" + object("192.168.1.21", "Gate") + ", " +
                object("192.168.1.22", "") + " ] }");
}

TEST_F(CameraSetupTest, ConnectionTestPayloadsAndResults) {
  const char body[] = R"({"ipAddr": "10.0.0.9", "managePort": 0, "userName": "admin", "password": "pw",
                          "camProtocol": 3})";
  core_->reply(kLoginTest.id, int32s({0}));
  core_->reply(kLoginTestAlt.id, int32s({0}));
  ASSERT_EQ(post("/2014", body).out, kOk);
  ASSERT_EQ(post("/2015", body).out, kOk);
  LoginTest test{};
  std::strcpy(test.ip_addr, "10.0.0.9");
  std::strcpy(test.user_name, "admin");
  std::strcpy(test.password, "pw");
  test.cam_protocol = 3;
  EXPECT_EQ(only_message(*core_, kLoginTest.id).payload, bytes_of(test)) << "port 0 is sent as it is";
  LoginTestAlt alt{};
  std::strcpy(alt.ip_addr, "10.0.0.9");
  alt.manage_port = 80;
  std::strcpy(alt.user_name, "admin");
  std::strcpy(alt.password, "pw");
  alt.cam_protocol = 3;
  EXPECT_EQ(only_message(*core_, kLoginTestAlt.id).payload, bytes_of(alt)) << "the second form raises it to 80";
  core_->clear_received();
  const std::string login = R"({"ipAddr": "10.0.0.9", "managePort": 80, "camProtocol": 0, "password": ")";
  ASSERT_EQ(post("/2014", login + std::string(32, 'p') + R"("})").out, kOk);
  EXPECT_EQ(text_of(record_from<LoginTest>(only_message(*core_, kLoginTest.id).payload).password),
            std::string(32, 'p'));
  core_->clear_received();
  // One character more: refused, never tried cut as another password.
  expect_refused("/2014", login + std::string(33, 'p') + R"("})");

  const std::pair<int32_t, const char*> results[] = {{0, "OK"}, {4, "OK"}, {1, "NETWORKERROR"}, {2, "USERERROR"},
                                                     {5, "BANDWIDTHERROR"}, {3, "UNKOWNERROR"}, {-1, "UNKOWNERROR"},
                                                     {6, "UNKOWNERROR"}, {7, "UNKOWNERROR"}};
  for (const auto& [result, text] : results) {
    core_->reply(kLoginTest.id, int32s({result}));
    EXPECT_EQ(post("/2014", body).out, kTextHeader + text) << result;
  }
}

TEST_F(CameraSetupTest, AddressChangePayloadAndResults) {
  const char body[] = R"({"macAddr": "02:5A:56:01:00:15", "oldIpcAddr": "192.168.1.21", "newIpcAddr": "192.168.1.99",
                          "netmask": "255.255.255.0", "gateway": "192.168.1.1", "primaryDNS": "8.8.8.8",
                          "username": "admin", "password": "Admin123", "protocol": 7, "port": 65535,
                          "netif": "eth0:"})";
  const std::pair<int32_t, const char*> results[] = {{0, "OK"}, {1, "NETWORK_ERR"}, {2, "INVALID_USER"},
                                                     {3, "UNKNOWN_ERR"}, {4, "PROTO_NOT_SUPPORT"}, {5, "ERROR"},
                                                     {6, "ERROR"}, {-1, "ERROR"}};
  for (const auto& [result, text] : results) {
    core_->reply(kAddressChange.id, int32s({result}));
    EXPECT_EQ(post("/2011", body).out, kJsonHeader + R"({ "resultString": ")" + text + "\" }");
  }
  AddressChange c{};
  std::strcpy(c.mac_addr, "02:5A:56:01:00:15");
  std::strcpy(c.old_ipc_addr, "192.168.1.21");
  std::strcpy(c.new_ipc_addr, "192.168.1.99");
  std::strcpy(c.netmask, "255.255.255.0");
  std::strcpy(c.gateway, "192.168.1.1");
  std::strcpy(c.primary_dns, "8.8.8.8");
  c.port = 65535;
  std::strcpy(c.username, "admin");
  std::strcpy(c.password, "Admin123");
  c.protocol = 7;
  std::strcpy(c.netif, "eth0:");
  EXPECT_EQ(core_->received(kAddressChange.id).front().payload, bytes_of(c));
  core_->clear_received();
  // An interface or password one character above its field: refused, never sent cut as another.
  std::string longer_netif = body, longer_password = body;
  longer_netif.replace(longer_netif.find("eth0:"), 5, "eth0:1");
  longer_password.replace(longer_password.find("Admin123"), 8, std::string(33, 'p'));
  expect_refused("/2011", longer_netif);
  expect_refused("/2011", longer_password);
}

TEST_F(CameraSetupTest, BatchChangeSendsEachUsableEntryAndResultsAreClamped) {
  const char entry[] = R"({"macAddr": "m%d", "oldIpcAddr": "a", "newIpcAddr": "b", "netmask": "n", "gateway": "g",
                           "primaryDNS": "d", "username": "u", "password": "p", "channelId": %d, "modifynum": 2})";
  auto make = [&entry](int mac, int channel) {
    char text[512];
    std::snprintf(text, sizeof text, entry, mac, channel);
    return std::string(text);
  };
  const std::string body = R"({"cnt": 5, "oIPCAddr": [)" + make(1, 3) + ", 7, " + make(2, 64) + ", " +
                           make(3, -1) + ", " + make(4, 63) + ", " + make(5, 0) + "]}";
  EXPECT_EQ(post("/2032", body).out, kOk);
  settle();
  const auto sent = core_->received(kAddressChangeBatch.id);
  ASSERT_EQ(sent.size(), 2u) << "m1 and m4 of the first five; a number, channels 64 and -1 are skipped";
  const auto first = record_from<AddressChangeEntry>(sent[0].payload);
  EXPECT_EQ(text_of(first.mac_addr), "m1");
  EXPECT_EQ(first.channel_id, 3);
  EXPECT_EQ(first.modifynum, 2);
  EXPECT_EQ(record_from<AddressChangeEntry>(sent[1].payload).channel_id, 63);

  BatchChangeResults results{};
  results.count = 65;  // more than the record holds
  for (int i = 0; i < kBatchResults; ++i) {
    std::snprintf(results.entries[i].mac, sizeof results.entries[i].mac, "M%d", i);
    results.entries[i].result = i;
  }
  core_->reply(kAddressChangeResults.id, bytes_of(results));
  const std::string all = post("/2033", "").out;
  EXPECT_NE(all.find(R"({ "mac": "M63", "result": 63 } ] })"), std::string::npos) << all;
  results.count = 1;
  core_->reply(kAddressChangeResults.id, bytes_of(results));
  EXPECT_EQ(post("/2033", "").out, kJsonHeader + R"({ "IPC": [ { "mac": "M0", "result": 0 } ] })");
}

// ---- Image settings --------------------------------------------------------------------------------

TEST_F(CameraSetupTest, ImageSetSendsTheListedChannelsAndTheWriteKeys) {
  ImageSettingsReply camera{};  // the first listed channel's: what the request leaves out
  camera.id = 2;
  camera.settings.whiteblance = 3;
  camera.settings.hlclevel = 4;
  camera.settings.model_type = 9;                         // read from requests only: not taken
  std::strcpy(camera.settings.sdkversion, "SDK");          // reported only: not sent back
  core_->reply(kImageRead.id, bytes_of(camera));
  EXPECT_EQ(post("/2020", R"({"channel": [2, 64, "x", 63, 5], "smartir": 1, "aflevel": 6, "wdraflevel": 9, "hlclevel": null,
                              "modelType": 3, "dismode": 4, "exposeregion": "0101", "lensType": 2})")
                .out,
            kOk);
  settle();
  const auto sent = record_from<ImageSettingsWrite>(only_message(*core_, kImageSet.id).payload);
  ImageSettingsWrite expected{};
  std::fill(std::begin(expected.channels), std::end(expected.channels), -1);
  expected.channels[0] = 2;
  expected.channels[1] = 63;
  expected.channels[2] = 5;
  expected.settings.smartir = 1;
  expected.settings.whiteblance = 3;
  expected.settings.hlclevel = 4;
  expected.settings.aflevel = 6;
  expected.settings.model_type = 3;
  std::strcpy(expected.settings.exposeregion, "0101");
  expected.settings.lens_type = 2;
  EXPECT_EQ(bytes_of(sent), bytes_of(expected));
  EXPECT_EQ(only_message(*core_, kImageRead.id).payload, int32s({2}));

  core_->no_reply(kImageRead.id);  // the camera's values cannot be had: nothing is set
  core_->clear_received();
  EXPECT_EQ(post("/2020", R"({"channel": [2], "smartir": 1})").out, kCgiErrorJson);
  EXPECT_EQ(received_ids(*core_), std::vector<int32_t>{kImageRead.id});
}

TEST_F(CameraSetupTest, ImageReadsPrintTheReadKeys) {
  ImageSettingsReply image{};
  image.id = 3;
  image.settings.aflevel = 7;
  image.settings.model_type = 9;
  std::memset(image.settings.sdkversion, 'k', sizeof image.settings.sdkversion);
  core_->reply(kImageRead.id, bytes_of(image));
  const std::string reply = post("/2019", R"({"id": 3})").out;
  EXPECT_EQ(reply.rfind(kJsonHeader + R"({ "id": 3, "smartir": 0, "whiteblance": 0,)", 0), 0u) << reply;
  EXPECT_NE(reply.find(R"("wdraflevel": 7, "hlclevel": 0, "exposurectrl": 0)"), std::string::npos);
  EXPECT_NE(reply.find(R"("sdkversion": ")" + std::string(32, 'k') + R"(", "lensType": 0, "reduceVideoStuttering": 0 })"),
            std::string::npos);
  EXPECT_EQ(reply.find("modelType"), std::string::npos);
  EXPECT_EQ(only_message(*core_, kImageRead.id).payload, int32s({3}));

  ImageExtensionRecord ext{};
  ext.id = 4;
  ext.extension.smartwhitestrength = 8;
  ext.extension.zoom_limit = 5;
  core_->reply(kImageExtensionRead.id, bytes_of(ext));
  const std::string extension = post("/2021", R"({"id": 4})").out;
  EXPECT_EQ(extension.rfind(kJsonHeader + R"({ "id": 4, "colorkiller": 0,)", 0), 0u);
  EXPECT_NE(extension.find(R"("smartwhitestrength": 8, "dnRefocus": 0)"), std::string::npos);
  EXPECT_EQ(extension.find("zoomLimit"), std::string::npos);
  EXPECT_EQ(extension.find("saveCorridor"), std::string::npos);
}

TEST_F(CameraSetupTest, ImageExtensionSetWaitsForTheStatus) {
  const char body[] = R"({"id": 4, "whiteLedLevel": 6, "smartwhitestrength": 9, "zoomLimit": 2, "saveCorridor": 1,
                          "sensortype": "x", "dayNightSens": 5})";
  core_->reply(kImageExtensionSet.id, int32s({0}));
  ImageExtensionRecord camera{};  // what the request leaves out stays as the camera has it
  camera.id = 4;
  camera.extension.colorkiller = 3;
  camera.extension.smartwhitestrength = 4;
  camera.extension.zoom_limit = 7;
  std::strcpy(camera.extension.softversion, "V1");  // what the camera reports is not sent back
  core_->reply(kImageExtensionRead.id, bytes_of(camera));
  EXPECT_EQ(post("/2022", body).out, kOk);
  std::memset(camera.extension.softversion, 0, sizeof camera.extension.softversion);
  ImageExtensionRecord expected = camera;
  expected.extension.smartwhitestrength = 6;
  expected.extension.zoom_limit = 2;
  expected.extension.save_corridor = 1;
  expected.extension.day_night_sens = 5;
  EXPECT_EQ(only_message(*core_, kImageExtensionSet.id).payload, bytes_of(expected));
  core_->reply(kImageExtensionSet.id, int32s({1}));
  EXPECT_EQ(post("/2022", body).out, kTextHeader + "ERROR");
  core_->clear_received();
  EXPECT_EQ(post("/2022", R"({"id": 4, "colorkiller": 1})").out, kTextHeader + "ERROR");
  expected = camera;
  expected.extension.colorkiller = 1;
  expected.extension.zoom_limit = 0;  // a member the read does not print is not taken from it
  EXPECT_EQ(only_message(*core_, kImageExtensionSet.id).payload, bytes_of(expected)) << "the white light's kept";
  core_->no_reply(kImageExtensionRead.id);
  core_->clear_received();
  EXPECT_EQ(post("/2022", body).out, kCgiErrorText);
  EXPECT_EQ(received_ids(*core_), std::vector<int32_t>{kImageExtensionRead.id}) << "nothing is set";
}

TEST_F(CameraSetupTest, ProfilesAreReadAndSentByPosition) {
  DayNightProfiles stored{};
  stored.channel = 2;
  stored.profiles[6] = DayNightProfile{1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  core_->reply(kProfilesRead.id, bytes_of(stored));
  const std::string reply = post("/2037", R"({"id": 2})").out;
  EXPECT_NE(reply.find(R"({ "id": 6, "enable": 1, "startHour": 2, "startMinute": 3, "endHour": 4, "endMinute": 5, )"
                       R"("exposureLevel": 6, "maxShutter": 8, "minShutter": 7, "gainLevel": 9, "irCutLatency": 10, )"
                       R"("irCutState": 11, "irLedState": 12, "colorMode": 13 } ] })"),
            std::string::npos)
      << reply;

  EXPECT_EQ(post("/2038", R"({"channel": 9, "id": 6, "enable": 1, "maxShutter": 40})").out, kOk);
  settle();
  DayNightProfiles one{};
  one.channel = 9;
  one.profiles[6] = stored.profiles[6];  // the members left out: the camera's
  one.profiles[6].valid = 1;
  one.profiles[6].enable = 1;
  one.profiles[6].max_shutter = 40;
  EXPECT_EQ(only_message(*core_, kProfilesSet.id).payload, bytes_of(one));

  // Several channels: what an element leaves out comes from each channel's own camera.
  DayNightProfiles camera{};
  camera.profiles[0] = DayNightProfile{0, 0, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  camera.profiles[2] = DayNightProfile{0, 1, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52};
  core_->reply(kProfilesRead.id, bytes_of(camera));
  core_->clear_received();
  EXPECT_EQ(post("/2047", R"({"cnt": 5, "chnid": [1, "x", 64, -1, 63, 5],
                              "image": [{"enable": 1}, 7, {"gainLevel": 3}, 0, 0, 0, 0, {"enable": 1}]})").out,
            kOk);
  settle();
  const auto sent = core_->received(kProfilesSet.id);
  ASSERT_EQ(sent.size(), 2u) << "the first five entries hold two usable channels";
  EXPECT_EQ(received_ids(*core_),
            (std::vector<int32_t>{kProfilesRead.id, kProfilesRead.id, kProfilesSet.id, kProfilesSet.id}));
  EXPECT_EQ(core_->received(kProfilesRead.id)[1].payload, bytes_of(int32_t{63}));
  DayNightProfiles multi = camera;
  multi.channel = 1;
  multi.profiles[0].valid = 1;
  multi.profiles[0].enable = 1;
  multi.profiles[2].valid = 1;
  multi.profiles[2].gain_level = 3;
  EXPECT_EQ(sent[0].payload, bytes_of(multi)) << "a profile that is not an object stays unset, an eighth is none";
  multi.channel = 63;
  EXPECT_EQ(sent[1].payload, bytes_of(multi));

  core_->no_reply(kProfilesRead.id);
  core_->clear_received();
  EXPECT_EQ(post("/2047", R"({"cnt": 2, "chnid": [0, 5], "image": [{"enable": 1}]})").out, kJsonError);
  EXPECT_TRUE(core_->received(kProfilesSet.id).empty()) << "no channel is set";
  EXPECT_EQ(core_->received(kProfilesRead.id)[0].payload, bytes_of(int32_t{0})) << "channel 0 is asked first";
}

TEST_F(CameraSetupTest, ExposureTableKeepsTheFirst140Entries) {
  EXPECT_EQ(post("/2049", R"({"channel": 3})").out, kJsonError) << "nothing stored yet";
  std::string list;
  for (int i = 0; i < 150; ++i) list += (i ? ", " : "") + std::string(R"({"exposureTime": )") + std::to_string(i) + R"(, "gainLevel": 2})";
  EXPECT_EQ(post("/2048", R"({"channel": 3, "exposure": [)" + list + "]}").out, kOk);
  ExposureEntry table[kExposureEntries];
  int count = 0;
  ASSERT_EQ(read_exposure(kZvdbPath, table, 3, &count), 0);
  zvdb_close_all();
  EXPECT_EQ(count, 140);
  EXPECT_EQ(table[139].exposure_time, 139);
  const std::string reply = post("/2049", R"({"channel": 3})").out;
  EXPECT_EQ(reply.rfind(kJsonHeader + R"({ "exposure": [ { "exposureTime": 0, "gainLevel": 2 }, )", 0), 0u);
  EXPECT_NE(reply.find(R"({ "exposureTime": 139, "gainLevel": 2 } ] })"), std::string::npos);
  EXPECT_EQ(reply.find(R"("exposureTime": 140,)"), std::string::npos);
  EXPECT_TRUE(core_->received().empty()) << "the table is the recorder's own";
}

TEST_F(CameraSetupTest, AreasAreCappedToTheRecord) {
  std::string areas;
  for (int i = 0; i < 20; ++i) areas += (i ? ", " : "") + std::string(R"({"left": )") + std::to_string(i) + "}";
  EXPECT_EQ(post("/2040", R"({"chnid": 4, "enable": 1, "cnt": 20, "area": [)" + areas + "]}").out, kOk);
  settle();
  const auto sent = record_from<DayNightAreasWrite>(only_message(*core_, kAreasSet.id).payload);
  EXPECT_EQ(sent.areas.chnid, 4);
  EXPECT_EQ(sent.areas.cnt, kDayNightAreaCapacity);
  EXPECT_EQ(sent.areas.areas[15].left, 15);
  core_->clear_received();
  EXPECT_EQ(post("/2040", R"({"chnid": 4, "cnt": 5, "area": [{"left": 1}, {"left": 2}]})").out, kOk);
  settle();
  EXPECT_EQ(record_from<DayNightAreasWrite>(only_message(*core_, kAreasSet.id).payload).areas.cnt, 2)
      << "no more areas than the request gives";
  core_->clear_received();
  EXPECT_EQ(post("/2040", R"({"chnid": 4, "cnt": 1, "area": [{"left": 1}, {"left": 2}]})").out, kOk);
  settle();
  EXPECT_EQ(record_from<DayNightAreasWrite>(only_message(*core_, kAreasSet.id).payload).areas.cnt, 1)
      << "no more areas than the count names";
  // Elements that are no area, or whose numbers do not fit, are skipped; the others close up.
  core_->clear_received();
  EXPECT_EQ(post("/2040", R"({"chnid": 4, "cnt": 4, "area": [7, {"left": 1e10}, {"left": 5, "bottom": 6}, {"top": 8}]})")
                .out,
            kOk);
  settle();
  const auto packed = record_from<DayNightAreasWrite>(only_message(*core_, kAreasSet.id).payload);
  EXPECT_EQ(packed.areas.cnt, 2);
  EXPECT_EQ(bytes_of(packed.areas.areas[0]), bytes_of(DayNightArea{5, 0, 0, 6}));
  EXPECT_EQ(bytes_of(packed.areas.areas[1]), bytes_of(DayNightArea{0, 8, 0, 0}));
  EXPECT_EQ(bytes_of(packed.areas.areas[2]), bytes_of(DayNightArea{}));

  DayNightAreas stored{};
  stored.chnid = 4;
  stored.cnt = 99;
  stored.areas[0] = DayNightArea{1, 2, 3, 4};
  core_->reply(kAreasRead.id, bytes_of(stored));
  const std::string reply = post("/2039", R"({"id": 4})").out;
  EXPECT_EQ(reply.rfind(kJsonHeader + R"({ "chnid": 4, "enable": 0, "cnt": 16, "area": [ { "left": 1, "top": 2, )"
                                      R"("right": 3, "bottom": 4 }, )", 0),
            0u);
  EXPECT_EQ(post("/2050", R"({"chan_id": 4, "area_id": 15})").out, kOk);
  settle();
  EXPECT_EQ(only_message(*core_, kAreaDelete.id).payload, int32s({4, 15}));
}

TEST_F(CameraSetupTest, CameraPlansGoWholeToTheCore) {
  struct Plan {
    const char* read;
    const char* set;
    int32_t read_id;
    int32_t set_id;
    size_t size;
  };
  const Plan plans[] = {{"/2041", "/2042", kPlanARead.id, kPlanASet.id, sizeof(CameraPlan)},
                        {"/2043", "/2044", kPlanBRead.id, kPlanBSet.id, sizeof(CameraPlanWide)},
                        {"/2045", "/2046", kPlanCRead.id, kPlanCSet.id, sizeof(CameraPlan)}};
  for (const Plan& p : plans) {
    SCOPED_TRACE(p.set);
    core_->clear_received();
    EXPECT_EQ(post(p.set, R"({"channel": 3, "schedule": [[], [["07:00", "08:00", 2]]]})").out, kOk);
    settle();
    Bytes expected(p.size, 0);
    expected[0] = 3;
    CameraPlan head{};
    head.channel = 3;
    std::strcpy(head.schedule.days[1].ranges[0].start_time, "07:00");
    std::strcpy(head.schedule.days[1].ranges[0].end_time, "08:00");
    head.schedule.days[1].ranges[0].action_type = 2;
    std::memcpy(expected.data(), &head, sizeof head);
    EXPECT_EQ(only_message(*core_, p.set_id).payload, expected);

    expected[0] = 9;
    core_->reply(p.read_id, expected);
    const std::string reply = post(p.read, R"({"id": 3})").out;
    EXPECT_EQ(reply.rfind(kJsonHeader + R"({ "channel": 9, "schedule": [ [ { "startTime": "", "endTime": "", )", 0), 0u);
    EXPECT_NE(reply.find(R"([ { "startTime": "07:00", "endTime": "08:00", "actionType": 2 }, )"), std::string::npos);
    EXPECT_EQ(only_message(*core_, p.read_id).payload, int32s({3}));
  }
}

// ---- Heat map, tracking, watermark ----------------------------------------------------------------

TEST_F(CameraSetupTest, WritesCarryTheirChannelSets) {
  core_->reply(kHeatMapSet.id, int32s({0}));
  auto camera_map = std::make_unique<HeatMap>();  // what a set leaves out stays the camera's
  camera_map->sensitivity = 3;
  camera_map->effective.days[0].day_flag = 1;
  core_->reply(kHeatMapRead.id, bytes_of(*camera_map));
  auto camera_tracking = std::make_unique<Tracking>();
  camera_tracking->show = 1;
  camera_tracking->zoom_mode = 9;
  core_->reply(kTrackingRead.id, bytes_of(*camera_tracking));
  EXPECT_EQ(post("/2052", R"({"chnid": 5, "copyCnt": 0, "copyChn": [1], "enable": 1, "effective": null, "map_mask": ")" +
                             std::string(300, 'a') + R"("})")
                .out,
            kJsonHeader + R"({ "res": 0 })");
  const auto heat = record_from<HeatMapWrite>(only_message(*core_, kHeatMapSet.id).payload);
  EXPECT_EQ(heat.copy.bits(), 0x20u);
  EXPECT_EQ(heat.map.chnid, 5);
  EXPECT_EQ(heat.map.enable, 1);
  EXPECT_EQ(text_of(heat.map.map_mask), std::string(299, 'a')) << "299 characters of 300";
  EXPECT_EQ(heat.map.sensitivity, 3);
  EXPECT_EQ(heat.map.effective.days[0].day_flag, 1) << "no plan given: the camera's";

  core_->reply(kTrackingSet.id, int32s({3}));
  EXPECT_EQ(post("/2055", R"({"chnid": 7, "channels": "11", "zoom_mode": 2, "area": "z",
                              "schedule": [[["01:00", "02:00", 1]]]})").out,
            kJsonHeader + R"({ "res": 3 })");
  const auto tracking = record_from<TrackingWrite>(only_message(*core_, kTrackingSet.id).payload);
  EXPECT_EQ(tracking.channels.bits(), 0x83u);
  EXPECT_EQ(tracking.tracking.zoom_mode, 2);
  EXPECT_EQ(tracking.tracking.show, 1);
  EXPECT_EQ(text_of(tracking.tracking.area), "z");
  EXPECT_EQ(text_of(tracking.tracking.schedule.days[0].ranges[0].end_time), "02:00");

  struct Copy {
    int channel;
    std::string copy;
    std::string sent;
  };
  const Copy copies[] = {{2, std::string(64, '0'), "001" + std::string(61, '0')},
                         {3, "1", "1001"},
                         {1, std::string(65, '0'), "01" + std::string(62, '0')},
                         {63, "", std::string(63, '0') + "1"}};
  for (const Copy& c : copies) {
    core_->clear_received();
    core_->reply(kWatermarkSet.id, int32s({0}));
    const std::string body = R"({"chnid": )" + std::to_string(c.channel) + R"(, "enable": 1, "watermark": ")" +
                             std::string(40, 'w') + R"(", "copy": ")" + c.copy + R"("})";
    EXPECT_EQ(post("/2059", body).out, kJsonHeader + R"({ "res": 0 })");
    const auto mark = record_from<WatermarkWrite>(only_message(*core_, kWatermarkSet.id).payload);
    EXPECT_EQ(std::string(mark.copy, strnlen(mark.copy, sizeof mark.copy)), c.sent);
    EXPECT_EQ(text_of(mark.mark.watermark), std::string(31, 'w'));
  }
  // A request without the text shows none, never "(null)" in the picture.
  core_->clear_received();
  EXPECT_EQ(post("/2059", R"({"chnid": 2, "enable": 1})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(text_of(record_from<WatermarkWrite>(only_message(*core_, kWatermarkSet.id).payload).mark.watermark), "");
}

TEST_F(CameraSetupTest, FeatureReadsPrintTheCoreRecords) {
  auto heat = std::make_unique<HeatMap>();
  *heat = HeatMap{};
  heat->chnid = 1;
  heat->sensitivity = 4;
  std::strcpy(heat->map_mask, "ff");
  std::strcpy(heat->effective.days[0].ranges[0].start_time, "08:00");
  core_->reply(kHeatMapRead.id, bytes_of(*heat));
  const std::string map = post("/2051", R"({"chnid": 1})").out;
  EXPECT_EQ(map.rfind(kJsonHeader + R"({ "chnid": 1, "enable": 0, "sensitivity": 4, "minsize": 0, "mintime": 0, )"
                                    R"("adaptability": 0, "map_mask": "ff", "effective": [ [ { "startTime": "00:00")", 0),
            0u)
      << "a day without its flag prints empty";

  auto tracking = std::make_unique<Tracking>();
  *tracking = Tracking{};
  tracking->chnid = 2;
  tracking->zoom_number = 8;
  std::strcpy(tracking->area, "ar");
  tracking->report_motion = 1;
  core_->reply(kTrackingRead.id, bytes_of(*tracking));
  EXPECT_EQ(post("/2054", R"({"chnid": 2})").out.rfind(
                kJsonHeader + R"({ "chnid": 2, "enable": 0, "show": 0, "sensitivity": 0, "time": 0, "manual_tracking": 0, )"
                              R"("zoom_mode": 0, "zoom_number": 8, "area": "ar", "humanVehicleSupport": 0, )"
                              R"("trackingObject": 0, "reportMotion": 1, "schedule": [ [ { "startTime": "", )", 0),
            0u);

  core_->reply(kWatermarkRead.id, bytes_of(Watermark{2, 1, "ABC"}));
  EXPECT_EQ(post("/2058", R"({"chnid": 2})").out,
            kJsonHeader + R"({ "chnid": 2, "enable": 1, "watermark": "ABC" })");
  core_->reply(kCameraIdentity.id, bytes_of(CameraIdentity{2, "10.0.0.2", "PTZ", "V5"}));
  EXPECT_EQ(post("/2057", R"({"chnid": 2})").out,
            kJsonHeader + R"({ "chnid": 2, "ipaddr": "10.0.0.2", "model": "PTZ", "fwversion": "V5" })");
  core_->reply(kTrackingSupport.id, int32s({1}));
  EXPECT_EQ(post("/2056", R"({"chnid": 2})").out, kJsonHeader + R"({ "res": 1 })");
  core_->reply(kNightMode.id, int32s({2, 1}));
  EXPECT_EQ(post("/2062", R"({"chnid": 2})").out, kJsonHeader + R"({ "chnid": 2, "nightMode": 1 })");

  const Bytes data = {'a', 0, 'b', '%', 's', '\n'};
  core_->reply(kHeatMapData.id, data);
  EXPECT_EQ(post("/2053", R"({"chnid": 2, "mainType": 1, "subType": 2, "time": "2026-12-09"})").out,
            kTextHeader + std::string("a\0b%s\n", 6));
  HeatMapQuery query{2, 1, 2, "2026-12-09"};
  EXPECT_EQ(only_message(*core_, kHeatMapData.id).payload, bytes_of(query));
}

// ---- Effective plans ----------------------------------------------------------------------------

TEST_F(CameraSetupTest, EffectivePlansAreWrittenByKindRange) {
  const std::string plan = R"([[["01:00", "02:00", 3], ["03:00", "04:00", 1], [], [], [], [], [], [], [], [], [], [],
                               ["05:00", "06:00", 1]]])";
  const std::string before = dump();
  EXPECT_EQ(post("/2036", R"({"channel": 2, "start": 3, "end": 1, "schedule_motion": )" + plan + "}").out, kOk);
  EXPECT_EQ(post("/2036", R"({"channel": 2, "start": 0, "end": 8})").out, kOk) << "no member: nothing written";
  EXPECT_EQ(dump(), before);
  settle();
  EXPECT_TRUE(core_->received().empty()) << "nothing changed, nothing told";

  EXPECT_EQ(post("/2036", R"({"channel": 2, "start": 0, "end": 0, "schedule_motion": )" + plan + "}").out, kOk);
  Schedule stored{};
  ASSERT_EQ(kMotionEffectivePlans.read(kZvdbPath, &stored, {2}), 0);
  zvdb_close_all();
  EXPECT_EQ(text_of(stored.days[0].ranges[1].start_time), "03:00");
  EXPECT_EQ(stored.days[0].ranges[12].start_time[0], '\0') << "a thirteenth range is not kept";
  const std::string reply = post("/2035", R"({"channel": 2})").out;
  EXPECT_EQ(reply.rfind(kJsonHeader + R"({ "schedule_motion": [ [ { "startTime": "01:00", "endTime": "02:00", )"
                                      R"("actionType": 3 }, { "startTime": "03:00", "endTime": "04:00", )"
                                      R"("actionType": 1 }, { "startTime": "00:00", "endTime": "00:00", "actionType": 0 }, )", 0),
            0u)
      << reply;
  JsonPtr parsed(json_tokener_parse(reply.substr(reply.find('{')).c_str()));
  json_object* days = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(parsed.get(), "schedule_motion", &days));
  EXPECT_EQ(json_object_array_length(days), 8u);  // the week and the holiday
  EXPECT_EQ(json_object_array_length(json_object_array_get_idx(days, 0)), 12u) << "twelve ranges a day";
  settle();
  EXPECT_EQ(received_ids(*core_), std::vector<int32_t>{1403}) << "the motion kind is told once";
  EXPECT_EQ(only_message(*core_, 1403).payload, int32s({2}));
}

// The eight analytics kinds are stored under their smart event sub index; the reply lists all nine
// keys in kind order.
TEST_F(CameraSetupTest, EffectivePlansOfTheAnalyticsKinds) {
  const std::string plan = R"([[["07:00", "08:00", 2]]])";
  EXPECT_EQ(post("/2036", R"({"channel": 3, "start": 5, "end": 8, "schedule_line_crossing": )" + plan +
                              R"(, "schedule_region_entrance": )" + plan + "}")
                .out,
            kOk);
  Schedule stored{};
  ASSERT_EQ(zvdb::read_record(kZvdbPath, zvdb::kSmartEventPlanTables[kPlanEffective], &stored, zvdb::Key{3, 4}), 0);
  EXPECT_EQ(text_of(stored.days[0].ranges[0].start_time), "07:00");
  EXPECT_NE(zvdb::read_record(kZvdbPath, zvdb::kSmartEventPlanTables[kPlanEffective], &stored, zvdb::Key{3, 0}), 0)
      << "kind 1 is outside 5..8";
  zvdb_close_all();
  settle();
  EXPECT_EQ(received_ids(*core_), std::vector<int32_t>{1412}) << "the analytics kinds are told once";
  EXPECT_EQ(only_message(*core_, 1412).payload, int32s({1 << 3, 0}));
  const std::string reply = post("/2035", R"({"channel": 3})").out;
  size_t at = 0;
  for (const char* key : {"schedule_motion", "schedule_region_entrance", "schedule_region_exit",
                          "schedule_advanced_motion", "schedule_tamper_detection", "schedule_line_crossing",
                          "schedule_loitering", "schedule_human_detection", "schedule_people_counting"}) {
    const size_t found = reply.find(std::string("\"") + key + "\": [", at);
    ASSERT_NE(found, std::string::npos) << key;
    at = found;
  }
  EXPECT_NE(reply.find(R"("schedule_line_crossing": [ [ { "startTime": "07:00", "endTime": "08:00", "actionType": 2 })"),
            std::string::npos);
}

TEST_F(CameraSetupTest, Ipv6PresenceIsANumber) {
  const std::string reply = post("/2034", "").out;
  EXPECT_TRUE(reply == kTextHeader + "0" || reply == kTextHeader + "1") << reply;
}

}  // namespace
}  // namespace zvtest
