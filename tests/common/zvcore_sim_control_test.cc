// The simulator's module rules (clashes, shared ids, keyed stores), its control commands, and
// `zvcore-sim ctl` against the program running in this test's sandbox.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/core_client.h"
#include "common/exchange.h"
#include "tests/support/harness.h"
#include "tools/zvcore-sim/control.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

struct Door {
  int32_t id;
  int32_t open;
};
constexpr Exchange<Door, int32_t> kDoorSet{9001, 14001, "door set"};
constexpr Notice<Door> kDoorSetQuietly{9003, "door set quietly"};
constexpr Exchange<int32_t, Door> kDoorGet{9002, 14002, "door get"};
constexpr Exchange<int32_t, Door> kDoorGetToo{9004, 14004, "door get too"};

// A module whose rules a test writes; it knows the control commands "open <n>" and "quiet".
class TestModule : public SimModule {
 public:
  TestModule(const char* name, std::function<void(TestModule&, SimRules&)> declare)
      : name_(name), declare_(std::move(declare)) {}
  const char* name() const override { return name_; }
  void rules(SimRules& r) override { declare_(*this, r); }
  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.size() == 1 && words[0] == "quiet") return true;
    if (words.size() != 2 || words[0] != "open") return false;
    *answer = words[1] == "9" ? "error no door 9" : "door " + words[1] + "\nopen";
    return true;
  }
  KeyedStore<Door> doors{[](int64_t key) { return Door{static_cast<int32_t>(key), -1}; }};

 private:
  const char* name_;
  std::function<void(TestModule&, SimRules&)> declare_;
};

using Declare = std::function<void(TestModule&, SimRules&)>;
std::unique_ptr<Simulator> make_sim(std::vector<std::pair<const char*, Declare>> modules) {
  std::vector<std::unique_ptr<SimModule>> made;
  for (auto& [name, declare] : modules) made.push_back(std::make_unique<TestModule>(name, declare));
  SimOptions options;
  options.socket_path = "/var/run/test-sim";
  options.ready_path = "/tmp/test-sim-ready";
  return std::make_unique<Simulator>(options, std::move(made));
}

std::vector<unsigned char> bytes_of(const void* p, size_t n) {
  auto* b = static_cast<const unsigned char*>(p);
  return {b, b + n};
}

using Replies = std::vector<std::vector<unsigned char>>;

// The replies of the rule that takes (id, payload); {"none"} when no rule does.
Replies answer(const Simulator& sim, int32_t id, std::vector<unsigned char> payload) {
  SimRequest request{0, 3, id, payload.empty() ? nullptr : payload.data(), static_cast<uint32_t>(payload.size())};
  const SimRules::Rule* rule = sim.rules().find(request);
  if (rule == nullptr) return {bytes_of("none", 4)};
  SimAnswer a;
  rule->fn(request, a);
  Replies out;
  for (const auto& r : a.replies()) out.push_back(r.payload);
  return out;
}
template <class T>
std::vector<unsigned char> as_bytes(const T& value) {
  return bytes_of(&value, sizeof value);
}

TEST(SimRules, ASecondRuleForAnIdStopsTheStartNamingBothModules) {
  Declare answer_900 = [](TestModule&, SimRules& r) { r.answer(900, [](const SimRequest&, SimAnswer&) {}); };
  Declare fixed_900 = [](TestModule&, SimRules& r) { r.fixed(900, {1}); };
  Declare shared_900 = [](TestModule&, SimRules& r) { r.shared(900, nullptr, [](const SimRequest&, SimAnswer&) {}); };
  Declare picked_900 = [](TestModule&, SimRules& r) {
    r.shared(900, [](auto&) { return true; }, [](const SimRequest&, SimAnswer&) {});
  };
  struct Row {
    Declare first, second;
  } rows[] = {{answer_900, fixed_900}, {fixed_900, shared_900}, {shared_900, answer_900},
              {answer_900, picked_900}, {picked_900, fixed_900}};
  for (const Row& row : rows) {
    auto sim = make_sim({{"alarm", row.first}, {"disk", row.second}});
    std::string error;
    EXPECT_FALSE(sim->start(&error));
    EXPECT_EQ(error, "message ids with two rules: id 900: alarm and disk;");
    EXPECT_FALSE(zvtest::file_exists("/var/run/test-sim")) << "nothing served";
  }

  // Shared on both sides: the payload picks the rule; a payload no rule takes gets none.
  auto first_word_is = [](int32_t want) {
    return [want](const SimRequest& q) {
      int32_t word = 0;
      return payload_as(q, &word, true) && word == want;
    };
  };
  auto sim = make_sim({{"alarm", [&](TestModule&, SimRules& r) {
                          r.shared(900, first_word_is(1), [](const SimRequest&, SimAnswer& a) { a.int32(11); });
                        }},
                       {"disk", [&](TestModule&, SimRules& r) {
                          r.shared(900, first_word_is(2), [](const SimRequest&, SimAnswer& a) { a.int32(22); });
                        }}});
  EXPECT_TRUE(sim->rules().conflicts().empty());
  EXPECT_EQ(answer(*sim, 900, as_bytes(int32_t{1})), Replies{as_bytes(int32_t{11})});
  EXPECT_EQ(answer(*sim, 900, as_bytes(int32_t{2})), Replies{as_bytes(int32_t{22})});
  EXPECT_EQ(answer(*sim, 900, as_bytes(int32_t{3})), Replies{bytes_of("none", 4)});
  EXPECT_EQ(sim_control(*sim, "rules"), "ok 900:alarm:shared 900:disk:shared");
}

TEST(SimRules, AStoreAnswersWhatASetStoredAndTheFactoryValueBefore) {
  auto sim = make_sim({{"door", [](TestModule& m, SimRules& r) {
                          auto key_of_set = [](const Door& d) { return int64_t{d.id}; };
                          auto key_of_get = [](const int32_t& id) { return int64_t{id}; };
                          r.store(m.doors, kDoorSet, kDoorGet, key_of_set, key_of_get);
                          r.store(m.doors, kDoorSetQuietly, kDoorGetToo, key_of_set, key_of_get);
                        }}});
  struct Step {
    int32_t id;
    std::vector<unsigned char> payload;
    Replies replies;
  } steps[] = {
      {9002, as_bytes(int32_t{3}), {as_bytes(Door{3, -1})}},       // factory value
      {9001, as_bytes(Door{3, 1}), {as_bytes(int32_t{0})}},        // stored, status 0
      {9002, as_bytes(int32_t{3}), {as_bytes(Door{3, 1})}},
      {9002, as_bytes(Door{3, 99}), {as_bytes(Door{3, 1})}},       // a longer get: its leading key
      {9002, as_bytes(int32_t{4}), {as_bytes(Door{4, -1})}},       // other keys untouched
      {9001, bytes_of("abc", 3), {as_bytes(int32_t{-1})}},         // short record refused
      {9001, bytes_of("abcdefghi", 9), {as_bytes(int32_t{-1})}},   // trailing bytes refused
      {9003, as_bytes(Door{4, 7}), {}},                            // a notice-form set: no reply
      {9004, as_bytes(int32_t{4}), {as_bytes(Door{4, 7})}},
      {9002, {}, {}},                                              // no key: no answer
  };
  for (const Step& s : steps) EXPECT_EQ(answer(*sim, s.id, s.payload), s.replies) << s.id;
}

TEST(SimControl, PassesModuleCommandsAndRefusesUnknownOnes) {
  auto sim = make_sim({{"door", [](TestModule&, SimRules& r) { r.notice(9003); }}});
  struct Row {
    const char* line;
    const char* answer;
  } rows[] = {
      {"door open 3", "ok door 3 open"},
      {"  door\topen 9 ", "error no door 9"},
      {"door shut 3", "error door: unknown command 'shut 3'"},
      {"modules", "ok door"},
      {"rules", "ok 9003:door"},
      {"modules now", "error unknown command 'modules now'; commands: " /* usage follows */},
      {"ready maybe", "error unknown command 'ready maybe'; commands: "},
      {"ready on now", "error unknown command 'ready on now'; commands: "},
      {"door quiet", "ok"},
      {"", "error empty command; commands: "},
      {"log", "error no message log (--message-log FILE)"},
  };
  for (const Row& row : rows) {
    std::string got = sim_control(*sim, row.line);
    EXPECT_EQ(got.substr(0, strlen(row.answer)), row.answer) << row.line;
    if (got.rfind("ok", 0) == 0) {
      EXPECT_EQ(got, row.answer);
    }
  }
}

class SimCtlProgram : public ::testing::Test {
 protected:
  void SetUp() override { zvtest::reset_device_state(); }
  static zvtest::RunResult ctl(std::vector<std::string> words) {
    zvtest::RunOptions options;
    options.args = {"ctl"};
    options.args.insert(options.args.end(), words.begin(), words.end());
    return zvtest::run_program(zvtest::bin_path("zvcore-sim"), options);
  }
  static int32_t ask_7777() {
    auto reply = core_ask(7777, nullptr, 0, 12777, 4, -1);
    int32_t word = -100;
    if (reply) reply->first(&word);
    return word;
  }
};

TEST_F(SimCtlProgram, ChangesTheRunningSimulator) {
  zvtest::BackgroundProcess sim(zvtest::bin_path("zvcore-sim"),
                                {"--control", kControlDefaultPath, "--message-log", "/tmp/m.log"},
                                {{"ZV_SANDBOX", "1"}});
  ASSERT_TRUE(zvtest::wait_for_file("/tmp/zvcore"));
  ASSERT_TRUE(zvtest::wait_for_file(kControlDefaultPath));
  core_set_timing({500, 2000, 5000});
  zvtest::write_file("/tmp/s.txt", "7777 int32 7\n");

  Simulator same_build{SimOptions{}};
  struct Row {
    std::vector<std::string> words;
    int exit_code;
    std::string out;  // the whole output, or its start when it ends in "..."
  } rows[] = {
      {{"modules"}, 0, sim_control(same_build, "modules") + "\n"},
      {{"help\t"}, 0, sim_control(same_build, "help") + "\n"},
      {{"ready", "off"}, 0, "ok ready off\n"},
      {{"script", "/tmp/s.txt"}, 0, "ok script /tmp/s.txt\n"},
      {{"script", "/tmp/none.txt"}, 1, "error script /tmp/none.txt: cannot read /tmp/none.txt..."},
      {{"bogus", "words"}, 1, "error unknown command 'bogus words'..."},
      {{std::string(1100, 'x')}, 1, "error command line longer than 1023 bytes\n"},
      {{}, 2, ""},
  };
  for (const Row& row : rows) {
    auto result = ctl(row.words);
    EXPECT_EQ(result.exit_code, row.exit_code) << result.out << result.err;
    bool prefix = row.out.size() > 3 && row.out.ends_with("...");
    EXPECT_EQ(prefix ? result.out.substr(0, row.out.size() - 3) : result.out,
              prefix ? row.out.substr(0, row.out.size() - 3) : row.out);
  }
  EXPECT_FALSE(zvtest::file_exists("/tmp/zvcore")) << "ready off removes the marker";
  EXPECT_EQ(ask_7777(), 7) << "scripted";
  EXPECT_EQ(ctl({"script", "clear"}).exit_code, 0);
  EXPECT_EQ(ask_7777(), 0) << "the default answer again";
  EXPECT_EQ(ctl({"log"}).out, "ok /tmp/m.log 2 messages\n");

  // A script named from /tmp is read from there, and SIGHUP reads the one named last again.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir("/tmp"), 0);
  EXPECT_EQ(ctl({"script", "s.txt"}).out, "ok script /tmp/s.txt\n");
  ASSERT_EQ(chdir(cwd), 0);
  zvtest::write_file("/tmp/s.txt", "7777 int32 8\n");
  kill(sim.pid(), SIGHUP);
  EXPECT_TRUE(zvtest::wait_until([&] { return ask_7777() == 8; }, 2000));

  // A client that leaves half way, and one that sends control bytes, change nothing; a CRLF line
  // is taken.
  for (const char* sent : {"ready o", "ready\x01on\n", "modules\r\n"}) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, kControlDefaultPath);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(send(fd, sent, strlen(sent), MSG_NOSIGNAL), static_cast<ssize_t>(strlen(sent)));
    if (sent[strlen(sent) - 1] == '\n') {
      char answer[4096] = {};
      EXPECT_GT(recv(fd, answer, sizeof answer - 1, 0), 0);
      EXPECT_EQ(answer, sent[0] == 'm' ? sim_control(same_build, "modules") + "\n"
                                       : "error control bytes in the command line\n");
    }
    close(fd);
  }
  EXPECT_EQ(ctl({"ready", "on"}).out, "ok ready on\n") << "still serving";
  EXPECT_TRUE(zvtest::file_exists("/tmp/zvcore"));
  EXPECT_EQ(ctl({"reboot"}).out, "ok rebooting for 2000 ms\n");
  EXPECT_FALSE(zvtest::file_exists("/tmp/zvcore"));
  EXPECT_TRUE(zvtest::wait_for_file("/tmp/zvcore")) << "back after the reboot";
  EXPECT_EQ(sim.stop(), 0);
  EXPECT_FALSE(zvtest::file_exists(kControlDefaultPath));

  auto result = ctl({"modules"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "zvcore-sim ctl: cannot reach the simulator at /var/run/zvcore-sim.ctl: "
                        "No such file or directory\n");
  // Outside the sandbox (no ZV_SANDBOX in the environment) there is no control socket.
  zvtest::RunOptions options;
  options.args = {"--control", "/var/run/other.ctl"};
  result = zvtest::run_program(zvtest::bin_path("zvcore-sim"), options);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "zvcore-sim: --control works only inside tools/sandbox\n");
  options.env = {{"ZV_SANDBOX", "0"}};
  EXPECT_EQ(zvtest::run_program(zvtest::bin_path("zvcore-sim"), options).exit_code, 1);
}

}  // namespace
