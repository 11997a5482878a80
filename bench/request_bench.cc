// Request cost of webreq against the CGI floor. Runs inside the device sandbox next to the demo
// stack (tools/bench starts both): every case goes through lighttpd on loopback, the baseline is a
// minimal C CGI program served by the same server with the same CGI setup, measured in the same
// run. Every case runs twice: on the empty device the stack starts with, and on a full one (100
// users, 64 cameras, 32 holidays, 10 000 plates, 100 000 log entries), so that a cost growing with
// the stored data shows. Prints one table with every goal and whether it holds, and writes the
// numbers as JSON.
//
//   bench_requests --port N --bin DIR [--out FILE] [--requests N] [--download-seconds N]
//                  [--arm-bin DIR]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/core_client.h"

namespace {

using Clock = std::chrono::steady_clock;

// What a request does decides its goal: the largest ratio of its median to the baseline's.
enum class Family { kFloor, kRead, kCore, kSave };

double goal_of(Family f) {
  switch (f) {
    case Family::kRead: return 1.5;  // reads the database
    case Family::kCore: return 2.0;  // waits for the core
    case Family::kSave: return 3.0;  // durable write and notices
    case Family::kFloor: break;
  }
  return 0;
}

const char* family_name(Family f) {
  switch (f) {
    case Family::kRead: return "read";
    case Family::kCore: return "core";
    case Family::kSave: return "save";
    case Family::kFloor: break;
  }
  return "floor";
}

constexpr double kGrowthGoal = 0.10;     // full device against empty device, median
constexpr long kRssGoalKb = 4096;        // peak RSS of every request
constexpr long kQueueBoundKb = 10240;    // the download's chunk queue may add this much
constexpr double kDownloadGoalMib = 100;  // MiB/s through lighttpd on loopback
constexpr long kArmSizeGoal = 2 * 1024 * 1024;  // stripped ARM webreq, bytes

struct Case {
  std::string name;
  Family family;
  std::string program;  // "webreq" or "cgi-baseline"
  std::string method;
  std::string path_info;
  std::string query;
  std::string content_type;
  std::string body;
  std::string expect;  // a text the reply body must hold
  // "%d" in the body takes a new number for every request (a setting really changes each time).
  bool vary = false;
};

std::atomic<int> g_sequence{0};

std::string body_of(const Case& c) {
  if (!c.vary) return c.body;
  std::string body = c.body;
  const std::string number = std::to_string(1 + g_sequence.fetch_add(1) % 6);
  for (size_t at = body.find("%d"); at != std::string::npos; at = body.find("%d", at)) {
    body.replace(at, 2, number);
  }
  return body;
}

struct HttpResult {
  int status = 0;
  size_t body_bytes = 0;
  std::string body_head;  // the first bytes of the body
  double seconds = 0;
};

struct Load {
  int clients = 0;
  int requests = 0;
  int failures = 0;
  double rps = 0;
  double median_ms = 0;
  double p99_ms = 0;
  size_t reply_bytes = 0;  // the body of the last reply
};

struct CaseResult {
  Case c;
  Load single, eight, full;  // empty device (one client, eight clients), full device
  long peak_rss_kb = 0;
  double ratio = 0;   // single-client median / baseline median, empty device
  // Full-device median against empty-device median, each taken over the baseline's median of its
  // own phase: the phases run minutes apart, and the machine's drift in between (the baseline's
  // own "growth", which touches no data) is not the request's.
  double growth = 0;
  double raw_growth = 0;  // full-device median / empty-device median - 1, drift included
  // For a reply that grew with the data (a list of everything stored): the growth of the C
  // program printing a reply of the empty device's size, then of the full device's size. That
  // part is the reply's way through the pipe and the server, not the request's own work.
  double reply_floor_growth = 0;
  bool reply_grew() const { return c.family != Family::kFloor && full.reply_bytes > 4 * std::max<size_t>(single.reply_bytes, 1); }
  bool ratio_ok() const { return c.family == Family::kFloor || ratio <= goal_of(c.family); }
  bool growth_ok() const { return c.family == Family::kFloor || growth <= kGrowthGoal; }
  bool rss_ok() const { return peak_rss_kb <= kRssGoalKb; }
};

int g_port = 0;
std::string g_bin;

std::string url_path(const Case& c) {
  if (c.program.empty()) return c.path_info;  // a file of the document root
  return "/cgi-bin/" + c.program + c.path_info + (c.query.empty() ? "" : "?" + c.query);
}

HttpResult http(const Case& c) {
  HttpResult result;
  const auto start = Clock::now();
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(g_port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (fd >= 0) close(fd);
    return result;
  }
  std::string request = c.method + " " + url_path(c) + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                        "Cookie: language=en-US; userName=admin; sessionId=1\r\n";
  const std::string body = body_of(c);
  if (c.method == "POST") {
    request += "Content-Type: " + c.content_type + "\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n";
  }
  request += "\r\n" + body;
  for (size_t sent = 0; sent < request.size();) {
    ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string head;
  bool in_body = false;
  std::vector<char> buf(1 << 16);
  for (;;) {
    ssize_t n = recv(fd, buf.data(), buf.size(), 0);
    if (n <= 0) break;
    if (in_body) {
      result.body_bytes += static_cast<size_t>(n);
      if (result.body_head.size() < 256) result.body_head.append(buf.data(), std::min<size_t>(n, 256));
      continue;
    }
    head.append(buf.data(), static_cast<size_t>(n));
    size_t end = head.find("\r\n\r\n");
    if (end != std::string::npos) {
      in_body = true;
      result.body_bytes = head.size() - end - 4;
      result.body_head = head.substr(end + 4, 256);
      head.resize(end);
    }
  }
  close(fd);
  if (head.compare(0, 5, "HTTP/") == 0) {
    size_t sp = head.find(' ');
    if (sp != std::string::npos) result.status = atoi(head.c_str() + sp + 1);
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

bool ok(const Case& c, const HttpResult& r) {
  return r.status == 200 && r.body_bytes > 0 && r.body_head.find(c.expect) != std::string::npos;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

Load run_load(const Case& c, int clients, int requests_per_client) {
  std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
  std::atomic<int> failures{0};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < clients; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < requests_per_client; ++i) {
        HttpResult r = http(c);
        if (!ok(c, r)) failures.fetch_add(1);
        latencies[static_cast<size_t>(t)].push_back(r.seconds * 1000.0);
      }
    });
  }
  for (auto& t : threads) t.join();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> all;
  for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  Load load;
  load.clients = clients;
  load.requests = clients * requests_per_client;
  load.failures = failures.load();
  load.rps = wall > 0 ? load.requests / wall : 0;
  load.median_ms = percentile(all, 0.5);
  load.p99_ms = percentile(all, 0.99);
  return load;
}

// One client, the cases taking turns: `rounds` rounds of requests/rounds requests of each case in
// list order. A slow spell of the machine (another process, the disk) then falls on every case
// alike instead of on whichever case happened to run at the time, which keeps the ratios to the
// baseline steady from run to run.
std::vector<Load> run_interleaved(const std::vector<Case>& cases, int requests, int rounds) {
  std::vector<std::vector<double>> latencies(cases.size());
  std::vector<double> busy(cases.size(), 0.0);
  std::vector<int> failures(cases.size(), 0);
  std::vector<size_t> loads_bytes(cases.size(), 0);
  const int per_round = std::max(1, requests / rounds);
  for (int round = 0; round < rounds; ++round) {
    for (size_t k = 0; k < cases.size(); ++k) {
      for (int i = 0; i < per_round; ++i) {
        HttpResult r = http(cases[k]);
        if (!ok(cases[k], r)) ++failures[k];
        latencies[k].push_back(r.seconds * 1000.0);
        busy[k] += r.seconds;
        loads_bytes[k] = r.body_bytes;
      }
    }
  }
  std::vector<Load> loads(cases.size());
  for (size_t k = 0; k < cases.size(); ++k) {
    Load& load = loads[k];
    load.clients = 1;
    load.requests = per_round * rounds;
    load.failures = failures[k];
    load.rps = busy[k] > 0 ? load.requests / busy[k] : 0;
    load.median_ms = percentile(latencies[k], 0.5);
    load.p99_ms = percentile(latencies[k], 0.99);
    load.reply_bytes = loads_bytes[k];
  }
  return loads;
}

// Runs the program once directly, as the web server would, and returns its peak resident set.
long peak_rss_kb(const Case& c) {
  const std::string body = body_of(c);
  int in[2];
  if (pipe(in) != 0) return 0;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    close(in[0]);
    close(in[1]);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 1);
    std::string env_text[] = {"REQUEST_METHOD=" + c.method, "PATH_INFO=" + c.path_info,
                              "CONTENT_TYPE=" + c.content_type,
                              "CONTENT_LENGTH=" + std::to_string(body.size()),
                              "QUERY_STRING=" + c.query, "REMOTE_ADDR=127.0.0.1",
                              "HTTP_COOKIE=userName=admin", "GATEWAY_INTERFACE=CGI/1.1"};
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = g_bin + "/" + c.program;
    char* argv[] = {path.data(), nullptr};
    execve(path.c_str(), argv, envp.data());
    _exit(127);
  }
  close(in[0]);
  if (!body.empty()) {
    ssize_t ignored = write(in[1], body.data(), body.size());
    (void)ignored;
  }
  close(in[1]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return usage.ru_maxrss;
}

// One request/reply round trip through the messaging library to the simulator.
void roundtrip_callback(int, ZvMsgHeader*, void*) {
  if (reply_claim()) reply_flag_set(1);
}

Load core_roundtrip(int count) {
  std::vector<double> ms;
  int failures = 0;
  char payload[256] = "bench";
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    int r = core_send(roundtrip_callback, 3504, sizeof payload, payload, 0);
    if (reply_flag_get() == 0) ++failures;
    core_close(r);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  Load load;
  load.clients = 1;
  load.requests = count;
  load.failures = failures;
  load.rps = count / wall;
  load.median_ms = percentile(ms, 0.5);
  load.p99_ms = percentile(ms, 0.99);
  return load;
}

std::string time_text(time_t when, const char* format) {
  char text[32];
  tm t{};
  localtime_r(&when, &t);
  strftime(text, sizeof text, format, &t);
  return text;
}

// The span starts yesterday at 13:00, inside the simulator's afternoon recording of channel 0
// (13:00-23:59 every day); "an hour ago" fell into a gap between recordings at some hours of
// the day, and the download was then an empty file.
std::string download_body(int seconds) {
  const time_t now = time(nullptr);
  tm t{};
  localtime_r(&now, &t);
  t.tm_mday -= 1;
  t.tm_hour = 13;
  t.tm_min = 0;
  t.tm_sec = 0;
  t.tm_isdst = -1;
  const time_t start = mktime(&t);
  return std::string(R"({"id":0,"streamType":0,"startTime":")") + time_text(start, "%Y-%m-%dT%H:%M:%SZ") +
         R"(","endTime":")" + time_text(start + seconds, "%Y-%m-%dT%H:%M:%SZ") + "\"}";
}

// The log search of the last two hours, first page.
std::string log_query() {
  const time_t now = time(nullptr);
  return std::string(R"({"language":"en","mainType":1,"subTypeArr":[10],"startTime":")") +
         time_text(now - 7200, "%Y-%m-%d %H:%M:%S") + R"(","endTime":")" + time_text(now + 60, "%Y-%m-%d %H:%M:%S") +
         R"(","curPageNum":1})";
}

// The recording plan of channels 0-7 in one save: 8 days of a few sections each.
std::string plan_body() {
  std::string days;
  for (int d = 0; d < 8; ++d) {
    days += std::string(d > 0 ? "," : "") + R"({"wholedayEnable":0,"wholedayActionType":1,"plans":[)" +
            R"([0,%d,1],[20,30,2],[40,47,1]]})";
  }
  return R"({"cnt":8,"chnid":[0,1,2,3,4,5,6,7],"recordplanmode":1,"schedule":[)" + days + "]}";
}

void json_load(FILE* f, const char* key, const Load& l) {
  fprintf(f, "\"%s\": {\"clients\": %d, \"requests\": %d, \"failures\": %d, \"rps\": %.1f, "
             "\"median_ms\": %.3f, \"p99_ms\": %.3f}",
          key, l.clients, l.requests, l.failures, l.rps, l.median_ms, l.p99_ms);
}

// One POST through lighttpd; true when the reply holds `expect`.
bool post(const std::string& path_info, const std::string& body, const std::string& expect) {
  Case c{"seed", Family::kFloor, "webreq", "POST", path_info, "", "application/json", body, expect};
  HttpResult r = http(c);
  return ok(c, r);
}

// A program of the build with its arguments, its output thrown away; true when it exits 0.
bool run_program(const std::string& program, std::vector<std::string> args) {
  pid_t pid = fork();
  if (pid == 0) {
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 1);
    std::string path = g_bin + "/" + program;
    std::vector<char*> argv{path.data()};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Fills the device through its own requests (and the simulator's control socket for the log):
// 100 users, 64 cameras, 32 holidays, 10 000 plates, 100 000 log entries. Counts what failed.
int fill_device() {
  int failed = 0;
  auto must = [&](bool done) { failed += done ? 0 : 1; };
  for (int u = 1; u < 100; ++u) {
    char body[256];
    snprintf(body, sizeof body,
             R"({"name":"user%02d","password":"0123456789abcdef0123456789abcdef","type":2,"permission":0,)"
             R"("remotePermission":0})", u);
    must(post("/6071", body, "id="));
  }
  must(run_program("zvdb", {"set", "max_cameras", "64"}));
  for (int id = 0; id < 64; ++id) {
    char body[512];
    snprintf(body, sizeof body,
             R"({"id":%d,"name":"Cam %d","minorid":0,"enable":1,"ipAddr":"198.51.100.%d","managePort":80,)"
             R"("camProtocol":0,"userName":"cam","password":"pw","transmitProtocol":1,"enableSubStream":1,)"
             R"("syncTime":1,"ddns":"","mac_addr":"","poechannel":0,"physicalport":0,"otherPoe":0})",
             id, id + 1, id + 10);
    must(post("/2004", body, "OK"));
  }
  for (int h = 0; h < 32; ++h) {
    char body[256];
    snprintf(body, sizeof body,
             R"({"id":%d,"name":"Holiday %d","enable":1,"type":0,"startMon":%d,"startMDay":%d,"endMon":%d,)"
             R"("endMDay":%d})", h, h, 1 + h % 12, 1 + h % 28, 1 + h % 12, 1 + h % 28);
    must(post("/6031", body, "OK"));
  }
  // A request body holds at most 30 KiB: the plates go in as edits of 1000 new plates each.
  for (int batch = 0; batch < 10; ++batch) {
    std::string plates = R"({"cnt":1000,"plate":[)";
    for (int i = batch * 1000; i < (batch + 1) * 1000; ++i) {
      char entry[48];
      snprintf(entry, sizeof entry, R"(%s["","%s","P%05d"])", i > batch * 1000 ? "," : "",
               i % 3 == 0 ? "black" : "white", i);
      plates += entry;
    }
    must(post("/6185", plates + "]}", "OK"));
  }
  must(run_program("zvcore-sim", {"ctl", "admin", "oplog-fill", "100000"}));
  return failed;
}

// A plain file of `bytes` served by the same lighttpd: the pipe's own speed, in MiB/s.
double plain_file_speed(size_t bytes, const std::string& docroot) {
  const std::string path = docroot + "/bench-plain.bin";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1 << 20, 'z');
    for (size_t left = bytes; left > 0 && out;) {
      const size_t n = std::min(left, block.size());
      out.write(block.data(), static_cast<std::streamsize>(n));
      left -= n;
    }
  }
  Case c{"plain", Family::kFloor, "", "GET", "/bench-plain.bin", "", "", "", ""};
  HttpResult r = http(c);
  unlink(path.c_str());
  return r.status == 200 && r.seconds > 0 ? r.body_bytes / r.seconds / (1024.0 * 1024.0) : 0;
}

long stripped_size(const std::string& strip, const std::string& program) {
  struct stat st{};
  if (stat(program.c_str(), &st) != 0) return 0;
  const std::string out = "/tmp/webreq.stripped";
  const std::string cmd = strip + " -o " + out + " " + program + " 2>/dev/null";
  return system(cmd.c_str()) == 0 && stat(out.c_str(), &st) == 0 ? st.st_size : 0;
}

const char* holds(bool ok) { return ok ? "yes" : "NO"; }

}  // namespace

// Prints a loopback TCP port that nothing listens on, for the script that starts the stack.
int print_free_port() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return 1;
  }
  printf("%d\n", ntohs(addr.sin_port));
  close(fd);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--free-port") == 0) return print_free_port();
  std::string out = "build/bench/results.json";
  std::string arm_bin;
  int requests = 400;
  int download_seconds = 600;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--port") g_port = atoi(argv[i + 1]);
    else if (a == "--bin") g_bin = argv[i + 1];
    else if (a == "--out") out = argv[i + 1];
    else if (a == "--requests") requests = atoi(argv[i + 1]);
    else if (a == "--download-seconds") download_seconds = atoi(argv[i + 1]);
    else if (a == "--arm-bin") arm_bin = argv[i + 1];
  }
  if (g_port <= 0 || g_bin.empty()) {
    fprintf(stderr, "usage: bench_requests --port N --bin DIR [--out FILE] [--requests N] [--arm-bin DIR]\n");
    return 2;
  }
  const std::string json = "application/json";
  std::vector<Case> cases = {
      {"baseline (C CGI)", Family::kFloor, "cgi-baseline", "GET", "", "", "", "", "OK"},
      // The same program posted a body of a save's size (it does not read it): what the server's
      // handling of a request body adds to the floor. Shown beside; the ratios stay over the GET.
      {"baseline POST", Family::kFloor, "cgi-baseline", "POST", "", "", json, plan_body(), "OK", true},
      {"user list /6070", Family::kRead, "webreq", "GET", "/6070", "", "", "", "["},
      {"login /1000", Family::kRead, "webreq", "POST", "/1000", "", json,
       R"({"userName":"admin","md5":"21232f297a57a5a743894a0e4a801fc3"})", "\"type\": 0"},
      {"holidays /6030", Family::kRead, "webreq", "GET", "/6030", "", "", "", "holidays"},
      {"record plan /6040", Family::kRead, "webreq", "GET", "/6040", "3", "", "", "schedule"},
      // Loads a language's catalogue (the translation file) for every request.
      {"log types /1015", Family::kRead, "webreq", "POST", "/1015", "", json, R"({"lan":"de-DE"})", "Ereignis"},
      {"camera status /2001", Family::kCore, "webreq", "GET", "/2001", "", "", "", "IPC"},
      {"disk list /6100", Family::kCore, "webreq", "GET", "/6100", "", "", "", "resultString"},
      {"log search /1002", Family::kCore, "webreq", "POST", "/1002", "", json, log_query(), "count"},
      {"alarm status /8003", Family::kCore, "webreq", "GET", "/8003", "", "", "", "cameras"},
      {"motion save /6112", Family::kSave, "webreq", "POST", "/6112", "", json,
       R"({"chnid":0,"enableZV":0,"sensitivity":%d,"copyCnt":3,"copyChn":[1,2,3],)"
       R"("dialog":{"chnid":0,"interval":%d,"triChannels":"0110"}})",
       "OK", true},
      {"plan save 8 ch /6041", Family::kSave, "webreq", "POST", "/6041", "", json, plan_body(), "OK", true},
      {"network save /7041", Family::kSave, "webreq", "POST", "/7041", "", json,
       R"({"mode":0,"ipAddr2":"10.1.0.%d","mtu2":1500})", "OK", true},
      {"plate edit /6185", Family::kSave, "webreq", "POST", "/6185", "", json,
       R"({"cnt":1,"plate":[["P0000%d","black","P0000%d"]]})", "OK", true},
  };
  for (const Case& c : cases) {
    for (int i = 0; i < 10; ++i) http(c);  // warm the page cache and the server
  }
  const std::vector<Load> single = run_interleaved(cases, requests, 10);
  std::vector<CaseResult> results;
  double baseline_median = 0;
  for (size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    CaseResult r;
    r.c = c;
    r.single = single[k];
    r.eight = run_load(c, 8, std::max(1, requests / 4));
    if (results.empty()) baseline_median = r.single.median_ms;
    r.ratio = baseline_median > 0 ? r.single.median_ms / baseline_median : 0;
    results.push_back(r);
  }

  // The same cases on a full device.
  const int fill_failures = fill_device();
  // The fill wrote megabytes: let them reach the disk before the full phase is timed, so that the
  // write-back of the fill is not counted as growth.
  sync();
  sleep(1);
  for (const Case& c : cases) {
    for (int i = 0; i < 10; ++i) http(c);
  }
  const std::vector<Load> full = run_interleaved(cases, requests, 10);
  const double drift = results[0].single.median_ms > 0 ? full[0].median_ms / results[0].single.median_ms : 1;
  for (size_t k = 0; k < cases.size(); ++k) {
    CaseResult& r = results[k];
    r.full = full[k];
    r.raw_growth = r.single.median_ms > 0 ? r.full.median_ms / r.single.median_ms - 1 : 0;
    r.growth = k == 0 ? r.raw_growth : (r.raw_growth + 1) / drift - 1;
    long rss = 0;
    for (int i = 0; i < 3; ++i) rss = std::max(rss, peak_rss_kb(r.c));
    r.peak_rss_kb = rss;
    if (r.reply_grew()) {
      // The C program asked for a reply of each size ("bytes=N"), taking turns.
      auto floor_case = [](size_t bytes) {
        return Case{"", Family::kFloor, "cgi-baseline", "GET", "", "bytes=" + std::to_string(bytes), "", "", "OK"};
      };
      const std::vector<Load> floor =
          run_interleaved({floor_case(r.single.reply_bytes), floor_case(r.full.reply_bytes)}, requests, 10);
      r.reply_floor_growth = floor[0].median_ms > 0 ? floor[1].median_ms / floor[0].median_ms - 1 : 0;
    }
  }

  // The download: one client, one recording span sent by the simulator as fast as it is taken
  // (the stack runs it with pre-made frames), bytes per second and the process's peak RSS; then
  // a plain file of the same size through the same server, the limit of the pipe.
  Case download{"download /4013", Family::kFloor, "webreq", "POST", "/4013", "", json,
                download_body(download_seconds), "RIFF"};
  const HttpResult d = http(download);
  const double download_mib = d.seconds > 0 ? d.body_bytes / d.seconds / (1024.0 * 1024.0) : 0;
  const int download_failures = ok(download, d) ? 0 : 1;
  const long download_rss = peak_rss_kb(download);
  const double plain_mib = plain_file_speed(std::max<size_t>(d.body_bytes, 1 << 20), "/www");

  const Load core = core_roundtrip(2000);
  const long webreq_size = stripped_size("strip", g_bin + "/webreq");
  const long arm_size = arm_bin.empty() ? 0 : stripped_size("arm-linux-gnueabihf-strip", arm_bin + "/webreq");

  printf("\n%-22s %-5s %8s %6s %6s | %8s %7s %4s | %8s %6s | %6s %4s | %5s\n", "case", "kind", "median",
         "ratio", "goal", "full", "growth", "<10%", "x8 req/s", "p99", "RSS KiB", "4MiB", "fails");
  bool all_hold = fill_failures == 0;
  for (const auto& r : results) {
    char goal[16] = "";
    if (r.c.family != Family::kFloor) snprintf(goal, sizeof goal, "%s%.1fx", r.ratio_ok() ? "<=" : "> ", goal_of(r.c.family));
    printf("%-22s %-5s %6.3fms %5.2fx %6s | %6.3fms %+6.1f%% %4s | %8.1f %4.2fms | %7ld %4s | %5d\n", r.c.name.c_str(),
           family_name(r.c.family), r.single.median_ms, r.ratio, goal, r.full.median_ms, 100 * r.growth,
           r.c.family == Family::kFloor ? "" : holds(r.growth_ok()), r.eight.rps, r.eight.p99_ms, r.peak_rss_kb,
           holds(r.rss_ok()), r.single.failures + r.eight.failures + r.full.failures);
    all_hold = all_hold && r.ratio_ok() && r.growth_ok() && r.rss_ok();
  }
  printf("%-22s growth is over each phase's baseline; between the phases the baseline moved %+.1f%%\n", "",
         100 * results[0].raw_growth);
  for (const auto& r : results) {
    if (!r.reply_grew()) continue;
    printf("%-22s reply %zu -> %zu bytes; the C program printing those sizes grows %+.1f%%, the rest %+.1f%%\n",
           r.c.name.c_str(), r.single.reply_bytes, r.full.reply_bytes, 100 * r.reply_floor_growth,
           100 * ((r.growth + 1) / (r.reply_floor_growth + 1) - 1));
  }
  const bool download_ok = download_mib >= kDownloadGoalMib && download_rss <= kRssGoalKb + kQueueBoundKb;
  const bool arm_ok = arm_size > 0 && arm_size <= kArmSizeGoal;
  all_hold = all_hold && download_ok && arm_ok;
  printf("%-22s %zu bytes in %.2f s = %.1f MiB/s (goal %.0f: %s), plain file %.1f MiB/s; peak RSS %ld KiB "
         "(goal %ld: %s)\n",
         "download /4013", d.body_bytes, d.seconds, download_mib, kDownloadGoalMib, holds(download_mib >= kDownloadGoalMib),
         plain_mib, download_rss, kRssGoalKb + kQueueBoundKb, holds(download_rss <= kRssGoalKb + kQueueBoundKb));
  printf("%-22s median %.3f ms, p99 %.3f ms over %d round trips, %d without reply\n", "core round trip",
         core.median_ms, core.p99_ms, core.requests, core.failures);
  printf("%-22s %ld bytes stripped (x86-64); ARM %ld bytes (goal %ld: %s)\n", "webreq size", webreq_size,
         arm_size, kArmSizeGoal, arm_size > 0 ? holds(arm_ok) : "no ARM build");
  if (fill_failures > 0) printf("filling the device: %d requests failed\n", fill_failures);
  printf("every goal holds: %s\n", holds(all_hold));

  FILE* f = fopen(out.c_str(), "w");
  if (f != nullptr) {
    fprintf(f, "{\n  \"cases\": [\n");
    for (size_t i = 0; i < results.size(); ++i) {
      const auto& r = results[i];
      fprintf(f, "    {\"name\": \"%s\", \"family\": \"%s\", \"ratio\": %.3f, \"goal\": %.1f, \"ratio_ok\": %s, "
                 "\"growth\": %.3f, \"raw_growth\": %.3f, \"growth_ok\": %s, \"reply_bytes\": [%zu, %zu], "
                 "\"reply_floor_growth\": %.3f, \"peak_rss_kb\": %ld, \"rss_ok\": %s, ",
              r.c.name.c_str(), family_name(r.c.family), r.ratio, goal_of(r.c.family), r.ratio_ok() ? "true" : "false",
              r.growth, r.raw_growth, r.growth_ok() ? "true" : "false", r.single.reply_bytes, r.full.reply_bytes,
              r.reply_floor_growth, r.peak_rss_kb, r.rss_ok() ? "true" : "false");
      json_load(f, "single", r.single);
      fprintf(f, ", ");
      json_load(f, "eight", r.eight);
      fprintf(f, ", ");
      json_load(f, "full", r.full);
      fprintf(f, "}%s\n", i + 1 < results.size() ? "," : "");
    }
    fprintf(f, "  ],\n  \"download\": {\"bytes\": %zu, \"seconds\": %.3f, \"mib_per_s\": %.2f, "
               "\"plain_file_mib_per_s\": %.2f, \"peak_rss_kb\": %ld, \"ok\": %s, \"failures\": %d},\n",
            d.body_bytes, d.seconds, download_mib, plain_mib, download_rss, download_ok ? "true" : "false",
            download_failures);
    fprintf(f, "  ");
    json_load(f, "core_roundtrip", core);
    fprintf(f, ",\n  \"webreq_stripped_bytes\": %ld,\n  \"arm_webreq_stripped_bytes\": %ld,\n"
               "  \"fill_failures\": %d,\n  \"all_goals_hold\": %s\n}\n",
            webreq_size, arm_size, fill_failures, all_hold ? "true" : "false");
    fclose(f);
  }
  int failures = download_failures + core.failures + fill_failures;
  for (const auto& r : results) failures += r.single.failures + r.eight.failures + r.full.failures;
  return failures == 0 ? 0 : 1;
}
