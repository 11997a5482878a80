// Base fixture of the request-level tests: a fresh sandboxed device with the factory database, a
// fake core on the device's socket, webreq (the program the web server runs) called as the
// admin's browser, and a byte-exact dump of the whole database to prove that a refused request
// changed nothing. The module fixtures (video, camera, playback, system) derive from it and add
// their own database helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/zvdb/zvdb.h"
#include "tests/fake_core/fake_core.h"
#include "tests/support/harness.h"

namespace zvtest {

// The replies webreq writes: header blocks, the plain "OK" and the two error forms.
inline const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
inline const std::string kJsonHeader = "Content-type: application/json\r\n\r\n";
inline const std::string kOk = kTextHeader + "OK";
inline const std::string kCgiErrorText = kTextHeader + "CGI ERROR";
inline const std::string kCgiErrorJson = kJsonHeader + "{status:\"CGI ERROR\"}";
// Short send retries and waits: a silent core costs milliseconds, not 40 s.
inline const char* const kFastTiming = "attempts=3,pause_us=1000,poll_us=200";
// Waits long enough for the core simulator, which answers from another process.
inline const char* const kSimulatorTiming = "attempts=200,pause_us=10000,poll_us=10000";

class RequestTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // webreq with a JSON body / a GET query, as the admin's browser at 192.0.2.7 (session cookie,
  // ZV_CORE_TIMING from timing_). `extra` adds or overrides CGI variables for this request only.
  // Every request must end with status 0 and without a sanitizer report.
  RunResult post(const std::string& id, const std::string& body,
                 const std::map<std::string, std::string>& extra = {});
  RunResult get(const std::string& id, const std::string& query = "",
                const std::map<std::string, std::string>& extra = {});

  // Waits until the fake core has received everything the last request sent.
  void settle();
  // The one operation-log record of the last request (after settle()): {sub type, param type,
  // channel}; fails the test unless exactly one arrived.
  std::vector<int32_t> log_record();

  // Every settings row and record of the database, one line each, in a stable order.
  std::string dump();

  // A refused request: the reply is `reply`, the database is unchanged and the core got nothing.
  void expect_refused(const std::string& id, const std::string& body, const std::string& reply = "");
  // `body` (accepted as it is) with each of `keys` left out in turn is refused with `reply`.
  void expect_required(const std::string& id, const std::string& body, std::initializer_list<const char*> keys,
                       const std::string& reply = "");

  // One ranged member per case, in a request that is accepted otherwise: the first invalid value
  // on each side (null: no bound there) is refused with `refusal`, nothing stored or sent; the
  // lowest and highest valid values (null: not tried) are answered "OK".
  struct RangeCase {
    const char* id;
    std::string body;
    const char* key;
    const char* below;
    const char* lowest;
    const char* highest;
    const char* above;
    std::string refusal;
  };
  void expect_ranges(std::span<const RangeCase> cases);

  // Replaces the fake core by the core simulator (zvcore-sim writing kSimulatorLog) and gives the
  // requests the simulator's longer waits. The simulator is stopped in TearDown.
  void start_simulator();
  // Message ids in the simulator's log, in arrival order.
  std::vector<int32_t> logged_ids() const;
  static constexpr const char* kSimulatorLog = "/tmp/core-messages.log";

  std::unique_ptr<FakeCore> core_;
  std::unique_ptr<BackgroundProcess> sim_;
  std::string timing_ = kFastTiming;            // ZV_CORE_TIMING of every request
  std::map<std::string, std::string> cgi_env_;  // further CGI variables of every request
  unsigned leak_check_every_ = 8;               // see browser_env; 0: first request of an id only

 private:
  // The admin's browser variables, then cgi_env_, then `extra`.
  std::map<std::string, std::string> browser_env(const std::string& id,
                                                 const std::map<std::string, std::string>& extra);
};

// `body` with member `key` set to the JSON value `value`; `body` without member `key`.
std::string with_member(const std::string& body, const char* key, const std::string& value);
std::string without_member(const std::string& body, const char* key);

// The first received message of `id` (fails the test when none arrived).
ReceivedMessage only_message(FakeCore& core, int32_t id);
// Ids of every received message, in arrival order.
std::vector<int32_t> received_ids(const FakeCore& core);

// The body and CGI variables of a multipart upload of `content` as the form field "file".
struct Upload {
  std::string body;
  std::map<std::string, std::string> env;
};
Upload multipart_upload(const std::string& file_name, const std::string& content, const std::string& query = "");

// Makes a directory read-only while the object lives (a read-only bind mount over itself, in the
// sandbox's own mount namespace), so that a test can make one step of a request fail midway.
// active() is false where the sandbox may not mount; such a test skips.
class ReadOnlyDir {
 public:
  explicit ReadOnlyDir(const char* dir);
  ~ReadOnlyDir();
  ReadOnlyDir(const ReadOnlyDir&) = delete;
  ReadOnlyDir& operator=(const ReadOnlyDir&) = delete;
  bool active() const { return active_; }

 private:
  std::string dir_;
  bool active_ = false;
};

// Enabled camera rows for `channels` in the configuration database (the core simulator's cameras:
// a camera-side set of any other channel reaches no camera).
void enable_cameras(std::initializer_list<int> channels);

// Text of a fixed record field up to its NUL.
template <size_t N>
std::string text_of(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// A record of a received payload (the size must match the record exactly).
template <class T>
T record_from(const Bytes& payload) {
  T record{};
  EXPECT_EQ(payload.size(), sizeof(T));
  std::memcpy(&record, payload.data(), std::min(payload.size(), sizeof(T)));
  return record;
}

}  // namespace zvtest
