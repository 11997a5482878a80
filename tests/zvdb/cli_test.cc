// The zvdb tool, run as a program.
#include <iterator>
#include <string>
#include <vector>

#include "platform/zvdb/tables.h"
#include "tests/support/harness.h"
#include "tests/zvdb/db_test_util.h"

namespace {

using zvdbtest::DbTest;

zvtest::RunResult zvdb_cli(std::vector<std::string> args) {
  zvtest::RunOptions options;
  options.args = std::move(args);
  return zvtest::run_program(zvtest::bin_path("zvdb"), options);
}

TEST(ZvdbCli, InitCreatesTheConfigurationDatabaseAtItsDevicePath) {
  zvdb_close_all();
  for (const char* f : {"/mnt/nand/app/zvdb.db", "/mnt/nand/app/zvdb.db-wal",
                        "/mnt/nand/app/zvdb.db-shm", "/mnt/nand/app"}) {
    remove(f);
  }
  auto init = zvdb_cli({"init"});
  ASSERT_EQ(init.exit_code, 0) << init.err;
  EXPECT_TRUE(zvtest::file_exists("/mnt/nand/app/zvdb.db"));
  auto get = zvdb_cli({"get", "max_cameras"});
  EXPECT_EQ(get.exit_code, 0);
  EXPECT_EQ(get.out, "32\n");
  EXPECT_EQ(zvdb_cli({"set", "max_cameras", "8"}).exit_code, 0);
  EXPECT_EQ(zvdb_cli({"get", "max_cameras"}).out, "8\n");
  EXPECT_EQ(get_param_int(kZvdbPath, "max_cameras", 0), 8) << "the library sees the same file";
  zvdb_close_all();
}

TEST_F(DbTest, CliRoundTripsSettingsListsTablesAndDumpsAUser) {
  ASSERT_EQ(zvdb_cli({"--db", path_, "init"}).exit_code, 0);
  auto set = zvdb_cli({"--db", path_, "set", "device_name", "NVR \"lobby\" 1"});
  ASSERT_EQ(set.exit_code, 0) << set.err;
  EXPECT_EQ(zvdb_cli({"--db=" + path_, "get", "device_name"}).out, "NVR \"lobby\" 1\n");
  char name[32];
  ASSERT_EQ(get_param_value(db(), "device_name", name, sizeof name, ""), 0);
  EXPECT_STREQ(name, "NVR \"lobby\" 1");

  auto params = zvdb_cli({"--db", path_, "params"});
  ASSERT_EQ(params.exit_code, 0);
  EXPECT_NE(params.out.find("device_name=NVR \"lobby\" 1\n"), std::string::npos);
  EXPECT_NE(params.out.find("max_cameras=32\n"), std::string::npos);
  EXPECT_NE(params.out.find("model=\n"), std::string::npos);

  UserRecord u{};
  u.id = 7;
  u.enable = 1;
  snprintf(u.name, sizeof u.name, "%s", "op\x01");
  u.type = 2;
  ASSERT_EQ(write_user(db(), &u), 0);
  auto tables = zvdb_cli({"--db", path_, "tables"});
  ASSERT_EQ(tables.exit_code, 0);
  // The factory settings, device_name and the mark that the factory rows are stored.
  const std::string settings = "settings " + std::to_string(std::size(zvdb::kSettingDefaults) + 2) + "\n";
  EXPECT_NE(tables.out.find(settings), std::string::npos) << tables.out;
  EXPECT_NE(tables.out.find("user 2\n"), std::string::npos) << tables.out;

  auto dump = zvdb_cli({"--db", path_, "dump", "user", "7"});
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  EXPECT_EQ(dump.out.find("user key=(7, 0, \"\") entry 0: 528 bytes\n"), 0u) << dump.out;
  for (const char* line : {"  id = 7\n", "  enable = 1\n", "  name = \"op\\x01\"\n",
                           "  type = 2\n", "  local_rights = [0, 0, 0, 0, 0, 0, 0, 0, 0, 0]\n",
                           "  remote_playback_mask = 0 (0x00000000)\n"}) {
    EXPECT_NE(dump.out.find(line), std::string::npos) << line << dump.out;
  }
  EXPECT_EQ(dump.out.find("admin"), std::string::npos) << "only the asked key";
  auto all = zvdb_cli({"--db", path_, "dump", "user"});
  EXPECT_NE(all.out.find("  name = \"admin\"\n"), std::string::npos);
  EXPECT_NE(all.out.find("  password = \"21232f297a57a5a743894a0e4a801fc3\"\n"),
            std::string::npos);
}

TEST_F(DbTest, CliDumpsUndeclaredRowsAsHexAndRefusesBadUse) {
  struct Raw {
    int32_t a;
    char text[4];
  };
  constexpr zvdb::TableDesc kRaw{.name = "t_raw", .record_size = sizeof(Raw)};
  Raw r{0x01020304, {'a', 'b', 0, 0}};
  ASSERT_EQ(zvdb::write_record_at(db(), kRaw, &r, zvdb::Key{.a = 3, .text = "led"}), 0);
  auto dump = zvdb_cli({"--db", path_, "dump", "t_raw", "led,3"});
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  EXPECT_EQ(dump.out, "t_raw key=(3, 0, \"led\") entry 0: 8 bytes\n  0000: 04 03 02 01 61 62 00 00\n");
  EXPECT_NE(zvdb_cli({"--db", path_, "tables"}).out.find("t_raw 1 (not declared)\n"),
            std::string::npos);

  struct Case {
    std::vector<std::string> args;
    int exit_code;
  };
  for (const Case& c : {Case{{"--db", path_, "get", "nope"}, 1},
                        Case{{"--db", path_, "dump", "nope"}, 1},
                        Case{{"--db", path_, "dump", "user", "5"}, 1},
                        Case{{"--db", "/tmp/missing.db", "get", "max_cameras"}, 1},
                        Case{{"--db", "/tmp/missing.db", "params"}, 1},
                        Case{{"--db", path_, "set", "only_key"}, 2},
                        Case{{"--db", path_, "set", "", "v"}, 2},
                        Case{{"frobnicate"}, 2},
                        Case{{"--db"}, 2},
                        Case{{}, 2}}) {
    auto result = zvdb_cli(c.args);
    EXPECT_EQ(result.exit_code, c.exit_code) << testing::PrintToString(c.args);
    EXPECT_FALSE(result.err.empty());
  }
  EXPECT_FALSE(zvtest::file_exists("/tmp/missing.db")) << "reading tools create nothing";
}

}  // namespace
