// Interfaces, PPPoE, DDNS, e-mail and multicast requests: exact replies and core payloads, every
// field a set writes read back, and refusals that change nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "common/oplog.h"
#include "common/messages/network_services.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/table_forms.h"
#include "platform/zvnet/netif6.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

class NetworkTest : public RequestTest {
 protected:
  NetworkConfig network() {
    NetworkConfig n{};
    EXPECT_EQ(kNetwork.read(kZvdbPath, &n, kNetworkRow), 0);
    return n;
  }
};

Bytes word_payload(const char* word) {
  Bytes b(32, 0);
  std::memcpy(b.data(), word, std::strlen(word));
  return b;
}

// ---- kernel tables ----------------------------------------------------------------------------

TEST(NetIf6, ReadsAddressPrefixAndGatewayBoundedByTheBuffers) {
  const char* inet6 = "/tmp/if_inet6";
  const char* route = "/tmp/ipv6_route";
  FILE* f = std::fopen(inet6, "w");
  std::fputs("fe800000000000000000000000000001 02 40 20 80 eth0\n"
             "20010db8000000000000000000000005 02 40 00 80 eth0\n", f);
  std::fclose(f);
  f = std::fopen(route, "w");
  std::fputs("00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
             "20010db8000000000000000000000001 00000400 00000001 00000000 00000003 eth0\n", f);
  std::fclose(f);
  char addr[64], prefix[16], gw[64];
  EXPECT_EQ(net_get_ipv6_address(0, "eth0", addr, sizeof addr, prefix, sizeof prefix, inet6), 0);
  EXPECT_STREQ(addr, "2001:db8::5");
  EXPECT_STREQ(prefix, "64");
  EXPECT_EQ(net_get_ipv6_address(1, "eth0", addr, sizeof addr, prefix, sizeof prefix, inet6), 0);
  EXPECT_STREQ(addr, "fe80::1");
  EXPECT_EQ(net_get_ipv6_address(0, "eth1", addr, sizeof addr, prefix, sizeof prefix, inet6), -1);
  EXPECT_STREQ(addr, "");
  char small[8] = "xxxxxxx";  // "2001:db8::5" does not fit: nothing, still terminated
  EXPECT_EQ(net_get_ipv6_address(0, "eth0", small, sizeof small, prefix, sizeof prefix, inet6), -1);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(net_get_ipv6_gateway2(0, "eth0", gw, sizeof gw, route), 0);
  EXPECT_STREQ(gw, "2001:db8::1");
  EXPECT_EQ(net_get_ipv6_gateway2(0, "eth1", gw, sizeof gw, route), -1);
}

// Every member a write takes, one request at a time: that member changes and nothing else does.
TEST_F(NetworkTest, AWriteOfOneMemberChangesThatMemberOnly) {
  using Change = void (*)(NetworkConfig&);
  struct Row {
    const char* key;
    const char* value;
    Change change;
  };
#define ROW_INT(key, value, member) {key, #value, [](NetworkConfig& n) { n.member = value; }}
#define ROW_TEXT(key, value, member) {key, "\"" value "\"", [](NetworkConfig& n) { std::memset(n.member, 0, sizeof n.member); zvdb::set_text(n.member, value); }}
  const Row multi[] = {
      ROW_INT("defaultRoute", 1, default_route),       ROW_INT("enableNetwork1", 1, eth0.enable),       ROW_INT("networkType", 1, eth0.type),
      ROW_TEXT("ipAddr", "10.2.0.1", eth0.ip_addr),    ROW_TEXT("netmask", "255.255.0.0", eth0.netmask),
      ROW_TEXT("gateway", "10.2.0.254", eth0.gateway), ROW_TEXT("DNS1", "10.2.0.53", eth0.dns1),
      ROW_TEXT("DNS2", "10.2.0.54", eth0.dns2),        ROW_INT("mtu", 1300, eth0.mtu),
      ROW_INT("enableNetwork2", 1, eth1.enable),       ROW_INT("networkType2", 1, eth1.type),
      ROW_TEXT("ipAddr2", "10.3.0.1", eth1.ip_addr),   ROW_TEXT("netmask2", "255.255.255.128", eth1.netmask),
      ROW_TEXT("gateway2", "10.3.0.254", eth1.gateway), ROW_TEXT("DNS12", "10.3.0.53", eth1.dns1),
      ROW_TEXT("DNS22", "10.3.0.54", eth1.dns2),       ROW_INT("mtu2", 1200, eth1.mtu),
      ROW_TEXT("ip6Addr", "2001:db8:5::1", eth0_ipv6.addr), ROW_TEXT("ip6netmask", "60", eth0_ipv6.prefix),
      ROW_TEXT("ip6gateway", "2001:db8:5::fe", eth0_ipv6.gateway),
      ROW_TEXT("ip6Addr2", "2001:db8:6::1", eth1_ipv6.addr), ROW_TEXT("ip6netmask2", "61", eth1_ipv6.prefix),
      ROW_TEXT("ip6gateway2", "2001:db8:6::fe", eth1_ipv6.gateway),
      ROW_INT("ip6networkType", 1, eth0_ipv6_type),    ROW_INT("ip6networkType2", 1, eth1_ipv6_type),
  };
  const Row bond[] = {
      ROW_INT("enableNetwork1", 1, bond.enable),       ROW_INT("networkType", 1, bond.type),
      ROW_TEXT("ipAddr", "10.4.0.1", bond.ip_addr),    ROW_TEXT("netmask", "255.255.0.0", bond.netmask),
      ROW_TEXT("gateway", "10.4.0.254", bond.gateway), ROW_TEXT("DNS1", "10.4.0.53", bond.dns1),
      ROW_TEXT("DNS2", "10.4.0.54", bond.dns2),        ROW_INT("mtu", 1100, bond.mtu),
      ROW_TEXT("ip6Addr", "2001:db8:7::1", bond_ipv6.addr), ROW_TEXT("ip6netmask", "62", bond_ipv6.prefix),
      ROW_TEXT("ip6gateway", "2001:db8:7::fe", bond_ipv6.gateway), ROW_INT("ip6networkType", 1, bond_ipv6_type),
  };
#undef ROW_INT
#undef ROW_TEXT
  for (const auto& [mode, rows] : {std::pair{0, std::span<const Row>(multi)}, std::pair{1, std::span<const Row>(bond)}}) {
    ASSERT_EQ(post("/7041", "{\"mode\":" + std::to_string(mode) + "}").out, kOk);
    for (const Row& row : rows) {
      NetworkConfig expected = network();
      row.change(expected);
      EXPECT_EQ(post("/7041", std::string("{\"") + row.key + "\":" + row.value + "}").out, kOk) << row.key;
      EXPECT_EQ(bytes_of(network()), bytes_of(expected)) << "mode " << mode << ", " << row.key;
    }
  }
}

// ---- /7040 - /7044, /7096 ----------------------------------------------------------------------

TEST_F(NetworkTest, ReadsBothFormsAndTheStoredModeForAnUnknownOne) {
  const std::string bond = get("/7040", "1").out;
  EXPECT_EQ(bond.rfind(kJsonHeader + R"({ "mode": 0, "hostName": "NVR", "primaryNet": 0, "enableNetwork1": 1, )"
                                     R"("networkType": 0, "ipAddr": "192.168.1.100", "netmask": "255.255.255.0", )"
                                     R"("gateway": "192.168.1.1", "macAddr": ")"), 0u) << bond;
  EXPECT_NE(bond.find(R"("DNS1": "8.8.8.8", "DNS2": "8.8.4.4", "mtu": 1500, "ip6networkType": 1, )"), std::string::npos);
  const std::string multi = get("/7040", "0").out;
  EXPECT_NE(multi.find(R"("mtu": 1500, "enableNetwork2": 1, "networkType2": 0, "ipAddr2": "192.168.2.100", "netmask2": "255.255.255.0", "gateway2": "192.168.2.1", )"
                       R"("ip6networkType2": 1, "macAddr2": ")"), std::string::npos) << multi;
  EXPECT_NE(multi.find(R"(", "DNS12": "8.8.8.8", "DNS22": "8.8.4.4", "mtu2": 1500, "defaultRoute": 0 })"), std::string::npos)
      << multi;
  EXPECT_NE(multi.find(R"("gateway": "192.168.1.1", "ip6networkType": 1, )"), std::string::npos) << multi;
  EXPECT_EQ(get("/7040", "5").out, multi);
  EXPECT_EQ(get("/7040", "3").out, multi);
  EXPECT_EQ(get("/7040", "2").out, bond);  // the bond with a primary port: the bond's form
  EXPECT_EQ(get("/7042").out, kTextHeader + "0");

  // IPv6 type 1 prints the stored address only together with its prefix.
  NetworkConfig n = network();
  std::strcpy(n.eth0_ipv6.addr, "2001:db8::5");
  n.eth0_ipv6.prefix[0] = '\0';
  n.eth0_ipv6_type = 1;
  ASSERT_EQ(kNetwork.write_at(kZvdbPath, &n, kNetworkRow), 0);
  zvdb_close_all();
  EXPECT_EQ(get("/7040", "0").out.find(R"("ip6Addr": "2001:db8::5")"), std::string::npos);
}

TEST_F(NetworkTest, ServicesReadTheirFactoryValues) {
  const std::string mail = get("/7030").out;
  EXPECT_NE(mail.find(R"("smtpPort": 25, )"), std::string::npos) << mail;
  EXPECT_NE(mail.find(R"("captureInterval": 60, )"), std::string::npos) << mail;
  const std::string ddns = get("/7020").out;
  EXPECT_NE(ddns.find(R"("updateFreq": 10, "http_port": 80, "rtsp_port": 554, )"), std::string::npos) << ddns;
}

TEST_F(NetworkTest, WriteTakesTheBondKeysAndKeepsWhatIsLeftOut) {
  EXPECT_EQ(post("/7041", R"({"mode":1,"primaryNet":1,"ipAddr":"10.0.0.9","mtu":1400,"ip6networkType":0,)"
                          R"("ip6Addr":"2001:db8::9","ip6netmask":"64","ip6gateway":"2001:db8::1","slaveClear":1})")
                .out, kOk);
  NetworkConfig n = network();
  EXPECT_EQ(n.mode, 1);
  EXPECT_EQ(n.primary_net, 0);  // taken in mode 2 only
  EXPECT_EQ(text_of(n.bond.ip_addr), "10.0.0.9");
  EXPECT_EQ(text_of(n.bond.gateway), "192.168.1.1");
  EXPECT_EQ(n.bond.mtu, 1400);
  EXPECT_EQ(text_of(n.bond_ipv6.gateway), "2001:db8::1");
  EXPECT_EQ(only_message(*core_, kSlaveClear.id).payload, int32s({1}));
  EXPECT_EQ(only_message(*core_, kNetworkChanged.id).payload, word_payload("network"));
  EXPECT_EQ(get("/7042").out, kTextHeader + "1");
  EXPECT_NE(get("/7040", "9").out.find(R"("ip6Addr": "2001:db8::9", "ip6netmask": "64", "ip6gateway": "2001:db8::1", )"
                                      R"("defaultRoute": 0 })"), std::string::npos);
  // Mode 2 stores the primary port; IPv6 type 2 keeps the stored gateway.
  EXPECT_EQ(post("/7041", R"({"mode":2,"primaryNet":1,"ip6networkType":2,"ip6gateway":"2001:db8::7"})").out, kOk);
  n = network();
  EXPECT_EQ(n.primary_net, 1);
  EXPECT_EQ(text_of(n.bond_ipv6.gateway), "2001:db8::1");
  // Back to two ports: their own columns.
  EXPECT_EQ(post("/7041", R"({"mode":0,"ipAddr2":"10.1.0.2","DNS22":"1.1.1.1","mtu2":9000,"defaultRoute":1,)"
                          R"("ip6networkType2":0,"ip6gateway2":"fe80::2"})").out, kOk);
  n = network();
  EXPECT_EQ(text_of(n.eth1.ip_addr), "10.1.0.2");
  EXPECT_EQ(text_of(n.eth1.dns2), "1.1.1.1");
  EXPECT_EQ(n.eth1.mtu, 9000);
  EXPECT_EQ(n.default_route, 1);
  EXPECT_EQ(text_of(n.eth1_ipv6.gateway), "fe80::2");
  EXPECT_EQ(text_of(n.bond.ip_addr), "10.0.0.9");
  // Addresses as long as their fields hold are taken whole (one more is refused: see below).
  EXPECT_EQ(post("/7041", R"({"ipAddr":"123456789012345","ip6Addr2":")" + std::string(63, 'a') + "\"}").out, kOk);
  n = network();
  EXPECT_EQ(text_of(n.eth0.ip_addr), "123456789012345");
  EXPECT_EQ(text_of(n.eth1_ipv6.addr), std::string(63, 'a'));
  // The second port's IPv6 address and prefix left out: kept.
  EXPECT_EQ(post("/7041", R"({"ip6netmask2":"56"})").out, kOk);
  EXPECT_EQ(post("/7041", R"({"ipAddr2":"10.1.0.3"})").out, kOk);
  n = network();
  EXPECT_EQ(text_of(n.eth1_ipv6.addr), std::string(63, 'a'));
  EXPECT_EQ(text_of(n.eth1_ipv6.prefix), "56");
}

TEST_F(NetworkTest, ConflictLogsTwice) {
  EXPECT_EQ(post("/7041", R"({"mode":0,"Conflict":1})").out, kOk);
  settle();
  const auto logs = core_->received(kMsgOpLog);
  ASSERT_EQ(logs.size(), 2u);
  const auto first = record_from<OpLogRecord>(logs[0].payload);
  const auto second = record_from<OpLogRecord>(logs[1].payload);
  EXPECT_EQ(first.main_type, 4);
  EXPECT_EQ(first.sub_type, 204);
  EXPECT_EQ(first.param_type, 914);
  EXPECT_EQ(second.main_type, 32);
  EXPECT_EQ(second.sub_type, 406);
}

TEST_F(NetworkTest, WritesRefusedWithoutATrace) {
  const struct {
    const char* id;
    const char* body;
  } cases[] = {
      {"/7041", R"({"mode":3})"},
      {"/7041", R"({"mode":-1})"},
      {"/7041", R"({"mode":0,"ipAddr":"1.2.3.4\nrm"})"},
      {"/7041", R"x({"mode":1,"DNS1":"$(reboot)"})x"},
      {"/7041", "not json"},
      {"/7011", R"({"enable":2,"userName":"u"})"},
      {"/7011", R"({"autoConnect":1})"},
      {"/7011", R"({"enable":1,"password":"a\"b"})"},
      {"/7021", R"({"enable":1})"},
      {"/7021", R"({"enable":1,"updateFreq":-1})"},
      {"/7021", R"({"enable":1,"updateFreq":5,"hostName":"a`b`"})"},
      {"/7021", R"({"enable":1,"updateFreq":5,"http":65536})"},
      {"/7021", R"({"enable":1,"updateFreq":5,"rtsp":-1})"},
      {"/7031", R"({"smtpPort":25,"enableTls":3,"enableAttach":0,"captureInterval":0})"},
      {"/7031", R"({"smtpPort":-1,"enableTls":0,"enableAttach":0,"captureInterval":0})"},
      {"/7031", R"({"smtpPort":65536,"enableTls":0,"enableAttach":0,"captureInterval":0})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":2,"captureInterval":0})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":-1})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"enableHostName":2})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"enableHostName":-1})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"smtpServer":"a\u0000b"})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"receivers":[{"receiverAddr":"a\\b"}]})"},
      {"/7091", R"({"port":65536})"},
      {"/7091", R"({"port":-1})"},
      {"/7091", R"({"port":0})"},
      {"/7091", R"({"port":161,"read_community":"x\ry"})"},
      // An address or host one character above its field: refused, never stored cut as another.
      {"/7041", R"({"mode":0,"ipAddr":"192.168.100.2001"})"},
      {"/7041", R"({"mode":1,"ip6gateway":"fe80:0000:0000:0000:0000:0000:0000:0001fe80:0000:0000:0000:0000:1"})"},
      {"/7041", R"({"mode":0,"ip6netmask2":"ffff:ffff:ffff:f"})"},
      {"/7041", R"({"mode":0,"ip6Addr2":"fe80:0000:0000:0000:0000:0000:0000:0001fe80:0000:0000:0000:0000:1"})"},
      {"/7021", R"({"enable":1,"updateFreq":5,"domain":"d012345678901234567890123456789012345678901234567890123456789xyz"})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"smtpServer":"smtp.mail.server-zero-one-two-three-four-five-six-seven.example1"})"},
  };
  for (const auto& c : cases) expect_refused(c.id, c.body);
  expect_required("/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0})",
                  {"smtpPort", "enableTls", "enableAttach", "captureInterval"});
  // A password or community one character above its field: refused, never stored cut to another.
  const std::string p64 = "\"" + std::string(64, 'p') + "\"", p32 = "\"" + std::string(32, 'p') + "\"";
  const std::string mail = R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"password":)";
  const std::pair<const char*, std::string> secrets[] = {
      {"/7011", R"({"enable":1,"password":)" + p64 + "}"},
      {"/7021", R"({"enable":1,"updateFreq":5,"password":)" + p32 + "}"},
      {"/7031", mail + p64 + "}"},
      {"/7091", R"({"port":161,"read_community":)" + p64 + "}"},
      {"/7091", R"({"port":161,"write_community":)" + p64 + "}"},
      {"/7091", R"({"port":161,"read_auth_password":)" + p64 + "}"},
      {"/7091", R"({"port":161,"write_pri_password":)" + p64 + "}"},
  };
  for (const auto& [id, body] : secrets) expect_refused(id, body);
}

TEST_F(NetworkTest, MacTextPairsTheConfiguredDigits) {
  const struct {
    const char* conf;
    const char* mac;
  } rows[] = {
      {"001E5A0000AB\n", "00:1E:5A:00:00:AB"},
      {"", ""},
      {"001", "00:1"},
      {"00-1E", "00-1:E"},
      {"0123456789012345678901234567890123456789", "01:23:45:67:89:01:23:45:67:89:01:23:45:67:89:01"},
  };
  for (const auto& r : rows) {
    FILE* f = std::fopen(kMacConfPath, "w");
    ASSERT_NE(f, nullptr);
    std::fputs(r.conf, f);
    std::fclose(f);
    EXPECT_EQ(get("/7044").out, kJsonHeader + "{ \"mac0\": \"" + r.mac + "\" }") << r.conf;
  }
}

TEST_F(NetworkTest, DefaultRouteAndReapply) {
  core_->reply(kDefaultRouteSet.id, int32s({7}));
  EXPECT_EQ(post("/7096", R"({"defaultRoute":1})").out, kJsonHeader + R"({ "res": 7 })");
  EXPECT_EQ(network().default_route, 1);
  EXPECT_EQ(only_message(*core_, kDefaultRouteSet.id).payload, int32s({1}));
  EXPECT_EQ(post("/7096", "{}").out, kCgiErrorJson);
  core_->no_reply(kDefaultRouteSet.id);
  EXPECT_EQ(post("/7096", R"({"defaultRoute":0})").out, kCgiErrorJson);
  EXPECT_EQ(get("/7043").out, kOk);
  EXPECT_EQ(only_message(*core_, kNetworkReapply.id).payload, Bytes(32, 0));
}

// ---- /7010 - /7034 -----------------------------------------------------------------------------

TEST_F(NetworkTest, PppoeKeepsTheStoredPasswordWhenLeftOut) {
  EXPECT_EQ(post("/7011", R"({"enable":1,"autoConnect":1,"userName":"dsl","password":"pw"})").out, kOk);
  EXPECT_EQ(only_message(*core_, kNetworkChanged.id).payload, word_payload("pppoe"));
  EXPECT_EQ(post("/7011", R"({"enable":0,"userName":"dsl2"})").out, kOk);
  EXPECT_EQ(get("/7010").out, kJsonHeader + R"({ "enable": 0, "autoConnect": 1, "userName": "dsl2", )"
                                            R"("password": "pw", "pppoeipaddr": "0.0.0.0" })");
  settle();
  ASSERT_EQ(core_->received(kMsgOpLog).size(), 2u);
  EXPECT_EQ(record_from<OpLogRecord>(core_->received(kMsgOpLog)[0].payload).param_type, 915);
}

TEST_F(NetworkTest, DdnsTakesThePortsUnderTheirRequestNames) {
  EXPECT_EQ(post("/7021", R"({"enable":1,"domain":"dyn","userName":")" + std::string(31, 'u') +
                              R"(","password":"p","hostName":"cam.example","ddnsurl":"u","freeDNSHash":"h",)"
                              R"("http":8080,"rtsp":8554,"updateFreq":5})").out, kOk);
  const std::string reply = get("/7020").out;
  EXPECT_EQ(reply.rfind(kJsonHeader + R"({ "enable": 1, "domain": "dyn", "userName": ")" + std::string(31, 'u') +
                        R"(", "password": "p", "hostName": "cam.example", "ddnsurl": "u", "freeDNSHash": "h", )"
                        R"("updateFreq": 5, "http_port": 8080, "rtsp_port": 8554, "mac": ")"), 0u) << reply;
  EXPECT_EQ(only_message(*core_, kNetworkChanged.id).payload, word_payload("ddns"));
  EXPECT_EQ(post("/7021", R"({"enable":1,"updateFreq":5,"http":65535})").out, kOk);
  EXPECT_NE(get("/7020").out.find(R"("http_port": 65535, )"), std::string::npos);
}

TEST_F(NetworkTest, MailStoresSenderReceiversAndHostName) {
  EXPECT_EQ(post("/7031", R"({"enable":1,"userName":"me","password":"pw","smtpServer":"mail.zvsim.test",)"
                          R"("smtpPort":25,"senderAddr":"me@x","senderName":"NVR","enableTls":2,"enableAttach":1,)"
                          R"("captureInterval":30,"enableHostName":1,"hostName":"nvr.local",)"
                          R"("receivers":[{"receiverAddr":"a@x","receiverName":"A"},{},)"
                          R"({"receiverAddr":"c@x","receiverName":"C"},{"receiverAddr":"d@x"}]})").out, kOk);
  EXPECT_EQ(get("/7030").out,
            kJsonHeader + R"({ "enable": 1, "userName": "me", "password": "pw", "smtpServer": "mail.zvsim.test", )"
                          R"("smtpPort": 25, "senderAddr": "me@x", "senderName": "NVR", "enableTls": 2, )"
                          R"("enableAttach": 1, "captureInterval": 30, "enableHostName": 1, "hostName": "nvr.local", )"
                          R"("receivers": [ { "receiverAddr": "a@x", "receiverName": "A" }, )"
                          R"({ "receiverAddr": "", "receiverName": "" }, { "receiverAddr": "c@x", "receiverName": "C" } ] })");
  EXPECT_EQ(only_message(*core_, kNetworkChanged.id).payload, word_payload("mail"));
}

// A service set that leaves a number member (or the receiver list) out keeps its stored value (a
// required one is still refused: WritesRefusedWithoutATrace).
TEST_F(NetworkTest, ServiceSetsKeepTheNumbersTheyDoNotCarry) {
  const std::string mail = R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0)";
  const struct {
    const char* set;
    std::string full, partial;
    const char* read;
    std::vector<std::string> kept;
  } rows[] = {
      {"/7011", R"({"enable":1,"autoConnect":1})", R"({"enable":0})", "/7010", {R"("autoConnect": 1,)"}},
      {"/7021",
       R"({"enable":1,"updateFreq":5,"http":8080,"rtsp":8554,"domain":"dyn","userName":"u1","password":"p1",)"
       R"("hostName":"h1","ddnsurl":"x1","freeDNSHash":"f1"})",
       R"({"enable":1,"updateFreq":6})", "/7020",
       {R"("domain": "dyn", "userName": "u1", "password": "p1", "hostName": "h1", "ddnsurl": "x1", )"
        R"("freeDNSHash": "f1", "updateFreq": 6, "http_port": 8080, "rtsp_port": 8554,)"}},
      {"/7031", mail + R"(,"enable":1,"enableHostName":1,"receivers":[{"receiverAddr":"a@x"}]})", mail + "}", "/7030",
       {R"({ "enable": 1,)", R"("enableHostName": 1,)", R"("receiverAddr": "a@x",)"}},
      {"/7091", R"({"v1_enable":1,"read_level_security":2})", R"({"v3_enable":1})", "/7090",
       {R"("v1_enable": 1,)", R"("read_level_security": 2,)", R"("port": 161,)"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.set);
    ASSERT_EQ(post(r.set, r.full).out, kOk);
    ASSERT_EQ(post(r.set, r.partial).out, kOk);
    const std::string reply = get(r.read).out;
    for (const std::string& kept : r.kept) EXPECT_NE(reply.find(kept), std::string::npos) << kept << "\n" << reply;
  }
}

TEST_F(NetworkTest, TestMailAnswers) {
  core_->reply(kMailTest.id, int32s({0}));
  EXPECT_EQ(get("/7032").out, kOk);
  EXPECT_EQ(only_message(*core_, kMailTest.id).payload, word_payload("testmail"));
  core_->reply(kMailTest.id, int32s({-3}));
  EXPECT_EQ(get("/7032").out, kTextHeader + "ERROR");
  core_->no_reply(kMailTest.id);
  EXPECT_EQ(get("/7032").out, kCgiErrorText);
}

TEST_F(NetworkTest, MulticastKeepsTheAddressWhenLeftOut) {
  core_->reply(kMulticastSet.id, int32s({0}));
  EXPECT_EQ(post("/7034", R"({"enable":1,"ip":"239.1.2.3"})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(post("/7034", R"({"enable":0})").out, kJsonHeader + R"({ "res": 0 })");
  EXPECT_EQ(get("/7033").out, kJsonHeader + R"({ "enable": 0, "ip": "239.1.2.3" })");
  const auto sent = record_from<MulticastConfig>(core_->received(kMulticastSet.id).back().payload);
  EXPECT_EQ(text_of(sent.ip), "239.1.2.3");
  EXPECT_EQ(post("/7034", "x").out, kCgiErrorJson);
  const std::string long_ip(64, '1');
  EXPECT_EQ(post("/7034", R"({"ip":")" + long_ip + "\"}").out, kJsonHeader + R"({ "res": 0 })");
  MulticastConfig m{};
  kMulticast.read(kZvdbPath, &m, kNetworkRow);
  EXPECT_EQ(text_of(m.ip), std::string(64, '1'));
  // One character more: refused, not sent cut as another group address.
  expect_refused("/7034", R"({"ip":")" + long_ip + "1\"}", kCgiErrorJson);
}

}  // namespace
}  // namespace zvtest
