// Several processes on one file at once, and a writer killed in the middle of its writes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "tests/zvdb/db_test_util.h"

namespace {

using zvdb::Key;
using zvdbtest::DbTest;

struct ProcRec {
  int32_t writer;
  int32_t seq;
  int32_t value;
};
constexpr zvdb::TableDesc kProcTable{.name = "t_proc", .record_size = sizeof(ProcRec),
                                     .key = {.a = 0, .b = 4}};

// Starts `n` children that wait on a common start line, run `body(i)` and exit with its result.
// Returns once every child has exited; the exit codes are in `codes`.
template <class Body>
void run_children(int n, Body body, std::vector<int>* codes) {
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> pids;
  for (int i = 0; i < n; ++i) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(start[1]);
      char c;
      while (read(start[0], &c, 1) > 0) {
      }
      _exit(body(i));
    }
    pids.push_back(pid);
  }
  close(start[0]);
  close(start[1]);  // releases every child at once
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    codes->push_back(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }
}

TEST_F(DbTest, SixteenProcessesWriteAndReadBackWithoutLockFailures) {
  constexpr int kProcesses = 16;
  constexpr int kEach = 100;  // settings, and as many records: 200 writes per process
  std::string path = path_;   // a fresh file: the processes also race to create it
  std::vector<int> codes;
  run_children(kProcesses, [&](int w) {
    for (int j = 0; j < kEach; ++j) {
      std::string key = "p" + std::to_string(w) + "_" + std::to_string(j);
      if (set_param_int(path.c_str(), key.c_str(), w * 1000 + j) != 0) return 10;
      if (get_param_int(path.c_str(), key.c_str(), -1) != w * 1000 + j) return 11;
      ProcRec r{w, j, w * j};
      if (zvdb::write_record(path.c_str(), kProcTable, &r) != 0) return 12;
      ProcRec back{};
      if (zvdb::read_record(path.c_str(), kProcTable, &back, Key{w, j}) != 0) return 13;
      if (back.value != w * j) return 14;
    }
    return 0;
  }, &codes);
  EXPECT_EQ(codes, std::vector<int>(kProcesses, 0));

  EXPECT_EQ(zvdb::count_records(db(), kProcTable), kProcesses * kEach);
  int settings = 0;
  zvdb::scan_settings(db(), [&](std::string_view, std::string_view) { ++settings; });
  EXPECT_EQ(settings, kProcesses * kEach);
  for (int w = 0; w < kProcesses; ++w) {
    for (int j = 0; j < kEach; j += 33) {
      std::string key = "p" + std::to_string(w) + "_" + std::to_string(j);
      EXPECT_EQ(get_param_int(db(), key.c_str(), -1), w * 1000 + j);
    }
  }
  EXPECT_EQ(zvdbtest::sql_value(path_, "PRAGMA integrity_check"), "ok");
}

TEST_F(DbTest, ConcurrentAddsNeverShareAnIdAndCreateOneKey) {
  ASSERT_EQ(zvdb_init_defaults(db()), 0);
  zvdb_close_all();
  std::string path = path_;
  std::vector<int> codes;
  run_children(8, [&](int w) {
    for (int j = 0; j < 12; ++j) {
      UserRecord u{};
      u.enable = 1;
      snprintf(u.name, sizeof u.name, "w%d_%d", w, j);
      if (add_user(path.c_str(), &u) != 0) return 20;
      if (check_param_key(path.c_str(), "shared") != 0 &&
          add_param_value(path.c_str(), "shared", "x") != 0) {
        return 21;
      }
    }
    return 0;
  }, &codes);
  EXPECT_EQ(codes, std::vector<int>(8, 0));
  UserRecord users[kMaxUsers];
  int count = kMaxUsers;
  ASSERT_EQ(read_users(db(), users, &count), 0);
  ASSERT_EQ(count, 1 + 8 * 12);
  std::set<std::string> names;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(users[i].id, i);
    names.insert(users[i].name);
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(count)) << "no add overwrote another";
  EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT COUNT(*) FROM settings WHERE key='shared'"), "1");
}

TEST_F(DbTest, WriterKilledMidLoopLeavesASoundFileWithEveryReturnedWrite) {
  ASSERT_EQ(zvdb_init_defaults(db()), 0);
  zvdb_close_all();
  int progress[2];
  ASSERT_EQ(pipe(progress), 0);
  std::string path = path_;
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(progress[0]);
    for (int32_t i = 0;; ++i) {
      ProcRec r{0, i, i};
      if (set_param_int(path.c_str(), "counter", i) != 0) _exit(1);
      if (zvdb::write_record(path.c_str(), kProcTable, &r) != 0) _exit(2);
      if (write(progress[1], &i, sizeof i) != sizeof i) _exit(3);  // reported only once stored
    }
  }
  close(progress[1]);
  int32_t last = -1;
  int32_t value;
  while (last < 150 && read(progress[0], &value, sizeof value) == sizeof value) last = value;
  kill(pid, SIGKILL);
  while (read(progress[0], &value, sizeof value) == sizeof value) last = value;
  close(progress[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own: " << status;
  ASSERT_GE(last, 150);

  EXPECT_EQ(zvdbtest::sql_value(path_, "PRAGMA integrity_check"), "ok");
  EXPECT_GE(get_param_int(db(), "counter", -1), last);
  int stored = zvdb::count_records(db(), kProcTable);
  EXPECT_GE(stored, last + 1);
  for (int32_t i = 0; i <= last; ++i) {
    ProcRec r{};
    ASSERT_EQ(zvdb::read_record(db(), kProcTable, &r, Key{0, i}), 0) << "write " << i << " lost";
    EXPECT_EQ(r.value, i);
  }
  // The file takes new writes after the crash.
  EXPECT_EQ(set_param_int(db(), "after", 1), 0);
  EXPECT_EQ(get_param_int(db(), "after", 0), 1);
}

}  // namespace
