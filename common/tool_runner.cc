// Programs run with an argument vector through posix_spawnp: pipes for standard input and output,
// a time limit, the exit status.
#include "common/tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <new>
#include <optional>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// glibc 2.34 and later close every other descriptor in the child; before that the descriptors of
// this file are close-on-exec, and so must be the process's others.
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
constexpr bool kHaveCloseFrom = true;
#else
constexpr bool kHaveCloseFrom = false;
#endif

// The longest wait between two looks at the child while nothing happens on its pipes.
constexpr int kMaxPauseMs = 50;

class Fd {
 public:
  Fd() = default;
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool open() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Moves a descriptor above 0..2, so that the child's dup2 onto 0 or 1 never replaces the other
// end of a pipe (when this process runs with a standard descriptor closed).
int above_standard(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

// A close-on-exec pipe; `ours` (this process's end: 0 read, 1 write) is non-blocking.
bool make_pipe(Fd& read_end, Fd& write_end, int ours) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  read_end.reset(above_standard(fds[0]));
  write_end.reset(above_standard(fds[1]));
  if (!read_end.open() || !write_end.open()) return false;
  const int fd = ours == 0 ? read_end.get() : write_end.get();
  return fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) == 0;
}

struct Spawn {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  Spawn() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~Spawn() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  Spawn(const Spawn&) = delete;
  Spawn& operator=(const Spawn&) = delete;
};

// Blocks SIGPIPE in this thread while the child's input is written, so that a child which exits
// without reading it costs an EPIPE instead of this process; a SIGPIPE raised meanwhile is taken
// back unless one was pending already.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
  }
  ~SigpipeBlock() {
    if (raised_ && !was_pending_) {
      const timespec none{};
      while (sigtimedwait(&pipe_, nullptr, &none) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;
  void raised() { raised_ = true; }

 private:
  sigset_t pipe_, saved_;
  bool was_pending_ = false;
  bool raised_ = false;
};

// Keeps what fits of the captured output below the limit.
class OutputSink {
 public:
  OutputSink(ToolResult& result, size_t limit) : result_(result), limit_(limit) {}
  void take(const char* data, size_t n) {
    const size_t room = limit_ - result_.output.size();
    const size_t kept = std::min(n, room);
    if (kept < n) result_.output_cut = true;
    if (kept == 0) return;
    try {
      result_.output.append(data, kept);
    } catch (const std::bad_alloc&) {
      result_.output_cut = true;
      limit_ = result_.output.size();
    }
  }

 private:
  ToolResult& result_;
  size_t limit_;
};

// Reads what the pipe holds now. False at its end (or on an error): the pipe is then closed.
bool read_available(Fd& pipe, OutputSink& sink) {
  char buffer[16384];
  for (;;) {
    const ssize_t got = read(pipe.get(), buffer, sizeof buffer);
    if (got > 0) {
      sink.take(buffer, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) return true;
    pipe.reset();
    return false;
  }
}

void wait_blocking(pid_t pid, int& status) {
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

ToolResult run_tool(std::span<const char* const> argv, const ToolOptions& options) {
  ToolResult result;
  if (!argv.empty() && argv.back() == nullptr) argv = argv.first(argv.size() - 1);
  if (argv.empty() || std::find(argv.begin(), argv.end(), nullptr) != argv.end()) {
    result.error = EINVAL;
    return result;
  }
  std::vector<char*> args;
  try {
    args.reserve(argv.size() + 1);
    // posix_spawnp takes char* const[] for historical reasons; it does not write to them.
    for (const char* arg : argv) args.push_back(const_cast<char*>(arg));
    args.push_back(nullptr);
    result.output.reserve(options.capture_output ? std::min<size_t>(options.output_limit, 4096)
                                                 : 0);
  } catch (const std::bad_alloc&) {
    result.error = ENOMEM;
    return result;
  }

  Fd out_read, out_write, in_read, in_write;
  if ((options.capture_output && !make_pipe(out_read, out_write, 0)) ||
      (!options.input.empty() && !make_pipe(in_read, in_write, 1))) {
    result.error = errno;
    return result;
  }

  pid_t pid = -1;
  {
    Spawn spawn;
    posix_spawn_file_actions_t* actions = &spawn.actions;
    if (in_read.open()) {
      posix_spawn_file_actions_adddup2(actions, in_read.get(), STDIN_FILENO);
    } else {
      posix_spawn_file_actions_addopen(actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (out_write.open()) {
      posix_spawn_file_actions_adddup2(actions, out_write.get(), STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (options.discard_errors) {
      posix_spawn_file_actions_addopen(actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if constexpr (kHaveCloseFrom) posix_spawn_file_actions_addclosefrom_np(actions, 3);

    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&spawn.attributes, &all);
    posix_spawnattr_setsigmask(&spawn.attributes, &none);
    posix_spawnattr_setpgroup(&spawn.attributes, 0);  // its own group, killed as a whole
    posix_spawnattr_setflags(
        &spawn.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    const int rc = posix_spawnp(&pid, args[0], actions, &spawn.attributes, args.data(), environ);
    if (rc != 0) {
      result.error = rc;
      return result;
    }
  }
  out_write.reset();
  in_read.reset();

  const bool limited = options.time_limit_ms > 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(options.time_limit_ms);
  OutputSink sink(result, options.capture_output ? options.output_limit : 0);
  std::string_view input = options.input;
  std::optional<SigpipeBlock> sigpipe;
  if (in_write.open()) sigpipe.emplace();

  int status = 0;
  int pause_ms = 1;
  for (;;) {
    const pid_t waited = waitpid(pid, &status, WNOHANG);
    if (waited < 0 && errno == ECHILD) {  // reaped elsewhere: SIGCHLD is ignored
      result.error = ECHILD;
      return result;
    }
    if (waited == pid) break;
    if (limited && Clock::now() >= deadline) {
      kill(-pid, SIGKILL);  // the group: the tool and what it started
      kill(pid, SIGKILL);   // and the tool even if it left the group
      wait_blocking(pid, status);
      result.timed_out = true;
      break;
    }
    pollfd fds[2];
    nfds_t count = 0;
    if (out_read.open()) fds[count++] = {out_read.get(), POLLIN, 0};
    if (in_write.open()) fds[count++] = {in_write.get(), POLLOUT, 0};
    int wait_ms = pause_ms;
    if (limited) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      wait_ms = static_cast<int>(std::clamp<long long>(left.count(), 0, wait_ms));
    }
    const int ready = poll(fds, count, wait_ms);
    if (ready <= 0) {
      pause_ms = std::min(pause_ms * 2, kMaxPauseMs);
      continue;
    }
    pause_ms = 1;
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == out_read.get()) {
        read_available(out_read, sink);
        continue;
      }
      const ssize_t put =
          write(in_write.get(), input.data(), std::min<size_t>(input.size(), 65536));
      if (put > 0) input.remove_prefix(static_cast<size_t>(put));
      if (put < 0 && errno == EPIPE) sigpipe->raised();
      if (input.empty() || (put < 0 && errno != EAGAIN && errno != EINTR)) in_write.reset();
    }
  }
  // What the tool wrote before it ended (a process it left behind may hold the pipe open: only
  // what is there now is read).
  if (out_read.open()) read_available(out_read, sink);

  if (WIFEXITED(status)) {
    result.status = ToolStatus::kExited;
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.status = ToolStatus::kSignaled;
    result.signal = WTERMSIG(status);
  }
  return result;
}

ToolResult run_tool(std::initializer_list<const char*> argv, const ToolOptions& options) {
  return run_tool(std::span<const char* const>(argv.begin(), argv.size()), options);
}

pid_t start_tool(std::span<const char* const> argv, int* error) {
  int ignored = 0;
  int& failure = error != nullptr ? *error : ignored;
  failure = 0;
  if (!argv.empty() && argv.back() == nullptr) argv = argv.first(argv.size() - 1);
  if (argv.empty() || std::find(argv.begin(), argv.end(), nullptr) != argv.end()) {
    failure = EINVAL;
    return -1;
  }
  std::vector<char*> args;
  try {
    for (const char* arg : argv) args.push_back(const_cast<char*>(arg));
    args.push_back(nullptr);
  } catch (const std::bad_alloc&) {
    failure = ENOMEM;
    return -1;
  }
  Spawn spawn;
  posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&spawn.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if constexpr (kHaveCloseFrom) posix_spawn_file_actions_addclosefrom_np(&spawn.actions, 3);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&spawn.attributes, &all);
  posix_spawnattr_setsigmask(&spawn.attributes, &none);
  posix_spawnattr_setflags(&spawn.attributes,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &spawn.actions, &spawn.attributes, args.data(), environ);
  if (rc != 0) {
    failure = rc;
    return -1;
  }
  return pid;
}

pid_t start_tool(std::initializer_list<const char*> argv, int* error) {
  return start_tool(std::span<const char* const>(argv.begin(), argv.size()), error);
}
