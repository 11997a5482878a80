// Factory rows of per-channel tables, the three database files, foreign files, connection reuse.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/zvdb/tables.h"
#include "tests/support/harness.h"
#include "tests/zvdb/db_test_util.h"

namespace {

using zvdb::Key;
using zvdb::TableDesc;
using zvdbtest::DbTest;

struct LaneRec {
  int32_t id;
  int32_t mode;
};

void make_lane(void* record, int32_t index) {
  LaneRec r{index, 2};
  std::memcpy(record, &r, sizeof r);
}

constexpr TableDesc kLanes{.name = "t_lane", .record_size = sizeof(LaneRec), .key = {.a = 0},
                           .key_a_count = 64, .default_rows = 64, .make_default = &make_lane};

TEST_F(DbTest, FactoryRowsExistForEveryChannelAndStoredRowsAreKept) {
  const TableDesc* tables[] = {&kLanes};
  const zvdb::SettingDefault settings[] = {{"lanes", "64"}};
  ASSERT_EQ(zvdb::init_defaults(db(), tables, settings), 0);
  LaneRec rows[70];
  int count = 70;
  ASSERT_EQ(zvdb::read_records(db(), kLanes, rows, &count), 0);
  ASSERT_EQ(count, 64);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(rows[i].id, i);
    EXPECT_EQ(rows[i].mode, 2);
  }
  LaneRec changed{9, 0};
  ASSERT_EQ(zvdb::write_record(db(), kLanes, &changed), 0);
  ASSERT_EQ(zvdb::delete_record(db(), kLanes, Key{10}), 0);
  ASSERT_EQ(zvdb::init_defaults(db(), tables, settings), 0);
  LaneRec r{};
  ASSERT_EQ(zvdb::read_record(db(), kLanes, &r, Key{9}), 0);
  EXPECT_EQ(r.mode, 0) << "a stored row is not reset";
  ASSERT_EQ(zvdb::read_record(db(), kLanes, &r, Key{10}), 0);
  EXPECT_EQ(r.mode, 2) << "a missing row is restored";
  EXPECT_EQ(get_param_int(db(), "lanes", 0), 64);
}

TEST(ZvdbFiles, TheThreeDatabaseFilesAreIndependent) {
  zvdb_close_all();
  for (const char* path : {kZvdbPath, kAnprDbPath, kOemDbPath}) {
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((std::string(path) + suffix).c_str());
    ASSERT_EQ(zvdb_init_defaults(path), 0) << path;
  }
  ASSERT_EQ(set_param_value(kAnprDbPath, "model", "plates"), 0);
  UserRecord oem{};
  oem.id = 5;
  oem.enable = 1;
  snprintf(oem.name, sizeof oem.name, "%s", "installer");
  ASSERT_EQ(write_user(kOemDbPath, &oem), 0);

  char model[16];
  get_param_value(kZvdbPath, "model", model, sizeof model, "?");
  EXPECT_STREQ(model, "");
  get_param_value(kAnprDbPath, "model", model, sizeof model, "?");
  EXPECT_STREQ(model, "plates");
  UserRecord r{};
  EXPECT_EQ(read_user_by_name(kZvdbPath, &r, "installer"), -1);
  EXPECT_EQ(read_user_by_name(kOemDbPath, &r, "installer"), 0);
  EXPECT_EQ(read_user_count(kOemDbPath), 2);
  zvdb_close_all();
}

TEST_F(DbTest, AForeignFileIsNeitherReadAsDataNorChanged) {
  const std::string garbage(4096, 'Z');
  zvtest::write_file(path_, garbage);
  UserRecord users[4];
  int count = 4;
  EXPECT_EQ(read_users(db(), users, &count), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(get_param_int(db(), "max_cameras", 32), 32);
  EXPECT_EQ(set_param_int(db(), "max_cameras", 8), -1);
  EXPECT_EQ(zvdb_init_defaults(db()), -1);
  EXPECT_EQ(zvtest::read_file(path_), garbage);

  // A database of another program: read as empty, and our tables are added on the first write.
  unlink(db());
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE foreign_rows(x); INSERT INTO foreign_rows VALUES(1)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(other);
  EXPECT_EQ(check_param_key(db(), "max_cameras"), 1);
  EXPECT_EQ(set_param_int(db(), "max_cameras", 8), 0);
  EXPECT_EQ(get_param_int(db(), "max_cameras", 0), 8);
  EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT COUNT(*) FROM foreign_rows"), "1");
}

// A page that cannot be read partway through a scan is a failure, not the end of the list: the
// settings scan (a configuration export walks it) and the table counts report -1.
TEST_F(DbTest, AScanThatMeetsADamagedPageFails) {
  // Zeroes the file's last page once every connection has checkpointed and closed.
  const auto damage_last_page = [&] {
    zvdb_close_all();
    const int page = std::stoi(zvdbtest::sql_value(path_, "PRAGMA page_size"));
    std::string bytes = zvtest::read_file(path_);
    ASSERT_GT(bytes.size(), static_cast<size_t>(4 * page));
    bytes.replace(bytes.size() - static_cast<size_t>(page), static_cast<size_t>(page), static_cast<size_t>(page), '\0');
    zvtest::write_file(path_, bytes);
  };
  {
    zvdb::Transaction tx(db());
    for (int i = 0; i < 200; ++i) tx.write_setting("k" + std::to_string(1000 + i), std::string(200, 'v'));
    ASSERT_EQ(tx.commit(), 0);
  }
  damage_last_page();
  int visited = 0;
  EXPECT_EQ(zvdb::scan_settings(db(), [&](std::string_view, std::string_view) { ++visited; }), -1);
  EXPECT_GT(visited, 0) << "the damage is past the first settings";

  zvdb_close_all();
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((path_ + suffix).c_str());
  constexpr TableDesc kWide{.name = "t_wide", .record_size = 200};
  {
    zvdb::Transaction tx(db());
    std::string record(200, 'r');
    for (int i = 0; i < 200; ++i) tx.write(kWide, record.data(), Key{i});
    ASSERT_EQ(tx.commit(), 0);
  }
  damage_last_page();
  EXPECT_EQ(zvdb::scan_table_counts(db(), [](std::string_view, int) {}), -1);
}

// What the calls between start() and finish() wrote to standard error.
class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    saved_ = dup(2);
    int fd = open(path_, O_RDWR | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
  }
  std::string finish() {
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    return zvtest::read_file(path_);
  }

 private:
  const char* path_ = "/tmp/stderr-capture";
  int saved_ = -1;
};

TEST(ZvdbFiles, AMissingConfigurationDatabaseComesBackWithTheFactorySettings) {
  zvdb_close_all();
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((std::string(kZvdbPath) + suffix).c_str());
  {
    StderrCapture capture;
    UserRecord admin{};
    EXPECT_EQ(read_user(kZvdbPath, &admin, 0), -1);
    const std::string said = capture.finish();
    EXPECT_NE(said.find(kZvdbPath), std::string::npos) << "a read of a missing file says which: " << said;
  }
  // The first write creates the file with every factory row, then stores its own change.
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 8), 0);
  UserRecord admin{};
  ASSERT_EQ(read_user(kZvdbPath, &admin, 0), 0);
  EXPECT_STREQ(admin.name, "admin");
  EXPECT_EQ(admin.type, 0);
  EXPECT_EQ(get_param_int(kZvdbPath, "max_cameras", 0), 8);
  EXPECT_EQ(get_param_int(kZvdbPath, "alarm_in", 0), 16);
  zvdb_close_all();
}

// Runs `sql` on the configuration file through a connection of its own.
void run_sql(const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(kZvdbPath, &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  sqlite3_close(db);
}

// A file whose factory rows never arrived (the process died, or the flash filled, right after its
// schema) gets them from its next writer; a file that has no mark (made before it existed) is
// complete as it is: a removed administrator row does not come back there.
TEST(ZvdbFiles, FactoryRowsCutOffAfterTheSchemaComeWithTheNextWrite) {
  zvdb_close_all();
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((std::string(kZvdbPath) + suffix).c_str());
  ASSERT_EQ(set_param_int(kZvdbPath, "first", 1), 0);
  zvdb_close_all();
  EXPECT_EQ(zvdbtest::sql_value(kZvdbPath, "SELECT value FROM settings WHERE key = 'zvdb_factory_stored'"), "1");
  run_sql("DELETE FROM records; DELETE FROM settings; "
          "INSERT INTO settings(key, value) VALUES('zvdb_factory_stored', '0')");
  ASSERT_EQ(set_param_int(kZvdbPath, "second", 2), 0);
  UserRecord admin{};
  EXPECT_EQ(read_user(kZvdbPath, &admin, 0), 0);
  EXPECT_STREQ(admin.name, "admin");
  EXPECT_EQ(get_param_int(kZvdbPath, "alarm_in", 0), 16);
  zvdb_close_all();
  run_sql("DELETE FROM records; DELETE FROM settings");
  ASSERT_EQ(set_param_int(kZvdbPath, "third", 3), 0);
  EXPECT_EQ(read_user(kZvdbPath, &admin, 0), -1);
  zvdb_close_all();
}

// Descriptors of this process open on `path` (the database file itself, not -wal / -shm).
int open_descriptors(const std::string& path) {
  int n = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* e = readdir(dir)) {
    char target[PATH_MAX];
    std::string link = std::string("/proc/self/fd/") + e->d_name;
    ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
    if (len > 0 && std::string(target, static_cast<size_t>(len)) == path) ++n;
  }
  closedir(dir);
  return n;
}

TEST_F(DbTest, OneConnectionPerFileIsOpenedAndReused) {
  ASSERT_EQ(zvdb_init_defaults(db()), 0);
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(set_param_int(db(), "n", i), 0);
    ASSERT_EQ(get_param_int(db(), "n", -1), i);
    UserRecord u{};
    ASSERT_EQ(read_user(db(), &u, 0), 0);
  }
  // One connection: SQLite's descriptor and the one the writers queue on.
  EXPECT_EQ(open_descriptors(path_), 2);
  zvdb_close_all();
  EXPECT_EQ(open_descriptors(path_), 0);
  EXPECT_EQ(get_param_int(db(), "n", -1), 49) << "reopened after close";
}

}  // namespace
