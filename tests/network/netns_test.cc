// The interface helpers and the live IPv6 keys of the interface page on real kernel interfaces:
// each test enters a network namespace of its own (this thread and the programs it starts) with
// interfaces it makes and addresses itself, and leaves it afterwards. No packet leaves it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/zvnet/netif.h"
#include "platform/zvnet/netif6.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

std::string ip_tool() {
  for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return "";
}

class NetnsTest : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    tool_ = ip_tool();
    if (tool_.empty()) GTEST_SKIP() << "no ip tool (iproute2) on this machine";
    home_ = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(home_, 0);
    if (unshare(CLONE_NEWNET) != 0) {
      GTEST_SKIP() << "this machine forbids network namespaces: " << std::strerror(errno);
    }
    inside_ = true;
    ASSERT_TRUE(ip({"link", "set", "lo", "up"}));
    // eth0 and eth1 as the device has them, bond0 for the bonded form, ppp0 for the PPPoE link.
    for (const char* name : {"eth0", "eth1", "bond0", "ppp0"}) ASSERT_TRUE(add_link(name)) << name;
    ASSERT_TRUE(ip({"link", "set", "eth0", "address", "02:00:00:00:00:10", "mtu", "1400"}));
    ASSERT_TRUE(ip({"link", "set", "eth1", "address", "02:00:00:00:00:11"}));
    for (const char* name : {"eth0", "eth1", "bond0", "ppp0"}) ASSERT_TRUE(ip({"link", "set", name, "up"}));
    ASSERT_TRUE(ip({"addr", "add", "192.0.2.10/24", "brd", "+", "dev", "eth0"}));
    ASSERT_TRUE(ip({"route", "add", "default", "via", "192.0.2.1", "dev", "eth0"}));
    ASSERT_TRUE(ip({"addr", "add", "100.64.0.9/32", "dev", "ppp0"}));
    ASSERT_TRUE(ip({"-6", "addr", "add", "2001:db8::10/64", "dev", "eth0", "nodad"}));
    ASSERT_TRUE(ip({"-6", "route", "add", "default", "via", "2001:db8::1", "dev", "eth0"}));
    ASSERT_TRUE(ip({"-6", "addr", "add", "fe80::11/64", "dev", "eth1", "nodad"}));
    ASSERT_TRUE(ip({"-6", "addr", "add", "2001:db8:b::7/64", "dev", "bond0", "nodad"}));
  }
  void TearDown() override {
    if (inside_) {
      EXPECT_EQ(setns(home_, CLONE_NEWNET), 0) << std::strerror(errno);
    }
    if (home_ >= 0) close(home_);
    RequestTest::TearDown();
  }
  bool ip(const std::vector<std::string>& args) {
    RunOptions options;
    options.args = args;
    const RunResult r = run_program(tool_, options);
    EXPECT_EQ(r.exit_code, 0) << tool_ << " " << args[0] << " " << args[1] << ": " << r.err;
    return r.exit_code == 0;
  }
  // A dummy interface where the kernel has the module, else one end of a veth pair (whose other
  // end is up too, so that the link has a carrier). No address is made up by the kernel.
  bool add_link(const std::string& name) {
    RunOptions options;
    options.args = {"link", "add", name, "type", "dummy"};
    if (run_program(tool_, options).exit_code != 0) {
      if (!ip({"link", "add", name, "type", "veth", "peer", "name", name + "p"})) return false;
      if (!ip({"link", "set", name + "p", "addrgenmode", "none"}) || !ip({"link", "set", name + "p", "up"})) return false;
    }
    return ip({"link", "set", name, "addrgenmode", "none"});
  }

  std::string tool_;
  int home_ = -1;
  bool inside_ = false;
};

TEST_F(NetnsTest, Ipv4FactsComeFromTheKernel) {
  const struct {
    const char* name;
    int result;
    const char *address, *hwaddr, *gateway, *netmask, *broadcast;
    int up, mtu;
  } rows[] = {
      {"eth0", 0, "192.0.2.10", "02:00:00:00:00:10", "192.0.2.1", "255.255.255.0", "192.0.2.255", 1, 1400},
      {"ppp0", 0, "100.64.0.9", nullptr, "", "255.255.255.255", "0.0.0.0", 1, 1500},
      {"eth1", 0, "", "02:00:00:00:00:11", "", "", "", 1, 1500},
      {"nosuch0", 0, "", "", "", "", "", 0, 0},
      {"", -1, "", "", "", "", "", 0, 0},
      {"abcdefghijklmno", 0, "", "", "", "", "", 0, 0},    // 15 characters: the longest name
      {"abcdefghijklmnop", -1, "", "", "", "", "", 0, 0},  // 16: refused before any query
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    NetIfAddress info;
    std::memset(&info, 'x', sizeof info);
    EXPECT_EQ(net_get_ifaddr(r.name, &info), r.result);
    EXPECT_STREQ(info.address, r.address);
    if (r.hwaddr != nullptr) {
      EXPECT_STREQ(info.hwaddr, r.hwaddr);
    }
    EXPECT_STREQ(info.gateway, r.gateway);
    EXPECT_STREQ(info.netmask, r.netmask);
    if (r.address[0] != '\0') {
      EXPECT_STREQ(info.broadcast, r.broadcast);
    }
    EXPECT_EQ(info.up, r.up);
    EXPECT_EQ(info.mtu, r.mtu);
  }
}

TEST_F(NetnsTest, Ipv6FactsAreBoundedAndTerminated) {
  const struct {
    const char* name;
    int kind;
    size_t size;  // of the address buffer
    int result;
    const char *address, *prefix;
  } addresses[] = {
      {"eth0", 0, 64, 0, "2001:db8::10", "64"},  {"eth0", 1, 64, -1, "", ""},
      {"eth1", 1, 64, 0, "fe80::11", "64"},      {"eth1", 0, 64, -1, "", ""},
      {"bond0", 0, 64, 0, "2001:db8:b::7", "64"}, {"nosuch0", 0, 64, -1, "", ""},
      {"eth0", 0, 13, 0, "2001:db8::10", "64"},  // 12 characters and the NUL
      {"eth0", 0, 12, -1, "", ""},               // one byte short: nothing, never a cut address
  };
  for (const auto& r : addresses) {
    SCOPED_TRACE(std::string(r.name) + " kind " + std::to_string(r.kind) + " size " + std::to_string(r.size));
    char address[64], prefix[16];
    std::memset(address, 'x', sizeof address);
    std::memset(prefix, 'x', sizeof prefix);
    EXPECT_EQ(net_get_ipv6_address(r.kind, r.name, address, r.size, prefix, sizeof prefix), r.result);
    EXPECT_STREQ(address, r.address);
    EXPECT_STREQ(prefix, r.prefix);
    std::memset(address, 'x', sizeof address);
    EXPECT_EQ(net_get_ipv6_ifaddr(r.name, r.kind, address, r.size), r.result);
    EXPECT_STREQ(address, r.address);
  }
  const struct {
    const char* name;
    int kind;
    size_t size;
    int result;
    const char* gateway;
  } gateways[] = {
      {"eth0", 0, 64, 0, "2001:db8::1"}, {"eth0", 1, 64, 0, "2001:db8::1"}, {"eth0", 0, 12, 0, "2001:db8::1"},
      {"eth0", 0, 11, -1, ""},           {"eth1", 0, 64, -1, ""},           {"bond0", 1, 64, -1, ""},
  };
  for (const auto& r : gateways) {
    SCOPED_TRACE(std::string(r.name) + " kind " + std::to_string(r.kind) + " size " + std::to_string(r.size));
    char gateway[64];
    std::memset(gateway, 'x', sizeof gateway);
    EXPECT_EQ(net_get_ipv6_gateway2(r.kind, r.name, gateway, r.size), r.result);
    EXPECT_STREQ(gateway, r.gateway);
  }
}

// The interface page shows the live IPv6 facts for the types that ask for them, and leaves out
// what the interface does not have; the PPPoE page shows the link's live address.
TEST_F(NetnsTest, PagesShowTheLiveFacts) {
  ASSERT_EQ(post("/7041", R"({"mode":0,"ip6networkType":2,"ip6Addr":"2001:db8::99","ip6networkType2":1,)"
                          R"("ip6Addr2":"","ip6netmask2":""})").out,
            kOk);
  const std::string multi = get("/7040", "0").out;
  EXPECT_NE(multi.find(R"("ip6networkType": 2, "ip6Addr": "2001:db8::10", "ip6netmask": "64", )"
                       R"("ip6gateway": "2001:db8::1", "macAddr": "02:00:00:00:00:10", )"),
            std::string::npos)
      << multi;
  EXPECT_NE(multi.find(R"("ip6networkType2": 1, "ip6Addr2": "fe80::11", "ip6netmask2": "64", )"
                       R"("macAddr2": "02:00:00:00:00:11", )"),
            std::string::npos)
      << multi;
  // Type 1 with a stored address and prefix shows the stored ones.
  ASSERT_EQ(post("/7041", R"({"ip6Addr2":"2001:db8:2::2","ip6netmask2":"48","ip6gateway2":"2001:db8:2::1"})").out, kOk);
  EXPECT_NE(get("/7040", "0").out.find(R"("ip6networkType2": 1, "ip6Addr2": "2001:db8:2::2", "ip6netmask2": "48", )"
                                       R"("ip6gateway2": "2001:db8:2::1", )"),
            std::string::npos);

  ASSERT_EQ(post("/7041", R"({"mode":1,"ip6networkType":2})").out, kOk);
  const std::string bond = get("/7040", "1").out;
  EXPECT_NE(bond.find(R"("ip6networkType": 2, "ip6Addr": "2001:db8:b::7", "ip6netmask": "64", "defaultRoute": )"),
            std::string::npos)
      << bond;

  EXPECT_NE(get("/7010").out.find(R"("pppoeipaddr": "100.64.0.9" })"), std::string::npos);
}

}  // namespace
}  // namespace zvtest
