#include "tests/system/system_fixture.h"

#include <cstring>

namespace zvtest {

namespace {
// Short send retries and waits: a silent core costs milliseconds, not 40 s.
const char* const kTiming = "attempts=3,pause_us=1000,poll_us=200";
}  // namespace

void SystemRequestTest::SetUp() {
  reset_device_state();
  ASSERT_EQ(zvdb_init_defaults(kZvdbPath), 0);
  zvdb_close_all();
  core_ = std::make_unique<FakeCore>();
  ASSERT_TRUE(core_->listening());
}

void SystemRequestTest::TearDown() {
  core_.reset();
  zvdb_close_all();
}

RunResult SystemRequestTest::post(const std::string& id, const std::string& body,
                                  std::map<std::string, std::string> extra) {
  extra.emplace("HTTP_COOKIE", "language=en-US; userName=admin; sessionId=42");
  extra.emplace("ZV_CORE_TIMING", kTiming);
  RunResult r = cgi_post(id, "application/json", body, extra);
  zvdb_close_all();
  return r;
}

RunResult SystemRequestTest::get(const std::string& id, const std::string& query,
                                 std::map<std::string, std::string> extra) {
  extra.emplace("HTTP_COOKIE", "language=en-US; userName=admin; sessionId=42");
  extra.emplace("ZV_CORE_TIMING", kTiming);
  RunResult r = cgi_get(id, query, extra);
  zvdb_close_all();
  return r;
}

void SystemRequestTest::store_user(int id, const std::string& name, const std::string& digest,
                                   int type) {
  UserRecord user{};
  user.id = id;
  user.enable = 1;
  strncpy(user.name, name.c_str(), sizeof user.name - 1);
  strncpy(user.password, digest.c_str(), sizeof user.password - 1);
  user.type = type;
  user.permission = 3;
  user.remote_permission = 5;
  ASSERT_EQ(write_user(kZvdbPath, &user), 0);
  zvdb_close_all();
}

UserRecord SystemRequestTest::stored_user(int id) {
  UserRecord user{};
  user.id = -1;
  read_user(kZvdbPath, &user, id);
  zvdb_close_all();
  return user;
}

}  // namespace zvtest
