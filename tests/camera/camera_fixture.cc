#include "tests/camera/camera_fixture.h"

#include <sstream>

#include "platform/zvdb/engine.h"
#include "platform/zvfs/zvfs.h"

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

}  // namespace

void CameraTest::SetUp() {
  reset_device_state();
  ASSERT_EQ(zvdb_init_defaults(kZvdbPath), 0);
  zvdb_close_all();
  core_ = std::make_unique<FakeCore>();
  ASSERT_TRUE(core_->listening());
}

void CameraTest::TearDown() {
  core_.reset();
  zvdb_close_all();
}

RunResult CameraTest::post(const std::string& id, const std::string& body) {
  std::map<std::string, std::string> env = {
      {"HTTP_COOKIE", "language=en-US; userName=admin; sessionId=42"},
      {"REMOTE_ADDR", "192.0.2.7"},
      {"ZV_CORE_TIMING", timing_},
      {"REQUEST_METHOD", "POST"},
      {"PATH_INFO", id},
      {"QUERY_STRING", ""},
      {"CONTENT_TYPE", "application/json"},
      {"CONTENT_LENGTH", std::to_string(body.size())},
  };
  RunResult r = cgi_run(ZV_WEBREQ_CAMERA_PATH, env, body);
  zvdb_close_all();
  return r;
}

std::string CameraTest::dump() {
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

CameraRecord CameraTest::camera(int channel) {
  CameraRecord record{};
  record.id = -1;
  read_camera(kZvdbPath, &record, channel);
  zvdb_close_all();
  return record;
}

void CameraTest::store_camera(const CameraRecord& record) {
  ASSERT_EQ(write_camera(kZvdbPath, &record), 0);
  zvdb_close_all();
}

OsdRecord CameraTest::osd(int channel) {
  OsdRecord record{};
  read_osd(kZvdbPath, &record, channel);
  zvdb_close_all();
  return record;
}

void CameraTest::set_param(const char* key, const char* value) {
  ASSERT_EQ(set_param_value(kZvdbPath, key, value), 0);
  zvdb_close_all();
}

void CameraTest::expect_refused(const std::string& id, const std::string& body, const std::string& reply) {
  SCOPED_TRACE(id + " " + body);
  const std::string before = dump();
  core_->clear_received();
  EXPECT_EQ(post(id, body).out, reply);
  EXPECT_EQ(dump(), before);
  EXPECT_TRUE(core_->received().empty()) << "first message: " << core_->received().front().id;
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

LoggedChange logged_change(const Bytes& payload) {
  LoggedChange change;
  change.record = record_from<OpLogRecord>(payload);
  change.detail_length = zvfs_log_unpack_detail(&change.record, &change.detail_kind, &change.detail,
                                                sizeof change.detail);
  return change;
}

}  // namespace zvtest
