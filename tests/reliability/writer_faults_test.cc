// Writers under stress, one row per writer family (tests/support/writer_table.h):
//  - power cuts during saves: each request is killed with SIGKILL at a random moment of its run,
//    again and again; after every kill the database passes SQLite's integrity check and holds the
//    request's settings all old or all new, never a mix (ZV_SOAK_ROUNDS kills per writer);
//  - 32 writers of different families at once: every one's settings arrive, none mixed with
//    another's, and users added at the same moment get distinct ids (ZV_SOAK_SECONDS of rounds).
// `make test` runs a few rounds of each; `make soak` hundreds of kills and 30 s of parallel rounds.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/request_fixture.h"
#include "tests/support/writer_table.h"

extern char** environ;

namespace zvtest {
namespace {

int rounds_per_writer() {
  const char* text = getenv("ZV_SOAK_ROUNDS");
  return text != nullptr && atoi(text) > 0 ? atoi(text) : 2;
}

int parallel_seconds() {
  const char* text = getenv("ZV_SOAK_SECONDS");
  return text != nullptr && atoi(text) > 0 ? atoi(text) : 0;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// What a dump line is about: a setting's key, a table's row count, a row's key and index.
std::string identity_of(const std::string& line) {
  if (line.rfind("setting ", 0) == 0) return line.substr(0, line.find('='));
  if (line.rfind("table ", 0) == 0) return line.substr(0, line.rfind(' '));
  return line.substr(0, line.find(' ', line.find(' ') + 1));
}

std::string integrity(const char* path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return result;
}

class WriterFaults : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    core_->reply(3496, int32s({0}));  // a disk's removal keeps the emptied row only once the core says so
  }
  // Starts webreq with the writer's request as the admin's POST; the child's output goes nowhere.
  pid_t start(const Writer& w, const char* output = "/dev/null") {
    std::vector<std::string> env_text = {
        "GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=POST", std::string("PATH_INFO=") + w.id,
        "SERVER_PROTOCOL=HTTP/1.1", "REMOTE_ADDR=192.0.2.7", "CONTENT_TYPE=application/json",
        "CONTENT_LENGTH=" + std::to_string(strlen(w.body)), "QUERY_STRING=",
        "HTTP_COOKIE=language=en-US; userName=admin; sessionId=42", std::string("ZV_CORE_TIMING=") + kFastTiming};
    for (const char* name : {"PATH", "ZV_SANDBOX", "ZV_TEST_EMULATOR", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
      if (const char* value = getenv(name)) env_text.push_back(std::string(name) + "=" + value);
    }
    std::vector<std::string> argv_text = program_command(bin_path("webreq"));
    std::vector<char*> argv = exec_pointers(argv_text), envp = exec_pointers(env_text);
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    // The body is far below a pipe's capacity: written at once.
    if (write(in[1], w.body, strlen(w.body)) < 0) {
    }
    close(in[1]);
    return pid;
  }

  // Runs the request to its end; returns its run time in microseconds.
  int64_t run_whole(const Writer& w) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = start(w);
    int status = 0;
    waitpid(pid, &status, 0);
    settle();
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  }

  // Kills the request `delay_us` after its start (or reaps it when it ended before).
  void run_killed(const Writer& w, int64_t delay_us) {
    const pid_t pid = start(w);
    usleep(static_cast<useconds_t>(delay_us));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    settle();
  }

  // The database files, kept while no process has them open, and put back.
  struct Saved {
    std::string db, wal;
  };
  Saved save() {
    zvdb_close_all();
    return {read_file(kZvdbPath), read_file(std::string(kZvdbPath) + "-wal")};
  }
  void restore(const Saved& saved) {
    zvdb_close_all();
    write_file(kZvdbPath, saved.db);
    const std::string wal = std::string(kZvdbPath) + "-wal";
    unlink((std::string(kZvdbPath) + "-shm").c_str());
    if (saved.wal.empty()) unlink(wal.c_str());
    else write_file(wal, saved.wal);
  }
};

TEST_F(WriterFaults, EveryWriterKilledAtRandomMomentsLeavesOldOrNew) {
  std::mt19937 random(20261209);
  const int rounds = rounds_per_writer();
  int kills = 0, old_states = 0, new_states = 0;
  const Saved factory = save();
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.id);
    restore(factory);
    const std::string before = dump();
    const int64_t whole_us = run_whole(w);
    const std::string after = dump();
    ASSERT_NE(after, before) << "the request stores nothing";
    for (int round = 0; round < rounds; ++round) {
      restore(factory);
      const int64_t delay = std::uniform_int_distribution<int64_t>(0, whole_us * 5 / 4)(random);
      run_killed(w, delay);
      ++kills;
      ASSERT_EQ(integrity(kZvdbPath), "ok") << "killed after " << delay << " us";
      const std::string now = dump();
      if (now == before) {
        ++old_states;
      } else if (now == after) {
        ++new_states;
      } else {
        ADD_FAILURE() << "killed after " << delay << " us: neither the old nor the new settings";
      }
      core_->clear_received();
    }
  }
  printf("kill -9: %zu writers, %d kills, %d left the old settings, %d the new\n", std::size(kWriters), kills,
         old_states, new_states);
}

// One writer's effect on the factory database: the dump lines it removes and adds.
struct Effect {
  const Writer* writer;
  std::vector<std::string> removed, added;
  std::set<std::string> touched;  // identities of those lines
};

TEST_F(WriterFaults, ThirtyTwoWritersOfDifferentFamiliesAtOnce) {
  const Saved factory = save();
  const std::vector<std::string> before = lines_of(dump());
  // Each family alone, then the first 32 whose effects touch nothing another one touches.
  std::vector<Effect> chosen;
  std::set<std::string> taken;
  for (const Writer& w : kWriters) {
    if (chosen.size() == 32) break;
    restore(factory);
    run_whole(w);
    const std::vector<std::string> after = lines_of(dump());
    Effect e{&w, {}, {}, {}};
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(e.removed));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(e.added));
    for (const auto* lines : {&e.removed, &e.added}) {
      for (const std::string& line : *lines) e.touched.insert(identity_of(line));
    }
    if (std::any_of(e.touched.begin(), e.touched.end(), [&](const std::string& t) { return taken.contains(t); })) {
      continue;
    }
    taken.insert(e.touched.begin(), e.touched.end());
    chosen.push_back(std::move(e));
  }
  ASSERT_EQ(chosen.size(), 32u);
  std::set<std::string> expected(before.begin(), before.end());
  for (const Effect& e : chosen) {
    for (const std::string& line : e.removed) expected.erase(line);
    expected.insert(e.added.begin(), e.added.end());
  }
  const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(parallel_seconds());
  int rounds = 0;
  do {
    restore(factory);
    std::vector<pid_t> pids;
    for (const Effect& e : chosen) pids.push_back(start(*e.writer));
    for (pid_t pid : pids) {
      int status = 0;
      waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    settle();
    const std::vector<std::string> now = lines_of(dump());
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), now.begin(), now.end(), std::back_inserter(missing));
    std::set_difference(now.begin(), now.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    ASSERT_TRUE(missing.empty() && extra.empty())
        << "round " << rounds << ": " << missing.size() << " settings lost (first: "
        << (missing.empty() ? "" : missing[0]) << "), " << extra.size() << " unexpected (first: "
        << (extra.empty() ? "" : extra[0].substr(0, 120)) << ")";
    core_->clear_received();
    ++rounds;
  } while (std::chrono::steady_clock::now() < stop);
  printf("parallel: %zu writers at once, %d rounds\n", chosen.size(), rounds);
}

// Users added at the same moment: every one that is told OK is stored, under an id of its own.
TEST_F(WriterFaults, UsersAddedAtOnceGetDistinctIds) {
  const std::string before = dump();
  constexpr int kUsers = 8;
  std::vector<std::string> bodies;
  std::vector<Writer> writers;
  for (int i = 0; i < kUsers; ++i) {
    bodies.push_back(R"({"name":"user)" + std::to_string(i) +
                     R"(","password":"0123456789abcdef0123456789abcdef","type":2,"permission":0,"remotePermission":0})");
  }
  for (int i = 0; i < kUsers; ++i) writers.push_back({"/6071", bodies[i].c_str(), "", false});
  std::vector<pid_t> pids;
  for (int i = 0; i < kUsers; ++i) pids.push_back(start(writers[i], ("/tmp/reply-" + std::to_string(i)).c_str()));
  for (pid_t pid : pids) waitpid(pid, nullptr, 0);
  settle();
  int accepted = 0;
  std::set<std::string> told;  // the ids the replies gave ("id=N")
  for (int i = 0; i < kUsers; ++i) {
    const std::string reply = body_of(read_file("/tmp/reply-" + std::to_string(i)));
    if (reply.rfind("id=", 0) != 0) continue;
    ++accepted;
    told.insert(reply);
  }
  EXPECT_EQ(told.size(), static_cast<size_t>(accepted)) << "two users were told the same id";
  const std::vector<std::string> old_lines = lines_of(before), new_lines = lines_of(dump());
  std::vector<std::string> added;
  std::set_difference(new_lines.begin(), new_lines.end(), old_lines.begin(), old_lines.end(), std::back_inserter(added));
  std::set<std::string> rows;
  int row_lines = 0;
  for (const std::string& line : added) {
    if (line.rfind("setting ", 0) == 0 || line.rfind("table ", 0) == 0) continue;
    ++row_lines;
    rows.insert(identity_of(line));
  }
  EXPECT_GE(accepted, 1) << read_file("/tmp/reply-0");
  EXPECT_EQ(row_lines, accepted) << "every accepted user is one new row";
  EXPECT_EQ(rows.size(), static_cast<size_t>(row_lines)) << "two users share an id";
}

}  // namespace
}  // namespace zvtest
