// The command page, the language pages and the language list through the real front end, with
// the zvchip_update stand-in keeping the chip identity; hostile values run nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/messages/admin.h"
#include "tests/admin/admin_fixture.h"
#include "tests/system/system_fixture.h"

namespace zvtest {
namespace {

constexpr const char* kIdentityFile = "/mnt/nand/app/chip_identity";
const std::string kFactoryIdentity = "ZVNA10001H10E0000170S20261208170";

class CommandPageTest : public SystemRequestTest {
 protected:
  std::string identity() {
    return file_exists(kIdentityFile) ? read_file(kIdentityFile) : kFactoryIdentity;
  }
};

TEST_F(CommandPageTest, CommandsReplyInTurn) {
  EXPECT_EQ(get("/vb.htm", "softversion").out, kTextHeader + "7x.7.0.9");
  EXPECT_EQ(get("/vb.htm", "decode=2&hotplug=1").out, kOk + kOk);
  EXPECT_EQ(get_param_int(kZvdbPath, "decode", -1), 2);
  EXPECT_EQ(get_param_int(kZvdbPath, "hdmihotplug", -1), 1);
  zvdb_close_all();
  EXPECT_EQ(get("/vb.htm", "setdefault=1").out, "");
  EXPECT_EQ(get("/vb.htm", "setlang=5").out, kOk);
  EXPECT_EQ(only_message(*core_, kLanguageSet.id).payload, int32s({5}));
  EXPECT_EQ(get("/vb.htm", "paratest=chipinfo").out, kTextHeader + "OK chipinfo=" + kFactoryIdentity + "\r\n");
  EXPECT_EQ(get("/vb.htm", "paratest=other").out, kTextHeader + "Param ERROR");

  // An '=' from index 255 on is not counted: the request holds one command (a GET's argument
  // ends before that index, a POST's body does not).
  core_->clear_received();
  EXPECT_EQ(post("/vb.htm", "setlang=1&" + std::string(245, 'a') + "=1").out, kOk);
  EXPECT_EQ(only_message(*core_, kLanguageSet.id).payload, int32s({1}));

  // With no stored version, the build's own.
  delete_param(kZvdbPath, "software_version");
  zvdb_close_all();
  EXPECT_EQ(get("/vb.htm", "softversion").out, kTextHeader + "7x.7.0.9");
}

TEST_F(CommandPageTest, MalformedArgumentsAreRefused) {
  const std::string before = dump();
  struct Case {
    std::string argument;
    std::string reply;
  } cases[] = {
      {"decode", kTextHeader + "PARAM ERROR"},
      {"debug", kTextHeader + "ERROR"},
      {"unknown=1", kTextHeader + "ERROR"},
      {"decode=" + std::string(58, '1'), kTextHeader + "PARAM ERROR"},  // 65 characters
      {"decode=" + std::string(63, '1'), kTextHeader + "PARAM ERROR"},  // the 70 of the page
      {"", kTextHeader + "PARAM ERROR"},
  };
  for (const Case& c : cases) EXPECT_EQ(get("/vb.htm", c.argument).out, c.reply) << c.argument;
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(get("/vb.htm", "decode=" + std::string(57, '3')).out, kOk);  // 64 characters
}

TEST_F(CommandPageTest, ChipUpdateReplacesOneFieldOrAll) {
  struct Case {
    const char* value;
    std::string reply;
    std::string identity;
  } cases[] = {
      {"N123456", "OK chipupdate", "ZVN123456H10E0000170S20261208170"},
      {"HAB", "OK chipupdate", "ZVN123456AB0E0000170S20261208170"},
      {"E7654321", "OK chipupdate", "ZVN123456AB076543210S20261208170"},
      {"S99999999999", "OK chipupdate", "ZVN123456AB076543210999999999990"},
      {"ZVN" "0000000000000000000000000000A", "OK chipupdate", "ZVN0000000000000000000000000000A"},
      {"ZVNB", "NG chipupdate", "ZVN0000000000000000000000000000A"},
      {"N12", "NG chipupdate", "ZVN0000000000000000000000000000A"},
      {"X123456", "NG chipupdate", "ZVN0000000000000000000000000000A"},
      {"N1$(id)", "NG chipupdate", "ZVN0000000000000000000000000000A"},
      {"ZVN00000000000000000000000000000A", "NG chipupdate", "ZVN0000000000000000000000000000A"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(get("/vb.htm", std::string("chipupdate=") + c.value).out, kTextHeader + c.reply) << c.value;
    EXPECT_EQ(identity(), c.identity) << c.value;
  }
  // A value of 21 to 31 characters is padded with '0' to 32.
  EXPECT_EQ(get("/vb.htm", "chipupdate=ZVN" + std::string(18, '7')).out, kTextHeader + "OK chipupdate");
  EXPECT_EQ(identity(), "ZVN" + std::string(18, '7') + std::string(11, '0'));
}

TEST_F(CommandPageTest, ModelUpdatePadsToItsFieldLength) {
  struct Case {
    const char* value;
    std::string reply;
    std::string identity;
  } cases[] = {
      {"N12", "OK modelupdate", "ZVN120000H10E0000170S20261208170"},
      {"H9", "OK modelupdate", "ZVN120000H90E0000170S20261208170"},
      {"E1234567", "OK modelupdate", "ZVN120000H90E1234567S20261208170"},
      {"S", "OK modelupdate", "ZVN120000H90E1234567S00000000000"},
      {"E12345678", "NG modelupdate", "ZVN120000H90E1234567S00000000000"},
      {"Q1", "NG modelupdate", "ZVN120000H90E1234567S00000000000"},
      {"", "NG modelupdate", "ZVN120000H90E1234567S00000000000"},
      {"N;rm", "NG modelupdate", "ZVN120000H90E1234567S00000000000"},
      {"S12345678901", "OK modelupdate", "ZVN120000H90E1234567S12345678901"},
      {"S123", "OK modelupdate", "ZVN120000H90E1234567S12300000000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(get("/vb.htm", std::string("modelupdate=") + c.value).out, kTextHeader + c.reply) << c.value;
    EXPECT_EQ(identity(), c.identity) << c.value;
  }
}

TEST_F(CommandPageTest, FailedIdentityReadRunsNothing) {
  write_file(kIdentityFile, "short");  // too short for the field: nothing is written
  EXPECT_EQ(get("/vb.htm", "chipupdate=N123456").out, kTextHeader + "NG chipupdate");
  EXPECT_EQ(get("/vb.htm", "modelupdate=N1").out, kTextHeader + "NG modelupdate");
  EXPECT_EQ(read_file(kIdentityFile), "short");
  ASSERT_EQ(unlink(kIdentityFile), 0);
  ASSERT_EQ(mkdir(kIdentityFile, 0755), 0);  // the tool cannot read the identity
  EXPECT_EQ(get("/vb.htm", "chipupdate=ZVN" + std::string(29, '1')).out, kTextHeader + "NG chipupdate");
  EXPECT_EQ(get("/vb.htm", "modelupdate=N1").out, kTextHeader + "NG modelupdate");
  EXPECT_EQ(get("/vb.htm", "paratest=chipinfo").out, kTextHeader + "ERROR");
  struct stat st {};
  EXPECT_TRUE(stat(kIdentityFile, &st) == 0 && S_ISDIR(st.st_mode));
}

TEST_F(CommandPageTest, OemCleanRestoresTheOwnLook) {
  mkdir("/opt/app/bin", 0755);
  mkdir("/opt/app/www", 0755);
  mkdir("/mnt/nand/app", 0755);
  write_file("/mnt/nand2/logo.jpg_bk", "logo");
  write_file("/mnt/nand2/gui.rcc_bk", "gui");
  write_file("/mnt/nand2/oem.db", "db");
  mkdir("/mnt/nand2/keep", 0755);
  ASSERT_EQ(set_param_int(kZvdbPath, "oem_type", 90), 0);
  zvdb_close_all();
  EXPECT_EQ(get("/vb.htm", "oemclean").out, kOk);
  EXPECT_EQ(read_file("/opt/app/bin/logo.jpg"), "logo");
  EXPECT_EQ(read_file("/opt/app/bin/gui.rcc"), "gui");
  EXPECT_FALSE(file_exists("/mnt/nand2/oem.db"));
  EXPECT_FALSE(file_exists("/mnt/nand2/logo.jpg_bk"));
  EXPECT_TRUE(file_exists("/mnt/nand2/keep"));
  for (const char* marker : {"eraseip", "eraseuser", "eraseall"}) {
    EXPECT_TRUE(file_exists(std::string("/mnt/nand/app/") + marker)) << marker;
  }
  EXPECT_EQ(get_param_int(kZvdbPath, "oem_type", -1), 0);
  zvdb_close_all();
}

TEST_F(CommandPageTest, OemCleanThatCannotStoreTheTypeChangesNothing) {
  mkdir("/opt/app/bin", 0755);
  mkdir("/mnt/nand/app", 0755);
  write_file("/mnt/nand2/logo.jpg_bk", "logo");
  write_file("/mnt/nand2/oem.db", "db");
  write_file("/opt/app/bin/logo.jpg", "oem logo");
  ASSERT_EQ(set_param_int(kZvdbPath, "oem_type", 90), 0);
  zvdb_close_all();
  refuse_database_writes();
  EXPECT_EQ(get("/vb.htm", "oemclean").out, kTextHeader + "ERROR");
  EXPECT_EQ(read_file("/opt/app/bin/logo.jpg"), "oem logo");
  EXPECT_TRUE(file_exists("/mnt/nand2/oem.db"));
  EXPECT_TRUE(file_exists("/mnt/nand2/logo.jpg_bk"));
  for (const char* marker : {"eraseip", "eraseuser", "eraseall"}) {
    EXPECT_FALSE(file_exists(std::string("/mnt/nand/app/") + marker)) << marker;
  }
  EXPECT_EQ(get_param_int(kZvdbPath, "oem_type", -1), 90);
  zvdb_close_all();
}

constexpr const char* kLanguageFile = "/opt/app/www/webfile/json/en.json";

TEST_F(CommandPageTest, LanguagePageCopiesOneBlock) {
  mkdir("/opt/app/www", 0755);
  mkdir("/opt/app/www/webfile", 0755);
  mkdir("/opt/app/www/webfile/json", 0755);
  write_file(kLanguageFile,
             "{//login.json\n\"a\": 1,\n}//login.json\n{//setup=net.json\n\"net\": \"Network\"\n}//setup=net.json\n");
  EXPECT_EQ(get("/json", "lang=en&page=login").out, kJsonHeader + "{\n\"a\": 1,\n\n}");
  EXPECT_EQ(get("/json", "sub=net&lang=en&page=setup").out, kJsonHeader + "{\n\"net\": \"Network\"\n\n}");
  EXPECT_EQ(get("/json", "lang=en&page=missing").out, kJsonHeader);
  struct Case {
    const char* query;
    const char* reply;
  } cases[] = {
      {"lang=en", "ERROR PAGE."},          {"lang=en&page=", "ERROR PAGE."},
      {"lang=&page=login", "ERROR LANG."}, {"page=login", "ERROR LANG."},
      {"lang=../../../etc/passwd%00&page=login", "ERROR LANG."},
      {"lang=e/n&page=login", "ERROR LANG."}, {"lang=de&page=login", "ERROR LANG."},
  };
  for (const Case& c : cases) EXPECT_EQ(get("/json", c.query).out, kTextHeader + c.reply) << c.query;
}

TEST_F(CommandPageTest, LanguageListIsReplacedWhole) {
  mkdir("/opt/app/www", 0755);
  mkdir("/opt/app/www/webfile", 0755);
  mkdir("/opt/app/www/webfile/json", 0755);
  const std::string list = "/opt/app/www/webfile/json/languages.json";
  EXPECT_EQ(post("/1001", R"({"languages":["en","de"]})").out, kOk);
  EXPECT_EQ(read_file(list), "{\"languages\":[\"en\",\"de\"]}\n");
  EXPECT_FALSE(file_exists("/opt/app/www/webfile/json/languages_bak.json"));
  // No content (a bare GET): the list stays.
  EXPECT_EQ(get("/1001", "").out, "");
  EXPECT_EQ(post("/1001", "").out, "");
  EXPECT_EQ(read_file(list), "{\"languages\":[\"en\",\"de\"]}\n");
  mkdir("/opt/app/www/webfile/json/languages_bak.json", 0755);  // the new list cannot be written
  EXPECT_EQ(post("/1001", R"({"languages":[]})").out, "");
  EXPECT_EQ(read_file(list), "{\"languages\":[\"en\",\"de\"]}\n");
}

}  // namespace
}  // namespace zvtest
