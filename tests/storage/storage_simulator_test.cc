// The storage pages against the core simulator's shelf, end to end through webreq: disks listed,
// one formatted and followed to done, a RAID built, degraded by pulling a member, rebuilt and
// deleted; a network share added, searched and removed; quotas, groups and the automatic backup.
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <unistd.h>

#include <future>
#include <map>
#include <string>

#include "common/json_fields.h"
#include "common/request.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

constexpr const char* kControl = "/var/run/zvcore-sim.ctl";

class StorageSimulatorTest : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    core_.reset();
    timing_ = kSimulatorTiming;
    sim_ = std::make_unique<BackgroundProcess>(bin_path("zvcore-sim"),
                                               std::vector<std::string>{"--message-log", kSimulatorLog, "--control", kControl},
                                               std::map<std::string, std::string>{{"ZV_SANDBOX", "1"}});
    ASSERT_TRUE(wait_for_file("/tmp/zvcore"));
    ASSERT_TRUE(wait_for_file(kControl));
  }

  std::string control(const std::string& words) {
    RunOptions options;
    options.args = {"ctl", "--control", kControl};
    for (size_t at = 0; at < words.size();) {
      const size_t space = words.find(' ', at);
      options.args.push_back(words.substr(at, space - at));
      at = space == std::string::npos ? words.size() : space + 1;
    }
    return run_program(bin_path("zvcore-sim"), options).out;
  }

  // The members of the disk list's entry of `port` (empty when the list has none).
  std::map<std::string, std::string> disk(int port) {
    std::map<std::string, std::string> out;
    const std::string reply = get("/6100").out;
    JsonPtr list(json_tokener_parse(reply.substr(reply.find("\r\n\r\n") + 4).c_str()));
    json_object* hdd = json_array_of(list.get(), "HDD");
    for (size_t i = 0; i < json_array_size(hdd); ++i) {
      json_object* entry = json_array_at(hdd, i);
      json_object* id = nullptr;
      if (!json_object_object_get_ex(entry, "portId", &id) || json_object_get_int(id) != port) continue;
      json_object_object_foreach(entry, key, value) out[key] = json_object_get_string(value);
    }
    return out;
  }

  // The video space channel `channel` used, as the quota list prints it (-1 when not listed).
  int quota_used(int channel) {
    const std::string reply = get("/6208").out;
    JsonPtr quotas(json_tokener_parse(reply.substr(reply.find("\r\n\r\n") + 4).c_str()));
    json_object* list = json_array_of(quotas.get(), "quota_array");
    for (size_t i = 0; i < json_array_size(list); ++i) {
      json_object* c = nullptr;
      json_object* used = nullptr;
      json_object* entry = json_array_at(list, i);
      if (json_object_object_get_ex(entry, "channel", &c) && json_object_get_int(c) == channel &&
          json_object_object_get_ex(entry, "video_used", &used)) {
        return json_object_get_int(used);
      }
    }
    return -1;
  }

  // Polls `read` (every 100 ms, at most 10 s) until it returns true.
  template <class F>
  bool eventually(F read) {
    for (int i = 0; i < 100; ++i) {
      if (read()) return true;
      usleep(100000);
    }
    return false;
  }
};

TEST_F(StorageSimulatorTest, FormatRaidDegradeRebuildDelete) {
  EXPECT_EQ(disk(1)["state"], "0");
  EXPECT_EQ(disk(3)["state"], "1");
  EXPECT_EQ(disk(8)["vendorName"], "WD5000LPVX");
  const std::string used = disk(1)["usedSize"];
  EXPECT_TRUE(eventually([&] { return disk(1)["usedSize"] != used; })) << "the channels record";

  auto format = std::async(std::launch::async, [] {
    return cgi_get("/6102", "3", {{"ZV_CORE_TIMING", kSimulatorTiming}}).out;
  });
  EXPECT_TRUE(eventually([&] {
    auto formatting = disk(3);
    return formatting["state"] == "3" && formatting["raid_progress"] != "0";
  }));
  EXPECT_EQ(format.get(), kOk);
  EXPECT_EQ(disk(3)["state"], "0");
  EXPECT_EQ(get("/6102", "12").out, kTextHeader + "ERROR FORMAT");

  EXPECT_EQ(post("/6104", R"({"id": 10, "enable": 1, "level": 1, "sata_cnt": 2, "sata_port": 24})").out, kOk);
  EXPECT_EQ(post("/6104", R"({"id": 11, "enable": 1, "level": 1, "sata_cnt": 2, "sata_port": 24})").out,
            kTextHeader + "Error");  // the members are taken
  auto raid = disk(10);
  EXPECT_EQ(raid["hddType"], "4");
  EXPECT_EQ(raid["raid_sata_port"], "24");
  EXPECT_EQ(raid["raid_state"], "0");
  EXPECT_EQ(disk(4)["state"], "4");
  EXPECT_EQ(post("/6101", R"({"portId": 10, "property": 1, "group": 3})").out, kOk);
  EXPECT_EQ(disk(10)["group"], "3");  // an array keeps its property and group as a disk does
  EXPECT_EQ(disk(10)["property"], "1");

  EXPECT_EQ(control("storage pull 4"), "ok pulled 4 (raid 10 degraded)\n");
  EXPECT_TRUE(disk(4).empty());
  raid = disk(10);
  EXPECT_EQ(raid["raid_state"], "1");
  EXPECT_EQ(raid["raid_sata_port"], "8");
  EXPECT_EQ(post("/6107", R"({"diskport": 4, "raidport": 10})").out, kTextHeader + "Error");  // not in the shelf
  EXPECT_EQ(control("storage insert 4"), "ok inserted 4\n");
  EXPECT_EQ(post("/6107", R"({"diskport": 4, "raidport": 10})").out, kOk);
  EXPECT_EQ(disk(10)["raid_state"], "2");
  EXPECT_TRUE(eventually([&] { return disk(10)["raid_state"] == "0"; }));
  EXPECT_EQ(disk(10)["raid_sata_port"], "24");

  EXPECT_EQ(get("/6105", "10").out, kOk);
  EXPECT_TRUE(disk(10).empty());
  EXPECT_EQ(disk(4)["state"], "1");
  EXPECT_EQ(get("/6105", "10").out, kTextHeader + "Error");
  EXPECT_EQ(control("storage pull 99"), "error no disk at port 99\n");

  // A hot spare takes over a pulled member at once.
  EXPECT_EQ(post("/6104", R"({"id": 11, "enable": 1, "level": 1, "sata_cnt": 2, "sata_port": 24})").out, kOk);
  EXPECT_EQ(post("/6106", R"({"port": 2, "hotflag": 1})").out, kOk);
  EXPECT_EQ(disk(2)["state"], "5");
  EXPECT_EQ(control("storage pull 3"), "ok pulled 3 (raid 11 degraded)\n");
  EXPECT_EQ(disk(11)["raid_state"], "2");
  EXPECT_TRUE(eventually([&] {
    auto rebuilt = disk(11);
    return rebuilt["raid_sata_port"] == "20" && rebuilt["raid_state"] == "0";
  }));
}

TEST_F(StorageSimulatorTest, NetworkShareAddSearchRemove) {
  EXPECT_EQ(post("/6101", R"({"portId": 20, "property": 0, "group": 2})").out, kOk);  // before the disk is added
  EXPECT_EQ(post("/6201", R"({"num": 2, "port": [20, 21], "vendor": ["nas", "far"],
                              "address": ["192.168.1.50", "203.0.113.9"], "directory": ["/export/nvr", "/x"],
                              "userName": ["u", "u"], "password": ["p", "p"]})").out,
            kJsonHeader + R"({ "status": 0, "res": -1 })");
  auto nfs = disk(20);
  EXPECT_EQ(nfs["hddType"], "3");
  EXPECT_EQ(nfs["state"], "0");
  EXPECT_EQ(nfs["directory"], "/export/nvr");
  EXPECT_EQ(nfs["group"], "2");  // as stored: the core reads the disk's row
  EXPECT_EQ(nfs["property"], "1");
  EXPECT_NE(nfs["totalSize"], "0");
  EXPECT_EQ(disk(21)["state"], "2");  // unreachable: configured only
  EXPECT_EQ(post("/6202", R"({"port": 20, "serverAddr": "192.168.1.50"})").out,
            kJsonHeader + R"({ "resultString": "OK", "NAS": [ { "filePath": "\/export\/nvr" }, )"
                          R"({ "filePath": "\/export\/nvr\/archive" }, { "filePath": "\/export\/backup" } ] })");
  EXPECT_EQ(post("/6202", R"({"port": 21, "serverAddr": "203.0.113.9"})").out,
            kJsonHeader + R"({ "resultString": "NO", "NAS": [ ] })");
  EXPECT_EQ(post("/6203", R"({"port": 21, "address": "192.168.1.50"})").out, kJsonHeader + R"({ "status": 0, "res": 0 })");
  EXPECT_EQ(disk(21)["state"], "0");
  EXPECT_EQ(post("/6200", R"({"num": 2, "port": [20, 21]})").out, kOk);
  EXPECT_TRUE(disk(20).empty());
  EXPECT_TRUE(disk(21).empty());
  EXPECT_EQ(post("/6200", R"({"num": 1, "port": [20]})").out, kTextHeader + "Error");
}

TEST_F(StorageSimulatorTest, QuotasGroupsAndBackup) {
  EXPECT_EQ(post("/6209", R"({"enable": 1, "quota_array": [{"channel": 0, "video_quota": 1, "picture_quota": 1},
      {"channel": 1, "video_quota": 2}, {"channel": 2, "video_quota": 3}, {"channel": 3, "video_quota": 400}]})").out,
            kOk);
  EXPECT_NE(control("storage rate 4096").find("ok rate"), std::string::npos);
  // Channels 0 and 1 stop at their quotas (GiB); channel 3 keeps recording.
  EXPECT_TRUE(eventually([&] { return quota_used(1) == 2 && quota_used(3) > 2; })) << get("/6208").out;
  EXPECT_EQ(quota_used(0), 1);
  EXPECT_EQ(quota_used(1), 2);
  EXPECT_EQ(post("/6101", R"({"portId": 2, "property": 0, "group": 1})").out, kOk);
  EXPECT_EQ(post("/6210", R"({"group_enable": 1, "channel": ["1110", "0001"]})").out, kOk);
  EXPECT_TRUE(eventually([&] {
    const std::string view = get("/8010").out;
    return view.find(R"("channel": [ "1110", "0001", "0000)") != std::string::npos &&
           view.find(R"("group_enable": 1 })") != std::string::npos;
  })) << get("/8010").out;

  EXPECT_EQ(post("/6221", R"({"stopBackup": 0, "enable": 1, "streamType": 0, "fileType": 0, "recycle": 1,
                              "channel": "1111", "backupTime": "02:00", "device": 0, "port": 8})").out,
            kJsonHeader + R"({ "result": 0 })");
  EXPECT_TRUE(eventually([&] { return get("/6222").out.find(R"("status": 2, "percent": 100.0)") != std::string::npos; }))
      << get("/6222").out;
  EXPECT_EQ(get("/6223").out, kJsonHeader + R"({ "port": 8, "result": 0 })");
  EXPECT_EQ(post("/6224", R"({"port": 2})").out, kJsonHeader + R"({ "result": -1 })");
  EXPECT_EQ(post("/6224", R"({"port": 8})").out, kJsonHeader + R"({ "result": 0 })");
  EXPECT_EQ(get("/6225").out, kJsonHeader + R"({ "status": 1 })");
  EXPECT_TRUE(eventually([&] { return get("/6227").out.find(R"("status": 2, "port": 8, "type": 5, "percent": 100)") != std::string::npos; }));
  EXPECT_EQ(get("/6226").out, kJsonHeader + R"({ "result": -1 })");
  EXPECT_EQ(post("/6204", R"({"mode": 1, "esata": 2})").out, kJsonHeader + R"({ "status": "OK" })");
  EXPECT_EQ(get("/6205").out, kJsonHeader + R"({ "mode": 1, "esata": 2 })");
}

}  // namespace
}  // namespace zvtest
