// The administration pages end to end, as a user drives them through the demo stack: the
// operation log shows a change and exports as CSV that Python's csv module reads; a configuration
// export, once imported, brings every old setting back; an OEM package made with the project's
// tool installs and lists its users.
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "platform/zvdb/admin_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tests/admin/admin_fixture.h"
#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

std::string day_text(char separator, const char* clock) {
  const time_t now = time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02d%c%s", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, separator, clock);
  return text;
}

std::string log_query(char separator) {
  return R"({"language":"en","mainType":4,"subTypeArr":[10],"startTime":")" + day_text(separator, "00:00:00") +
         R"(","endTime":")" + day_text(separator, "23:59:59") + R"(","curPageNum":1})";
}

TEST(AdminEndToEnd, ChangeShowsInTheLogAndTheCsvExportParses) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  EXPECT_NE(stack.post_json("/1000", R"({"userName":"admin","md5":"21232f297a57a5a743894a0e4a801fc3"})").body.find("sessionId"),
            std::string::npos);
  const std::string cookie = "userName=admin";
  EXPECT_EQ(stack.post_json("/6071",
                            R"({"name":"night,shift","password":"0123456789abcdef0123456789abcdef","type":2,)"
                            R"("permission":0,"remotePermission":0})",
                            {"-b", cookie})
                .body,
            "id=1");
  stack.messages(1);
  const HttpReply page = stack.post_json("/1002", log_query(' '), {"-b", cookie});
  json_object* reply = json_tokener_parse(page.body.c_str());
  ASSERT_NE(reply, nullptr) << page.body;
  json_object* log = nullptr;
  ASSERT_TRUE(json_object_object_get_ex(reply, "log", &log));
  bool found = false;
  for (size_t i = 0; i < json_object_array_length(log); ++i) {
    json_object* sub = nullptr;
    json_object_object_get_ex(json_object_array_get_idx(log, i), "subTypeValue", &sub);
    found = found || json_object_get_int(sub) == 204;
  }
  json_object_put(reply);
  EXPECT_TRUE(found) << page.body;

  const HttpReply csv = stack.post_json("/1003", log_query('T'), {"-b", cookie, "-o", "/tmp/log.csv"});
  EXPECT_NE(csv.headers.find("filename= Operation_log_"), std::string::npos) << csv.headers;
  RunOptions python;
  python.args = {"-c",
                 "import csv,sys\n"
                 "rows=list(csv.reader(open('/tmp/log.csv',newline='')))\n"
                 "assert rows[0]==['Number','Time','Main','Sub','Parameter','User','Ip','Channel','Log information',''],rows[0]\n"
                 "assert len(rows)>=2 and all(len(r)==10 for r in rows),rows\n"
                 "assert any(r[3]=='Configure parameters' and r[4]=='User added' for r in rows[1:]),rows\n"
                 "print(len(rows)-1)\n"};
  const RunResult parsed = run_program("/usr/bin/python3", python);
  EXPECT_EQ(parsed.exit_code, 0) << parsed.err << read_file("/tmp/log.csv");
}

TEST(AdminEndToEnd, ConfigurationImportBringsEverySettingBack) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  EXPECT_EQ(stack.post_json("/1017", R"({"logRetention":6,"photoRetention":2})").body, "OK");
  EXPECT_EQ(stack.get("/vb.htm?decode=3").body, "OK");
  const std::string exported = stack.get("/1007").body;
  ASSERT_EQ(exported.rfind("OK filename=zvconfig_", 0), 0u) << exported;
  const HttpReply download = stack.get("/1013", {"-o", "/tmp/saved.db"});
  EXPECT_NE(download.headers.find("attachment; filename= zvconfig_"), std::string::npos);

  EXPECT_EQ(stack.post_json("/1017", R"({"logRetention":-1,"photoRetention":12})").body, "OK");
  EXPECT_EQ(stack.get("/vb.htm?decode=9").body, "OK");
  EXPECT_EQ(stack.get("/1016").body, R"({ "logRetention": -1, "photoRetention": 12 })");
  EXPECT_EQ(stack.get("/1008", {"-F", "file=@/tmp/saved.db"}).body, "OK");
  EXPECT_EQ(stack.get("/1016").body, R"({ "logRetention": 6, "photoRetention": 2 })");
  EXPECT_EQ(get_param_int(kZvdbPath, "decode", -1), 3);
  zvdb_close_all();
}

TEST(AdminEndToEnd, OemPackageInstallsAndListsItsUsers) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  mkdir("/tmp/brand", 0755);
  write_file("/tmp/brand/logo.jpg", "brand logo");
  OemUserRecord user{};
  user.enable = 1;
  snprintf(user.name, sizeof user.name, "installer");
  snprintf(user.password, sizeof user.password, "0123456789abcdef0123456789abcdef");
  user.permission = -1;
  ASSERT_EQ(kOemUsers.write("/tmp/brand/oem.db", &user), 0);
  zvdb_close_all();
  ASSERT_TRUE(make_oem_package("/tmp/brand", "resellerkey", "/tmp/brand.pkg"));
  EXPECT_EQ(stack.get("/oem?aes=wrongkey", {"-F", "file=@/tmp/brand.pkg"}).body, "ERROR");
  EXPECT_EQ(read_file("/mnt/nand2/logo.jpg"), "");
  EXPECT_EQ(stack.get("/oem?aes=resellerkey", {"-F", "file=@/tmp/brand.pkg"}).body, "OK");
  EXPECT_EQ(read_file("/mnt/nand2/logo.jpg"), "brand logo");
  EXPECT_EQ(stack.get("/6074").body,
            R"([ { "id": 0, "enable": 1, "name": "installer", "password": "0123456789abcdef0123456789abcdef", )"
            R"("type": 0, "permission": -1, "remotePermission": 0 } ])");
}

}  // namespace
}  // namespace zvtest
