// The camera setup pages through the whole stack: search the simulated network, test a login with
// a wrong and a right password, move a found camera and find it at its new address, add it,
// change its image settings and read them back; then the effective plans of channel 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/stack.h"

namespace zvtest {
namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(EndToEndCameraSetup, SearchLoginMoveAddAndAdjust) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::vector<std::string> as_admin = {"-H", "Cookie: userName=admin"};
  EXPECT_TRUE(has(stack.post_json("/2006", R"({"protocol": 0, "nic": "eth0"})").body,
                  R"({ "ipAddr": "192.168.1.23", "managePort": 8080, "protocol": 0)"));
  const std::string login =
      R"({"ipAddr": "192.168.1.23", "managePort": 8080, "userName": "admin", "camProtocol": 0, "password": )";
  EXPECT_EQ(stack.post_json("/2014", login + R"("nope"})").body, "USERERROR");
  EXPECT_EQ(stack.post_json("/2014", login + R"("Admin123"})").body, "OK");
  EXPECT_EQ(stack.post_json("/2011", R"({"macAddr": "02:5A:56:01:00:17", "oldIpcAddr": "192.168.1.23",
                                         "newIpcAddr": "192.168.1.83", "netmask": "255.255.255.0",
                                         "gateway": "192.168.1.1", "primaryDNS": "192.168.1.1",
                                         "username": "admin", "password": "Admin123", "port": 8080,
                                         "protocol": 0})").body,
            R"({ "resultString": "OK" })");
  const std::string found = stack.post_json("/2006", R"({"protocol": 0})").body;
  EXPECT_TRUE(has(found, R"({ "ipAddr": "192.168.1.83", "managePort": 8080)")) << found;
  EXPECT_FALSE(has(found, "192.168.1.23"));

  EXPECT_EQ(stack.post_json("/2004", R"({"id": 2, "name": "Lobby", "enable": 1, "ipAddr": "192.168.1.83",
                                         "managePort": 8080, "camProtocol": 0, "userName": "admin",
                                         "password": "Admin123", "transmitProtocol": 0, "enableSubStream": 1,
                                         "syncTime": 1})", as_admin).body,
            "OK");
  EXPECT_TRUE(has(stack.post_json("/2006", R"({"protocol": 0})").body,
                  R"("active_status": 1, "name": "Lobby", )"));
  EXPECT_EQ(stack.post_json("/2020", R"({"channel": [2], "whiteblance": 3, "defogmode": 1, "aflevel": 4})").body,
            "OK");
  const std::string image = stack.post_json("/2019", R"({"id": 2})").body;
  EXPECT_TRUE(has(image, R"({ "id": 2, "smartir": 1, "whiteblance": 3,)")) << "the rest as it was" << image;
  EXPECT_TRUE(has(image, R"("defogmode": 1,)"));
  EXPECT_TRUE(has(image, R"("wdraflevel": 4,)"));
}

TEST(EndToEndCameraSetup, EffectivePlansOfChannelZero) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const std::string before = stack.post_json("/2035", R"({"channel": 0})").body;
  EXPECT_EQ(before.rfind(R"({ "schedule_motion": [ [ { "startTime": "00:00", "endTime": "00:00", "actionType": 0 })", 0),
            0u)
      << before;
  EXPECT_EQ(stack.post_json("/2036", R"({"channel": 0, "start": 0, "end": 8,
                                         "schedule_motion": [[], [["06:00", "20:00", 1]]]})").body,
            "OK");
  EXPECT_TRUE(has(stack.post_json("/2035", R"({"channel": 0})").body,
                  R"(} ], [ { "startTime": "06:00", "endTime": "20:00", "actionType": 1 })"));
}

}  // namespace
}  // namespace zvtest
