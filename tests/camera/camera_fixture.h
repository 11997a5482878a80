// Shared fixture of the camera tests: a fresh sandboxed device with the factory database, a fake
// core, the camera request program, and a byte-exact dump of the whole database to prove that a
// refused request changed nothing.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "handlers/camera/camera_messages.h"
#include "common/oplog.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvfs/log_record.h"
#include "tests/fake_core/fake_core.h"
#include "tests/support/harness.h"

namespace zvtest {

inline const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
inline const std::string kJsonHeader = "Content-type: application/json\r\n\r\n";
inline const std::string kOk = kTextHeader + "OK";
inline const std::string kCgiErrorText = kTextHeader + "CGI ERROR";
inline const std::string kCgiErrorJson = kJsonHeader + "{status:\"CGI ERROR\"}";

class CameraTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The camera request program with a JSON body, as the admin's browser at 192.0.2.7.
  RunResult post(const std::string& id, const std::string& body);

  // Every settings row and record of the database, one line each, in a stable order.
  std::string dump();

  // Direct database access (connections closed afterwards so webreq sees a quiet file).
  CameraRecord camera(int channel);
  void store_camera(const CameraRecord& record);
  OsdRecord osd(int channel);
  void set_param(const char* key, const char* value);

  // A refused request: the reply is `reply`, the database is unchanged and the core got nothing.
  void expect_refused(const std::string& id, const std::string& body, const std::string& reply);

  std::unique_ptr<FakeCore> core_;
  std::string timing_ = "attempts=3,pause_us=1000,poll_us=200";
};

// The first received message of `id` (fails the test when none arrived).
ReceivedMessage only_message(FakeCore& core, int32_t id);
// Ids of every received message, in arrival order.
std::vector<int32_t> received_ids(const FakeCore& core);

// The operation-log record of a 3485 message and its camera detail block (zero when absent).
struct LoggedChange {
  OpLogRecord record{};
  int32_t detail_kind = 0;
  int detail_length = -1;
  CameraLogDetail detail{};
};
LoggedChange logged_change(const Bytes& payload);

template <size_t N>
std::string text_of(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

template <class T>
T record_from(const Bytes& payload) {
  T record{};
  EXPECT_EQ(payload.size(), sizeof(T));
  std::memcpy(&record, payload.data(), std::min(payload.size(), sizeof(T)));
  return record;
}

}  // namespace zvtest
