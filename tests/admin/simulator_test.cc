// The administration requests against the core simulator: every message has its rule, the
// operation log the other requests fill is searched page by page, downloads and upgrades change
// what the device shows, and camera upgrade progress advances with time.
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <unistd.h>

#include <iterator>
#include <string>

#include "common/oplog.h"
#include "common/request.h"
#include "common/messages/admin.h"
#include "tests/admin/admin_fixture.h"
#include "tests/system/system_fixture.h"
#include "tests/support/declared_messages.h"
#include "tools/zvcore-sim/simulator.h"

namespace zvtest {
namespace {

TEST(AdminSimulatorRules, AnswerEveryAdministrationMessage) {
  Simulator sim(SimOptions{});
  for (const MessageInfo& m : declared_messages("admin")) {
    auto [first, last] = sim.rules().rules().equal_range(m.id);
    ASSERT_EQ(std::distance(first, last), 1) << m.name;
    EXPECT_EQ(first->second.module, "admin") << m.name;
  }
}

class AdminSimulatorTest : public SystemRequestTest {
 protected:
  void SetUp() override {
    SystemRequestTest::SetUp();
    start_simulator();
  }
  int member(const std::string& reply, const char* key) {
    JsonPtr o(json_tokener_parse(body_of(reply).c_str()));
    json_object* v = nullptr;
    return o && json_object_object_get_ex(o.get(), key, &v) ? json_object_get_int(v) : -9999;
  }
};

std::string search(int page) {
  return R"({"language":"en","mainType":4,"subTypeArr":[202],"startTime":"2000-01-01 00:00:00",)"
         R"("endTime":"2037-12-31 23:59:59","curPageNum":)" + std::to_string(page) + "}";
}

TEST_F(AdminSimulatorTest, OperationLogIsSearchedPageByPage) {
  for (int i = 0; i < 103; ++i) ASSERT_EQ(get("/1014").out, kOk);
  const RunResult exported = get("/1007");
  EXPECT_NE(exported.out.find("OK filename="), std::string::npos) << exported.out << exported.err;  // another sub type
  const std::string first = post("/1002", search(1)).out;
  EXPECT_EQ(member(first, "count"), 103);
  EXPECT_EQ(member(first, "num"), 100);
  const std::string second = post("/1002", search(2)).out;
  EXPECT_EQ(member(second, "num"), 3);
  EXPECT_NE(second.find(R"("subTypeValue": 202, "subType": "Logout")"), std::string::npos);
  EXPECT_EQ(post("/1002", search(3)).out, kJsonHeader + "ERROR");
}

TEST_F(AdminSimulatorTest, DownloadedImageUpgradesTheRecorderOnce) {
  EXPECT_EQ(get("/1010", "temp & x").out, kTextHeader + "2");  // no image
  EXPECT_EQ(post("/6085", R"({"type":0,"url":"ftp://x"})").out, kJsonHeader + R"({ "res": -1 })");
  EXPECT_EQ(post("/6085", R"({"type":0,"url":"http://update.invalid/fw.bin"})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(get("/1011").out, kTextHeader + "Error");
  EXPECT_EQ(get("/6088").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(get("/1011").out, kOk);
  EXPECT_EQ(get("/6087").out.find(R"({ "state": 1, "fileSize": 1048576, "softversion": "7x.7.1.0")"),
            kJsonHeader.size());
}

TEST_F(AdminSimulatorTest, CameraUpgradeProgressAdvances) {
  EXPECT_EQ(post("/6083", R"({"chnid":2})").out, kJsonHeader + R"({ "chnid": 2, "status": -1 })");
  write_file("/dev/shm/updateIPCFM.bin", "ipc image");
  EXPECT_EQ(post("/6083", R"({"chnid":2})").out, kJsonHeader + R"({ "chnid": 2, "status": 0 })");
  const std::string early = get("/2079").out;
  ASSERT_EQ(early.rfind(kTextHeader + "chnid=4\r\nstatus2=", 0), 0u) << early;
  usleep(3200 * 1000);
  EXPECT_EQ(get("/2079").out, kTextHeader + "chnid=4\r\nstatus2=100\r\nchnMask=00100000\r\n");
  const std::string info = get("/1009").out;
  EXPECT_EQ(member(info, "deviceId"), 1);
  EXPECT_NE(info.find(R"("maxCameras": 32, "masRs485": 1 })"), std::string::npos) << info;
}

TEST_F(AdminSimulatorTest, FactoryResetRestoresSettingsAndUsersUnlessKept) {
  for (int keep_user : {1, 0}) {
    SCOPED_TRACE(keep_user);
    store_user(5, "night", kAdminDigest, 2);
    ASSERT_EQ(set_param_value(kZvdbPath, "company", "Changed"), 0);
    zvdb_close_all();
    EXPECT_EQ(post("/1006", R"({"keepUser":)" + std::to_string(keep_user) + "}").out, kOk);
    char company[64] = "";
    for (int i = 0; i < 1000 && std::string(company) != "Zarvonite"; ++i) {
      usleep(10000);
      get_param_value(kZvdbPath, "company", company, sizeof company, "");
      zvdb_close_all();
    }
    EXPECT_STREQ(company, "Zarvonite");
    EXPECT_EQ(stored_user(5).id, keep_user ? 5 : -1);
    EXPECT_EQ(stored_user(0).enable, 1);
    ASSERT_TRUE(wait_for_file("/tmp/zvcore")) << "the core comes back after the reboot";
  }
}

}  // namespace
}  // namespace zvtest
