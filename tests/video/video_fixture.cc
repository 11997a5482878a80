#include "tests/video/video_fixture.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/zvdb/engine.h"

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

std::map<std::string, std::string> browser_env(const std::string& timing) {
  return {{"HTTP_COOKIE", "language=en-US; userName=admin; sessionId=42"},
          {"REMOTE_ADDR", "192.0.2.7"},
          {"ZV_CORE_TIMING", timing}};
}

// Every request ends with status 0 and, in the sanitizer build, without a report.
void expect_clean_exit(const RunResult& r) {
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
}

}  // namespace

void VideoTest::SetUp() {
  reset_device_state();
  ASSERT_EQ(zvdb_init_defaults(kZvdbPath), 0);
  zvdb_close_all();
  core_ = std::make_unique<FakeCore>();
  ASSERT_TRUE(core_->listening());
}

void VideoTest::TearDown() {
  core_.reset();
  zvdb_close_all();
}

RunResult VideoTest::post(const std::string& id, const std::string& body) {
  auto env = browser_env(timing_);
  env["REQUEST_METHOD"] = "POST";
  env["PATH_INFO"] = id;
  env["QUERY_STRING"] = "";
  env["CONTENT_TYPE"] = "application/json";
  env["CONTENT_LENGTH"] = std::to_string(body.size());
  RunResult r = cgi_run(ZV_WEBREQ_VIDEO_PATH, env, body);
  zvdb_close_all();
  expect_clean_exit(r);
  return r;
}

RunResult VideoTest::get(const std::string& id, const std::string& query) {
  auto env = browser_env(timing_);
  env["REQUEST_METHOD"] = "GET";
  env["PATH_INFO"] = id;
  env["QUERY_STRING"] = query;
  RunResult r = cgi_run(ZV_WEBREQ_VIDEO_PATH, env);
  zvdb_close_all();
  expect_clean_exit(r);
  return r;
}

std::string VideoTest::dump() {
  std::ostringstream out;
  zvdb::scan_settings(kZvdbPath, [&](std::string_view key, std::string_view value) {
    out << "setting " << key << "=" << value << "\n";
  });
  std::vector<std::string> tables;
  zvdb::scan_table_counts(kZvdbPath, [&](std::string_view table, int rows) {
    tables.emplace_back(table);
    out << "table " << table << " " << rows << "\n";
  });
  for (const std::string& name : tables) {
    const zvdb::TableDesc desc{.name = name.c_str(), .record_size = 1};
    zvdb::scan_rows(kZvdbPath, desc, {}, [&](const void* data, int size, const zvdb::Key& key, int idx) {
      out << name << " " << key.a << "," << key.b << "," << key.text << "#" << idx << " "
          << hex(data, static_cast<size_t>(size)) << "\n";
      return true;
    });
  }
  zvdb_close_all();
  return out.str();
}

MotionRecord VideoTest::motion(int channel) {
  MotionRecord record{};
  read_motion(kZvdbPath, &record, channel);
  zvdb_close_all();
  return record;
}

void VideoTest::store_motion(const MotionRecord& record) {
  ASSERT_EQ(write_motion(kZvdbPath, &record), 0);
  zvdb_close_all();
}

Schedule VideoTest::plan(int (*read)(const char*, Schedule*, int), int channel) {
  Schedule schedule{};
  read(kZvdbPath, &schedule, channel);
  zvdb_close_all();
  return schedule;
}

OsdRecord VideoTest::osd(int channel) {
  OsdRecord record{};
  read_osd(kZvdbPath, &record, channel);
  zvdb_close_all();
  return record;
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

std::string schedule_input(const std::map<std::pair<int, int>, std::string>& fill) {
  std::string out = "[";
  for (int d = 0; d < 8; ++d) {
    out += d ? ",[" : "[";
    for (int r = 0; r < 12; ++r) {
      if (r) out += ",";
      auto it = fill.find({d, r});
      out += it != fill.end() ? it->second : "[\"\",\"\",0]";
    }
    out += "]";
  }
  return out + "]";
}

}  // namespace zvtest
