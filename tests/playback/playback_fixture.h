// Request-level tests of the playback module: webreq-playback (the real front end with this
// module) in the sandbox, a fake core, the factory database, local time in UTC.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/zvfs/log_record.h"
#include "tests/fake_core/fake_core.h"
#include "tests/support/harness.h"

namespace zvtest {

inline const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
inline const std::string kJsonHeader = "Content-type: application/json\r\n\r\n";
inline const std::string kOk = kTextHeader + "OK";
inline const std::string kJsonError = kJsonHeader + "{status:\"CGI ERROR\"}";
// Short send retries and waits (and download idle limit: 1500 polls): a silent core costs
// milliseconds.
inline const char* const kFastTiming = "attempts=3,pause_us=1000,poll_us=400";

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  RunResult post(const std::string& id, const std::string& body);
  RunResult get(const std::string& id, const std::string& query = "");

  // The messages received once at least `count` have arrived (notices land after the reply).
  std::vector<ReceivedMessage> messages(size_t count);
  std::vector<int32_t> ids(size_t count);

  std::unique_ptr<FakeCore> core_;
  std::string timing_ = kFastTiming;
};

template <class T>
T record_from(const Bytes& payload) {
  T record{};
  EXPECT_EQ(payload.size(), sizeof(T));
  std::memcpy(&record, payload.data(), std::min(payload.size(), sizeof(T)));
  return record;
}

template <class T>
Bytes bytes_of_record(const T& record) {
  return bytes_of(record);
}

template <size_t N>
void put_text(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

}  // namespace zvtest
