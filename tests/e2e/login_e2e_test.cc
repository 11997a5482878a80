// Login and user management through the whole stack, as the web pages drive it: lighttpd runs
// webreq as CGI, the core simulator logs what the back end told it.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <string>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

constexpr const char* kAdminDigest = "21232f297a57a5a743894a0e4a801fc3";  // "admin"
constexpr const char* kOperatorDigest = "4b583376b2767b923c3e1da60d10de59";  // "operator"

std::vector<std::string> keys_of(const std::string& json_text) {
  std::vector<std::string> keys;
  json_object* o = json_tokener_parse(json_text.c_str());
  if (o == nullptr) return keys;
  json_object_object_foreach(o, key, value) {
    (void)value;
    keys.emplace_back(key);
  }
  json_object_put(o);
  return keys;
}

int int_member(const std::string& json_text, const char* key) {
  json_object* o = json_tokener_parse(json_text.c_str());
  json_object* v = nullptr;
  int result = -9999;
  if (o != nullptr && json_object_object_get_ex(o, key, &v)) result = json_object_get_int(v);
  json_object_put(o);
  return result;
}

std::vector<CoreMessage> with_id(const std::vector<CoreMessage>& all, int32_t id) {
  std::vector<CoreMessage> out;
  for (const auto& m : all) {
    if (m.id == id) out.push_back(m);
  }
  return out;
}

std::string login_body(const std::string& name, const std::string& digest) {
  return R"({"userName":")" + name + R"(","md5":")" + digest + R"("})";
}

TEST(EndToEndLogin, AdministratorLogsInWithEveryKeyAndIsLogged) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  HttpReply r = stack.post_json("/1000", login_body("admin", kAdminDigest));
  EXPECT_NE(r.headers.find("Content-type: text/plain"), std::string::npos) << r.headers;
  const std::vector<std::string> expected = {
      "type", "userName", "permission", "localLiveView", "localPlayback", "localRetrieve",
      "localSmartAnalysis", "localEvent", "localCamera", "localStorage", "localSettings",
      "localStatus", "localShutdown", "localliveview", "localplayback", "remotePermisson",
      "remoteLiveView", "remotePlayback", "remoteRetrieve", "remoteSmartAnalysis", "remoteEvent",
      "remoteCamera", "remoteStorage", "remoteSettings", "remoteStatus", "remoteShutdown",
      "remoteliveview", "remoteplayback", "sessionId", "failoverMode", "sameChannel",
      "hardwareVersion", "softwareVersion", "model"};
  EXPECT_EQ(keys_of(r.body), expected) << r.body;
  EXPECT_EQ(int_member(r.body, "type"), 0);

  auto logs = with_id(stack.messages(1), 3485);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].client, 3);
  EXPECT_EQ(logs[0].payload.size(), 672u);
  EXPECT_EQ(le_i32(logs[0].payload, 0), 4);
  EXPECT_EQ(le_i64(logs[0].payload, 8), 201);
  EXPECT_EQ(le_i32(logs[0].payload, 24), 900);
  EXPECT_EQ(fixed_text(logs[0].payload, 82, 64), "admin");
  EXPECT_EQ(fixed_text(logs[0].payload, 36, 46), "127.0.0.1");
}

TEST(EndToEndLogin, WrongPasswordGivesTypeMinusOneAndNoLogRecord) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  HttpReply r = stack.post_json("/1000", login_body("admin", kOperatorDigest));
  EXPECT_EQ(r.body, "{ \"type\": -1 }");
  // A later logout notice proves the simulator has seen everything sent before it.
  stack.get("/1014");
  auto all = stack.messages(1);
  auto logs = with_id(all, 3485);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(le_i64(logs[0].payload, 8), 202);
}

TEST(EndToEndUsers, AddLoginListEditDelete) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::vector<std::string> as_admin = {"-H", "Cookie: language=en-US; userName=admin; sessionId=1"};
  const std::string add = std::string(R"({"name":"operator","password":")") + kOperatorDigest +
                          R"(","type":1,"permission":0,"remotePermission":0,)"
                          R"("localliveview":"1111","localplayback":"0","remoteliveview":"1",)"
                          R"("remoteplayback":"","localLiveView":1,"remoteLiveView":1})";
  EXPECT_EQ(stack.post_json("/6071", add, as_admin).body, "id=1");
  EXPECT_EQ(stack.post_json("/6071", add, as_admin).body, "SAMEUSER");

  HttpReply login = stack.post_json("/1000", login_body("operator", kOperatorDigest));
  EXPECT_EQ(int_member(login.body, "type"), 1) << login.body;
  EXPECT_EQ(int_member(login.body, "localLiveView"), 1);

  HttpReply list = stack.get("/6070");
  EXPECT_NE(list.headers.find("Content-type: application/json"), std::string::npos);
  json_object* users = json_tokener_parse(list.body.c_str());
  ASSERT_NE(users, nullptr) << list.body;
  EXPECT_EQ(json_object_array_length(users), 2u);
  json_object_put(users);

  EXPECT_EQ(stack.post_json("/6072", R"({"id":1,"name":"operator"})", as_admin).body, "OK");
  EXPECT_EQ(stack.post_json("/6072", R"({"id":1,"name":"admin"})", as_admin).body, "SAMEUSER");
  EXPECT_EQ(stack.post_json("/6073", R"({"id":1,"type":1})", as_admin).body, "OK");
  list = stack.get("/6070");
  users = json_tokener_parse(list.body.c_str());
  ASSERT_NE(users, nullptr);
  EXPECT_EQ(json_object_array_length(users), 1u);
  json_object_put(users);

  auto all = stack.messages(7);
  auto notices = with_id(all, 3505);
  ASSERT_EQ(notices.size(), 3u);  // add (no payload), edit and delete (the id)
  EXPECT_EQ(notices[0].payload, "");
  EXPECT_EQ(notices[1].payload, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(notices[2].payload, std::string("\x01\0\0\0", 4));
  auto logs = with_id(all, 3485);
  ASSERT_EQ(logs.size(), 3u);  // add, the operator's login, delete
  EXPECT_EQ(le_i64(logs[0].payload, 8), 204);
  EXPECT_EQ(le_i32(logs[0].payload, 24), 921);
  EXPECT_EQ(fixed_text(logs[0].payload, 82, 64), "admin");
  EXPECT_EQ(le_i64(logs[1].payload, 8), 201);
  EXPECT_EQ(fixed_text(logs[1].payload, 82, 64), "operator");
  EXPECT_EQ(le_i64(logs[2].payload, 8), 204);
  EXPECT_EQ(le_i32(logs[2].payload, 24), 922);
}

TEST(EndToEndLogin, RedirectLoginWhenTheCoreSaysZeroSetsFiveCookies) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  HttpReply r = stack.get("/1018?anything", {"-H", "Host: nvr.local:8080"});
  for (const char* cookie : {"userName=temp", "userType=2", "permission=0", "sessionId=0",
                             "language=en-US"}) {
    EXPECT_NE(r.headers.find(std::string("Set-Cookie: ") + cookie + "; domain=nvr.local; expires="),
              std::string::npos)
        << cookie << "\n" << r.headers;
  }
  EXPECT_NE(r.headers.find("Location: ../../html/index.html"), std::string::npos) << r.headers;
  auto redirects = with_id(stack.messages(1), 3504);
  ASSERT_EQ(redirects.size(), 1u);
  EXPECT_EQ(redirects[0].payload.size(), 256u);
  EXPECT_EQ(fixed_text(redirects[0].payload, 0, 256), "anything");
}

// The web server passes a GET query with JSON through unchanged ("%22" is the only decoding, and
// webreq does it).
TEST(EndToEndLogin, GetQueriesWithJsonReachTheHandlerUnchanged) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  struct Case {
    const char* query;
    const char* arrives;
  } cases[] = {
      {R"({"a":1,"b":[2]})", R"({"a":1,"b":[2]})"},
      {"{%22a%22:%7B}", R"({"a":%7B})"},
  };
  for (const Case& c : cases) {
    stack.get(std::string("/1018?") + c.query, {"-g"});
  }
  auto redirects = with_id(stack.messages(2), 3504);
  ASSERT_EQ(redirects.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(fixed_text(redirects[i].payload, 0, 256), cases[i].arrives) << cases[i].query;
  }
}

TEST(EndToEndLogin, RedirectLoginWhenTheCoreSaysNonZeroGoesHome) {
  DemoStack stack("3504 int32 1\n");
  ASSERT_TRUE(stack.ready());
  HttpReply r = stack.get("/1018");
  EXPECT_EQ(r.headers.find("Set-Cookie"), std::string::npos) << r.headers;
  EXPECT_NE(r.headers.find("Location: ../../html/home.html"), std::string::npos) << r.headers;
}

}  // namespace
}  // namespace zvtest
