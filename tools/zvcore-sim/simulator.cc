#include "tools/zvcore-sim/simulator.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/zvdb/analytics_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/modules.h"

namespace {
int64_t unix_ms_now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}
}  // namespace

Simulator::Simulator(SimOptions options, std::vector<std::unique_ptr<SimModule>> modules)
    : options_(std::move(options)), script_path_(options_.script_path), modules_(std::move(modules)) {
  for (auto& module : modules_) {
    module->sim = this;
    rules_.set_module(module->name());
    module->rules(rules_);
  }
}

Simulator::Simulator(SimOptions options) : Simulator(std::move(options), make_sim_modules()) {}

SimModule* Simulator::module(const std::string& name) const {
  for (const auto& m : modules_) {
    if (name == m->name()) return m.get();
  }
  return nullptr;
}

Simulator::~Simulator() { stop(); }

bool Simulator::start(std::string* error) {
  if (!rules_.conflicts().empty()) {
    if (error != nullptr) {
      *error = "message ids with two rules:";
      for (const std::string& c : rules_.conflicts()) *error += " " + c + ";";
    }
    return false;
  }
  // The control channel changes the simulated device and reads any file named to it: it is for
  // the device sandbox of the tests and the demo only.
  const char* sandboxed = getenv("ZV_SANDBOX");
  if (!options_.control_path.empty() && (sandboxed == nullptr || strcmp(sandboxed, "1") != 0)) {
    if (error != nullptr) *error = "--control works only inside tools/sandbox";
    return false;
  }
  if (!options_.message_log_path.empty() && !message_log_.open(options_.message_log_path, error)) {
    return false;
  }
  if (!options_.oplog_path.empty() && !oplog_.open(options_.oplog_path, error)) return false;
  if (!options_.script_path.empty()) {
    Script script;
    std::string reason;
    if (!load_script(options_.script_path, &script, &reason)) {
      if (error != nullptr) *error = "script " + options_.script_path + ": " + reason;
      return false;
    }
    script_ = std::move(script);
  }
  timer_thread_ = std::thread([this] { timer_loop(); });
  if (!server_.start(
          options_.socket_path,
          [this](ZvSockServer::PeerId peer, const ZvMsgHeader& header, const unsigned char* payload) {
            handle(peer, header, payload);
          },
          error)) {
    return false;
  }
  if (!options_.control_path.empty() && !control_.start(options_.control_path, this, error)) {
    stop();
    return false;
  }
  started_ = true;
  hold_database();
  set_ready(true);
  return true;
}

// The device's core keeps the configuration database open for its whole life and reads the
// settings the web side writes. So does the simulator: one read opens the connection, which then
// stays open (the database library keeps it). While it is open, the database's log and shared
// index stay in place between the short-lived CGI processes instead of being rebuilt and deleted
// by each of them. A database that does not exist yet is opened with the first message after it
// appears. The core also matches recognised plates against the plate list, whose file it keeps
// open the same way.
void Simulator::hold_database() {
  if (!database_held_.load(std::memory_order_acquire) && access(kZvdbPath, F_OK) == 0 &&
      read_user_count(kZvdbPath) >= 0) {
    database_held_.store(true, std::memory_order_release);
  }
  if (!plates_held_.load(std::memory_order_acquire) && access(kAnprDbPath, F_OK) == 0 &&
      zvdb::count_records(kAnprDbPath, zvdb::kPlateListTable) >= 0) {
    plates_held_.store(true, std::memory_order_release);
  }
}

void Simulator::stop() {
  control_.stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  timers_changed_.notify_all();
  server_.stop();
  if (timer_thread_.joinable()) timer_thread_.join();
  // The marker is ours only when this simulator started serving (a copy refused because another
  // one serves must not take the other's marker away).
  if (started_) set_ready(false);
  started_ = false;
}

bool Simulator::reload_script(std::string* error) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    path = script_path_;
  }
  if (path.empty()) return true;
  return use_script(path, error);
}

bool Simulator::use_script(const std::string& path, std::string* error) {
  Script script;
  std::string reason;
  if (!load_script(path, &script, &reason)) {
    if (error != nullptr) *error = "script " + path + ": " + reason;
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  script_ = std::move(script);
  script_path_ = path;
  return true;
}

void Simulator::clear_script() {
  std::lock_guard<std::mutex> lock(mutex_);
  script_ = Script{};
  script_path_.clear();
}


int32_t Simulator::reply_id_for(int32_t id) {
  if (id == 3109) return 8103;  // the multi-channel play reply the web side handles
  return id + 5000;
}

bool Simulator::reply(const SimRequest& request, const void* payload, uint32_t length, int32_t reply_id,
                      int delay_ms) {
  if (request.client == kZvClientJoystick) return true;  // send-only client
  return server_.send(request.peer, reply_id != 0 ? reply_id : reply_id_for(request.id), payload, length,
                      delay_ms);
}

void Simulator::reply_int32(const SimRequest& request, int32_t value) {
  reply(request, &value, sizeof value);
}

void Simulator::set_ready(bool ready) {
  if (options_.ready_path.empty()) return;
  if (!ready) {
    unlink(options_.ready_path.c_str());
    return;
  }
  int fd = open(options_.ready_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    fprintf(stderr, "zvcore-sim: cannot create %s: %s\n", options_.ready_path.c_str(), strerror(errno));
    return;
  }
  char text[32];
  int length = snprintf(text, sizeof text, "%d\n", static_cast<int>(getpid()));
  if (write(fd, text, static_cast<size_t>(length)) != length) {
    fprintf(stderr, "zvcore-sim: cannot write %s\n", options_.ready_path.c_str());
  }
  close(fd);
}

void Simulator::reboot() {
  set_ready(false);
  after(options_.reboot_ms, [this] { set_ready(true); });
}

void Simulator::after(int delay_ms, std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    timers_.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(delay_ms),
                    std::move(task));
  }
  timers_changed_.notify_all();
}

void Simulator::timer_loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (timers_.empty()) {
      timers_changed_.wait(lock);
      continue;
    }
    auto due = timers_.begin()->first;
    if (std::chrono::steady_clock::now() < due) {
      timers_changed_.wait_until(lock, due);
      continue;
    }
    auto task = std::move(timers_.begin()->second);
    timers_.erase(timers_.begin());
    lock.unlock();
    task();
    lock.lock();
  }
}

void Simulator::handle(ZvSockServer::PeerId peer, const ZvMsgHeader& header, const unsigned char* payload) {
  SimRequest request{peer, header.client, header.msg_id, payload, header.length};
  hold_database();
  message_log_.write(unix_ms_now(), header.client, header.msg_id, payload, header.length);
  if (options_.verbose) {
    fprintf(stderr, "zvcore-sim: client %d message %d (%u bytes)\n", header.client, header.msg_id,
            header.length);
  }
  std::vector<ScriptReply> scripted;
  bool is_scripted = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto rule = script_.rules.find(header.msg_id);
    if (rule != script_.rules.end()) {
      is_scripted = true;
      scripted = rule->second;
    }
  }
  if (is_scripted) {
    for (const ScriptReply& answer : scripted) {
      reply(request, answer.payload.data(), static_cast<uint32_t>(answer.payload.size()), answer.reply_id,
            answer.delay_ms);
    }
    return;
  }
  // The rules are complete once the simulator is made: read without a lock.
  if (const SimRules::Rule* rule = rules_.find(request)) {
    SimAnswer answer;
    rule->fn(request, answer);
    for (const SimAnswer::Reply& r : answer.replies()) {
      reply(request, r.payload.data(), static_cast<uint32_t>(r.payload.size()), r.reply_id, r.delay_ms);
    }
    return;
  }
  // Messages without simulated behaviour are accepted with the status word 0.
  reply_int32(request, 0);
}
