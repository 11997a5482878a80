// Hostile requests to the administration pages: shell text, paths out of /tmp, quotes and
// requests that name a file themselves run nothing and touch nothing. A command that ran would
// create /tmp/ran; the canary file is what a path would reach.
#include <gtest/gtest.h>

#include <string>

#include "tests/admin/admin_fixture.h"
#include "tests/system/system_fixture.h"

namespace zvtest {
namespace {

class HostileTest : public SystemRequestTest {};

TEST_F(HostileTest, NothingRunsAndNothingIsTouched) {
  write_file("/tmp/canary", "canary");
  write_file("/mnt/nand2/canary", "canary");
  struct Case {
    const char* id;
    bool post;
    std::string argument;
  } cases[] = {
      {"/vb.htm", false, "chipupdate=N$(touch /tmp/ran)"},
      {"/vb.htm", false, "modelupdate=S`touch /tmp/ran`"},
      {"/vb.htm", false, "chipupdate=ZVN;touch /tmp/ran;\"'"},
      {"/vb.htm", false, "setlang=1;touch /tmp/ran"},
      {"/vb.htm", false, "paratest=chipinfo;touch /tmp/ran"},
      {"/json", false, "lang=../../../tmp/canary&page=x"},
      {"/json", false, "lang=$(touch /tmp/ran)&page=x"},
      {"/1008", false, "/tmp/canary"},
      {"/1008", true, "/tmp/canary"},
      {"/1008", false, "/tmp/x\";touch /tmp/ran;\""},
      {"/1008", false, "../../tmp/canary"},
      {"/1019", false, "/tmp/canary & x"},
      {"/oem", false, "/tmp/canary & aes=k"},
      {"/oem", true, "/mnt/nand2/canary & aes=$(touch /tmp/ran)"},
      {"/1010", false, "temp & reset;touch /tmp/ran"},
      {"/6085", true, R"j({"type":0,"url":"http://x/$(touch /tmp/ran)"})j"},
      {"/1001", true, "$(touch /tmp/ran)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id) + " " + c.argument);
    const std::string before = dump();
    c.post ? post(c.id, c.argument) : get(c.id, c.argument);
    EXPECT_FALSE(file_exists("/tmp/ran"));
    EXPECT_EQ(read_file("/tmp/canary"), "canary");
    EXPECT_EQ(read_file("/mnt/nand2/canary"), "canary");
    if (std::string(c.id) != "/vb.htm") {
      EXPECT_EQ(dump(), before);
    }
  }
}

TEST_F(HostileTest, UploadNamesAreArgumentsNeverCommandText) {
  for (const char* name : {"x;touch %2Ftmp%2Fran", "a b.db", "q'uote.db", "$(touch ran).db", "..", "../canary"}) {
    SCOPED_TRACE(name);
    const Upload u = multipart_upload(name, "not an export");
    EXPECT_EQ(post("/1008", u.body, u.env).out.find("OK"), std::string::npos);
    EXPECT_FALSE(file_exists("/tmp/ran"));
    EXPECT_FALSE(file_exists("/tmp/a b.db")) << "a refused upload is removed";
  }
}

}  // namespace
}  // namespace zvtest
