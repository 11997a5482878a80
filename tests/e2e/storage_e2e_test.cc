// The storage pages through the whole stack: the disk list, a RAID of two free disks degraded by
// pulling a member in the simulator and rebuilt, an NFS share added, searched and removed, quotas
// and a disk group read back, and an automatic backup followed to done.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(EndToEndStorage, DisksRaidNetworkQuotasGroupsBackup) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  auto control = [](const std::string& verb) {
    RunOptions options;
    options.args = {"ctl", "--control", "/var/run/zvcore-sim.ctl", "storage", verb, "4"};
    return run_program(bin_path("zvcore-sim"), options).out;
  };
  auto until = [&](const std::string& path, const std::string& part) {
    for (int i = 0; i < 100 && !contains(stack.get(path).body, part); ++i) usleep(100000);
    return stack.get(path).body;
  };
  EXPECT_TRUE(contains(stack.get("/6100").body, R"("portId": 8, "vendorName": "WD5000LPVX")"));

  EXPECT_EQ(stack.post_json("/6104", R"({"id": 12, "enable": 1, "level": 1, "sata_cnt": 2, "sata_port": 24})").body, "OK");
  EXPECT_EQ(control("pull"), "ok pulled 4 (raid 12 degraded)\n");
  EXPECT_TRUE(contains(stack.get("/6100").body, R"("raid_id": 12, "raid_level": 1, "raid_state": 1, )"));
  EXPECT_EQ(control("insert"), "ok inserted 4\n");
  EXPECT_EQ(stack.post_json("/6107", R"({"diskport": 4, "raidport": 12})").body, "OK");
  EXPECT_TRUE(contains(until("/6100", R"("raid_state": 0, "raid_progress": 0, "raid_sata_cnt": 2)"), R"("raid_sata_port": 24)"));
  EXPECT_EQ(stack.get("/6105?12").body, "OK");

  EXPECT_EQ(stack.post_json("/6201", R"({"num": 1, "port": [30], "address": ["192.168.1.50"], "directory": ["/export/nvr"]})").body,
            R"({ "status": 0, "res": 0 })");
  EXPECT_TRUE(contains(stack.post_json("/6202", R"({"port": 30, "serverAddr": "192.168.1.50"})").body, R"("\/export\/backup")"));
  EXPECT_EQ(stack.post_json("/6200", R"({"num": 1, "port": [30]})").body, "OK");
  EXPECT_FALSE(contains(stack.get("/6100").body, R"("portId": 30)"));

  EXPECT_EQ(stack.post_json("/6209", R"({"enable": 1, "quota_array": [{"channel": 0, "video_quota": 5}, {"channel": 1, "video_quota": 6},
                                         {"channel": 2, "video_quota": 7}, {"channel": 3, "video_quota": 8}]})").body,
            "OK");
  EXPECT_TRUE(contains(stack.get("/6208").body, R"({ "channel": 3, "video_used": 0, "video_quota": 8, )"));
  EXPECT_EQ(stack.post_json("/6210", R"({"group_enable": 1, "channel": ["1111"]})").body, "OK");
  EXPECT_TRUE(contains(until("/8010", R"("channel": [ "1111", )"), R"("group_enable": 1 })"));

  EXPECT_EQ(stack.post_json("/6221", R"({"stopBackup": 0, "enable": 1})").body, R"({ "result": 0 })");
  EXPECT_TRUE(contains(until("/6222", R"("status": 2, "percent": 100.0)"), R"("capacity": )"));
}

}  // namespace
}  // namespace zvtest
