#include <json-c/json.h>
#include <sys/stat.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/system/system_fixture.h"

namespace zvtest {
namespace {

std::string login_body(const std::string& name, const std::string& digest) {
  return R"({"userName":")" + name + R"(","md5":")" + digest + R"("})";
}

std::string member(const std::string& json_text, const char* key) {
  json_object* o = json_tokener_parse(json_text.c_str());
  json_object* v = nullptr;
  std::string result = "<absent>";
  if (o != nullptr && json_object_object_get_ex(o, key, &v)) result = json_object_get_string(v);
  json_object_put(o);
  return result;
}

using LoginTest = SystemRequestTest;

TEST_F(LoginTest, RefusedLoginsAnswerOnlyTheType) {
  store_user(5, "viewer", "0123456789abcdef0123456789abcdef", 3);
  store_user(6, "blank", "", 1);
  struct Case {
    const char* what;
    std::string body;
    const char* reply;
  } cases[] = {
      {"wrong digest", login_body("admin", "00000000000000000000000000000000"), "{ \"type\": -1 }"},
      {"unknown user, empty digest", login_body("nobody", ""), "{ \"type\": -1 }"},
      {"empty digest for a stored one", login_body("admin", ""), "{ \"type\": -1 }"},
      {"shorter digest", login_body("admin", "21232f29"), "{ \"type\": -1 }"},
      {"stored empty digest never matches", login_body("blank", ""), "{ \"type\": -1 }"},
      {"type 3 with the right digest", login_body("viewer", "0123456789abcdef0123456789abcdef"),
       "{ \"type\": -2 }"},
      {"type 3 with a wrong digest", login_body("viewer", "ffff"), "{ \"type\": -2 }"},
      {"missing members", "{}", "{ \"type\": -1 }"},
  };
  for (const auto& c : cases) {
    RunResult r = post("/1000", c.body);
    EXPECT_EQ(r.out, kTextHeader + c.reply) << c.what;
    EXPECT_EQ(r.exit_code, 0) << c.what;
  }
  EXPECT_TRUE(core_->received(3485).empty()) << "a refused login is never logged";
}

TEST_F(LoginTest, InvalidJsonWritesNothing) {
  for (const char* body : {"", "{", "userName=admin&md5=x", "[1,2"}) {
    RunResult r = post("/1000", body);
    EXPECT_EQ(r.out, "") << body;
  }
}

TEST_F(LoginTest, AdministratorGetsRightsDeviceFactsAndALogRecord) {
  set_param_int(kZvdbPath, "failover_mode", 3);
  set_param_int(kZvdbPath, "same_channel_exist", 2);
  set_param_value(kZvdbPath, "model", "NVR-64");
  set_param_value(kZvdbPath, "hardware_version", "V2.0-with-a-very-long-hardware-version-text");
  zvdb_close_all();

  // The digest compare ignores letter case.
  RunResult r = post("/1000", login_body("admin", "21232F297A57A5A743894A0E4A801FC3"),
                     {{"REMOTE_ADDR", "192.0.2.7"}});
  ASSERT_EQ(r.out.compare(0, kTextHeader.size(), kTextHeader), 0) << r.out;
  const std::string body = body_of(r.out);
  EXPECT_EQ(member(body, "type"), "0");
  EXPECT_EQ(member(body, "userName"), "admin");
  EXPECT_EQ(member(body, "permission"), "-1");
  EXPECT_EQ(member(body, "remotePermisson"), "-1");
  EXPECT_EQ(member(body, "localShutdown"), "1");
  EXPECT_EQ(member(body, "localliveview"), std::string(64, '1'));
  EXPECT_EQ(member(body, "failoverMode"), "3");
  EXPECT_EQ(member(body, "sameChannel"), "1");
  EXPECT_EQ(member(body, "model"), "NVR-64");
  EXPECT_EQ(member(body, "hardwareVersion"), "V2.0-with-a-very-long-hardware-");  // 31 characters
  EXPECT_EQ(member(body, "softwareVersion"), "7x.7.0.9");
  const std::string session = member(body, "sessionId");
  EXPECT_EQ(session.size(), 32u);
  EXPECT_EQ(session.find_first_not_of("0123456789"), std::string::npos);

  ASSERT_TRUE(core_->wait_for(3485, 1));
  auto logs = core_->received(3485);
  ASSERT_EQ(logs.size(), 1u);
  const Bytes& p = logs[0].payload;
  ASSERT_EQ(p.size(), 672u);
  EXPECT_EQ(logs[0].client, 3);
  EXPECT_EQ(int32_at(p, 0), 4);
  EXPECT_EQ(int32_at(p, 8), 201);
  EXPECT_EQ(int32_at(p, 12), 0);
  EXPECT_EQ(int32_at(p, 24), 900);
  EXPECT_EQ(int32_at(p, 28), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[36])), "192.0.2.7");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[82])), "admin");

  struct stat st{};
  EXPECT_EQ(stat("/mnt/nand/ssl/tmp", &st), 0) << "login prepares the certificate directories";
}

TEST_F(LoginTest, TwoLoginsInTheSameSecondShareTheSessionNumber) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    time_t before = time(nullptr);
    std::string a = member(body_of(post("/1000", login_body("admin", kAdminDigest)).out), "sessionId");
    std::string b = member(body_of(post("/1000", login_body("admin", kAdminDigest)).out), "sessionId");
    if (time(nullptr) != before) continue;  // straddled a second boundary; try again
    EXPECT_EQ(a, b);
    return;
  }
  GTEST_SKIP() << "could not fit two logins into one second";
}

TEST_F(LoginTest, LogoutNoticeIsLoggedWithTheCookieUser) {
  RunResult r = get("/1014");
  EXPECT_EQ(r.out, kTextHeader + "OK");
  ASSERT_TRUE(core_->wait_for(3485, 1));
  const Bytes p = core_->received(3485)[0].payload;
  EXPECT_EQ(int32_at(p, 8), 202);
  EXPECT_EQ(int32_at(p, 24), 900);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[82])), "admin");
}

TEST_F(LoginTest, RedirectLoginFollowsTheCoresDecision) {
  core_->reply(3504, int32s({0}));
  RunResult r = get("/1018", "user=abc", {{"HTTP_HOST", "nvr.example:8080"}});
  const std::vector<std::string> cookies = {"userName=temp", "userType=2", "permission=0",
                                            "sessionId=0", "language=en-US"};
  size_t at = 0;
  for (const auto& cookie : cookies) {
    std::string prefix = "Set-Cookie: " + cookie + "; domain=nvr.example; expires=";
    size_t found = r.out.find(prefix, at);
    ASSERT_NE(found, std::string::npos) << cookie << " in\n" << r.out;
    size_t line_end = r.out.find("\r\n", found);
    EXPECT_EQ(r.out.substr(line_end - 8, 10), "; path=/\r\n") << r.out;
    at = line_end;
  }
  EXPECT_EQ(r.out.substr(at), "\r\nLocation: ../../html/index.html\r\n\r\n");

  auto sent = core_->received(3504);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].payload, text_field("user=abc", 256));

  core_->reply(3504, int32s({7}));
  r = get("/1018", "");
  EXPECT_EQ(r.out, "Location: ../../html/home.html\r\n\r\n");
}

TEST_F(LoginTest, RedirectCookieDomainIsCleanedOfHeaderBreakingBytes) {
  core_->reply(3504, int32s({0}));
  struct Case {
    const char* host;
    const char* domain;
  } cases[] = {
      {"[2001:db8::1]:8080", "[2001:db8::1]"},
      {"evil.example;path=/x\r\nX-Injected: 1", "evil.examplepath=/xX-Injected"},
      {"a,b.example:80", "ab.example"},
      {"nvr .exam\x1fple\x7f", "nvr .example"},  // a space is kept; 0x1f and 0x7f are not
      {"", ""},
      {"0123456789012345678901234567890123456789012345678901234567890", "0123456789012345678901234567890123456789012345678"},
  };
  for (const auto& c : cases) {
    RunResult r = get("/1018", "", {{"HTTP_HOST", c.host}});
    EXPECT_NE(r.out.find(std::string("; domain=") + c.domain + "; expires="), std::string::npos)
        << c.host << "\n" << r.out;
    EXPECT_EQ(r.out.find("X-Injected:"), std::string::npos);
  }
}

TEST_F(LoginTest, RedirectLoginWithoutAnAnswerIsACgiError) {
  RunResult r = get("/1018", "x");
  EXPECT_EQ(r.out, kTextHeader + "CGI ERROR");
  // The argument is cut to 255 characters in the 256-byte payload.
  r = get("/1018", std::string(300, 'q'));
  auto sent = core_->received(3504);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].payload, text_field(std::string(255, 'q'), 256));
}

TEST_F(LoginTest, JsonThatIsNotAnObjectIsAnsweredLikeAnEmptyObject) {
  for (const char* body : {"[1,2]", "7", "\"admin\""}) {
    EXPECT_EQ(post("/1000", body).out, kTextHeader + "{ \"type\": -1 }") << body;
  }
  EXPECT_TRUE(core_->received(3485).empty());
}

TEST_F(LoginTest, LoginAndLogoutSendExactLogRecords) {
  // The login logs the typed name (cut to 63 characters), the logout the cookie's user.
  store_user(2, std::string(63, 'm'), kAdminDigest, 1);
  const std::string reply = post("/1000", login_body(std::string(63, 'm'), kAdminDigest)).out;
  EXPECT_EQ(member(body_of(reply), "type"), "1");
  EXPECT_EQ(get("/1014").out, kOk);
  ASSERT_TRUE(core_->wait_for(3485, 2));
  const auto logs = core_->received(3485);
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(logs[0].payload, bytes_of(expected_log(201, 900, std::string(63, 'm').c_str())));
  EXPECT_EQ(logs[1].payload, bytes_of(expected_log(202, 900)));
}

TEST_F(LoginTest, RedirectLoginReplyShorterThanTheDecisionIsACgiError) {
  core_->reply(3504, Bytes{1, 0});
  EXPECT_EQ(get("/1018", "u").out, kCgiErrorText);
}

}  // namespace
}  // namespace zvtest
