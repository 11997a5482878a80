// The tool runner: argument vectors byte for byte, the output cap, the time limit, exit statuses,
// standard input. The programs are the stand-ins of tools/device-bin (on the sandbox's PATH).
#include "common/tool_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/harness.h"

namespace {

ToolOptions capture(size_t limit = 1 << 20, int time_limit_ms = 10000) {
  ToolOptions options;
  options.capture_output = true;
  options.output_limit = limit;
  options.time_limit_ms = time_limit_ms;
  return options;
}

ToolResult run(const std::vector<std::string>& args, const ToolOptions& options) {
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  return run_tool(argv, options);
}

long long ms_since(std::chrono::steady_clock::time_point start) {
  using std::chrono::milliseconds, std::chrono::steady_clock;
  return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
}

// True once `pid` has gone (or is a zombie nobody waits for), within two seconds.
bool process_gone(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    const std::string stat = zvtest::read_file("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty() || stat.find(") Z ") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(RunTool, ArgumentsReachTheProgramByteForByte) {
  const std::vector<std::vector<std::string>> rows = {
      {},
      {";", "a;b", "&& echo no", "| cat", "> /tmp/canary", "<", "#"},
      {"$(touch /tmp/canary)", "`touch /tmp/canary`", "${PATH}", "$HOME"},
      {"'single'", "\"double\"", "it's", "back\\slash"},
      {"two words", " leading", "trailing ", "tab\there"},
      {"line\nbreak", "\n", "*", "?", "~"},
      {"", "-n", "--", "%s%d", "\xc3\xa9t\xc3\xa9"},
  };
  for (const auto& args : rows) {
    std::vector<std::string> argv = {"zvtool-args"};
    std::string expected = std::to_string(args.size()) + "\n";
    for (const auto& arg : args) {
      argv.push_back(arg);
      expected += arg + "\n";
    }
    const ToolResult r = run(argv, capture());
    EXPECT_TRUE(r.succeeded()) << expected;
    EXPECT_EQ(r.output, expected);
  }
  EXPECT_FALSE(zvtest::file_exists("/tmp/canary"));
  // A C-style vector with its final null pointer, and a program named by its path.
  const char* const c_style[] = {"/bin/echo", "a  b", nullptr};
  EXPECT_EQ(run_tool(c_style, capture()).output, "a  b\n");
}

TEST(RunTool, OutputIsCutAtTheCapAndTheRestDrained) {
  struct Row {
    size_t bytes, limit;
    bool cut;
  } rows[] = {{0, 16, false},          {1000, 1000, false},    {1001, 1000, true},
              {200000, 200000, false}, {200001, 200000, true}, {4 << 20, 1000, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.bytes) + " bytes, cap " + std::to_string(row.limit));
    const ToolResult r = run({"zvtool-flood", std::to_string(row.bytes)}, capture(row.limit));
    EXPECT_TRUE(r.succeeded());  // the child never blocked on a full pipe
    EXPECT_EQ(r.output, std::string(std::min(row.bytes, row.limit), 'x'));
    EXPECT_EQ(r.output_cut, row.cut);
  }
  const ToolResult quiet = run_tool({"zvtool-flood", "1000000"});
  EXPECT_TRUE(quiet.succeeded());
  EXPECT_TRUE(quiet.output.empty());
  // Standard error goes to /dev/null only when the caller asks for it.
  ToolOptions errors = capture(256);
  EXPECT_NE(run({"readlink", "/proc/self/fd/2"}, errors).output, "/dev/null\n");
  errors.discard_errors = true;
  EXPECT_EQ(run({"readlink", "/proc/self/fd/2"}, errors).output, "/dev/null\n");
}

TEST(RunTool, ReportsExitStatusSignalAndFailureToStart) {
  zvtest::write_file("/tmp/not-executable", "#!/bin/sh\n");
  struct Row {
    std::vector<std::string> argv;
    ToolStatus status;
    int exit_code, signal, error;
  } rows[] = {
      {{"zvtool-exit", "0"}, ToolStatus::kExited, 0, 0, 0},
      {{"zvtool-exit", "3"}, ToolStatus::kExited, 3, 0, 0},
      {{"zvtool-exit", "255"}, ToolStatus::kExited, 255, 0, 0},
      {{"zvtool-exit", "TERM"}, ToolStatus::kSignaled, -1, SIGTERM, 0},
      {{"zvtool-exit", "KILL"}, ToolStatus::kSignaled, -1, SIGKILL, 0},
      {{"zvtool-no-such-tool"}, ToolStatus::kNotStarted, -1, 0, ENOENT},
      {{"/no/such/dir/tool"}, ToolStatus::kNotStarted, -1, 0, ENOENT},
      {{"/tmp/not-executable"}, ToolStatus::kNotStarted, -1, 0, EACCES},
      {{}, ToolStatus::kNotStarted, -1, 0, EINVAL},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.argv.empty() ? "(empty)"
                                  : row.argv[0] + " " + (row.argv.size() > 1 ? row.argv[1] : ""));
    const ToolResult r = run(row.argv, {});
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.exit_code, row.exit_code);
    EXPECT_EQ(r.signal, row.signal);
    EXPECT_EQ(r.error, row.error);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.succeeded(), row.status == ToolStatus::kExited && row.exit_code == 0);
  }
  const char* const null_inside[] = {"zvtool-args", nullptr, "x"};
  EXPECT_EQ(run_tool(null_inside).error, EINVAL);
}

TEST(RunTool, KillsAToolThatRunsOverItsTimeLimit) {
  auto start = std::chrono::steady_clock::now();
  ToolResult r = run_tool({"zvtool-sleep", "30"}, capture(100, 200));
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.status, ToolStatus::kSignaled);
  EXPECT_EQ(r.signal, SIGKILL);
  EXPECT_FALSE(r.succeeded());
  EXPECT_GE(ms_since(start), 200);
  EXPECT_LT(ms_since(start), 3000);

  // What the tool started dies with it (its process group).
  r = run_tool({"sh", "-c", "zvtool-sleep 30 & echo $!; wait"}, capture(100, 300));
  EXPECT_TRUE(r.timed_out);
  ASSERT_FALSE(r.output.empty());
  EXPECT_TRUE(process_gone(std::stoi(r.output)));

  // A tool that exits while a process it left behind holds its output open is not waited for.
  start = std::chrono::steady_clock::now();
  r = run_tool({"sh", "-c", "zvtool-sleep 30 & echo $!"}, capture(100, 10000));
  EXPECT_TRUE(r.succeeded());
  EXPECT_LT(ms_since(start), 2000);
  ASSERT_FALSE(r.output.empty());
  kill(std::stoi(r.output), SIGKILL);
}

TEST(RunTool, DeliversStandardInputAndClosesOtherDescriptors) {
  std::string input("bytes\0with a NUL\n", 17);
  for (int i = 0; input.size() < (1 << 20); ++i) input += std::to_string(i) + ",";
  ToolOptions options = capture(2 << 20);
  options.input = input;
  EXPECT_EQ(run_tool({"cat"}, options).output, input);
  // A tool that reads nothing: the writer gets EPIPE, this process no SIGPIPE.
  options.input = input;
  EXPECT_TRUE(run_tool({"zvtool-exit", "0"}, options).succeeded());
  // Without input, standard input is /dev/null.
  EXPECT_EQ(run_tool({"readlink", "/proc/self/fd/0"}, capture()).output, "/dev/null\n");

  const int fd = open("/tmp", O_RDONLY | O_DIRECTORY);  // not close-on-exec
  ASSERT_EQ(dup2(fd, 57), 57);
  EXPECT_EQ(run_tool({"sh", "-c", "[ -e /proc/self/fd/57 ] && echo open || echo closed"}, capture())
                .output,
            "closed\n");
  close(57);
  close(fd);
}

}  // namespace
