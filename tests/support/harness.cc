#include "tests/support/harness.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zvtest {
namespace {

long long now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

bool is_prefix_dir(const std::string& dir, const std::string& path) {
  return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                         path[dir.size()] == '/');
}

// Removes everything below `dir` except the project's directories and other mounts.
void empty_dir(const std::string& dir, dev_t device) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
  }
  closedir(d);
  for (const auto& name : names) {
    std::string path = dir + "/" + name;
    if (is_prefix_dir(path, ZV_SOURCE_DIR) || is_prefix_dir(path, ZV_BINARY_DIR)) continue;
    // The sandbox's own state directory is visible at its host path (below /tmp when temporary):
    // never empty it or a directory that holds it.
    const char* state = getenv("ZV_SANDBOX_STATE");
    if (state != nullptr && (is_prefix_dir(path, state) || is_prefix_dir(state, path))) continue;
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) continue;
    if (st.st_dev != device) continue;  // a mount point: not ours to empty
    if (S_ISDIR(st.st_mode)) {
      empty_dir(path, device);
      rmdir(path.c_str());
    } else {
      unlink(path.c_str());
    }
  }
}

// The ELF machine (e_machine) of the file at `path`; 0 when it is no ELF file (a script, missing).
unsigned elf_machine(const char* path) {
  unsigned char header[20];
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t got = read(fd, header, sizeof header);
  close(fd);
  if (got != static_cast<ssize_t>(sizeof header) || memcmp(header, "\177ELF", 4) != 0) return 0;
  const bool big_endian = header[5] == 2;  // EI_DATA
  return big_endian ? (header[18] << 8 | header[19]) : (header[18] | header[19] << 8);
}

// The emulator words of ZV_TEST_EMULATOR ("qemu-arm-static", possibly with options); empty natively.
std::vector<std::string> test_emulator() {
  std::vector<std::string> words;
  const char* text = getenv("ZV_TEST_EMULATOR");
  if (text == nullptr) return words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// Children see the emulator setting too, so that a script of the build (tools/demo-stack) can start
// the build's programs the same way.
void pass_emulator_setting(std::vector<std::string>& env_text, const std::map<std::string, std::string>& env) {
  const char* text = getenv("ZV_TEST_EMULATOR");
  if (text != nullptr && env.count("ZV_TEST_EMULATOR") == 0) env_text.push_back(std::string("ZV_TEST_EMULATOR=") + text);
}

// The PATH of a child whose environment names none: the sandbox's, which starts with the stand-ins
// for the device's tools (tools/device-bin), or the system directories.
std::string default_path_entry() {
  const char* path = getenv("PATH");
  if (path == nullptr || path[0] == '\0') path = "/usr/sbin:/usr/bin:/sbin:/bin";
  return std::string("PATH=") + path;
}

}  // namespace

std::string bin_path(const std::string& name) { return std::string(ZV_BINARY_DIR) + "/bin/" + name; }

std::vector<char*> exec_pointers(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

std::vector<std::string> program_command(const std::string& path, const std::vector<std::string>& args) {
  std::vector<std::string> command;
  const std::vector<std::string> emulator = test_emulator();
  if (!emulator.empty()) {
    // This test program runs under the emulator, so its own machine is the target's.
    static const unsigned own_machine = elf_machine("/proc/self/exe");
    if (own_machine != 0 && elf_machine(path.c_str()) == own_machine) command = emulator;
  }
  command.push_back(path);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

int time_limit_ms(int native_ms) {
  static const bool emulated = !test_emulator().empty();
  if (!emulated || native_ms <= 0) return native_ms;
  return native_ms > INT_MAX / kEmulatorSlowdown ? INT_MAX : native_ms * kEmulatorSlowdown;
}

pid_t spawn_program(std::vector<char*>& argv, std::vector<char*>& envp, const int (&stdio)[3]) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdio[0] < 0) posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  for (int fd = 0; fd < 3; ++fd) {
    if (stdio[fd] >= 0) posix_spawn_file_actions_adddup2(&actions, stdio[fd], fd);
  }
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

RunResult run_program(const std::string& path, const RunOptions& options) {
  RunResult result;
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
      pipe2(err_pipe, O_CLOEXEC) != 0) {
    result.err = "pipe failed";
    return result;
  }
  std::vector<std::string> argv_text = program_command(path, options.args);
  std::vector<std::string> env_text;
  bool has_path = false;
  for (const auto& [k, v] : options.env) {
    env_text.push_back(k + "=" + v);
    if (k == "PATH") has_path = true;
  }
  if (!has_path) env_text.push_back(default_path_entry());
  pass_emulator_setting(env_text, options.env);
  std::vector<char*> argv = exec_pointers(argv_text), envp = exec_pointers(env_text);

  const pid_t pid = spawn_program(argv, envp, {in_pipe[0], out_pipe[1], err_pipe[1]});
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (pid < 0) {
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    result.err = "spawn failed";
    return result;
  }
  fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);

  size_t written = 0;
  int in_fd = in_pipe[1];
  if (options.stdin_data.empty() && !options.keep_stdin_open) {
    close(in_fd);
    in_fd = -1;
  }
  int out_fd = out_pipe[0], err_fd = err_pipe[0];
  const long long deadline = now_ms() + time_limit_ms(options.timeout_ms);
  char buf[65536];
  while (out_fd >= 0 || err_fd >= 0) {
    long long left = deadline - now_ms();
    if (left <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd fds[3];
    int n = 0;
    int out_i = -1, err_i = -1, in_i = -1;
    if (out_fd >= 0) { fds[n] = {out_fd, POLLIN, 0}; out_i = n++; }
    if (err_fd >= 0) { fds[n] = {err_fd, POLLIN, 0}; err_i = n++; }
    if (in_fd >= 0 && written < options.stdin_data.size()) { fds[n] = {in_fd, POLLOUT, 0}; in_i = n++; }
    int r = poll(fds, n, static_cast<int>(std::min<long long>(left, 1000)));
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    if (in_i >= 0 && (fds[in_i].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t w = write(in_fd, options.stdin_data.data() + written, options.stdin_data.size() - written);
      if (w > 0) written += static_cast<size_t>(w);
      if (w < 0 && errno != EAGAIN) written = options.stdin_data.size();
      if (written >= options.stdin_data.size() && !options.keep_stdin_open) {
        close(in_fd);
        in_fd = -1;
      }
    }
    for (auto [idx, fdp, sink] : {std::tuple{out_i, &out_fd, &result.out}, std::tuple{err_i, &err_fd, &result.err}}) {
      if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = read(*fdp, buf, sizeof buf);
      if (got > 0) {
        sink->append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(*fdp);
        *fdp = -1;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  if (out_fd >= 0) close(out_fd);
  if (err_fd >= 0) close(err_fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

RunResult shell(const std::string& command) {
  RunOptions options;
  options.args = {"-c", command};
  return run_program("/bin/sh", options);
}

namespace {
std::map<std::string, std::string> cgi_env(const std::string& method, const std::string& path_info,
                                           const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> env{
      {"GATEWAY_INTERFACE", "CGI/1.1"}, {"REQUEST_METHOD", method}, {"PATH_INFO", path_info},
      {"SERVER_PROTOCOL", "HTTP/1.1"},  {"REMOTE_ADDR", "127.0.0.1"}};
  for (const auto& [k, v] : extra) env[k] = v;
  return env;
}
}  // namespace

RunResult cgi_run(const std::string& program, const std::map<std::string, std::string>& env,
                  const std::string& body, bool keep_stdin_open) {
  RunOptions options;
  options.env = env;
  options.stdin_data = body;
  options.keep_stdin_open = keep_stdin_open;
  return run_program(program, options);
}

RunResult cgi_get(const std::string& path_info, const std::string& query,
                  const std::map<std::string, std::string>& extra) {
  auto env = cgi_env("GET", path_info, extra);
  env["QUERY_STRING"] = query;
  return cgi_run(bin_path("webreq"), env);
}

RunResult cgi_post(const std::string& path_info, const std::string& content_type,
                   const std::string& body, const std::map<std::string, std::string>& extra) {
  auto env = cgi_env("POST", path_info, extra);
  env["CONTENT_TYPE"] = content_type;
  env["CONTENT_LENGTH"] = std::to_string(body.size());
  if (!env.count("QUERY_STRING")) env["QUERY_STRING"] = "";
  for (const auto& [k, v] : extra) env[k] = v;
  return cgi_run(bin_path("webreq"), env, body);
}

void reset_device_state() {
  const char* sandboxed = getenv("ZV_SANDBOX");
  if (sandboxed == nullptr || strcmp(sandboxed, "1") != 0) {
    fprintf(stderr, "refusing to reset device directories outside tools/sandbox\n");
    abort();
  }
  for (const char* dir : {"/tmp", "/run", "/mnt/nand", "/mnt/nand2", "/opt/app", "/www", "/dev/shm"}) {
    struct stat st{};
    if (stat(dir, &st) == 0) empty_dir(dir, st.st_dev);
  }
}

BackgroundProcess::BackgroundProcess(const std::string& path, const std::vector<std::string>& args,
                                     const std::map<std::string, std::string>& env) {
  std::vector<std::string> argv_text = program_command(path, args);
  std::vector<std::string> env_text;
  for (const auto& [k, v] : env) env_text.push_back(k + "=" + v);
  if (!env.count("PATH")) env_text.push_back(default_path_entry());
  pass_emulator_setting(env_text, env);
  std::vector<char*> argv = exec_pointers(argv_text), envp = exec_pointers(env_text);
  pid_ = spawn_program(argv, envp, {-1, -1, -1});
}

BackgroundProcess::~BackgroundProcess() { stop(); }

bool BackgroundProcess::running() {
  if (pid_ <= 0 || reaped_) return false;
  if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

int BackgroundProcess::stop(int timeout_ms) {
  if (pid_ <= 0) return -1;
  if (!reaped_) {
    kill(pid_, SIGTERM);
    const long long deadline = now_ms() + time_limit_ms(timeout_ms);
    while (!reaped_ && now_ms() < deadline) {
      if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        reaped_ = true;
      } else {
        usleep(10000);
      }
    }
    if (!reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
      reaped_ = true;
    }
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

bool wait_until(const std::function<bool()>& done, int timeout_ms) {
  const long long deadline = now_ms() + time_limit_ms(timeout_ms);
  while (!done()) {
    if (now_ms() >= deadline) return false;
    usleep(5000);
  }
  return true;
}

bool wait_for_file(const std::string& path, int timeout_ms) {
  return wait_until([&path] { return file_exists(path); }, timeout_ms);
}

int free_tcp_port() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  close(fd);
  return port;
}

namespace {
bool port_free(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool free = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return free;
}
}  // namespace

int free_tcp_ports(int count) {
  if (count < 1 || count > 4) return -1;
  for (int attempt = 0; attempt < 64; ++attempt) {
    const int port = free_tcp_port();
    if (port < 0) return -1;
    const int base = port - port % 4;
    if (base < 1024) continue;
    bool all = true;
    for (int i = 0; i < count && all; ++i) all = port_free(base + i);
    if (all) return base;
  }
  return -1;
}

bool file_exists(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

std::vector<std::string> list_dir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d)) {
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string body_of(const std::string& reply) {
  auto pos = reply.find("\r\n\r\n");
  return pos == std::string::npos ? std::string() : reply.substr(pos + 4);
}

}  // namespace zvtest
