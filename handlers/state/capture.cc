// Packet capture: "/8005" starts tcpdump on an interface into a directory of the page's choice,
// "/8006" stops it, "/8007" packs the capture files into "packet.tar" and sends it. Everything a
// request names is checked before anything runs; tools run with argument vectors, files are
// renamed and removed one by one.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/attachment_reply.h"
#include "common/json_writer.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/tool_runner.h"
#include "common/web_utils.h"
#include "common/trace_log.h"
#include "handlers/state/state_module.h"
#include "platform/zvnet/netif.h"
#include "common/request_table.h"

namespace {

constexpr char kCapturePrefix[] = "rvpcap-";
constexpr char kArchiveName[] = "packet.tar";
constexpr char kWatchdog[] = "/www/webmonitor";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool only_of(std::string_view text, std::string_view extra) {
  return std::all_of(text.begin(), text.end(), [&](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           extra.find(c) != std::string_view::npos;
  });
}

}  // namespace

bool capture_interface_ok(std::string_view nic) {
  return !nic.empty() && nic.size() <= 7 && only_of(nic, "._-");
}

bool capture_host_ok(std::string_view ip) { return ip.size() <= 63 && only_of(ip, ".:-"); }

bool capture_port_ok(std::string_view port) {
  if (port.empty()) return true;
  if (port.size() > 5 || !std::all_of(port.begin(), port.end(), is_digit)) return false;
  const int value = std::stoi(std::string(port));
  return value >= 1 && value <= 65535;
}

// The capture directory a page names: below /tmp (RAM) or a storage mount under /mnt, never the
// device's own flash (/mnt/nand, /mnt/nand2: settings, OEM files) nor a path through a symbolic
// link (each part that exists is checked with lstat), so that the captures removed, packed and
// sent are only ever files of a capture directory.
bool capture_dir_ok(std::string_view dir) {
  if (dir.empty() || dir.size() > 127 || dir[0] != '/' || !only_of(dir, "_./-")) return false;
  if (!dir.starts_with("/tmp/") && !dir.starts_with("/mnt/")) return false;
  for (std::string_view own : {"/mnt/nand", "/mnt/nand2"}) {
    if (dir == own || (dir.starts_with(own) && dir[own.size()] == '/')) return false;
  }
  // No "..", "." or empty component ("/mnt/./nand", "/mnt//nand" name the flash while passing
  // the prefix test above; only a final slash may end the path), no link on the way.
  size_t start = 1;
  while (start <= dir.size()) {
    const size_t end = std::min(dir.find('/', start), dir.size());
    const std::string_view component = dir.substr(start, end - start);
    if (component == ".." || component == "." || (component.empty() && end < dir.size())) return false;
    struct stat st {};
    const std::string part(dir.substr(0, end));
    if (lstat(part.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return false;
    start = end + 1;
  }
  return true;
}

namespace {

// Symbolic links named like a capture are removed (the link, never what it points to): tcpdump
// would write the new capture through one to wherever it points.
void remove_capture_links(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = readdir(d)) {
    struct stat st {};
    if (std::strncmp(e->d_name, kCapturePrefix, sizeof kCapturePrefix - 1) == 0 &&
        fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      unlinkat(dirfd(d), e->d_name, 0);
    }
  }
  closedir(d);
}

// The regular files of `dir` whose names `keep` accepts, sorted (symbolic links and everything
// else are left alone).
template <class Keep>
std::vector<std::string> files_of(const std::string& dir, Keep keep) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    struct stat st{};
    if (!keep(name) || fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
      continue;
    }
    names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

void remove_files(const std::string& dir, const std::vector<std::string>& names) {
  for (const std::string& name : names) unlink((dir + "/" + name).c_str());
}

bool ends_with(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The running tcpdump processes of this program's user (zombies have already written their file).
std::vector<pid_t> capture_processes() {
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return pids;
  while (const dirent* e = readdir(proc)) {
    if (!is_digit(e->d_name[0])) continue;
    struct stat st{};
    char comm[32] = "";
    const int fd = openat(dirfd(proc), (std::string(e->d_name) + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    const ssize_t n = read(fd, comm, sizeof comm - 1);
    close(fd);
    if (n <= 0 || fstatat(dirfd(proc), e->d_name, &st, 0) != 0 || st.st_uid != geteuid()) continue;
    comm[n] = '\0';
    if (std::strcmp(comm, "tcpdump\n") == 0) pids.push_back(static_cast<pid_t>(std::atol(e->d_name)));
  }
  closedir(proc);
  return pids;
}

// Whether `pid` still runs (a zombie has ended: its files are closed).
bool still_running(pid_t pid) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* f = std::fopen(path, "re");
  if (f == nullptr) return false;
  char line[512] = "";
  const bool read_ok = std::fgets(line, sizeof line, f) != nullptr;
  std::fclose(f);
  const char* end = std::strrchr(line, ')');
  return read_ok && end != nullptr && end[1] == ' ' && end[2] != 'Z' && end[2] != 'X';
}

// How long the kernel may hold captured packets before it hands them to tcpdump (its buffer
// timeout is one second); a packet still held when tcpdump is ended is never written.
constexpr int kCaptureDeliveryMs = 1200;
constexpr int kCaptureExitMs = 5000;
// The killall runs: at most 5 s, its complaints (nothing to end) dropped.
ToolOptions quiet_options() {
  ToolOptions quiet;
  quiet.discard_errors = true;
  quiet.time_limit_ms = 5000;
  return quiet;
}
const ToolOptions kQuiet = quiet_options();

// Ends every capture: with `flush`, once the packets seen so far have reached tcpdump. tcpdump
// writes out its buffered packets and closes its file on the signal; this waits (bounded) until
// each capture has ended, so the file is whole when it is packed.
void stop_captures(bool flush) {
  const std::vector<pid_t> running = capture_processes();
  if (flush && !running.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(kCaptureDeliveryMs));
  run_tool({"killall", "tcpdump"}, kQuiet);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCaptureExitMs);
  for (pid_t pid : running) {
    while (still_running(pid) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

}  // namespace

static void capture_start_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request || !json_object_is_type(request.get(), json_type_object)) return;
  std::string ip, port, nic, dir;
  for (auto [key, out] : {std::pair{"ip", &ip}, {"port", &port}, {"nic", &nic}, {"mntPath", &dir}}) {
    json_object* value = nullptr;
    if (!json_object_object_get_ex(request.get(), key, &value)) continue;
    if (!json_object_is_type(value, json_type_string)) return;
    // The whole text: one holding a NUL fails the checks below instead of being taken cut.
    out->assign(json_object_get_string(value), static_cast<size_t>(json_object_get_string_len(value)));
  }
  if (!capture_interface_ok(nic) || !capture_host_ok(ip) || !capture_port_ok(port) || !capture_dir_ok(dir)) {
    return;
  }

  char base[32];
  const time_t now = time(nullptr);
  struct tm local{};
  localtime_r(&now, &local);
  strftime(base, sizeof base, "rvpcap-%Y%m%d%H%M%S", &local);

  NetIfAddress address{};
  net_get_ifaddr(nic.c_str(), &address);
  char ipv6[64] = "";
  if (net_get_ipv6_ifaddr(nic.c_str(), 0, ipv6, sizeof ipv6) != 0) {
    net_get_ipv6_ifaddr(nic.c_str(), 1, ipv6, sizeof ipv6);
  }
  // The device's own traffic on the interface: its IPv4 and IPv6 addresses, whichever it has. An
  // interface with neither (or no interface of that name) is refused before anything is stopped
  // or removed: a filter of "host " alone would stop tcpdump at once behind a reply of success.
  std::string filter;
  for (const char* own : {address.address, ipv6}) {
    if (own[0] != '\0') filter += (filter.empty() ? "host " : " || host ") + std::string(own);
  }
  if (filter.empty()) return;

  // Only one capture at a time: earlier ones, their watchdog and their files go.
  stop_captures(false);
  run_tool({"killall", "webmonitor"}, kQuiet);
  remove_files(dir, files_of(dir, [](const std::string& name) { return name.rfind(kCapturePrefix, 0) == 0; }));
  remove_capture_links(dir);

  if (!ip.empty()) filter += " && host " + ip;
  if (!port.empty()) filter += " && port " + port;
  const std::string output = dir + "/" + base;
  // tcpdump would drop to a user of its own before it opens its files (-C), and could then not
  // write into the page's directory: it keeps this program's user.
  const passwd* self = getpwuid(geteuid());
  const char* user = self != nullptr && self->pw_name != nullptr ? self->pw_name : "root";
  // The filter goes last, as one argument: tcpdump reads it as the whole expression.
  // A tcpdump that cannot be started captures nothing: no file is named and no watchdog starts.
  if (start_tool({"tcpdump", "-i", nic.c_str(), "-s0", "-W", "1", "-C", "10", "-Z", user, "-w", output.c_str(),
                  filter.c_str()}) < 0) {
    return;
  }
  start_tool({kWatchdog, "tcpdump", "300"});

  JsonWriter w(256);
  reply_json(w.begin_object().key("dirPath").value(dir).key("fileName").value(base).end_object());
}

static void capture_stop_handler(const char* /*argument*/) {
  stop_captures(true);
  reply_ok();
}

static void capture_download_handler(const char* argument) {
  if (argument == nullptr) return;
  if (argument[0] == '\0') {
    reply_cgi_error(REPLY_TEXT);
    return;
  }
  // "<dir>/rvpcap-" and 14 digits, the dir as a capture starts in it.
  const std::string path = argument;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return;
  const std::string dir = path.substr(0, slash);
  const std::string base = path.substr(slash + 1);
  if (!capture_dir_ok(dir) || base.size() != sizeof kCapturePrefix - 1 + 14 ||
      base.rfind(kCapturePrefix, 0) != 0 ||
      !std::all_of(base.begin() + sizeof kCapturePrefix - 1, base.end(), is_digit)) {
    return;
  }

  // tcpdump names the file of a one-file ring with the suffix "0" (and a second one "1"); some
  // versions keep the bare name for the first file: that one is packed too.
  for (const char* suffix : {"", "0", "1"}) {
    const std::string file = path + suffix;
    struct stat st{};
    if (lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) rename(file.c_str(), (file + ".pcap").c_str());
  }
  const std::string archive = dir + "/" + kArchiveName;
  // The names go to tar as arguments, which any tar takes; a name starting with '-' (never one
  // of ours) would read as an option and is left out, as are hidden files.
  const std::vector<std::string> captures = files_of(dir, [](const std::string& name) {
    return name[0] != '.' && name[0] != '-' && ends_with(name, ".pcap");
  });
  std::vector<const char*> argv = {"tar", "-cf", archive.c_str(), "-C", dir.c_str()};
  for (const std::string& name : captures) argv.push_back(name.c_str());
  ToolOptions pack;
  pack.time_limit_ms = 60000;
  pack.discard_errors = true;
  unlink(archive.c_str());
  // Without a capture tar would refuse to write an archive: the empty one is one record of zeros.
  const std::string no_members(10240, '\0');
  const bool stored = captures.empty() ? write_whole_file(archive.c_str(), no_members.data(), no_members.size()) == 0
                                       : run_tool(argv, pack).succeeded();
  log_message("OnState", 654, "", "real_name:%s", archive.c_str());
  // A failed pack leaves no archive or half of one: nothing is sent and every capture stays for
  // the next try. Only the files that went into a sent archive are removed.
  if (!stored) {
    unlink(archive.c_str());
    return;
  }
  const bool sent = reply_attachment(archive.c_str(), kArchiveName);
  unlink(archive.c_str());
  if (sent) remove_files(dir, captures);
}

ZV_REQUESTS(kCaptureRequests, "state",
    {"/8005", capture_start_handler},
    {"/8006", capture_stop_handler},
    {"/8007", capture_download_handler});
