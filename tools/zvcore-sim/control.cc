#include "tools/zvcore-sim/control.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <vector>

#include "tools/zvcore-sim/simulator.h"

namespace {

// How long a connected client has to send its line, and to take the answer.
constexpr int kClientLimitMs = 2000;

constexpr const char kCommands[] =
    "modules | rules | ready on|off | reboot | script <file>|clear | log | help | <module> <words...>";

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool make_address(const std::string& path, sockaddr_un* address) {
  *address = sockaddr_un{};
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address->sun_path) return false;
  memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

int connect_to(const std::string& path) {
  sockaddr_un address;
  if (!make_address(path, &address)) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

int ms_left(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Writes all of `text` before the deadline, never raising SIGPIPE.
bool send_text(int fd, const std::string& text, std::chrono::steady_clock::time_point deadline) {
  size_t sent = 0;
  while (sent < text.size()) {
    ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      int left = ms_left(deadline);
      if (left == 0 || poll(&p, 1, left) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

std::vector<std::string> split_words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string join(const std::vector<std::string>& words, size_t from) {
  std::string text;
  for (size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
  return text;
}

// A module's answer on one line, "ok ..." unless the module reports an error.
std::string module_answer(std::string answer) {
  for (char& c : answer) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  if (answer.rfind("error", 0) == 0) return answer;
  return answer.empty() ? "ok" : "ok " + answer;
}

}  // namespace

std::string sim_control(Simulator& sim, const std::string& line) {
  std::vector<std::string> words = split_words(line);
  if (words.empty()) return "error empty command; commands: " + std::string(kCommands);
  const std::string& command = words[0];
  const size_t count = words.size();
  if (command == "help" && count == 1) return "ok " + std::string(kCommands);
  if (command == "modules" && count == 1) {
    std::string answer = "ok";
    for (const auto& module : sim.modules()) answer += " " + std::string(module->name());
    return answer;
  }
  if (command == "rules" && count == 1) {
    std::string answer = "ok";
    for (const auto& [id, rule] : sim.rules().rules()) {
      answer += " " + std::to_string(id) + ":" + rule.module + (rule.match ? ":shared" : "");
    }
    return answer;
  }
  if (command == "ready" && count == 2 && (words[1] == "on" || words[1] == "off")) {
    sim.set_ready(words[1] == "on");
    return "ok ready " + words[1];
  }
  if (command == "reboot" && count == 1) {
    sim.reboot();
    return "ok rebooting for " + std::to_string(sim.options().reboot_ms) + " ms";
  }
  if (command == "script" && count == 2) {
    if (words[1] == "clear") {
      sim.clear_script();
      return "ok script cleared";
    }
    std::string error;
    if (!sim.use_script(words[1], &error)) return "error " + error;
    return "ok script " + words[1];
  }
  if (command == "log" && count == 1) {
    if (sim.options().message_log_path.empty()) return "error no message log (--message-log FILE)";
    return "ok " + sim.options().message_log_path + " " + std::to_string(sim.logged_messages()) + " messages";
  }
  if (SimModule* module = sim.module(command)) {
    std::vector<std::string> rest(words.begin() + 1, words.end());
    std::string answer;
    if (!module->control(rest, &answer)) return "error " + command + ": unknown command '" + join(words, 1) + "'";
    return module_answer(std::move(answer));
  }
  return "error unknown command '" + join(words, 0) + "'; commands: " + kCommands;
}

bool ControlServer::start(const std::string& path, Simulator* simulator, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = "control socket: " + why;
    if (listen_fd_ >= 0) close(listen_fd_);
    if (wake_fd_ >= 0) close(wake_fd_);
    listen_fd_ = wake_fd_ = -1;
    return false;
  };
  if (thread_.joinable()) return fail("already started");
  sockaddr_un address;
  if (!make_address(path, &address)) return fail("bad path '" + path + "'");
  struct stat st{};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return fail(path + " exists and is not a socket");
    int probe = connect_to(path);
    if (probe >= 0) {
      close(probe);
      return fail("a simulator already listens on " + path);
    }
    unlink(path.c_str());
  }
  listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) return fail(std::string("socket: ") + strerror(errno));
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return fail("bind " + path + ": " + strerror(errno));
  }
  // Only the simulator's own user may change the simulated device.
  chmod(path.c_str(), 0600);
  if (listen(listen_fd_, 16) != 0) return fail(std::string("listen: ") + strerror(errno));
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) return fail(std::string("eventfd: ") + strerror(errno));
  simulator_ = simulator;
  path_ = path;
  thread_ = std::thread([this] { run(); });
  return true;
}

void ControlServer::stop() {
  if (thread_.joinable()) {
    uint64_t one = 1;
    ssize_t ignored = write(wake_fd_, &one, sizeof one);
    (void)ignored;
    thread_.join();
  }
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    listen_fd_ = -1;
    unlink(path_.c_str());
  }
  if (wake_fd_ >= 0) {
    close(wake_fd_);
    wake_fd_ = -1;
  }
}

void ControlServer::run() {
  for (;;) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    Fd client(accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (client.get() >= 0) serve(client.get());
  }
}

// One client: one line in, one line out. Whatever the client does, this returns within the
// client time limit (or at once when the simulator stops).
void ControlServer::serve(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kClientLimitMs);
  char buffer[kControlLineMax];
  size_t used = 0;
  std::string answer;
  for (;;) {
    char* newline = static_cast<char*>(memchr(buffer, '\n', used));
    if (newline != nullptr) {
      std::string line(buffer, newline);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      bool clean = true;
      for (unsigned char c : line) clean = clean && (c >= 0x20 || c == '\t') && c != 0x7f;
      answer = clean ? sim_control(*simulator_, line) : "error control bytes in the command line";
      break;
    }
    if (used == sizeof buffer) {
      answer = "error command line longer than " + std::to_string(kControlLineMax - 1) + " bytes";
      break;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    int left = ms_left(deadline);
    if (left == 0) {
      answer = "error no command line within " + std::to_string(kClientLimitMs) + " ms";
      break;
    }
    int ready = poll(fds, 2, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[1].revents != 0) return;
    if (ready == 0) continue;
    ssize_t n = recv(fd, buffer + used, sizeof buffer - used, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0) return;  // gone before a whole line: nothing is done
    used += static_cast<size_t>(n);
  }
  for (char& c : answer) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  send_text(fd, answer + "\n", deadline + std::chrono::milliseconds(kClientLimitMs));
}

bool control_request(const std::string& path, const std::string& line, std::string* answer, int timeout_ms) {
  Fd fd(connect_to(path));
  if (fd.get() < 0) {
    *answer = "cannot reach the simulator at " + path + ": " + strerror(errno);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  if (!send_text(fd.get(), line + "\n", deadline)) {
    *answer = "cannot send to " + path;
    return false;
  }
  // The answer line; its size is bounded only by what the simulator says (the rule list).
  constexpr size_t kAnswerMax = 1 << 20;
  std::string text;
  char chunk[4096];
  while (text.find('\n') == std::string::npos && text.size() < kAnswerMax) {
    pollfd p{fd.get(), POLLIN, 0};
    int left = ms_left(deadline);
    int ready = left > 0 ? poll(&p, 1, left) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      *answer = "no answer from " + path;
      return false;
    }
    ssize_t n = recv(fd.get(), chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  size_t end = text.find('\n');
  if (end == std::string::npos) {
    *answer = "no answer from " + path;
    return false;
  }
  *answer = text.substr(0, end);
  return true;
}
