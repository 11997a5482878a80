#include "tests/support/request_fixture.h"

#include <sys/mount.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include "common/oplog.h"
#include "common/request.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/zvdb.h"

namespace zvtest {

namespace {

std::string hex(const void* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
  return out;
}

// Every request ends with status 0 and, in the sanitizer build, without a report.
void expect_clean_exit(const RunResult& r) {
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
}

}  // namespace

void RequestTest::SetUp() {
  // A connection this process still holds (an in-process simulator of an earlier test opens the
  // database) would outlive the file removed below and take the factory rows written next.
  zvdb_close_all();
  reset_device_state();
  ASSERT_EQ(zvdb_init_defaults(kZvdbPath), 0);
  zvdb_close_all();
  core_ = std::make_unique<FakeCore>();
  ASSERT_TRUE(core_->listening());
}

void RequestTest::TearDown() {
  if (sim_) sim_->stop();
  sim_.reset();
  core_.reset();
  zvdb_close_all();
}

std::map<std::string, std::string> RequestTest::browser_env(
    const std::string& id, const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> env = {
      {"HTTP_COOKIE", "language=en-US; userName=admin; sessionId=42"},
      {"REMOTE_ADDR", "192.0.2.7"},
      {"ZV_CORE_TIMING", timing_},
  };
  // The leak check at a sanitizer build's exit costs more than most requests do (about 40 ms):
  // it runs on each identifier's first request of a test program and on every
  // leak_check_every_-th request. Overruns and undefined behaviour are checked on every request.
  static std::set<std::string> leak_checked;
  static unsigned long requests = 0;
  const bool sampled = leak_check_every_ > 0 && requests++ % leak_check_every_ == 0;
  if (!leak_checked.insert(id).second && !sampled) env["ASAN_OPTIONS"] = "detect_leaks=0";
  for (const auto& [k, v] : cgi_env_) env[k] = v;
  for (const auto& [k, v] : extra) env[k] = v;
  return env;
}

RunResult RequestTest::post(const std::string& id, const std::string& body,
                            const std::map<std::string, std::string>& extra) {
  RunResult r = cgi_post(id, "application/json", body, browser_env(id, extra));
  settle();
  zvdb_close_all();
  expect_clean_exit(r);
  return r;
}

RunResult RequestTest::get(const std::string& id, const std::string& query,
                           const std::map<std::string, std::string>& extra) {
  RunResult r = cgi_get(id, query, browser_env(id, extra));
  settle();
  zvdb_close_all();
  expect_clean_exit(r);
  return r;
}

// The request process has exited; what it sent may still be on its way to the fake core.
void RequestTest::settle() {
  if (core_) core_->wait_idle();
}

std::vector<int32_t> RequestTest::log_record() {
  settle();
  const auto logs = core_->received(kMsgOpLog);
  EXPECT_EQ(logs.size(), 1u);
  if (logs.empty()) return {};
  return {int32_at(logs[0].payload, 8), int32_at(logs[0].payload, 24), int32_at(logs[0].payload, 32)};
}

void RequestTest::expect_ranges(std::span<const RangeCase> cases) {
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(std::string(c.id) + " " + c.key);
    for (const char* bad : {c.below, c.above}) {
      if (bad != nullptr) expect_refused(c.id, with_member(c.body, c.key, bad), c.refusal);
    }
    for (const char* good : {c.lowest, c.highest}) {
      if (good == nullptr) continue;
      EXPECT_EQ(post(c.id, with_member(c.body, c.key, good)).out, kOk) << good;
      settle();
      core_->clear_received();
    }
  }
}

std::string RequestTest::dump() {
  std::ostringstream out;
  // The configuration database, then what the plate list's own file holds (an empty or missing
  // file holds nothing).
  for (const char* path : {kZvdbPath, kAnprDbPath}) {
    if (path != kZvdbPath && access(path, F_OK) != 0) continue;
    std::ostringstream file;
    zvdb::scan_settings(path, [&](std::string_view key, std::string_view value) {
      file << "setting " << key << "=" << value << "\n";
    });
    std::vector<std::string> tables;
    zvdb::scan_table_counts(path, [&](std::string_view table, int rows) {
      tables.emplace_back(table);
      file << "table " << table << " " << rows << "\n";
    });
    for (const std::string& name : tables) {
      const zvdb::TableDesc desc{.name = name.c_str(), .record_size = 1};
      zvdb::scan_rows(path, desc, {}, [&](const void* data, int size, const zvdb::Key& key, int idx) {
        file << name << " " << key.a << "," << key.b << "," << key.text << "#" << idx << " "
             << hex(data, static_cast<size_t>(size)) << "\n";
        return true;
      });
    }
    if (path != kZvdbPath && !file.str().empty()) out << "file " << path << "\n";
    out << file.str();
  }
  zvdb_close_all();
  return out.str();
}

void RequestTest::expect_refused(const std::string& id, const std::string& body, const std::string& reply) {
  SCOPED_TRACE(id + " " + body);
  const std::string before = dump();
  core_->clear_received();
  EXPECT_EQ(post(id, body).out, reply);
  EXPECT_EQ(dump(), before);
  EXPECT_TRUE(core_->received().empty()) << "first message: " << core_->received().front().id;
  core_->clear_received();
}

void RequestTest::start_simulator() {
  core_.reset();  // the simulator takes the socket
  timing_ = kSimulatorTiming;
  sim_ = std::make_unique<BackgroundProcess>(bin_path("zvcore-sim"),
                                             std::vector<std::string>{"--message-log", kSimulatorLog},
                                             std::map<std::string, std::string>{});
  ASSERT_TRUE(wait_for_file("/tmp/zvcore"));
}

std::vector<int32_t> RequestTest::logged_ids() const {
  std::vector<int32_t> ids;
  const std::string log = read_file(kSimulatorLog);
  for (size_t at = log.find("\"id\": "); at != std::string::npos; at = log.find("\"id\": ", at + 1)) {
    ids.push_back(std::stoi(log.substr(at + 6)));
  }
  return ids;
}

ReceivedMessage only_message(FakeCore& core, int32_t id) {
  core.wait_for(id, 1, 2000);
  auto messages = core.received(id);
  if (messages.empty()) {
    ADD_FAILURE() << "no message " << id;
    return {};
  }
  return messages.front();
}

std::vector<int32_t> received_ids(const FakeCore& core) {
  std::vector<int32_t> ids;
  for (const ReceivedMessage& m : core.received()) ids.push_back(m.id);
  return ids;
}

Upload multipart_upload(const std::string& file_name, const std::string& content, const std::string& query) {
  Upload u;
  u.body = "--ZvBoundary\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + file_name +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--ZvBoundary--\r\n";
  u.env = {{"CONTENT_TYPE", "multipart/form-data; boundary=ZvBoundary"}, {"QUERY_STRING", query}};
  return u;
}

void enable_cameras(std::initializer_list<int> channels) {
  for (int channel : channels) {
    CameraRecord row{};
    read_camera(kZvdbPath, &row, channel);
    row.id = channel;
    row.enable = 1;
    ASSERT_EQ(write_camera(kZvdbPath, &row), 0) << channel;
  }
  zvdb_close_all();
}

std::string with_member(const std::string& body, const char* key, const std::string& value) {
  JsonPtr object(json_tokener_parse(body.c_str()));
  json_object_object_add(object.get(), key, json_tokener_parse(value.c_str()));
  return json_object_to_json_string(object.get());
}

std::string without_member(const std::string& body, const char* key) {
  JsonPtr object(json_tokener_parse(body.c_str()));
  json_object_object_del(object.get(), key);
  return json_object_to_json_string(object.get());
}

void RequestTest::expect_required(const std::string& id, const std::string& body,
                                  std::initializer_list<const char*> keys, const std::string& reply) {
  for (const char* key : keys) expect_refused(id, without_member(body, key), reply);
}

ReadOnlyDir::ReadOnlyDir(const char* dir) : dir_(dir) {
  if (mount(dir, dir, nullptr, MS_BIND, nullptr) != 0) return;
  if (mount(nullptr, dir, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    umount(dir);
    return;
  }
  active_ = true;
}

ReadOnlyDir::~ReadOnlyDir() {
  if (active_) umount(dir_.c_str());
}

}  // namespace zvtest
