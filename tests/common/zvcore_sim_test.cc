// The core simulator: its script parser, message log format and operation-log store, and the
// program itself (build/bin/zvcore-sim) serving a client in this test's sandbox.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/core_client.h"
#include "common/oplog.h"
#include "common/payload_reader.h"
#include "common/reply.h"
#include "common/messages/system.h"
#include "tests/support/harness.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/message_log.h"
#include "tools/zvcore-sim/oplog_store.h"
#include "tools/zvcore-sim/script.h"
#include "tools/zvcore-sim/simulator.h"

extern char** environ;

namespace {

TEST(SimScript, ParsesRulesAndRefusesBadLines) {
  Script script;
  std::string error;
  ASSERT_TRUE(parse_script("# canned replies\n"
                           "3504 int32 1\n"
                           "\n"
                           "1159 as 6159 after 200 hex 0100FFab   # first page\n"
                           "1159 empty\n"
                           "3201 none\n"
                           "1000 int32 -1 2147483647\n",
                           &script, &error))
      << error;
  ASSERT_EQ(script.rules.size(), 4u);
  EXPECT_EQ(script.rules[3504].size(), 1u);
  EXPECT_EQ(script.rules[3504][0].payload, std::vector<unsigned char>({1, 0, 0, 0}));
  ASSERT_EQ(script.rules[1159].size(), 2u);
  EXPECT_EQ(script.rules[1159][0].reply_id, 6159);
  EXPECT_EQ(script.rules[1159][0].delay_ms, 200);
  EXPECT_EQ(script.rules[1159][0].payload, std::vector<unsigned char>({0x01, 0x00, 0xff, 0xab}));
  EXPECT_TRUE(script.rules[1159][1].payload.empty());
  EXPECT_TRUE(script.rules[3201].empty()) << "scripted without a reply";
  EXPECT_EQ(script.rules[1000][0].payload.size(), 8u);

  struct Bad {
    const char* text;
    const char* error;
  } bad[] = {{"abc int32 1", "line 1: bad message id 'abc'"},
             {"1 2\n3504", "line 1: unknown reply kind '2'"},
             {"3504", "line 1: missing reply kind"},
             {"3504 int32", "line 1: int32 needs at least one value"},
             {"3504 int32 99999999999", "line 1: bad int32 '99999999999'"},
             {"3504 hex 123", "line 1: hex payload needs pairs of hex digits"},
             {"3504 hex zz", "line 1: bad hex digit"},
             {"\n3504 after -1 empty", "line 2: bad value for 'after'"},
             {"3504 none extra", "line 1: unexpected 'extra'"}};
  for (const auto& b : bad) {
    Script untouched;
    untouched.rules[1];
    EXPECT_FALSE(parse_script(b.text, &untouched, &error)) << b.text;
    EXPECT_EQ(error, b.error);
    EXPECT_EQ(untouched.rules.size(), 1u) << "a failed parse changes nothing";
  }
}

TEST(SimReplyIds, AreTheRequestIdPlus5000ExceptMultiChannelPlay) {
  EXPECT_EQ(Simulator::reply_id_for(3504), 8504);
  EXPECT_EQ(Simulator::reply_id_for(1713), 6713);
  EXPECT_EQ(Simulator::reply_id_for(4012), 9012);
  EXPECT_EQ(Simulator::reply_id_for(3109), 8103);
}

TEST(SimSystemModule, AnswersEveryMessageOfTheSystemModuleAndTheOperationLog) {
  Simulator sim(SimOptions{});
  std::vector<MessageInfo> declared(zvtest::declared_messages("system").begin(), zvtest::declared_messages("system").end());
  declared.insert(declared.end(), zvtest::declared_messages("oplog").begin(), zvtest::declared_messages("oplog").end());
  for (const MessageInfo& m : declared) {
    auto [first, last] = sim.rules().rules().equal_range(m.id);
    ASSERT_EQ(std::distance(first, last), 1) << m.name;
    EXPECT_EQ(first->second.module, "system") << m.name;
  }
  EXPECT_NE(sim.module("system"), nullptr);
}

// Every message the tree declares has its rule: a handler's message that no module answers would
// leave the handler waiting out its budget against the simulator. (A payload of the declared size
// picks among the rules of an id that two messages share.)
TEST(SimModules, HaveARuleForEveryDeclaredMessage) {
  Simulator sim(SimOptions{});
  EXPECT_TRUE(sim.rules().conflicts().empty());
  for (const MessageInfo& m : zvtest::all_declared_messages()) {
    const std::vector<unsigned char> payload(m.payload_size);
    const SimRequest request{0, 3, m.id, payload.empty() ? nullptr : payload.data(), m.payload_size};
    EXPECT_NE(sim.rules().find(request), nullptr) << m.id << " " << m.name;
  }
}

TEST(SimMessageLog, FormatsOneJsonObjectPerMessage) {
  unsigned char payload[] = {0x04, 0x00, 0xab, 0xff};
  EXPECT_EQ(MessageLog::format(1733650000123, 3, 3485, payload, 4),
            R"({"t": 1733650000123, "client": 3, "id": 3485, "len": 4, "payload": "0400abff"})");
  EXPECT_EQ(MessageLog::format(5, 11, 4002, nullptr, 0),
            R"({"t": 5, "client": 11, "id": 4002, "len": 0, "payload": ""})");
}

TEST(SimOpLogStore, StampsKeepsAndReloadsRecords) {
  zvtest::reset_device_state();
  OpLogRecord record{};
  record.main_type = 4;
  record.sub_type = 201;
  StoredLogEntry multi{};
  multi.record.sub_type = 204;
  multi.mask = ChannelMask64::from_u64(1ull << 63);
  {
    OpLogStore store;
    std::string error;
    ASSERT_TRUE(store.open("/mnt/nand/oplog.bin", &error)) << error;
    auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    EXPECT_TRUE(store.add(3485, bytes, 672, 1700000000));
    EXPECT_TRUE(store.add(3509, reinterpret_cast<const unsigned char*>(&multi), 680, 1700000001));
    EXPECT_FALSE(store.add(3485, bytes, 671, 1)) << "a short record is refused";
    EXPECT_FALSE(store.add(3509, bytes, 672, 1)) << "3509 carries the mask";
    EXPECT_FALSE(store.add(1000, bytes, 672, 1));
    ASSERT_EQ(store.size(), 2u);
  }
  // A torn entry at the end (a power cut during an append) is dropped on the next start.
  std::string file = zvtest::read_file("/mnt/nand/oplog.bin");
  zvtest::write_file("/mnt/nand/oplog.bin", file + std::string(100, 'x'));
  OpLogStore reloaded;
  ASSERT_TRUE(reloaded.open("/mnt/nand/oplog.bin", nullptr));
  auto entries = reloaded.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].record.time, 1700000000);
  EXPECT_EQ(entries[0].record.sub_type, 201);
  EXPECT_EQ(entries[1].record.time, 1700000001);
  EXPECT_EQ(entries[1].mask.bits(), 1ull << 63);
  EXPECT_EQ(zvtest::read_file("/mnt/nand/oplog.bin").size(), 2u * 680);
}

// A span is found by its stamps: in order by binary search, after the clock went back by a scan;
// both give exactly the entries within [from, to]. A fill keeps the newest kMaxEntries.
TEST(SimOpLogStore, VisitsTheEntriesOfASpanOnly) {
  zvtest::reset_device_state();
  OpLogStore store;
  store.fill(OpLogStore::kMaxEntries + 5, 60, 1000000000);
  ASSERT_EQ(store.size(), OpLogStore::kMaxEntries);
  auto stamps = [&](int32_t from, int32_t to) {
    std::vector<int32_t> seen;
    store.visit(from, to, [&](const StoredLogEntry& e) {
      seen.push_back(e.record.time);
      return true;
    });
    return seen;
  };
  const std::vector<int32_t> last = {1000000000 - 120, 1000000000 - 60, 1000000000};
  EXPECT_EQ(stamps(1000000000 - 179, 1000000000), last) << "one below the oldest stamp";
  EXPECT_EQ(stamps(1000000000 - 120, 2000000000), last);
  EXPECT_TRUE(stamps(1000000001, 2000000000).empty());
  EXPECT_EQ(stamps(0, 2000000000).size(), OpLogStore::kMaxEntries);
  OpLogRecord late{};
  late.sub_type = 201;
  ASSERT_TRUE(store.add(3485, reinterpret_cast<const unsigned char*>(&late), 672, 1000000000 - 90));
  EXPECT_EQ(stamps(1000000000 - 120, 1000000000),
            (std::vector<int32_t>{1000000000 - 120, 1000000000 - 60, 1000000000, 1000000000 - 90}));

  // Made-up entries go before kept ones: the log stays in order (and in its file).
  OpLogStore kept;
  ASSERT_TRUE(kept.open("/mnt/nand/oplog.bin", nullptr));
  ASSERT_TRUE(kept.add(3485, reinterpret_cast<const unsigned char*>(&late), 672, 1000000000));
  kept.fill(2, 60, 1000000000);
  std::vector<int32_t> seen;
  kept.visit(999999000, 1000000000, [&](const StoredLogEntry& e) {
    seen.push_back(e.record.time);
    return true;
  });
  EXPECT_EQ(seen, (std::vector<int32_t>{1000000000 - 60, 1000000000, 1000000000}));
  EXPECT_EQ(zvtest::read_file("/mnt/nand/oplog.bin").size(), 3u * sizeof(StoredLogEntry));
}

// Runs build/bin/zvcore-sim with the given options until stop().
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    std::vector<std::string> text = zvtest::program_command(zvtest::bin_path("zvcore-sim"), args);
    std::vector<char*> argv = zvtest::exec_pointers(text);
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  ~SimProcess() { stop(); }
  pid_t pid() const { return pid_; }
  bool wait_ready(bool ready = true, int timeout_ms = 10000) const {
    for (int waited = 0; waited < timeout_ms; waited += 10) {
      if (zvtest::file_exists("/tmp/zvcore") == ready) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // SIGTERM and the exit status (-1 when it did not exit normally).
  int stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

int32_t g_redirect_answer = -100;
void redirect_callback(int, ZvMsgHeader* header, void* payload) {
  if (header->msg_id != 8504) return;
  PayloadReader reader(header, payload);
  g_redirect_answer = reader.int32_at(0, -99);
  reply_flag_set(1);
}

int32_t g_reply_id = 0;
int32_t g_reply_word = -100;
void any_callback(int, ZvMsgHeader* header, void* payload) {
  PayloadReader reader(header, payload);
  g_reply_id = header->msg_id;
  g_reply_word = reader.int32_at(0, -99);
  reply_flag_set(1);
}

std::vector<std::string> log_lines(const std::string& path) {
  std::vector<std::string> lines;
  std::string text = zvtest::read_file(path);
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

class SimProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zvtest::reset_device_state();
    core_set_timing({500, 2000, 5000});  // up to 1 s of retries, 5 s default wait
  }
};

TEST_F(SimProgramTest, LogsAnOperationRecordAndMarksItselfReady) {
  SimProcess sim({"--message-log", "/tmp/messages.log", "--oplog", "/mnt/nand/oplog.bin"});
  ASSERT_TRUE(sim.wait_ready()) << "/tmp/zvcore never appeared";
  setenv("HTTP_COOKIE", "userName=admin", 1);
  setenv("REMOTE_ADDR", "10.0.0.2", 1);
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = 201;
  record.param_type = 900;
  op_log_send(record);

  // Client 11 (the joystick daemon) only sends; its messages are logged too.
  ASSERT_EQ(zv_sock_init(nullptr, 0, 11, "/var/run/zvsocket"), 0);
  char command[100] = "Enter";
  ASSERT_EQ(zv_sock_send_msg(1, 4002, command, sizeof command, 0), 0);

  // Messages land in the log in arrival order; wait for both.
  for (int waited = 0; waited < 5000 && log_lines("/tmp/messages.log").size() < 2; waited += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  zv_sock_uninit(0);
  EXPECT_EQ(sim.stop(), 0);
  EXPECT_FALSE(zvtest::file_exists("/tmp/zvcore")) << "a stopped core is not ready";
  EXPECT_FALSE(zvtest::file_exists("/var/run/zvsocket"));

  auto lines = log_lines("/tmp/messages.log");
  ASSERT_EQ(lines.size(), 2u);
  std::string hex;
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  for (size_t i = 0; i < sizeof record; ++i) {
    char pair[3];
    snprintf(pair, sizeof pair, "%02x", bytes[i]);
    hex += pair;
  }
  // {"t": <13 digits of Unix ms>, then the fixed rest of the line.
  auto split_time = [](const std::string& line, long long* ms) {
    const std::string head = "{\"t\": ";
    if (line.compare(0, head.size(), head) != 0 || line.size() < head.size() + 13) return std::string();
    std::string digits = line.substr(head.size(), 13);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return std::string();
    *ms = std::stoll(digits);
    return line.substr(head.size() + 13);
  };
  long long t0 = 0, t1 = 0;
  EXPECT_EQ(split_time(lines[0], &t0), ", \"client\": 3, \"id\": 3485, \"len\": 672, \"payload\": \"" + hex + "\"}");
  EXPECT_EQ(split_time(lines[1], &t1),
            ", \"client\": 11, \"id\": 4002, \"len\": 100, \"payload\": \"456e746572" + std::string(190, '0') + "\"}");
  auto now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_LE(t0, t1);
  EXPECT_LE(t1, now_ms);
  EXPECT_GT(t0, now_ms - 60000);

  // The record is in the operation log with its arrival time.
  OpLogStore store;
  ASSERT_TRUE(store.open("/mnt/nand/oplog.bin", nullptr));
  auto entries = store.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].record.sub_type, 201);
  EXPECT_STREQ(entries[0].record.user, "admin");
  EXPECT_NEAR(entries[0].record.time, static_cast<double>(time(nullptr)), 60);
  unsetenv("HTTP_COOKIE");
  unsetenv("REMOTE_ADDR");
}

TEST_F(SimProgramTest, AnswersRequestsAndFollowsItsScript) {
  zvtest::write_file("/tmp/script.txt", "3504 int32 7\n1153 none\n");
  SimProcess sim({"--script", "/tmp/script.txt", "--reboot-ms", "300"});
  ASSERT_TRUE(sim.wait_ready());

  g_redirect_answer = -100;
  char text[256] = "anything";
  EXPECT_EQ(core_request(redirect_callback, 3504, sizeof text, text, REPLY_TEXT), 1);
  EXPECT_EQ(g_redirect_answer, 7) << "the script's answer";

  core_set_timing({500, 2000, 100});  // 100 ms budget for the silent message
  core_send(redirect_callback, 1153, 0, nullptr, 0);
  EXPECT_TRUE(core_last_wait_expired()) << "scripted without reply";
  g_reply_id = 0;
  core_send(any_callback, 1153, 0, nullptr, 0);
  EXPECT_TRUE(core_last_wait_expired());
  EXPECT_EQ(g_reply_id, 0) << "its rule does not answer a scripted id";

  // SIGHUP reads the script again.
  zvtest::write_file("/tmp/script.txt", "3504 int32 8\n");
  kill(sim.pid(), SIGHUP);
  EXPECT_TRUE(zvtest::wait_until([&] {
    core_request(redirect_callback, 3504, sizeof text, text, REPLY_TEXT);
    return g_redirect_answer == 8;
  }, 2000));
  core_close(0);

  // Reboot: the ready marker goes and comes back.
  core_notify(1703, 0, nullptr);
  EXPECT_TRUE(sim.wait_ready(false)) << "/tmp/zvcore stayed during the reboot";
  EXPECT_TRUE(sim.wait_ready(true)) << "/tmp/zvcore did not come back";
  EXPECT_EQ(sim.stop(), 0);

  // Without a script: 3504 is answered with 0, a message without simulated behaviour with the
  // status word 0 under id + 5000.
  SimProcess plain({});
  ASSERT_TRUE(plain.wait_ready());
  core_set_timing({500, 2000, 5000});
  g_redirect_answer = -100;
  EXPECT_EQ(core_request(redirect_callback, 3504, sizeof text, text, REPLY_TEXT), 1);
  EXPECT_EQ(g_redirect_answer, 0);
  struct Case {
    int32_t id, reply_id;
  } cases[] = {{2999, 7999}, {7777, 12777}};
  for (const auto& c : cases) {
    g_reply_id = 0;
    EXPECT_EQ(core_request(any_callback, c.id, 0, nullptr, REPLY_TEXT), 1) << c.id;
    EXPECT_EQ(g_reply_id, c.reply_id);
    EXPECT_EQ(g_reply_word, 0) << c.id;
  }
  EXPECT_EQ(plain.stop(), 0);
}

TEST_F(SimProgramTest, RefusesABadScriptAndABusySocket) {
  zvtest::write_file("/tmp/bad.txt", "3504 int32 x\n");
  zvtest::RunOptions options;
  options.args = {"--script", "/tmp/bad.txt"};
  auto result = zvtest::run_program(zvtest::bin_path("zvcore-sim"), options);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("line 1: bad int32 'x'"), std::string::npos) << result.err;

  options.args = {"--bogus"};
  EXPECT_EQ(zvtest::run_program(zvtest::bin_path("zvcore-sim"), options).exit_code, 2);
  options.args = {"--help"};
  result = zvtest::run_program(zvtest::bin_path("zvcore-sim"), options);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_NE(result.out.find("--script FILE"), std::string::npos);
  options.args = {"--reboot-ms", "0", "--help"};
  EXPECT_EQ(zvtest::run_program(zvtest::bin_path("zvcore-sim"), options).exit_code, 0);

  SimProcess first({});
  ASSERT_TRUE(first.wait_ready());
  options.args = {};
  result = zvtest::run_program(zvtest::bin_path("zvcore-sim"), options);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("already listens"), std::string::npos) << result.err;
  EXPECT_TRUE(zvtest::file_exists("/tmp/zvcore")) << "the refused second copy left the first alone";
}

}  // namespace
