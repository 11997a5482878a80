// The real zvjs against the core simulator: scripted devices through the preloaded input layer
// (input_shim.cc), the 4002 texts checked in the simulator's message log.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/joystick/input_shim.h"
#include "tests/support/harness.h"

namespace {

const char kMessageLog[] = "/tmp/core-messages.log";
const char kScript[] = "/tmp/joystick.script";
const char kStats[] = "/tmp/joystick.stats";
const char kZvjsOutput[] = "/tmp/zvjs.out";
const char kCoreOutput[] = "/tmp/zvcore-sim.out";

int64_t now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void sleep_ms(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

bool wait_for(const std::function<bool()>& condition, int timeout_ms) {
  const int64_t deadline = now_ms() + timeout_ms;
  while (!condition()) {
    if (now_ms() > deadline) return false;
    sleep_ms(10);
  }
  return true;
}

// A program of the build running in the background, its output in a file.
class Child {
 public:
  Child(const std::string& path, const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
        const std::string& output) {
    std::vector<std::string> argv_text = zvtest::program_command(path, args);
    std::vector<std::string> env_text;
    for (const auto& [k, v] : env) env_text.push_back(k + "=" + v);
    std::vector<char*> argv = zvtest::exec_pointers(argv_text), envp = zvtest::exec_pointers(env_text);
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
      pid_ = zvtest::spawn_program(argv, envp, {-1, fd, fd});
      close(fd);
    }
  }
  ~Child() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }

  // Sends `signal` and waits up to `timeout_ms`; returns the wait status, or -1 on timeout.
  int stop(int signal, int timeout_ms) {
    if (pid_ <= 0 || exited_) return -1;
    kill(pid_, signal);
    const int64_t deadline = now_ms() + timeout_ms;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (now_ms() > deadline) return -1;
      sleep_ms(10);
    }
    exited_ = true;
    return status;
  }

  int open_descriptors() const {
    const std::string dir = "/proc/" + std::to_string(pid_) + "/fd";
    return static_cast<int>(zvtest::list_dir(dir).size());
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

// The counters the preloaded input layer publishes.
class ShimCounters {
 public:
  ShimCounters() {
    const int fd = open(kStats, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    if (ftruncate(fd, sizeof(zvjs::test::ShimStats)) == 0) {
      void* shared = mmap(nullptr, sizeof(zvjs::test::ShimStats), PROT_READ, MAP_SHARED, fd, 0);
      if (shared != MAP_FAILED) stats_ = static_cast<const zvjs::test::ShimStats*>(shared);
    }
    close(fd);
  }
  ~ShimCounters() {
    if (stats_ != nullptr) munmap(const_cast<zvjs::test::ShimStats*>(stats_), sizeof(zvjs::test::ShimStats));
  }
  ShimCounters(const ShimCounters&) = delete;
  ShimCounters& operator=(const ShimCounters&) = delete;

  const zvjs::test::ShimStats& operator*() const { return *stats_; }
  bool valid() const { return stats_ != nullptr; }

 private:
  const zvjs::test::ShimStats* stats_ = nullptr;
};

// The value of "key": in one line of the message log (numbers and strings).
std::string field(const std::string& line, const std::string& key) {
  size_t at = line.find("\"" + key + "\"");
  if (at == std::string::npos) return "";
  at = line.find(':', at);
  if (at == std::string::npos) return "";
  ++at;
  while (at < line.size() && line[at] == ' ') ++at;
  if (at < line.size() && line[at] == '"') {
    const size_t end = line.find('"', at + 1);
    return end == std::string::npos ? "" : line.substr(at + 1, end - at - 1);
  }
  size_t end = at;
  while (end < line.size() && line[end] != ',' && line[end] != '}') ++end;
  return line.substr(at, end - at);
}

struct CoreMessage {
  std::string client, id, len;
  std::string payload;  // decoded bytes
};

std::vector<CoreMessage> logged_messages() {
  std::vector<CoreMessage> messages;
  const std::string log = zvtest::read_file(kMessageLog);
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) break;  // a line still being written
    const std::string line = log.substr(start, end - start);
    start = end + 1;
    CoreMessage m{field(line, "client"), field(line, "id"), field(line, "len"), ""};
    const std::string hex = field(line, "payload");
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      m.payload.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    messages.push_back(m);
  }
  return messages;
}

// The command texts zvjs sent, each checked to be a well-formed 4002 message from client 11.
std::vector<std::string> joystick_commands() {
  std::vector<std::string> texts;
  for (const CoreMessage& m : logged_messages()) {
    if (m.client != "11") continue;
    EXPECT_EQ(m.id, "4002");
    EXPECT_EQ(m.len, "100");
    EXPECT_EQ(m.payload.size(), 100u);
    const std::string text(m.payload.c_str());
    EXPECT_EQ(m.payload, text + std::string(100 - text.size(), '\0')) << "payload not NUL-padded";
    texts.push_back(text);
  }
  return texts;
}

class ZvjsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    // Only this test's own files: the test program has a sandbox of its own.
    for (const char* path : {kMessageLog, kScript, kStats, kZvjsOutput}) unlink(path);
    start_core();
  }

  void start_core() {
    unlink("/tmp/zvcore");
    core_ = std::make_unique<Child>(zvtest::bin_path("zvcore-sim"),
                                    std::vector<std::string>{"--message-log", kMessageLog},
                                    std::map<std::string, std::string>{{"PATH", "/usr/bin:/bin"}}, kCoreOutput);
    ASSERT_TRUE(wait_for([] { return zvtest::file_exists("/tmp/zvcore"); }, 10000))
        << "core simulator not ready: " << zvtest::read_file(kCoreOutput);
  }

  void TearDown() override {
    zvjs_.reset();
    if (core_) {
      EXPECT_EQ(core_->stop(SIGTERM, 10000), 0);
    }
  }

  void start_zvjs(const std::string& script, int sleep_divisor = 1) {
    zvtest::write_file(kScript, script);
    counters_ = std::make_unique<ShimCounters>();
    ASSERT_TRUE(counters_->valid());
    std::map<std::string, std::string> env{
        {"PATH", "/usr/bin:/bin"},
        {"LD_PRELOAD", ZVJS_INPUT_SHIM},
        {"ZVJS_SHIM_SCRIPT", kScript},
        {"ZVJS_SHIM_STATS", kStats},
        {"ZVJS_SHIM_SLEEP_DIV", std::to_string(sleep_divisor)},
        // A sanitizer build wants its runtime first; the preloaded layer comes before it.
        {"ASAN_OPTIONS", "verify_asan_link_order=0"},
    };
    zvjs_ = std::make_unique<Child>(ZVJS_PROGRAM, std::vector<std::string>{}, env, kZvjsOutput);
  }

  // Waits until the whole script has run and `expected` commands reached the core.
  void wait_for_session(size_t expected) {
    const auto& stats = **counters_;
    auto script_done = [&] {
      return stats.steps_total.load() > 0 && stats.steps_done.load() == stats.steps_total.load();
    };
    EXPECT_TRUE(wait_for(script_done, 30000))
        << "script stopped at step " << stats.steps_done.load() << " of " << stats.steps_total.load();
    EXPECT_TRUE(wait_for([&] { return joystick_commands().size() >= expected; }, 10000));
    sleep_ms(300);  // anything sent after the last expected command would show up now
  }

  // SIGTERM: "exit zvjs" and a clean exit.
  std::string stop_zvjs() {
    const int status = zvjs_->stop(SIGTERM, 10000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    const std::string output = zvtest::read_file(kZvjsOutput);
    EXPECT_NE(output.find("exit zvjs\n"), std::string::npos) << output;
    EXPECT_EQ(output.find("zv_js_init failed !"), std::string::npos) << output;
    return output;
  }

  std::unique_ptr<Child> core_;
  std::unique_ptr<Child> zvjs_;
  std::unique_ptr<ShimCounters> counters_;
};

TEST_F(ZvjsEndToEnd, ScriptedSessionsSendTheExpectedCommands) {
  const struct {
    const char* name;
    const char* script;
    std::vector<std::string> commands;
  } cases[] = {
      {"navigation, PTZ, preset, zoom, unplug and re-plug, double press",
       "name ZV Test Joystick\n"
       "device 0 Power Button\n"
       "event 2\n"
       "plug\n"
       "sleep 200\n"
       "abs 0 0\n"        // stick left in mode 0
       "sleep 50\n"
       "abs 0 100\n"      // further left: nothing more
       "sleep 50\n"
       "abs 0 512\n"      // back to centre: STOP
       "sleep 50\n"
       "key 298 1\nkey 298 0\n"  // button B: Enter, PTZ mode
       "sleep 700\n"
       "abs 0 1023\n"     // every change in PTZ mode
       "abs 1 0\n"
       "abs 0 512\nabs 1 512\n"
       "key 288 1\nkey 288 0\nkey 289 1\nkey 289 0\n"  // digits 1 and 2
       "key 298 1\nkey 298 0\n"                        // preset 12
       "abs 2 1023\nabs 2 0\nabs 2 512\n"              // tele, wide (nothing), centre
       "sleep 100\n"
       "unplug\n"
       "sleep 1500\n"
       "plug\n"
       "sleep 200\n"
       "abs 0 0\nabs 0 512\n"  // mode 0 again after the re-plug
       "key 298 1\nkey 298 0\nsleep 100\nkey 298 1\nkey 298 0\n",
       {"Dir_Nvr_Left_10_0", "Dir_Nvr_STOP_0_0", "Enter", "Dir_Ptz_Right_10_0", "Dir_Ptz_UpRight_10_10",
        "Dir_Ptz_Up_0_10", "Dir_Ptz_STOP_0_0", "PTZ_Preset_Call_12", "PTZ_ZoomPlus", "PTZ_ZoomPlusStop",
        "Dir_Nvr_Left_10_0", "Dir_Nvr_STOP_0_0", "Enter", "FullScreen"}},
      {"a short read drops the device; it comes back in recorder mode",
       "plug\n"
       "key 298 1\nkey 298 0\n"
       "short-read\n"
       "abs 0 0\n",
       {"Enter", "Dir_Nvr_Left_10_0"}},
      {"the joystick's event device is the last one", "event 5\nplug\nkey 298 1\nkey 298 0\n", {"Enter"}},
      {"a name of 66 characters",
       "name Joystick With A Very Long Name That Fills The Whole Name Buffer 70\nevent 1\nplug\n"
       "key 298 1\nkey 298 0\n",
       {"Enter"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    zvtest::write_file(kMessageLog, "");
    start_zvjs(c.script);
    wait_for_session(c.commands.size());
    stop_zvjs();
    EXPECT_EQ(joystick_commands(), c.commands);
  }
}

TEST_F(ZvjsEndToEnd, DescriptorsStayFlatOver100RetriesWithoutADevice) {
  using Counter = std::atomic<int64_t> zvjs::test::ShimStats::*;
  const struct {
    const char* name;
    const char* script;
    Counter retries;
    const char* message;  // printed on every retry
  } cases[] = {
      {"no joystick", "name Pad\n", &zvjs::test::ShimStats::access_checks, nullptr},
      {"joystick without an event device of its name",
       "name Pad\ndevice 0 Keyboard\ndevice 1 Mouse\nevent 9\nplug\n", &zvjs::test::ShimStats::js_name_queries,
       nullptr},
      {"joystick that cannot be opened", "js-open-fail on\nplug\n", &zvjs::test::ShimStats::js_open_attempts,
       "==fd open error==\n"},
      {"joystick whose name cannot be read", "js-name-fail on\ndevice 0 Keyboard\nplug\n",
       &zvjs::test::ShimStats::js_name_queries, "==iotcl error==\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start_zvjs(c.script, 50);  // 1 s retry pauses take 20 ms
    const auto& stats = **counters_;
    // The fewest descriptors seen over a few samples: a retry may be holding one at any moment.
    auto descriptors = [&] {
      int fewest = INT32_MAX;
      for (int i = 0; i < 8; ++i) {
        fewest = std::min(fewest, zvjs_->open_descriptors());
        sleep_ms(3);
      }
      return fewest;
    };
    ASSERT_TRUE(wait_for([&] { return (stats.*c.retries).load() >= 5; }, 20000));
    const int before = descriptors();
    const int64_t start = (stats.*c.retries).load();
    ASSERT_TRUE(wait_for([&] { return (stats.*c.retries).load() >= start + 100; }, 60000));
    EXPECT_EQ(descriptors(), before);
    EXPECT_LE(stats.fake_fds_open.load(), 1);
    EXPECT_EQ(stats.event_opens.load() > 0, std::string(c.name).find("event device") != std::string::npos);
    const std::string output = stop_zvjs();
    if (c.message != nullptr) {
      size_t count = 0;
      for (size_t at = output.find(c.message); at != std::string::npos; at = output.find(c.message, at + 1)) ++count;
      EXPECT_GE(count, 100u);
    }
    EXPECT_EQ(stats.fake_fds_open.load(), 0);
    EXPECT_TRUE(joystick_commands().empty());
  }
}

TEST_F(ZvjsEndToEnd, StopSignalsExitCleanlyOtherSignalsKeepTheirDefault) {
  const struct {
    int signal;
    bool clean;
  } cases[] = {{SIGTERM, true}, {SIGINT, true}, {SIGHUP, false}, {SIGUSR1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    start_zvjs("name Pad\n");
    ASSERT_TRUE(wait_for([&] { return (**counters_).access_checks.load() >= 1; }, 10000));
    const int status = zvjs_->stop(c.signal, 10000);
    const std::string output = zvtest::read_file(kZvjsOutput);
    if (c.clean) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      EXPECT_EQ(output, "exit zvjs\n");
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
      EXPECT_EQ(output.find("exit zvjs"), std::string::npos);
    }
  }
}

TEST_F(ZvjsEndToEnd, ReachesACoreThatStartsLaterOrRestarts) {
  EXPECT_EQ(core_->stop(SIGTERM, 10000), 0);  // the daemon starts before the core
  start_zvjs("plug\nsleep 1500\nkey 298 1\nkey 298 0\nsleep 3000\nkey 298 1\nkey 298 0\n");
  sleep_ms(300);
  start_core();
  ASSERT_TRUE(wait_for([] { return joystick_commands().size() == 1; }, 10000));
  EXPECT_EQ(core_->stop(SIGTERM, 10000), 0);  // the core restarts between the two presses
  start_core();
  wait_for_session(2);
  stop_zvjs();
  EXPECT_EQ(joystick_commands(), (std::vector<std::string>{"Enter", "Enter"}));
}

}  // namespace
