// Maintenance requests through the real front end: reboot and reset order, readiness, the
// configuration export, download and import with the zvprofile stand-in, device information and
// the firmware upgrade messages, with exact payloads and replies.
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/request.h"
#include "common/messages/admin.h"
#include "platform/zvdb/video_tables.h"
#include "tests/admin/admin_fixture.h"
#include "tests/support/held_lock.h"
#include "tests/system/system_fixture.h"

namespace zvtest {
namespace {

class MaintenanceTest : public SystemRequestTest {};

TEST_F(MaintenanceTest, RebootLogsThenRestarts) {
  EXPECT_EQ(get("/1004").out, kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{kOpLog.id, 1703}));
  EXPECT_EQ(only_message(*core_, kOpLog.id).payload, bytes_of(expected_log(200, 900)));
  EXPECT_EQ(only_message(*core_, 1703).payload, Bytes{});
}

TEST_F(MaintenanceTest, FactoryResetRepliesFirstThenTellsTheCore) {
  EXPECT_EQ(post("/1006", R"({"keepIp":1})").out, kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{kFactoryKeep.id, kFactoryReset.id, kOpLog.id, 1703}));
  EXPECT_EQ(only_message(*core_, kFactoryKeep.id).payload, int32s({1, 0}));
  EXPECT_EQ(only_message(*core_, kOpLog.id).payload, bytes_of(expected_log(215, 900)));
  core_->clear_received();
  expect_refused("/1006", "{");
}

TEST_F(MaintenanceTest, ReadinessRepairsZeroMotionIntervals) {
  MotionRecord motion{};
  ASSERT_EQ(kMotions.read(kZvdbPath, &motion, {0}), 0);
  motion.interval = 0;
  motion.email_interval = 7;
  ASSERT_EQ(kMotions.write(kZvdbPath, &motion), 0);
  zvdb_close_all();
  EXPECT_EQ(get("/1005").out, kTextHeader + "NO OK");
  ASSERT_EQ(kMotions.read(kZvdbPath, &motion, {0}), 0);
  EXPECT_EQ(motion.interval, 20);
  EXPECT_EQ(motion.email_interval, 7);
  zvdb_close_all();
  write_file("/tmp/zvcore", "1");
  const std::string before = dump();
  EXPECT_EQ(get("/1005").out, kOk);
  EXPECT_EQ(dump(), before);  // nothing to repair: nothing written
  EXPECT_TRUE(core_->received().empty());

  // A zero e-mail interval is repaired alone.
  ASSERT_EQ(kMotions.read(kZvdbPath, &motion, {0}), 0);
  motion.interval = 5;
  motion.email_interval = 0;
  ASSERT_EQ(kMotions.write(kZvdbPath, &motion), 0);
  zvdb_close_all();
  EXPECT_EQ(get("/1005").out, kOk);
  ASSERT_EQ(kMotions.read(kZvdbPath, &motion, {0}), 0);
  EXPECT_EQ(motion.interval, 5);
  EXPECT_EQ(motion.email_interval, 20);
  zvdb_close_all();
}

// The repair of the motion intervals keeps a motion set stored while it waited for the lock.
TEST_F(MaintenanceTest, ReadinessRepairKeepsAMotionSetStoredMeanwhile) {
  MotionRecord motion{};
  ASSERT_EQ(kMotions.read(kZvdbPath, &motion, {0}), 0);
  motion.interval = 0;
  ASSERT_EQ(kMotions.write(kZvdbPath, &motion), 0);
  zvdb_close_all();
  const RunResult ready = while_lock_held([&] { return get("/1005"); }, [&] {
    MotionRecord meanwhile{};
    ASSERT_EQ(kMotions.read(kZvdbPath, &meanwhile, {0}), 0);
    meanwhile.sensitivity = 9;
    ASSERT_EQ(kMotions.write(kZvdbPath, &meanwhile), 0);
    zvdb_close_all();
  });
  EXPECT_EQ(ready.out, kTextHeader + "NO OK");
  ASSERT_EQ(kMotions.read(kZvdbPath, &motion, {0}), 0);
  zvdb_close_all();
  EXPECT_EQ(motion.sensitivity, 9);
  EXPECT_EQ(motion.interval, 20);
}

TEST_F(MaintenanceTest, ExportDownloadImportRoundTripsEverySetting) {
  ASSERT_EQ(set_param_value(kZvdbPath, "company", "Before"), 0);
  zvdb_close_all();
  const std::string saved = dump();
  const RunResult exported = get("/1007");
  const std::string path = read_file("/tmp/.export_down_file");
  ASSERT_EQ(path.rfind("/tmp/zvconfig_", 0), 0u) << path;
  EXPECT_EQ(exported.out, kTextHeader + "OK filename=" + path.substr(5) + "\r\n");
  EXPECT_EQ(only_message(*core_, kOpLog.id).payload, bytes_of(expected_log(213, 900)));
  const std::string image = read_file(path);

  const RunResult download = get("/1013");
  EXPECT_EQ(download.out, "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= " +
                              path.substr(5) + "\r\n\r\n" + image);
  EXPECT_FALSE(file_exists(path));
  EXPECT_EQ(get("/1013").out, "");

  ASSERT_EQ(set_param_value(kZvdbPath, "company", "After"), 0);
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 8), 0);
  zvdb_close_all();
  core_->clear_received();
  const Upload upload = multipart_upload("backup.db", image);
  EXPECT_EQ(post("/1008", upload.body, upload.env).out, kOk);
  EXPECT_EQ(dump(), saved);
  EXPECT_FALSE(file_exists("/tmp/backup.db"));
  EXPECT_EQ(only_message(*core_, kOpLog.id).payload, bytes_of(expected_log(214, 900)));

  // A saved export keeps its name ("zvconfig_<time>.db"): it is imported, and the export of that
  // name still waiting for its download stays as it is.
  write_file("/tmp/zvconfig_1767225600.db", "pending");
  const Upload saved_export = multipart_upload("zvconfig_1767225600.db", image);
  EXPECT_EQ(post("/1008", saved_export.body, saved_export.env).out, kOk);
  EXPECT_EQ(read_file("/tmp/zvconfig_1767225600.db"), "pending");
  EXPECT_FALSE(file_exists("/tmp/upload_zvconfig_1767225600.db"));
}

TEST_F(MaintenanceTest, ImportRefusesWhatIsNotAnExport) {
  const std::string before = dump();
  const Upload junk = multipart_upload("junk.db", "SQLite format 3 but not really");
  EXPECT_EQ(post("/1008", junk.body, junk.env).out, kCgiErrorText);
  EXPECT_FALSE(file_exists("/tmp/junk.db"));
  EXPECT_EQ(dump(), before);
  EXPECT_TRUE(core_->received().empty());
}

TEST_F(MaintenanceTest, ExportFailureAndForgedDownloadPaths) {
  ASSERT_EQ(unlink(kZvdbPath), 0);
  EXPECT_EQ(get("/1007").out, kCgiErrorText);
  EXPECT_TRUE(core_->received().empty());
  write_file("/tmp/secret", "secret");
  ASSERT_EQ(symlink("/tmp/secret", "/tmp/exported.db"), 0);
  for (const char* forged : {"/etc/hostname", "/tmp/../tmp/secret", "/tmp/exported.db", "/tmp/cgilockfile"}) {
    write_file("/tmp/.export_down_file", forged);
    EXPECT_EQ(get("/1013").out, "") << forged;
  }
  EXPECT_EQ(read_file("/tmp/secret"), "secret");
  EXPECT_TRUE(file_exists("/tmp/exported.db"));
}

// Exports never downloaded do not pile up in /tmp: an export removes earlier ones except the one
// still named for download, which goes once the new export has replaced it (and stays when the
// new export fails). Only "zvconfig_*.db" regular files are touched: no link, nothing else.
TEST_F(MaintenanceTest, ExportRemovesEarlierLeftovers) {
  write_file("/tmp/zvconfig_20200101000000.db", "old");
  write_file("/tmp/zvconfig_20200101000001.db", "named");
  write_file("/tmp/.export_down_file", "/tmp/zvconfig_20200101000001.db");
  write_file("/tmp/zvconfig_notes.txt", "kept");
  write_file("/tmp/zvconfig_.db", "too short a name");
  write_file("/tmp/target", "target");
  ASSERT_EQ(symlink("/tmp/target", "/tmp/zvconfig_link.db"), 0);
  ASSERT_EQ(mkdir("/tmp/zvconfig_dir.db", 0700), 0);

  // A failed export removes the unreachable leftover and keeps the downloadable one.
  zvdb_close_all();
  ASSERT_EQ(rename(kZvdbPath, "/mnt/nand/app/zvdb.away"), 0);
  EXPECT_EQ(get("/1007").out, kCgiErrorText);
  ASSERT_EQ(rename("/mnt/nand/app/zvdb.away", kZvdbPath), 0);
  struct Expect {
    const char* path;
    bool exists;
  };
  for (const Expect& e : std::initializer_list<Expect>{{"/tmp/zvconfig_20200101000000.db", false},
                                                       {"/tmp/zvconfig_20200101000001.db", true},
                                                       {"/tmp/zvconfig_notes.txt", true},
                                                       {"/tmp/zvconfig_.db", true},
                                                       {"/tmp/zvconfig_link.db", true},
                                                       {"/tmp/target", true},
                                                       {"/tmp/zvconfig_dir.db", true}}) {
    EXPECT_EQ(file_exists(e.path), e.exists) << "after a failed export: " << e.path;
  }

  // Two exports in a row without a download: one export file is left, the one named.
  for (int round = 0; round < 2; ++round) {
    const RunResult exported = get("/1007");
    const std::string path = read_file("/tmp/.export_down_file");
    ASSERT_EQ(exported.out, kTextHeader + "OK filename=" + path.substr(5) + "\r\n");
    std::vector<std::string> exports;
    for (const std::string& name : list_dir("/tmp")) {
      if (name.rfind("zvconfig_", 0) == 0 && name.size() > 12 && name.substr(name.size() - 3) == ".db" &&
          name != "zvconfig_link.db" && name != "zvconfig_dir.db" && name != "zvconfig_.db") {
        exports.push_back("/tmp/" + name);
      }
    }
    EXPECT_EQ(exports, std::vector<std::string>{path}) << "round " << round;
    sleep(1);  // the next export's name (a time to the second) differs
  }
  EXPECT_EQ(read_file("/tmp/target"), "target");
  EXPECT_EQ(read_file("/tmp/zvconfig_notes.txt"), "kept");
}

TEST_F(MaintenanceTest, DeviceInformationPrintsTheCoreRecordAndSettings) {
  auto info = std::make_unique<DeviceInfo>();
  *info = DeviceInfo{};
  info->device_id = 7;
  info->max_cameras = 16;
  info->max_sensors = 8;
  info->max_alarm_outputs = 2;
  info->max_audio_outputs = 1;
  info->display_count = 3;
  info->rs485_ports = 4;
  info->network_ports = 5;
  info->oem_version = 6;
  info->ddns = 1;
  std::memset(info->serial, 's', sizeof info->serial);  // unterminated: 65 characters
  std::strcpy(info->serial_prefix, "ZV");
  std::strcpy(info->device_name, "Gate");
  std::strcpy(info->software_version, "7x.7.0.9");
  std::strcpy(info->hardware_version, "V1.1");
  std::strcpy(info->mac, "00:1E:5A:00:00:01");
  info->talk = 1;
  core_->reply(kDeviceInfo.id, bytes_of(*info));
  const std::string out = get("/1009").out;
  const std::string serial(65, 's');
  const std::string head = kJsonHeader + R"({ "hostName": "", "deviceName": "Gate", "deviceId": 7, "product": "Gate", )"
                           R"("hwver": "V1.1", "software": "7x.7.0.9", "oemversion": 6, "sn": ")" + serial +
                           R"(", "prefix": "ZV", "pluginVersion": "1.0", "mpluginVersion": "1.0", )"
                           R"("macAddress": "00:1E:5A:00:00:01", "zvddns": 1, "uptime": ")";
  ASSERT_EQ(out.rfind(head, 0), 0u) << out;
  const std::string tail = R"(", "sncode": ")" + serial +
                           R"(", "resource": { "displayNum": 3, "maxAudioOut": 1, "maxNetworkLan": 5, "maxSensor": 8, )"
                           R"("maxAlarm": 2, "maxCameras": 16, "masRs485": 4 }, "zvfsDbup": 0, "transProtocol": 0, )"
                           R"("streamInfo": 0, "oemonlineupdate": 0, "company": "Zarvonite", "isSupportTalk": 1 })";
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(get("/1020").out.rfind(head, 0), 0u);

  // "uptime" ends before the separator that precedes the user count.
  ASSERT_EQ(mkdir("/tmp/uptime-bin", 0755), 0);
  write_file("/tmp/uptime-bin/uptime",
             "#!/bin/sh\necho ' 10:00:00 up 3 days,  2 users,  load average: 0.10'\n");
  ASSERT_EQ(chmod("/tmp/uptime-bin/uptime", 0755), 0);
  const char* path = getenv("PATH");
  const std::string with_uptime = get("/1009", "", {{"PATH", std::string("/tmp/uptime-bin:") + (path ? path : "")}}).out;
  EXPECT_NE(with_uptime.find(R"("uptime": " 10:00:00 up 3 days", )"), std::string::npos) << with_uptime;
  core_->reply(kDeviceInfo.id, Bytes{});
  EXPECT_EQ(get("/1009").out, kCgiErrorJson);
  core_->no_reply(kDeviceInfo.id);
  EXPECT_EQ(get("/1020").out, kCgiErrorJson);
}

TEST_F(MaintenanceTest, RecorderUpgradeRepliesByStatus) {
  struct Case {
    const char* query;
    int32_t status;
    std::string reply;
    int32_t reset;
  } cases[] = {
      {"keep=1&reset=1", 0, kOk, 1},
      {"x", 5, kTextHeader + "5", 0},
      {"", -3, kTextHeader + "-3", 0},
  };
  for (const Case& c : cases) {
    core_->clear_received();
    core_->reply(kUpgrade.id, int32s({c.status}));
    const Upload u = multipart_upload("fw.bin", "image", c.query);
    EXPECT_EQ(post("/1010", u.body, u.env).out, c.reply) << c.query;
    EXPECT_EQ(only_message(*core_, kUpgrade.id).payload, int32s({c.reset}));
    EXPECT_EQ(core_->received(1703).size(), c.status == 0 ? 1u : 0u);
    EXPECT_EQ(core_->received(kOpLog.id).size(), c.status == 0 ? 2u : 1u);
  }
  core_->no_reply(kUpgrade.id);
  core_->clear_received();
  EXPECT_EQ(get("/1010", "reset").out, kCgiErrorText);
  EXPECT_TRUE(core_->received(1703).empty());

  core_->reply(kUpgrade.id, int32s({0}));
  EXPECT_EQ(get("/6088").out, kJsonHeader + R"({ "res": 0 })");
  core_->reply(kUpgrade.id, int32s({4}));
  EXPECT_EQ(get("/6088").out, kJsonHeader + R"({ "res": 4 })");
  core_->no_reply(kUpgrade.id);
  EXPECT_EQ(get("/6088").out, kCgiErrorText);
}

TEST_F(MaintenanceTest, ImageFilesAnswerPresenceAndAreDropped) {
  EXPECT_EQ(get("/1011").out, kOk);
  EXPECT_EQ(get("/6082", "temp & x").out, kTextHeader + "Error");
  write_file(kRecorderImage, "fw");
  write_file(kCameraImage, "ipc");
  EXPECT_EQ(get("/1011").out, kTextHeader + "Error");
  EXPECT_EQ(get("/6082").out, kOk);
  EXPECT_EQ(get("/6084").out, kOk);
  EXPECT_FALSE(file_exists(kCameraImage));
  EXPECT_EQ(only_message(*core_, kCameraImageDropped.id).payload, Bytes{});
  EXPECT_EQ(post("/6086", R"({"type":0})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_FALSE(file_exists(kRecorderImage));
  EXPECT_EQ(post("/6086", R"({"type":0})").out, kJsonHeader + R"({ "res": 0 })");
  core_->reply(kUpgradeCancel.id, int32s({3}));
  EXPECT_EQ(post("/6086", R"({"type":1})").out, kJsonHeader + R"({ "res": 3 })");
  EXPECT_EQ(post("/6086", R"({"type":2})").out, kCgiErrorJson);
  EXPECT_EQ(post("/6086", R"({"type":-1})").out, kCgiErrorJson);
}

TEST_F(MaintenanceTest, CameraUpgradeMessagesCarryExactPayloads) {
  core_->reply(kCameraUpgrade.id, int32s({3, 0, 9, 9}));
  EXPECT_EQ(post("/6083", R"({"chnid":3,"reset":1})").out, kJsonHeader + R"({ "chnid": 3, "status": 0 })");
  EXPECT_EQ(only_message(*core_, kCameraUpgrade.id).payload,
            concat({int32s({3, 1}), text_field("/dev/shm/updateIPCFM.bin", 256)}));
  EXPECT_EQ(post("/6083", "x").out, kCgiErrorJson);
  // A channel outside 0..63 never reaches the core.
  core_->clear_received();
  for (const char* body : {R"({"chnid":-1})", R"({"chnid":64})"}) EXPECT_EQ(post("/6083", body).out, kCgiErrorJson);
  settle();
  EXPECT_TRUE(core_->received().empty());
  core_->reply(kCameraUpgrade.id, Bytes{});
  EXPECT_EQ(post("/6083", R"({"chnid":3})").out, kCgiErrorJson);
  core_->no_reply(kCameraUpgrade.id);
  EXPECT_EQ(post("/6083", R"({"chnid":3})").out, kCgiErrorText);

  core_->reply(kUpgradeDownload.id, int32s({0}));
  EXPECT_EQ(post("/6085", R"({"type":1,"url":")" + std::string(127, 'u') + "\"}").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(only_message(*core_, kUpgradeDownload.id).payload,
            concat({text_field(std::string(127, 'u'), 128), text_field("/dev/shm/updateIPCFM.bin", 128)}));
  core_->clear_received();
  // A longer address is refused, not cut: the cut one would fetch an image from somewhere else.
  EXPECT_EQ(post("/6085", R"({"type":1,"url":")" + std::string(128, 'u') + "\"}").out, kCgiErrorJson);
  EXPECT_EQ(post("/6085", R"({"type":2,"url":"http://x"})").out, kCgiErrorJson);
  EXPECT_EQ(post("/6085", R"({"type":-1,"url":"http://x"})").out, kCgiErrorJson);
  EXPECT_TRUE(core_->received().empty());

  struct Mask {
    const char* ch;
    uint64_t mask;
  } masks[] = {{"1101", 0b1011}, {"1x1", 1}, {"", 0}, {"0000000000000000000000000000000000000000000000000000000000000001", uint64_t{1} << 63}};
  for (const Mask& m : masks) {
    core_->clear_received();
    core_->reply(kCameraUpgradeCheck.id, concat({bytes_of(UpgradeCheck{1, 2, "v", "u", "d"})}));
    EXPECT_EQ(post("/6089", std::string(R"({"ch":")") + m.ch + "\"}").out,
              kJsonHeader + R"({ "check": [ { "state": 1, "fileSize": 2, "softversion": "v", "url": "u", "description": "d" } ] })");
    uint64_t sent = 0;
    const Bytes payload = only_message(*core_, kCameraUpgradeCheck.id).payload;
    ASSERT_EQ(payload.size(), 8u);
    std::memcpy(&sent, payload.data(), 8);
    EXPECT_EQ(sent, m.mask) << m.ch;
  }
  // A reply for all 64 cameras lists every check.
  Bytes all;
  for (int i = 0; i < 64; ++i) all = concat({all, bytes_of(UpgradeCheck{1, i, "v", "u", "d"})});
  core_->reply(kCameraUpgradeCheck.id, all);
  JsonPtr checks(json_tokener_parse(body_of(post("/6089", R"({"ch":"1"})").out).c_str()));
  json_object* list = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(checks.get(), "check", &list));
  EXPECT_EQ(json_object_array_length(list), 64u);

  core_->reply(kUpgradeCheck.id, bytes_of(UpgradeCheck{2, 3, "7x", "http://a", "new"}));
  EXPECT_EQ(get("/6087").out,
            kJsonHeader + R"({ "state": 2, "fileSize": 3, "softversion": "7x", "url": "http:\/\/a", "description": "new" })");
}

TEST_F(MaintenanceTest, DatabaseUpgradeFlagIsCleared) {
  ASSERT_EQ(set_param_int(kZvdbPath, "zvfs_dbup", 1), 0);
  zvdb_close_all();
  refuse_database_writes();
  EXPECT_EQ(get("/1023").out, kCgiErrorText);
  EXPECT_EQ(get_param_int(kZvdbPath, "zvfs_dbup", -1), 1);
  zvdb_close_all();
}

TEST_F(MaintenanceTest, DatabaseUpgradeFlagClearStores) {
  ASSERT_EQ(set_param_int(kZvdbPath, "zvfs_dbup", 1), 0);
  zvdb_close_all();
  EXPECT_EQ(get("/1023").out, kOk);
  EXPECT_EQ(get_param_int(kZvdbPath, "zvfs_dbup", -1), 0);
  zvdb_close_all();
}

}  // namespace
}  // namespace zvtest
