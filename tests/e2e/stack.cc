#include "tests/e2e/stack.h"

#include <json-c/json.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

namespace zvtest {

DemoStack::DemoStack(const std::string& core_script, const std::map<std::string, std::string>& extra) {
  reset_device_state();
  port_ = free_tcp_ports(3);  // the page, HTTPS and the P2P stand-in
  std::map<std::string, std::string> env{{"PORT", std::to_string(port_)},
                                         {"BIN", std::string(ZV_BINARY_DIR) + "/bin"},
                                         {"LOGDIR", log_dir_},
                                         {"QUIET", "1"},
                                         {"ZV_SANDBOX", "1"}};
  for (const auto& [k, v] : extra) env[k] = v;
  if (!core_script.empty()) {
    write_file("/run/core-script.txt", core_script);
    env["CORE_SCRIPT"] = "/run/core-script.txt";
  }
  process_ = std::make_unique<BackgroundProcess>(ZV_DEMO_STACK, std::vector<std::string>{}, env);
  ready_ = wait_for_file("/run/demo-ready", 20000);
}

DemoStack::~DemoStack() {
  if (process_) process_->stop();
}

std::string DemoStack::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/cgi-bin/webreq" + path;
}

namespace {
HttpReply run_curl(std::vector<std::string> args) {
  args.insert(args.begin(), {"-s", "-S", "-D", "/run/curl-headers"});
  RunOptions options;
  options.args = args;
  RunResult r = run_program("/usr/bin/curl", options);
  HttpReply reply;
  reply.body = r.out;
  reply.headers = read_file("/run/curl-headers");
  return reply;
}
}  // namespace

HttpReply DemoStack::get(const std::string& path, const std::vector<std::string>& curl_args) {
  std::vector<std::string> args = curl_args;
  args.push_back(url(path));
  return run_curl(args);
}

HttpReply DemoStack::post_json(const std::string& path, const std::string& body,
                               const std::vector<std::string>& curl_args) {
  std::vector<std::string> args = curl_args;
  args.insert(args.end(), {"-H", "Content-Type: application/json", "--data-binary", body, url(path)});
  return run_curl(args);
}

std::vector<CoreMessage> DemoStack::messages(size_t at_least) {
  std::vector<CoreMessage> result;
  for (int attempt = 0; attempt < 200; ++attempt) {
    result.clear();
    std::istringstream lines(read_file(log_dir_ + "/core-messages.log"));
    std::string line;
    while (std::getline(lines, line)) {
      json_object* o = json_tokener_parse(line.c_str());
      if (o == nullptr) continue;
      CoreMessage m;
      json_object* v = nullptr;
      if (json_object_object_get_ex(o, "client", &v)) m.client = json_object_get_int(v);
      if (json_object_object_get_ex(o, "id", &v)) m.id = json_object_get_int(v);
      if (json_object_object_get_ex(o, "payload", &v)) {
        const char* hex = json_object_get_string(v);
        for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
          m.payload.push_back(static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
        }
      }
      json_object_put(o);
      result.push_back(m);
    }
    if (result.size() >= at_least) break;
    usleep(10000);
  }
  return result;
}

int32_t le_i32(const std::string& bytes, size_t offset) {
  int32_t v = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

int64_t le_i64(const std::string& bytes, size_t offset) {
  int64_t v = 0;
  if (offset + 8 <= bytes.size()) std::memcpy(&v, bytes.data() + offset, 8);
  return v;
}

std::string fixed_text(const std::string& bytes, size_t offset, size_t width) {
  if (offset >= bytes.size()) return "";
  std::string field = bytes.substr(offset, width);
  return field.substr(0, field.find('\0'));
}

}  // namespace zvtest
