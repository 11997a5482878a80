// The network pages through the whole stack (lighttpd + webreq + zvcore-sim + database), driven
// with curl: for every family a save and the read that shows it, and what the simulated core
// applied (its control line). The P2P registration goes to the stand-in on loopback.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/reply_json.h"
#include "tests/e2e/stack.h"
#include "tests/support/sockets.h"

namespace zvtest {
namespace {


std::string run_tool_of(const std::string& name, const std::vector<std::string>& words) {
  RunOptions options;
  options.args = words;
  return run_program(bin_path(name), options).out;
}
std::string device_state() { return run_tool_of("zvcore-sim", {"ctl", "device", "state"}); }

TEST(EndToEndNetwork, InterfacesSwitchToBondAndBack) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  const struct {
    int mode;
    const char* body;
    const char* key;    // a key only this mode's form has
    const char* value;  // what the save stored under it
  } rows[] = {
      {1, R"({"mode":1,"ipAddr":"192.0.2.10","mtu":1400,"ip6networkType":0,"ip6Addr":"2001:db8::10"})", "ip6Addr",
       "2001:db8::10"},
      {2, R"({"mode":2,"primaryNet":1})", "primaryNet", "1"},
      {0, R"({"mode":0,"ipAddr2":"192.0.2.20","mtu2":9000})", "ipAddr2", "192.0.2.20"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(stack.post_json("/7041", r.body).body, "OK") << r.body;
    EXPECT_EQ(stack.get("/7042").body, std::to_string(r.mode));
    Json read = parse(stack.get("/7040?" + std::to_string(r.mode)).body);
    ASSERT_NE(read.get(), nullptr);
    EXPECT_EQ(int_at(read.get(), "mode"), r.mode);
    EXPECT_EQ(text_at(read.get(), r.key), r.value) << r.body;
    EXPECT_EQ(at(read.get(), "ipAddr2") != nullptr, r.mode == 0);
    // An unknown mode answers in the stored mode's form.
    Json stored = parse(stack.get("/7040?7").body);
    ASSERT_NE(stored.get(), nullptr);
    EXPECT_EQ(int_at(stored.get(), "mode"), r.mode);
  }
  EXPECT_NE(device_state().find("network_change network "), std::string::npos) << device_state();
  EXPECT_EQ(stack.post_json("/7096", R"({"defaultRoute":1})").body, R"({ "res": 0 })");
  Json multi = parse(stack.get("/7040?0").body);
  ASSERT_NE(multi.get(), nullptr);
  EXPECT_EQ(int_at(multi.get(), "defaultRoute"), 1);
}

TEST(EndToEndNetwork, PppoeDialsTheSimulatedLink) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  EXPECT_EQ(stack.post_json("/7011", R"({"enable":1,"autoConnect":1,"userName":"dsl-user","password":"pw"})").body,
            "OK");
  Json read = parse(stack.get("/7010").body);
  ASSERT_NE(read.get(), nullptr);
  EXPECT_EQ(int_at(read.get(), "enable"), 1);
  EXPECT_EQ(text_at(read.get(), "userName"), "dsl-user");
  EXPECT_EQ(text_at(read.get(), "password"), "pw");
  EXPECT_NE(device_state().find(" pppoe 100.64.0.2 pppoe_dials 1 "), std::string::npos) << device_state();
  Json netif = parse(stack.get("/8000").body);
  ASSERT_NE(netif.get(), nullptr);
  json_object* first = json_object_array_get_idx(at(netif.get(), "netif"), 0);
  EXPECT_EQ(text_at(first, "ifname"), "ppp0");
  EXPECT_EQ(text_at(first, "ipAddr"), "100.64.0.2");
  // Hung up: the link goes from the status page.
  EXPECT_EQ(stack.post_json("/7011", R"({"enable":0})").body, "OK");
  EXPECT_NE(device_state().find(" pppoe down pppoe_dials 2 "), std::string::npos) << device_state();
  EXPECT_EQ(stack.get("/8000").body.find("ppp0"), std::string::npos);
}

TEST(EndToEndNetwork, DdnsMailAndMulticast) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  EXPECT_EQ(stack.post_json("/7021", R"({"enable":1,"domain":"dyn","userName":"u","password":"p",)"
                                     R"("hostName":"cam.example","ddnsurl":"x","freeDNSHash":"h","http":8080,)"
                                     R"("rtsp":8554,"updateFreq":5})").body,
            "OK");
  Json ddns = parse(stack.get("/7020").body);
  ASSERT_NE(ddns.get(), nullptr);
  EXPECT_EQ(text_at(ddns.get(), "hostName"), "cam.example");
  EXPECT_EQ(int_at(ddns.get(), "http_port"), 8080);
  EXPECT_EQ(int_at(ddns.get(), "rtsp_port"), 8554);

  const std::string mail = R"({"enable":1,"smtpPort":25,"enableTls":1,"enableAttach":0,"captureInterval":0,)"
                           R"("receivers":[{"receiverAddr":"a@x","receiverName":"A"}],"smtpServer":")";
  EXPECT_EQ(stack.post_json("/7031", mail + R"(unreachable.invalid"})").body, "OK");
  EXPECT_NE(device_state().find(" mail_server unreachable.invalid:25 "), std::string::npos) << device_state();
  EXPECT_EQ(stack.get("/7032").body, "ERROR");
  EXPECT_EQ(stack.post_json("/7031", mail + R"(mail.zvsim.test"})").body, "OK");
  EXPECT_EQ(stack.get("/7032").body, "OK");
  Json read = parse(stack.get("/7030").body);
  ASSERT_NE(read.get(), nullptr);
  EXPECT_EQ(text_at(read.get(), "smtpServer"), "mail.zvsim.test");
  EXPECT_EQ(int_at(read.get(), "enableTls"), 1);
  EXPECT_EQ(text_at(json_object_array_get_idx(at(read.get(), "receivers"), 0), "receiverAddr"), "a@x");
  EXPECT_NE(device_state().find(" mail_server mail.zvsim.test:25 "), std::string::npos) << device_state();

  EXPECT_EQ(stack.post_json("/7034", R"({"enable":1,"ip":"239.0.0.9"})").body, R"({ "res": 0 })");
  EXPECT_EQ(stack.get("/7033").body, R"({ "enable": 1, "ip": "239.0.0.9" })");
  EXPECT_EQ(stack.post_json("/7034", R"({"ip":"10.0.0.9"})").body, R"({ "res": -1 })");
}

TEST(EndToEndNetwork, PortsRefuseAListenerAndTakeAFreePort) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  Listener busy(INADDR_ANY);  // all addresses
  const int free_port = free_tcp_port();
  const std::string head = R"({"enableSsh":0,"sshPort":22,"rtspPort":554,"servicePort":6036,"posPort":5000,)"
                           R"("httpsPort":443,"enableAccess":0,"needReboot":0,"channel_num":2,"pushType":1,)"
                           R"("PushTypeNvrAlarmIn":1,"pushTypeArr":[3,4],"enableMsg":1,"pushNvrPos":"p",)"
                           R"("pushVideoStream":0,"httpPort":)";
  EXPECT_EQ(stack.post_json("/7051", head + std::to_string(busy.port) + "}").body, "POE_Port_Error");
  EXPECT_EQ(device_state().find(" service_ports " + std::to_string(busy.port)), std::string::npos);
  EXPECT_EQ(stack.post_json("/7051", head + std::to_string(free_port) + "}").body, "OK");
  Json read = parse(stack.get("/7050").body);
  ASSERT_NE(read.get(), nullptr);
  EXPECT_EQ(int_at(read.get(), "httpPort"), free_port);
  stack.messages(1);
  EXPECT_NE(device_state().find(" service_ports " + std::to_string(free_port) + ",443,554,22,5000 "),
            std::string::npos)
      << device_state();

  EXPECT_EQ(stack.post_json("/7091", R"({"port":161,"v2c_enable":1,"read_community":"ro"})").body, "OK");
  Json snmp = parse(stack.get("/7090").body);
  ASSERT_NE(snmp.get(), nullptr);
  EXPECT_EQ(int_at(snmp.get(), "v2c_enable"), 1);
  EXPECT_EQ(text_at(snmp.get(), "read_community"), "ro");
  EXPECT_EQ(int_at(snmp.get(), "httpPort"), free_port);
}

// Registers until the service has started (it answers "3" while nothing listens).
std::string register_device(DemoStack& stack) {
  std::string reply;
  for (int i = 0; i < 50 && (reply = stack.post_json("/7062", R"({"sn":"SN1","deviceName":"nvr"})").body) == "3"; ++i) {
    usleep(100 * 1000);
  }
  return reply;
}

TEST(EndToEndNetwork, P2pRegistersWithTheStandIn) {
  DemoStack stack;
  ASSERT_TRUE(stack.ready());
  // The demo's own stand-in first, then one of this test's that answers another code.
  EXPECT_EQ(register_device(stack), "0");
  stack.messages(1);
  Json demo = parse(stack.get("/7060").body);
  ASSERT_NE(demo.get(), nullptr);
  EXPECT_EQ(text_at(demo.get(), "registerCode"), "SIM-REGISTER-CODE");
  const int port = free_tcp_port();
  BackgroundProcess service(bin_path("p2p-standin"), {"--port", std::to_string(port), "--text", "E2E-CODE"}, {});
  EXPECT_EQ(run_tool_of("zvdb", {"set", "p2p_server", "127.0.0.1"}), "");
  EXPECT_EQ(run_tool_of("zvdb", {"set", "p2p_port", std::to_string(port)}), "");
  EXPECT_EQ(register_device(stack), "0");
  stack.messages(1);
  Json status = parse(stack.get("/7060").body);
  ASSERT_NE(status.get(), nullptr);
  EXPECT_EQ(int_at(status.get(), "p2pstatus"), 1);
  EXPECT_EQ(text_at(status.get(), "registerCode"), "E2E-CODE");
  EXPECT_EQ(stack.post_json("/7061", R"({"enableP2P":1})").body, "ERR_OK");
  Json enabled = parse(stack.get("/7060").body);
  ASSERT_NE(enabled.get(), nullptr);
  EXPECT_EQ(int_at(enabled.get(), "enable"), 1);
  service.stop();
  EXPECT_EQ(stack.post_json("/7062", R"({"sn":"SN1","deviceName":"nvr"})").body, "3");
}

}  // namespace
}  // namespace zvtest
