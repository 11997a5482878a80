// Shared fixture of the video tests: a fresh sandboxed device with the factory database, a fake
// core, the video request program, and a byte-exact dump of the whole database to prove that a
// refused request changed nothing.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tests/fake_core/fake_core.h"
#include "tests/support/harness.h"

namespace zvtest {

inline const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
inline const std::string kJsonHeader = "Content-type: application/json\r\n\r\n";
inline const std::string kOk = kTextHeader + "OK";
inline const std::string kCgiErrorText = kTextHeader + "CGI ERROR";
inline const std::string kCgiErrorJson = kJsonHeader + "{status:\"CGI ERROR\"}";
// Short send retries and waits: a silent core costs milliseconds, not 40 s.
inline const char* const kFastTiming = "attempts=3,pause_us=1000,poll_us=200";

class VideoTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The video request program with a JSON body / a GET query, as the admin's browser.
  RunResult post(const std::string& id, const std::string& body);
  RunResult get(const std::string& id, const std::string& query = "");

  // Every settings row and record of the database, one line each, in a stable order.
  std::string dump();

  // Direct database access (connections closed afterwards so webreq sees a quiet file).
  MotionRecord motion(int channel);
  void store_motion(const MotionRecord& record);
  Schedule plan(int (*read)(const char*, Schedule*, int), int channel);
  OsdRecord osd(int channel);

  std::unique_ptr<FakeCore> core_;
  std::string timing_ = kFastTiming;  // ZV_CORE_TIMING of the request program
};

// The first received message of `id` (fails the test when none arrived).
ReceivedMessage only_message(FakeCore& core, int32_t id);
// Ids of every received message, in arrival order.
std::vector<int32_t> received_ids(const FakeCore& core);

// A schedule in the input form: 8 days of 12 ranges; range (day, slot) given by `fill` or empty.
std::string schedule_input(const std::map<std::pair<int, int>, std::string>& fill = {});

// Text of a fixed record field up to its NUL.
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
