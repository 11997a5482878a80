// Storage requests through the real front end against a fake core: exact replies and payloads,
// the rows they store, their operation-log records, refusals that change nothing, and core replies
// that cannot be trusted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/oplog.h"
#include "common/messages/storage.h"
#include "platform/zvdb/storage_tables.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

class StorageRequestTest : public RequestTest {
 protected:
  DiskConfig row(int port) {
    DiskConfig d{};
    d.port = port;
    read_disk(kZvdbPath, &d);
    zvdb_close_all();
    return d;
  }
  void store(const DiskConfig& d) {
    ASSERT_EQ(write_disk(kZvdbPath, &d), 0);
    zvdb_close_all();
  }
  // The operation-log records received, with their detail blocks.
  std::vector<OpLogRecord> logs() {
    std::vector<OpLogRecord> out;
    for (const ReceivedMessage& m : core_->received(kMsgOpLog)) out.push_back(record_from<OpLogRecord>(m.payload));
    return out;
  }
  void expect_log(const OpLogRecord& r, int64_t sub_type, int32_t param_type, int32_t port) {
    EXPECT_EQ(r.sub_type, sub_type);
    EXPECT_EQ(r.param_type, param_type);
    EXPECT_EQ(r.channel, port);
  }
};

DiskConfig network_row(int port, int type, const char* address, const char* directory) {
  DiskConfig d{};
  d.port = port;
  d.enable = 1;
  d.type = type;
  d.property = 1;
  std::strcpy(d.address, address);
  std::strcpy(d.directory, directory);
  std::strcpy(d.user_name, "u s");
  std::strcpy(d.password, "p&w");
  return d;
}

// ---- Disk list -----------------------------------------------------------------------------------

TEST_F(StorageRequestTest, DiskListWithNothingSaysNo) {
  core_->reply(kDiskList.id, {});
  EXPECT_EQ(get("/6100").out, kJsonHeader + R"({ "resultString": "NO", "esataType": 0, "HDD": [ ], "maxDiskNum": 36 })");
  core_->reply(kDiskList.id, Bytes(sizeof(DiskInfo) - 1, 1));  // no whole record
  EXPECT_EQ(get("/6100").out, kJsonHeader + R"({ "resultString": "NO", "esataType": 0, "HDD": [ ], "maxDiskNum": 36 })");
  core_->no_reply(kDiskList.id);
  EXPECT_EQ(get("/6100").out, kCgiErrorJson);
}

TEST_F(StorageRequestTest, DiskListPrintsEveryFieldBoundedAndMergesRows) {
  DiskInfo array{};
  array.port = 12;
  std::memset(array.vendor, 'v', sizeof array.vendor);        // unterminated: 63 printed
  std::memset(array.directory, 'd', sizeof array.directory);  // unterminated: 127 printed
  array.state = 1;
  array.usable = 1;
  array.total_bytes = (uint64_t{5} << 40) + 12345;  // 5 TiB
  array.used_bytes = uint64_t{3} << 20;
  array.free_bytes = (uint64_t{1} << 52) + (uint64_t{7} << 20);  // cut to 32 bits of MiB: 7
  array.type = kDiskTypeRaid;
  array.group = 2;
  array.property = 1;
  array.raid_level = 5;
  array.raid_state = 2;
  array.raid_progress = 40;
  array.raid_member_count = 20;  // clamped to 16
  const int32_t members[16] = {1, 3, 0, 32, -1, 31};
  std::memcpy(array.raid_members, members, sizeof members);
  std::memcpy(array.user_name, "a b/c", 6);
  DiskInfo stray = array;
  stray.port = 37;  // outside 1..36: dropped
  DiskInfo local{};
  local.port = 2;
  std::strcpy(local.vendor, "CORE");
  local.type = 0;
  DiskInfo nfs{};
  nfs.port = 4;
  nfs.type = kDiskTypeNfs;
  std::strcpy(nfs.address, "core-address");
  DiskInfo last = local;
  last.port = 36;  // the last position: kept
  core_->reply(kDiskList.id, concat({bytes_of(stray), bytes_of(array), bytes_of(local), bytes_of(nfs), bytes_of(last)}));
  DiskConfig local_row = network_row(2, 0, "row", "row");
  std::strcpy(local_row.vendor, "ROW");
  store(local_row);  // the core's values stand for a local disk it reports
  store(network_row(4, kDiskTypeNfs, "192.168.1.50", "/export/nvr"));
  DiskConfig smb = network_row(5, kDiskTypeSmb, "192.168.1.51", "/rec");
  smb.group = 3;
  store(smb);  // configured but not reported: state 2
  DiskConfig off = network_row(6, kDiskTypeSmb, "x", "y");
  off.enable = 0;
  store(off);
  const std::string tail =
      R"("raid_id": %, "raid_level": 0, "raid_state": 0, "raid_progress": 0, "raid_sata_cnt": 0, "raid_task": 0, )";
  auto entry = [&](int port, const std::string& head, const std::string& rest) {
    std::string t = tail;
    t.replace(t.find('%'), 1, std::to_string(port));
    return head + t + rest;
  };
  EXPECT_EQ(get("/6100").out,
            kJsonHeader + R"({ "resultString": "OK", "esataType": 0, "HDD": [ )" +
                entry(2, R"({ "portId": 2, "vendorName": "CORE", "address": "", "directory": "", "totalSize": 0, )"
                         R"("usedSize": 0, "freeSize": 0, "hddType": 0, "state": 0, "group": 0, "property": 0, "bUsable": 0, )",
                      R"("userName": "", "password": "", "raid_sata_port": 0 }, )") +
                entry(4, R"({ "portId": 4, "vendorName": "", "address": "192.168.1.50", "directory": "\/export\/nvr", )"
                         R"("totalSize": 0, "usedSize": 0, "freeSize": 0, "hddType": 3, "state": 0, "group": 0, "property": 0, "bUsable": 0, )",
                      R"("userName": "u%20s", "password": "p%26w", "raid_sata_port": 0 }, )") +
                entry(5, R"({ "portId": 5, "vendorName": "", "address": "192.168.1.51", "directory": "\/rec", )"
                         R"("totalSize": 0, "usedSize": 0, "freeSize": 0, "hddType": 10, "state": 2, "group": 3, "property": 1, "bUsable": 0, )",
                      R"("userName": "u%20s", "password": "p%26w", "raid_sata_port": 0 }, )") +
                R"({ "portId": 12, "vendorName": ")" + std::string(63, 'v') + R"(", "address": "", "directory": ")" +
                std::string(127, 'd') +
                R"(", "totalSize": 5242880, "usedSize": 3, "freeSize": 7, "hddType": 4, "state": 1, "group": 2, )"
                R"("property": 1, "bUsable": 1, "raid_id": 12, "raid_level": 5, "raid_state": 2, "raid_progress": 40, )"
                R"("raid_sata_cnt": 16, "raid_task": 40, "userName": "a%20b%2Fc", "password": "", "raid_sata_port": 2147483658 }, )" +
                entry(36, R"({ "portId": 36, "vendorName": "CORE", "address": "", "directory": "", "totalSize": 0, )"
                          R"("usedSize": 0, "freeSize": 0, "hddType": 0, "state": 0, "group": 0, "property": 0, "bUsable": 0, )",
                      R"("userName": "", "password": "", "raid_sata_port": 0 } ], )") +
                R"("maxDiskNum": 36 })");
}

// ---- Property, format, RAID, hot spare, rebuild, mode ------------------------------------------

TEST_F(StorageRequestTest, PropertyStoresNotifiesAndLogs) {
  EXPECT_EQ(post("/6101", R"({"portId": 3, "property": 1, "group": 2})").out, kOk);
  EXPECT_EQ(only_message(*core_, kDiskProperty.id).payload, int32s({3, 1, 2, 0}));
  ASSERT_EQ(logs().size(), 1u);
  expect_log(logs()[0], 204, 919, 3);
  core_->clear_received();
  EXPECT_EQ(post("/6101", R"({"portId": 3, "property": 0})").out, kOk);  // the group stays
  EXPECT_EQ(row(3).group, 2);
  EXPECT_EQ(row(3).property, 0);
  EXPECT_EQ(post("/6101", R"({"portId": 0, "property": 0, "group": 1})").out, kOk);
  EXPECT_EQ(post("/6101", R"({"portId": 36, "property": 1, "group": 5})").out, kOk);  // the last position
  EXPECT_EQ(row(36).group, 5);
  for (const char* body : {R"({"portId": 37, "property": 0})", R"({"portId": -1, "property": 0})",
                           R"({"portId": 1, "property": 2})", R"({"portId": 1, "property": -1})",
                           R"({"property": 1})", R"({"portId": 1})"}) {
    expect_refused("/6101", body);
  }
}

TEST_F(StorageRequestTest, FormatAnswersEveryResultAndAlwaysLogs) {
  struct Case {
    int32_t result;
    const char* reply;
    int32_t outcome;
  } cases[] = {{0, "OK", 1}, {1, "USING", -1}, {-1, "ERROR FORMAT", -1}, {-3, "NAS LOW CAP", -1}, {7, "ERROR FORMAT", -1}};
  for (const Case& c : cases) {
    core_->clear_received();
    core_->reply(kDiskFormat.id, int32s({c.result}));
    EXPECT_EQ(get("/6102", "36").out, kTextHeader + c.reply);
    EXPECT_EQ(only_message(*core_, kDiskFormat.id).payload, int32s({36}));
    ASSERT_EQ(logs().size(), 1u);
    expect_log(logs()[0], 207, 900, 36);
    int32_t kind = 0;
    unsigned char detail[72];
    ASSERT_EQ(zvfs_log_unpack_detail(&logs()[0], &kind, detail, sizeof detail), 72);
    EXPECT_EQ(kind, 102);
    EXPECT_EQ(Bytes(detail + 64, detail + 72), int32s({36, c.outcome}));
  }
  core_->clear_received();
  core_->no_reply(kDiskFormat.id);
  EXPECT_EQ(get("/6102", "0").out, kCgiErrorJson);
  EXPECT_EQ(logs().size(), 1u);
  for (const char* bad : {"37", "-1", "x", ""}) expect_refused("/6102", bad);
  EXPECT_EQ(get("/6103", "16").out, kOk);
  EXPECT_EQ(get("/6103", "0").out, kOk);
  expect_refused("/6103", "17");
  expect_refused("/6103", "-1");
}

TEST_F(StorageRequestTest, RaidRequestsSendTheirPayloads) {
  core_->reply(kRaidCreate.id, int32s({0}));
  EXPECT_EQ(post("/6104", R"({"id": 15, "enable": 1, "level": 1, "sata_cnt": 2, "sata_port": 65546})").out, kOk);
  RaidRequest raid = record_from<RaidRequest>(only_message(*core_, kRaidCreate.id).payload);
  EXPECT_EQ(Bytes(reinterpret_cast<unsigned char*>(&raid), reinterpret_cast<unsigned char*>(&raid) + 32),
            int32s({15, 1, 1, 0, 0, 2, 1, 3}));  // bit 16 of the mask is beyond the 16 ports
  EXPECT_EQ(raid.members[2], 0);
  core_->reply(kRaidCreate.id, int32s({-2}));
  EXPECT_EQ(post("/6104", R"({"id": 10, "enable": 1, "level": 0, "sata_cnt": 16, "sata_port": 10})").out,
            kTextHeader + "Error");
  core_->no_reply(kRaidCreate.id);
  EXPECT_EQ(post("/6104", R"({"id": 10, "enable": 1, "level": 0, "sata_cnt": 2, "sata_port": 10})").out, kCgiErrorText);
  for (const char* body : {R"({"id": 16, "enable": 1, "level": 0, "sata_cnt": 2, "sata_port": 10})",
                           R"({"id": 9, "enable": 1, "level": 0, "sata_cnt": 2, "sata_port": 10})",
                           R"({"id": 10, "enable": 1, "level": 0, "sata_cnt": 17, "sata_port": 10})",
                           R"({"id": 10, "enable": 1, "level": -1, "sata_cnt": 2, "sata_port": 10})",
                           R"({"id": 10, "enable": 1, "level": 0, "sata_cnt": -1, "sata_port": 10})",
                           R"({"id": 10, "enable": 1, "level": 0, "sata_cnt": 2, "sata_port": -1})",
                           R"({"id": 10, "level": 0, "sata_cnt": 2, "sata_port": 10})",
                           R"({"enable": 1, "level": 0, "sata_cnt": 2, "sata_port": 10})",
                           R"({"id": 10, "enable": 1, "sata_cnt": 2, "sata_port": 10})",
                           R"({"id": 10, "enable": 1, "level": 0, "sata_port": 10})"}) {
    expect_refused("/6104", body);
  }
  core_->reply(kRaidDelete.id, int32s({0}));
  EXPECT_EQ(get("/6105", "16").out, kOk);
  RaidRequest removal{};
  removal.id = 16;
  EXPECT_EQ(only_message(*core_, kRaidDelete.id).payload, bytes_of(removal));
  for (const char* bad : {"9", "17", "1x"}) expect_refused("/6105", bad);

  core_->reply(kHotSpareMark.id, int32s({0}));
  core_->reply(kHotSpareClear.id, int32s({1}));
  EXPECT_EQ(post("/6106", R"({"port": 4, "hotflag": 2})").out, kOk);
  EXPECT_EQ(post("/6106", R"({"port": 5, "hotflag": 0})").out, kTextHeader + "Error");
  EXPECT_EQ(only_message(*core_, kHotSpareMark.id).payload, int32s({4}));
  EXPECT_EQ(only_message(*core_, kHotSpareClear.id).payload, int32s({5}));
  core_->reply(kRaidRebuild.id, int32s({0}));
  EXPECT_EQ(post("/6107", R"({"diskport": 3, "raidport": 11})").out, kOk);
  EXPECT_EQ(only_message(*core_, kRaidRebuild.id).payload, int32s({3, 11}));
  expect_refused("/6107", R"({"diskport": 3})");
  expect_refused("/6106", R"({"hotflag": 1})");
}

TEST_F(StorageRequestTest, RaidModeStoresZeroOrOne) {
  EXPECT_EQ(get("/6108").out, kTextHeader + "0");
  EXPECT_EQ(get("/6109", "1").out, kOk);
  EXPECT_EQ(get("/6108").out, kTextHeader + "1");
  EXPECT_EQ(get("/6109", "7").out, kOk);
  EXPECT_EQ(get("/6108").out, kTextHeader + "0");
  expect_refused("/6109", "one");
}

TEST_F(StorageRequestTest, SelfEvaluationLooksAfterByteTwelveOnly) {
  struct Case {
    Bytes reply;
    int expected;
  } cases[] = {
      {concat({int32s({4, 0, 6}), text_field("PASSED", 6)}), 1},
      {concat({text_field("PASSED", 12), text_field("FAILED", 6)}), 0},
      {text_field("PASSED", 8), 0},
      {concat({int32s({4, 0, 20}), text_field("result: PASS", 12)}), 0},
      {concat({int32s({4, 0, 7}), text_field("FAILED!", 8), text_field("PASSED", 6)}), 0},  // stale bytes after the NUL
  };
  for (const Case& c : cases) {
    core_->reply(kSelfEvaluation.id, c.reply);
    EXPECT_EQ(post("/6206", R"({"num": 3, "port": [4, "x", 6, 9]})").out,
              kJsonHeader + "{ \"selfEvaluation\": " + std::to_string(c.expected) + " }");
  }
  EXPECT_EQ(core_->received(kSelfEvaluation.id).back().payload, int32s({6}));
  expect_refused("/6206", R"({"num": 0, "port": [4]})");
  expect_refused("/6206", R"({"num": 2, "port": ["a"]})");
}

TEST_F(StorageRequestTest, DeviceRemovalByType) {
  core_->reply(kRaidDelete.id, int32s({0}));
  core_->reply(kNasRemove.id, int32s({0}));
  core_->reply(kDeviceRemove.id, int32s({-1}));
  EXPECT_EQ(post("/6207", R"({"port": 11, "hddType": 4})").out, kOk);
  EXPECT_EQ(int32_at(only_message(*core_, kRaidDelete.id).payload, 0), 11);
  EXPECT_EQ(post("/6207", R"({"port": 7, "hddType": 10})").out, kOk);
  NasPortList list{};
  list.count = 1;
  list.ports[0] = 7;
  EXPECT_EQ(only_message(*core_, kNasRemove.id).payload, bytes_of(list));
  store(network_row(9, 0, "a", "b"));
  const DiskConfig kept = row(9);
  EXPECT_EQ(post("/6207", R"({"port": 9, "hddType": 0})").out, kTextHeader + "Error");
  EXPECT_EQ(only_message(*core_, kDeviceRemove.id).payload, int32s({9}));
  EXPECT_EQ(bytes_of(row(9)), bytes_of(kept));  // the core refused: the disk keeps its settings
  core_->no_reply(kDeviceRemove.id);
  EXPECT_EQ(post("/6207", R"({"port": 9, "hddType": 0})").out, kCgiErrorText);
  EXPECT_EQ(bytes_of(row(9)), bytes_of(kept));  // nor did it answer
  core_->reply(kDeviceRemove.id, int32s({0}));
  EXPECT_EQ(post("/6207", R"({"port": 9, "hddType": 0})").out, kOk);
  DiskConfig empty{};
  empty.port = 9;
  empty.property = 1;
  EXPECT_EQ(bytes_of(row(9)), bytes_of(empty));  // removed: the position's row is emptied
  core_->reply(kDeviceRemove.id, int32s({-1}));
  core_->clear_received();
  const std::string before = dump();
  EXPECT_EQ(post("/6207", R"({"port": 40, "hddType": 0})").out, kTextHeader + "Error");
  EXPECT_EQ(dump(), before);  // no row outside 1..36
  EXPECT_EQ(only_message(*core_, kDeviceRemove.id).payload, int32s({40}));
  ASSERT_EQ(logs().size(), 1u);
  expect_log(logs()[0], 224, 900, 40);
  expect_refused("/6207", R"({"port": 9})");
}

// A removal the core refuses after a while leaves the position's row as it is then: what another
// request stored in it meanwhile stays.
TEST_F(StorageRequestTest, RefusedRemovalKeepsWhatWasStoredMeanwhile) {
  timing_ = kSimulatorTiming;  // waits in 10 ms polls: the late answer comes within the budget
  store(network_row(9, 0, "a", "b"));
  core_->reply(kDeviceRemove.id, int32s({-1}), 500);
  RunResult removal;
  std::thread remover([&] { removal = post("/6207", R"({"port": 9, "hddType": 0})"); });
  ASSERT_TRUE(core_->wait_for(kDeviceRemove.id, 1));
  EXPECT_EQ(post("/6101", R"({"portId": 9, "property": 0, "group": 4})").out, kOk);
  remover.join();
  EXPECT_EQ(removal.out, kTextHeader + "Error");
  EXPECT_EQ(row(9).group, 4);
  EXPECT_EQ(row(9).property, 0);
}

// ---- Network disks and eSATA -------------------------------------------------------------------

std::string nas_arrays(int n, int first_port) {
  std::string ports, texts;
  for (int i = 0; i < n; ++i) {
    ports += (i ? "," : "") + std::to_string(first_port + i);
    texts += std::string(i ? "," : "") + "\"t" + std::to_string(i) + "\"";
  }
  return R"("port": [)" + ports + R"(], "vendor": [)" + texts + R"(], "address": [)" + texts +
         R"(], "directory": [)" + texts + R"(], "userName": [)" + texts + R"(], "password": [)" + texts + "]";
}

TEST_F(StorageRequestTest, NasAddTakesAtMostThirtyThreeValidPorts) {
  core_->reply(kNasAdd.id, int32s({5}));
  EXPECT_EQ(post("/6201", R"({"num": 40, )" + nas_arrays(40, 0) + "}").out,
            kJsonHeader + R"({ "status": 0, "res": 5 })");
  const NasPortList list = record_from<NasPortList>(only_message(*core_, kNasAdd.id).payload);
  EXPECT_EQ(list.count, 32);  // ports 0..32 looked at, port 0 skipped
  EXPECT_EQ(list.ports[0], 1);
  EXPECT_EQ(list.ports[31], 32);
  EXPECT_EQ(list.ports[32], 0);
  EXPECT_EQ(row(33).enable, 0);
  const DiskConfig first = row(1);
  EXPECT_EQ(first.type, kDiskTypeNfs);
  EXPECT_EQ(first.property, 1);
  EXPECT_EQ(text_of(first.directory), "t1");
  EXPECT_EQ(logs().size(), 32u);
  int32_t kind = 0;
  char detail[208];
  ASSERT_EQ(zvfs_log_unpack_detail(&logs()[0], &kind, detail, sizeof detail), 208);
  EXPECT_EQ(kind, 101);
  EXPECT_STREQ(detail, "NFS");
  EXPECT_STREQ(detail + 16, "t1");
  EXPECT_STREQ(detail + 80, "t1");
  expect_log(logs()[0], 219, 0, 1);
}

TEST_F(StorageRequestTest, NasAddDecodesCredentialsAndBoundsEveryArray) {
  core_->reply(kNasAdd.id, int32s({0}));
  // 32 characters once decoded: taken, though the page's text is longer.
  const std::string pass = "%41%4" + std::string(28, 'x') + "%2B";
  EXPECT_EQ(post("/6201", R"({"num": 3, "type": 10, "port": [36, 37, 5], "vendor": ["v", "w"], "address": ["a", "b"],
                              "userName": ["n%20m", "o"], "password": [")" + pass + R"(", "q"]})").out,
            kJsonHeader + R"({ "status": 0, "res": 0 })");
  EXPECT_EQ(int32_at(only_message(*core_, kNasAdd.id).payload, 0), 1);  // two entries looked at, port 37 skipped
  const DiskConfig d = row(36);
  EXPECT_EQ(d.type, kDiskTypeSmb);
  EXPECT_EQ(text_of(d.user_name), "n m");
  EXPECT_EQ(text_of(d.password), "A%4" + std::string(28, 'x') + "+");
  EXPECT_EQ(row(5).enable, 0);
  core_->no_reply(kNasAdd.id);
  core_->clear_received();
  EXPECT_EQ(post("/6201", R"({"num": 1, "port": [7]})").out, kCgiErrorText);
  EXPECT_EQ(row(7).enable, 1);  // stored before the core was asked
  EXPECT_TRUE(logs().empty());
  expect_refused("/6201", "{\"num\": 1, \"port\": [8], \"vendor\": [\"\xC3\x28\"]}");
  expect_refused("/6201", R"({"port": [8]})");
  expect_refused("/6201", R"({"num": 1, "port": [8], "address": [")" + std::string(64, 'a') + "\"]}");
  expect_refused("/6201", R"({"num": 1, "port": [8], "directory": [")" + std::string(128, 'd') + "\"]}");
  expect_refused("/6201", R"({"num": 1, "port": [8], "address": ["10.0.0.9\u0000.evil"]})");  // not cut at the NUL
  // A port listed twice is stored, told and logged once, with its first entry.
  core_->reply(kNasAdd.id, int32s({0}));
  core_->clear_received();
  EXPECT_EQ(post("/6201", R"({"num": 2, "port": [9, 9], "address": ["a", "b"], "directory": ["/x", "/y"]})").out,
            kJsonHeader + R"({ "status": 0, "res": 0 })");
  EXPECT_EQ(only_message(*core_, kNasAdd.id).payload, bytes_of(NasPortList{1, {9}}));
  EXPECT_EQ(text_of(row(9).address), "a");
  EXPECT_EQ(logs().size(), 1u);
}

TEST_F(StorageRequestTest, NasRemoveLogsOnlyConfiguredDisks) {
  store(network_row(3, kDiskTypeSmb, "10.0.0.9", "/share"));
  core_->reply(kNasRemove.id, int32s({0}));
  EXPECT_EQ(post("/6200", R"({"num": 6, "port": [3, 0, 36, "x", 37, 3]})").out, kOk);
  EXPECT_EQ(only_message(*core_, kNasRemove.id).payload, bytes_of(NasPortList{2, {3, 36}}));
  ASSERT_EQ(logs().size(), 1u);
  expect_log(logs()[0], 220, 0, 3);
  char detail[208];
  int32_t kind = 0;
  ASSERT_EQ(zvfs_log_unpack_detail(&logs()[0], &kind, detail, sizeof detail), 208);
  EXPECT_STREQ(detail, "SMB/CIFS");
  EXPECT_STREQ(detail + 16, "10.0.0.9");
  EXPECT_EQ(row(3).enable, 1);  // the core removes the row
  core_->no_reply(kNasRemove.id);
  EXPECT_EQ(post("/6200", R"({"num": 1, "port": [3]})").out, kCgiErrorText);
}

TEST_F(StorageRequestTest, NasEditKeepsWhatItDoesNotCarry) {
  store(network_row(6, kDiskTypeSmb, "10.0.0.9", "/share"));
  core_->reply(kNasEdit.id, int32s({-4}));
  EXPECT_EQ(post("/6203", R"({"port": 6, "vendor": ")" + std::string(64, 'v') + R"(", "directory": ")" +
                              std::string(127, 'o') + R"(", "password": "a%2Bb%00%"})").out,
            kJsonHeader + R"({ "status": 0, "res": -4 })");
  const DiskConfig d = row(6);
  EXPECT_EQ(d.type, kDiskTypeSmb);
  EXPECT_EQ(text_of(d.address), "10.0.0.9");
  EXPECT_EQ(text_of(d.vendor), std::string(63, 'v'));
  EXPECT_EQ(text_of(d.directory), std::string(127, 'o'));
  EXPECT_EQ(text_of(d.password), "a+b%00%");  // "%00" would cut the text: kept as it is
  EXPECT_EQ(text_of(d.user_name), "u s");
  EXPECT_EQ(only_message(*core_, kNasEdit.id).payload, int32s({6}));
  ASSERT_EQ(logs().size(), 1u);
  expect_log(logs()[0], 221, 0, 6);
  EXPECT_EQ(logs()[0].detail[0], 0x6e);  // kind 110
  char detail[208];
  int32_t kind = 0;
  ASSERT_EQ(zvfs_log_unpack_detail(&logs()[0], &kind, detail, sizeof detail), 208);
  EXPECT_STREQ(detail, "SMB/CIFS");
  EXPECT_STREQ(detail + 16, "10.0.0.9");
  for (const char* body : {R"({"port": 0})", R"({"port": 37})", R"({"address": "x"})"}) expect_refused("/6203", body);
  // A share's address, path or user one character above its field: refused, not stored cut.
  expect_refused("/6203", R"({"port": 6, "directory": ")" + std::string(128, 'o') + "\"}");
  expect_refused("/6203", R"({"port": 6, "address": ")" + std::string(64, 'a') + "\"}");
  expect_refused("/6203", R"({"port": 6, "userName": ")" + std::string(33, 'u') + "\"}");
  // A password of 33 characters once decoded: refused, never stored cut as another password.
  const std::string long_pass = std::string(30, 'p') + "%21%21%21";
  expect_refused("/6203", R"({"port": 6, "password": ")" + long_pass + "\"}");
  expect_refused("/6201", R"({"num": 1, "port": [6], "password": [")" + long_pass + "\"]})");
}

TEST_F(StorageRequestTest, ShareSearchClampsToWhatThePayloadHolds) {
  core_->reply(kShareSearch.id, int32s({0}));
  EXPECT_EQ(post("/6202", R"({"port": 2, "serverAddr": "192.168.1.50"})").out,
            kJsonHeader + R"({ "resultString": "NO", "NAS": [ ] })");
  ShareSearch search{};
  search.port = 2;
  std::strcpy(search.server, "192.168.1.50");
  EXPECT_EQ(only_message(*core_, kShareSearch.id).payload, bytes_of(search));
  EXPECT_EQ(post("/6202", R"({"port": 2, "serverAddr": ")" + std::string(64, 's') + "\"}").out, kJsonHeader + R"({ "resultString": "NO", "NAS": [ ] })");
  EXPECT_EQ(text_of(record_from<ShareSearch>(core_->received(kShareSearch.id).back().payload).server), std::string(63, 's'));
  core_->reply(kShareSearch.id, concat({int32s({70}), text_field("/a", 256), Bytes(256, 'p'), Bytes(255, 'z')}));
  EXPECT_EQ(post("/6202", R"({"port": 2, "serverAddr": "s"})").out,
            kJsonHeader + R"({ "resultString": "OK", "NAS": [ { "filePath": "\/a" }, { "filePath": ")" +
                std::string(256, 'p') + R"(" } ] })");
  // One share more than the list holds, all in the payload: the list's 64.
  Bytes shares = int32s({65});
  for (int i = 0; i < 65; ++i) shares = concat({shares, text_field("/s" + std::to_string(i), 256)});
  core_->reply(kShareSearch.id, shares);
  const std::string listed = post("/6202", R"({"port": 2, "serverAddr": "s"})").out;
  EXPECT_NE(listed.find(R"({ "filePath": "\/s63" } ] })"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("s64"), std::string::npos);
  expect_refused("/6202", R"({"serverAddr": "s"})");
}

TEST_F(StorageRequestTest, EsataModeSetAndRead) {
  core_->reply(kEsataModeSet.id, {});
  EXPECT_EQ(post("/6204", R"({"mode": 2, "esata": 1})").out, kJsonHeader + R"({ "status": "OK" })");
  EXPECT_EQ(only_message(*core_, kEsataModeSet.id).payload, int32s({2, 1}));
  core_->reply(kEsataModeRead.id, int32s({2, 1}));
  EXPECT_EQ(get("/6205").out, kJsonHeader + R"({ "mode": 2, "esata": 1 })");
  EXPECT_EQ(only_message(*core_, kEsataModeRead.id).payload, int32s({0}));
  core_->no_reply(kEsataModeRead.id);
  EXPECT_EQ(get("/6205").out, kCgiErrorJson);
  expect_refused("/6204", R"({"mode": 2})");
}

// ---- Quotas, groups, backup --------------------------------------------------------------------

TEST_F(StorageRequestTest, QuotasSendEightOfTenAndPrintWhatThePayloadHolds) {
  std::string entries;
  for (int i = 0; i < 10; ++i) {
    entries += std::string(i ? "," : "") + R"({"channel": )" + std::to_string(i) + R"(, "video_quota": )" +
               std::to_string(10 + i) + R"(, "picture_quota": 1})";
  }
  core_->reply(kQuotaSet.id, int32s({0}));
  EXPECT_EQ(post("/6209", R"({"enable": 1, "quota_array": [)" + entries + "]}").out, kOk);
  const QuotaSet set = record_from<QuotaSet>(only_message(*core_, kQuotaSet.id).payload);
  EXPECT_EQ(set.enable, 1);
  EXPECT_EQ(set.count, 10);
  EXPECT_EQ(set.entries[7].channel, 7);
  EXPECT_EQ(set.entries[7].video_quota, 17);
  EXPECT_EQ(set.entries[7].video_used, 0);
  // Elements that are no object are skipped; the entries close up and are counted.
  core_->clear_received();
  EXPECT_EQ(post("/6209", R"({"enable": 1, "quota_array": [5, {"channel": 2, "video_quota": 10}, null]})").out, kOk);
  const QuotaSet skipped = record_from<QuotaSet>(only_message(*core_, kQuotaSet.id).payload);
  EXPECT_EQ(skipped.count, 1);
  EXPECT_EQ(skipped.entries[0].channel, 2);
  EXPECT_EQ(skipped.entries[0].video_quota, 10);
  EXPECT_EQ(skipped.entries[1].channel, 0);
  for (const char* body : {R"({"quota_array": []})", R"({"enable": 1, "quota_array": [{"channel": 64}]})",
                           R"({"enable": 1, "quota_array": [{"video_quota": 3}]})"}) {
    expect_refused("/6209", body);
  }
  // Count 3, two whole entries in the payload.
  core_->reply(kQuotaRead.id, concat({int32s({1, 3}), int32s({2, 50, 5, 20, 1}), int32s({3, 60, 6, 30, 2}), int32s({4})}));
  const std::string reply = get("/6208").out;
  const std::string head = kJsonHeader +
                           R"({ "quota_array": [ { "channel": 2, "video_used": 20, "video_quota": 50, "picture_used": 1, )"
                           R"("picture_quota": 5 }, { "channel": 3, "video_used": 30, "video_quota": 60, "picture_used": 2, )"
                           R"("picture_quota": 6 } ], "enable": 1, "channel": [ ")" + std::string(64, '1') + R"(", ")";
  EXPECT_EQ(reply.substr(0, head.size()), head);
  EXPECT_NE(reply.find(R"("disk": [ 0, 0, )"), std::string::npos) << reply;
  EXPECT_NE(reply.find(R"("max_chan": 32, "group_enable": 0 })"), std::string::npos) << reply;
}

TEST_F(StorageRequestTest, GroupsTellTheModeOnlyWhenItChanges) {
  DiskConfig d = network_row(2, kDiskTypeNfs, "a", "b");
  d.group = 4;
  store(d);
  d.port = 3;
  d.group = INT32_MAX;  // the property page does not check groups
  store(d);
  EXPECT_EQ(post("/6210", R"({"group_enable": 1, "channel": ["0101", 7, "11"]})").out, kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{kGroupMode.id, kGroupChange.id, kGroupChange.id, kGroupsApply.id}));
  EXPECT_EQ(only_message(*core_, kGroupMode.id).payload, int32s({1}));
  GroupChange change{};
  change.id = 0;
  std::strcpy(change.channels, "0101");
  std::memset(change.stored, '1', 64);
  EXPECT_EQ(core_->received(kGroupChange.id)[0].payload, bytes_of(change));
  EXPECT_EQ(int32_at(core_->received(kGroupChange.id)[1].payload, 0), 2);
  core_->clear_received();
  EXPECT_EQ(post("/6210", R"({"group_enable": 1, "channel": []})").out, kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{kGroupsApply.id}));
  const std::string view = get("/8010").out;
  EXPECT_NE(view.find(R"("disk": [ 0, 5, 2147483648, 0, )"), std::string::npos) << view;
  EXPECT_NE(view.find(R"("max_chan": 32, "group_enable": 1 })"), std::string::npos) << view;
  core_->clear_received();
  EXPECT_EQ(post("/6210", R"({"group_enable": 0, "channel": ["1"]})").out, kOk);
  EXPECT_EQ(received_ids(*core_), (std::vector<int32_t>{kGroupMode.id}));
  expect_refused("/6210", R"({"channel": ["1"]})");
  expect_refused("/6210", "{\"group_enable\": 1, \"channel\": [\"\xED\xA0\x80\"]}");
}

TEST_F(StorageRequestTest, AutoBackupStoresStopsAndReports) {
  core_->reply(kAutoBackupRun.id, int32s({3}));
  const std::string before = dump();
  EXPECT_EQ(post("/6221", R"({"stopBackup": 1, "enable": 1})").out, kJsonHeader + R"({ "result": 3 })");
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(only_message(*core_, kAutoBackupRun.id).payload, int32s({1}));
  EXPECT_EQ(post("/6221", R"({"stopBackup": 0, "enable": 1, "streamType": 1, "backupTime": "01:30", "port": 8})").out,
            kJsonHeader + R"({ "result": 3 })");
  EXPECT_EQ(get("/6220").out, kJsonHeader + R"({ "enable": 1, "streamType": 1, "fileType": 0, "recycle": 1, "channel": ")" +
                                  std::string(64, '1') + R"(", "backupTime": "01:30", "device": 0, "port": 8 })");
  expect_refused("/6221", R"({"enable": 1})");

  BackupProgress progress{};
  progress.status = 1;
  std::memset(progress.last_time, '9', sizeof progress.last_time);
  progress.percent = 42.25f;
  progress.capacity = 7;
  core_->reply(kAutoBackupProgress.id, bytes_of(progress));
  EXPECT_EQ(get("/6222").out, kJsonHeader + R"({ "status": 1, "percent": 42.2, "last_time": ")" + std::string(32, '9') +
                                  R"(", "capacity": 7 })");
  progress.percent = NAN;
  core_->reply(kAutoBackupProgress.id, bytes_of(progress));
  EXPECT_NE(get("/6222").out.find(R"("percent": 0.0,)"), std::string::npos);

  BackupDevice local{1, {}, 1, {}};
  BackupDevice esata{8, {}, kBackupDeviceKind, {}};
  core_->reply(kBackupDevices.id, bytes_of(local));
  EXPECT_EQ(get("/6223").out, kJsonHeader + R"({ "result": -1 })");
  core_->reply(kBackupDevices.id, concat({bytes_of(local), bytes_of(esata), Bytes(100, 5)}));
  EXPECT_EQ(get("/6223").out, kJsonHeader + R"({ "port": 8, "result": 0 })");

  core_->reply(kDeviceBackupStart.id, int32s({0}));
  EXPECT_EQ(post("/6224", R"({"port": 36})").out, kJsonHeader + R"({ "result": 0 })");
  for (const char* body : {R"({"port": 37})", R"({"port": -1})", "{", ""}) {
    EXPECT_EQ(post("/6224", body).out, kCgiErrorJson) << body;
  }
  core_->reply(kDeviceBackupProgress.id, Bytes{2, 0, 0, 0, 55, 8, 0, 0, 5, 0, 0, 0});
  EXPECT_EQ(get("/6227").out, kJsonHeader + R"({ "status": 2, "port": 8, "type": 5, "percent": 55 })");
}

}  // namespace
}  // namespace zvtest
