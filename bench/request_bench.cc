// Request cost of webreq against the CGI floor. Runs inside the device sandbox next to the demo
// stack (tools/bench starts both): every case goes through lighttpd on loopback, the baseline is a
// minimal C CGI program served by the same server with the same CGI setup, measured in the same
// run. Prints one table and writes the numbers as JSON.
//
//   bench_requests --port N --bin DIR [--out FILE] [--requests N] [--download-seconds N]
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

struct Case {
  std::string name;
  std::string program;  // "webreq" or "cgi-baseline"
  std::string method;
  std::string path_info;
  std::string content_type;
  std::string body;
  std::string expect;  // a text the reply body must hold
  // "%d" in the body takes a new number for every request (a setting really changes each time).
  bool vary = false;
  double goal = 0;  // the largest ratio to the baseline's median that meets the goal (0: none)
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
};

struct CaseResult {
  Case c;
  Load single, eight;
  long peak_rss_kb = 0;
  double ratio = 0;         // single-client median / baseline median
  double mb_per_s = 0;      // downloads only
  size_t download_bytes = 0;
};

int g_port = 0;
std::string g_bin;

std::string url_path(const Case& c) {
  return "/cgi-bin/" + c.program + c.path_info;
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
  const int per_round = std::max(1, requests / rounds);
  for (int round = 0; round < rounds; ++round) {
    for (size_t k = 0; k < cases.size(); ++k) {
      for (int i = 0; i < per_round; ++i) {
        HttpResult r = http(cases[k]);
        if (!ok(cases[k], r)) ++failures[k];
        latencies[k].push_back(r.seconds * 1000.0);
        busy[k] += r.seconds;
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
                              "QUERY_STRING=", "REMOTE_ADDR=127.0.0.1",
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

std::string download_body(int seconds) {
  time_t start = time(nullptr) - 3600;
  time_t end = start + seconds;
  char a[32], b[32];
  tm t{};
  localtime_r(&start, &t);
  strftime(a, sizeof a, "%Y-%m-%dT%H:%M:%SZ", &t);
  localtime_r(&end, &t);
  strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%SZ", &t);
  return std::string(R"({"id":0,"streamType":0,"startTime":")") + a + R"(","endTime":")" + b + "\"}";
}

void json_load(FILE* f, const char* key, const Load& l) {
  fprintf(f, "\"%s\": {\"clients\": %d, \"requests\": %d, \"failures\": %d, \"rps\": %.1f, "
             "\"median_ms\": %.3f, \"p99_ms\": %.3f}",
          key, l.clients, l.requests, l.failures, l.rps, l.median_ms, l.p99_ms);
}

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
  int requests = 400;
  int download_seconds = 60;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--port") g_port = atoi(argv[i + 1]);
    else if (a == "--bin") g_bin = argv[i + 1];
    else if (a == "--out") out = argv[i + 1];
    else if (a == "--requests") requests = atoi(argv[i + 1]);
    else if (a == "--download-seconds") download_seconds = atoi(argv[i + 1]);
  }
  if (g_port <= 0 || g_bin.empty()) {
    fprintf(stderr, "usage: bench_requests --port N --bin DIR [--out FILE] [--requests N]\n");
    return 2;
  }
  const std::string json = "application/json";
  std::vector<Case> cases = {
      {"baseline (C CGI)", "cgi-baseline", "GET", "", "", "", "OK"},
      {"1 user list /6070", "webreq", "GET", "/6070", "", "", "[", false, 1.5},
      {"2 camera status /2001", "webreq", "GET", "/2001", "", "", "IPC", false, 2.0},
      {"3 motion save /6112", "webreq", "POST", "/6112", json,
       R"({"chnid":0,"enableZV":0,"sensitivity":%d,"copyCnt":3,"copyChn":[1,2,3],)"
       R"("dialog":{"chnid":0,"interval":%d,"triChannels":"0110"}})",
       "OK", true, 3.0},
      {"4 login /1000", "webreq", "POST", "/1000", json,
       R"({"userName":"admin","md5":"21232f297a57a5a743894a0e4a801fc3"})", "\"type\": 0", false, 1.5},
  };
  std::vector<CaseResult> results;
  for (const Case& c : cases) {
    for (int i = 0; i < 10; ++i) http(c);  // warm the page cache and the server
  }
  const std::vector<Load> single = run_interleaved(cases, requests, 10);
  double baseline_median = 0;
  for (size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    CaseResult r;
    r.c = c;
    r.single = single[k];
    r.eight = run_load(c, 8, std::max(1, requests / 4));
    long rss = 0;
    for (int i = 0; i < 3; ++i) rss = std::max(rss, peak_rss_kb(c));
    r.peak_rss_kb = rss;
    if (results.empty()) baseline_median = r.single.median_ms;
    r.ratio = baseline_median > 0 ? r.single.median_ms / baseline_median : 0;
    results.push_back(r);
  }

  // The download: one client, one recording span, bytes per second and the process's peak RSS.
  Case download{"5 download /4013", "webreq", "POST", "/4013", json, download_body(download_seconds), "RIFF"};
  HttpResult d = http(download);
  CaseResult dl;
  dl.c = download;
  dl.download_bytes = d.body_bytes;
  dl.mb_per_s = d.seconds > 0 ? d.body_bytes / d.seconds / (1024.0 * 1024.0) : 0;
  dl.single.clients = 1;
  dl.single.requests = 1;
  dl.single.failures = ok(download, d) ? 0 : 1;
  dl.single.median_ms = d.seconds * 1000;
  dl.peak_rss_kb = peak_rss_kb(download);

  Load core = core_roundtrip(2000);

  struct stat st{};
  std::string stripped = "/tmp/webreq.stripped";
  std::string cmd = "strip -o " + stripped + " " + g_bin + "/webreq";
  long webreq_size = (system(cmd.c_str()) == 0 && stat(stripped.c_str(), &st) == 0) ? st.st_size : 0;

  printf("\n%-24s %9s %9s %9s %7s %7s | %9s %9s %9s | %8s %6s\n", "case", "req/s", "median", "p99",
         "ratio", "goal", "req/s x8", "median", "p99", "RSS KiB", "fails");
  for (const auto& r : results) {
    char goal[16] = "";
    if (r.c.goal > 0) snprintf(goal, sizeof goal, "%s%.1fx", r.ratio <= r.c.goal ? "<=" : "> ", r.c.goal);
    printf("%-24s %9.1f %7.3fms %7.3fms %6.2fx %7s | %9.1f %7.3fms %7.3fms | %8ld %6d\n", r.c.name.c_str(),
           r.single.rps, r.single.median_ms, r.single.p99_ms, r.ratio, goal, r.eight.rps,
           r.eight.median_ms, r.eight.p99_ms, r.peak_rss_kb, r.single.failures + r.eight.failures);
  }
  printf("%-24s %zu bytes in %.2f s = %.1f MiB/s, peak RSS %ld KiB, %d failed\n", dl.c.name.c_str(),
         dl.download_bytes, d.seconds, dl.mb_per_s, dl.peak_rss_kb, dl.single.failures);
  printf("%-24s median %.3f ms, p99 %.3f ms over %d round trips, %d without reply\n",
         "core round trip", core.median_ms, core.p99_ms, core.requests, core.failures);
  printf("%-24s %ld bytes stripped\n", "webreq size", webreq_size);

  FILE* f = fopen(out.c_str(), "w");
  if (f != nullptr) {
    fprintf(f, "{\n  \"cases\": [\n");
    for (size_t i = 0; i < results.size(); ++i) {
      const auto& r = results[i];
      fprintf(f, "    {\"name\": \"%s\", \"ratio\": %.3f, \"goal\": %.1f, \"peak_rss_kb\": %ld, ",
              r.c.name.c_str(), r.ratio, r.c.goal, r.peak_rss_kb);
      json_load(f, "single", r.single);
      fprintf(f, ", ");
      json_load(f, "eight", r.eight);
      fprintf(f, "}%s\n", i + 1 < results.size() ? "," : "");
    }
    fprintf(f, "  ],\n  \"download\": {\"bytes\": %zu, \"seconds\": %.3f, \"mib_per_s\": %.2f, "
               "\"peak_rss_kb\": %ld, \"failures\": %d},\n",
            dl.download_bytes, d.seconds, dl.mb_per_s, dl.peak_rss_kb, dl.single.failures);
    fprintf(f, "  ");
    json_load(f, "core_roundtrip", core);
    fprintf(f, ",\n  \"webreq_stripped_bytes\": %ld\n}\n", webreq_size);
    fclose(f);
  }
  int failures = dl.single.failures + core.failures;
  for (const auto& r : results) failures += r.single.failures + r.eight.failures;
  return failures == 0 ? 0 : 1;
}
