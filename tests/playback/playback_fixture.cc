#include "tests/playback/playback_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/zvdb/zvdb.h"

namespace zvtest {

namespace {
std::map<std::string, std::string> browser_env(const std::string& timing) {
  return {{"HTTP_COOKIE", "language=en-US; userName=admin; sessionId=42"},
          {"REMOTE_ADDR", "192.0.2.7"},
          {"TZ", "UTC"},
          {"ZV_CORE_TIMING", timing}};
}
}  // namespace

void PlaybackTest::SetUp() {
  setenv("TZ", "UTC", 1);
  tzset();
  reset_device_state();
  ASSERT_EQ(zvdb_init_defaults(kZvdbPath), 0);
  zvdb_close_all();
  core_ = std::make_unique<FakeCore>();
  ASSERT_TRUE(core_->listening());
}

void PlaybackTest::TearDown() {
  core_.reset();
  zvdb_close_all();
}

RunResult PlaybackTest::post(const std::string& id, const std::string& body) {
  auto env = browser_env(timing_);
  env["REQUEST_METHOD"] = "POST";
  env["PATH_INFO"] = id;
  env["QUERY_STRING"] = "";
  env["CONTENT_TYPE"] = "application/json";
  env["CONTENT_LENGTH"] = std::to_string(body.size());
  return cgi_run(ZV_WEBREQ_PLAYBACK_PATH, env, body);
}

RunResult PlaybackTest::get(const std::string& id, const std::string& query) {
  auto env = browser_env(timing_);
  env["REQUEST_METHOD"] = "GET";
  env["PATH_INFO"] = id;
  env["QUERY_STRING"] = query;
  return cgi_run(ZV_WEBREQ_PLAYBACK_PATH, env);
}

std::vector<ReceivedMessage> PlaybackTest::messages(size_t count) {
  if (count > 0) {
    for (int i = 0; i < 300 && core_->received().size() < count; ++i) usleep(10000);
  } else {
    usleep(50000);  // a message that should not come has had time to arrive
  }
  return core_->received();
}

std::vector<int32_t> PlaybackTest::ids(size_t count) {
  std::vector<int32_t> out;
  for (const ReceivedMessage& m : messages(count)) out.push_back(m.id);
  return out;
}

}  // namespace zvtest
