// The network interfaces: the two Ethernet ports addressed one by one (mode 0) or bonded (modes 1
// and 2), their IPv6 addresses, the hardware addresses and the default-route port.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/safe_text.h"
#include "common/settings_store.h"
#include "common/web_utils.h"
#include "common/request_table.h"
#include "common/messages/network_services.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvnet/netif6.h"

namespace {

constexpr int32_t kMultiAddress = 0;
constexpr int32_t kBondPrimary = 2;
constexpr int32_t kIpv6Live = 2;       // IPv6 type whose gateway is never stored
constexpr size_t kMacConfChars = 32;  // the configured MAC text kept for /7044

// The members a write takes in bond modes; absent ones keep the stored value.
constexpr auto kBondForm = ZV_FIELDS(
    NetworkConfig, ZV_FIELD(primary_net, "primaryNet").keep_if_absent(),
    ZV_FIELD(bond.enable, "enableNetwork1").keep_if_absent(), ZV_FIELD(bond.type, "networkType").keep_if_absent(),
    ZV_FIELD(bond.ip_addr, "ipAddr").whole().keep_if_absent(),
    ZV_FIELD(bond.netmask, "netmask").whole().keep_if_absent(),
    ZV_FIELD(bond.gateway, "gateway").whole().keep_if_absent(), ZV_FIELD(bond.dns1, "DNS1").whole().keep_if_absent(),
    ZV_FIELD(bond.dns2, "DNS2").whole().keep_if_absent(), ZV_FIELD(bond.mtu, "mtu").keep_if_absent(),
    ZV_FIELD(bond_ipv6.addr, "ip6Addr").whole().keep_if_absent(),
    ZV_FIELD(bond_ipv6.prefix, "ip6netmask").whole().keep_if_absent(),
    ZV_FIELD(bond_ipv6.gateway, "ip6gateway").whole().keep_if_absent(),
    ZV_FIELD(bond_ipv6_type, "ip6networkType").keep_if_absent());

// The members a write takes in the multi-address mode.
constexpr auto kMultiForm = ZV_FIELDS(
    NetworkConfig, ZV_FIELD(eth0.enable, "enableNetwork1").keep_if_absent(),
    ZV_FIELD(eth0.type, "networkType").keep_if_absent(), ZV_FIELD(eth0.ip_addr, "ipAddr").whole().keep_if_absent(),
    ZV_FIELD(eth0.netmask, "netmask").whole().keep_if_absent(),
    ZV_FIELD(eth0.gateway, "gateway").whole().keep_if_absent(),
    ZV_FIELD(eth0.dns1, "DNS1").whole().keep_if_absent(), ZV_FIELD(eth0.dns2, "DNS2").whole().keep_if_absent(),
    ZV_FIELD(eth0.mtu, "mtu").keep_if_absent(), ZV_FIELD(eth1.enable, "enableNetwork2").keep_if_absent(),
    ZV_FIELD(eth1.type, "networkType2").keep_if_absent(), ZV_FIELD(eth1.ip_addr, "ipAddr2").whole().keep_if_absent(),
    ZV_FIELD(eth1.netmask, "netmask2").whole().keep_if_absent(),
    ZV_FIELD(eth1.gateway, "gateway2").whole().keep_if_absent(),
    ZV_FIELD(eth1.dns1, "DNS12").whole().keep_if_absent(), ZV_FIELD(eth1.dns2, "DNS22").whole().keep_if_absent(),
    ZV_FIELD(eth1.mtu, "mtu2").keep_if_absent(), ZV_FIELD(eth0_ipv6.addr, "ip6Addr").whole().keep_if_absent(),
    ZV_FIELD(eth0_ipv6.prefix, "ip6netmask").whole().keep_if_absent(),
    ZV_FIELD(eth0_ipv6.gateway, "ip6gateway").whole().keep_if_absent(),
    ZV_FIELD(eth1_ipv6.addr, "ip6Addr2").whole().keep_if_absent(),
    ZV_FIELD(eth1_ipv6.prefix, "ip6netmask2").whole().keep_if_absent(),
    ZV_FIELD(eth1_ipv6.gateway, "ip6gateway2").whole().keep_if_absent(),
    ZV_FIELD(eth0_ipv6_type, "ip6networkType").keep_if_absent(),
    ZV_FIELD(eth1_ipv6_type, "ip6networkType2").keep_if_absent(),
    ZV_FIELD(default_route, "defaultRoute").keep_if_absent());

// "<base><suffix>": the keys of the second interface end in "2".
std::string_view suffixed(char (&key)[32], const char* base, const char* suffix) {
  std::snprintf(key, sizeof key, "%s%s", base, suffix);
  return key;
}

void ipv4_members(JsonWriter& w, const NetworkIpv4& n, const char* suffix) {
  char key[32];
  w.key(suffixed(key, "ipAddr", suffix)).field(n.ip_addr).key(suffixed(key, "netmask", suffix)).field(n.netmask);
  w.key(suffixed(key, "gateway", suffix)).field(n.gateway);
}

// The IPv6 keys of one interface: the stored values, or the interface's live ones (keys that
// found nothing are left out).
void ipv6_members(JsonWriter& w, const NetworkIpv6& stored, int32_t type, const char* ifname, const char* suffix) {
  char key[32];
  auto named = [&](const char* base) { return suffixed(key, base, suffix); };
  if (type == 0 || (type == 1 && stored.addr[0] != '\0' && stored.prefix[0] != '\0')) {
    w.key(named("ip6Addr")).field(stored.addr).key(named("ip6netmask")).field(stored.prefix);
    w.key(named("ip6gateway")).field(stored.gateway);
    return;
  }
  char addr[64], prefix[16], gateway[64];
  if (net_get_ipv6_address(type == 1 ? 1 : 0, ifname, addr, sizeof addr, prefix, sizeof prefix) == 0) {
    w.key(named("ip6Addr")).value(addr).key(named("ip6netmask")).value(prefix);
  }
  if (net_get_ipv6_gateway2(0, ifname, gateway, sizeof gateway) == 0 ||
      net_get_ipv6_gateway2(1, ifname, gateway, sizeof gateway) == 0) {
    w.key(named("ip6gateway")).value(gateway);
  }
}

void bond_form(JsonWriter& w, const NetworkConfig& n, const char* mac0) {
  w.key("mode").value(n.mode).key("hostName").field(n.host_name).key("primaryNet").value(n.primary_net);
  w.key("enableNetwork1").value(n.bond.enable).key("networkType").value(n.bond.type);
  ipv4_members(w, n.bond, "");
  w.key("macAddr").value(mac0).key("DNS1").field(n.bond.dns1).key("DNS2").field(n.bond.dns2);
  w.key("mtu").value(n.bond.mtu).key("ip6networkType").value(n.bond_ipv6_type);
  ipv6_members(w, n.bond_ipv6, n.bond_ipv6_type, "bond0", "");
}

void multi_form(JsonWriter& w, const NetworkConfig& n, const char* mac0, const char* mac1) {
  w.key("mode").value(n.mode).key("hostName").field(n.host_name);
  w.key("enableNetwork1").value(n.eth0.enable).key("networkType").value(n.eth0.type);
  ipv4_members(w, n.eth0, "");
  w.key("ip6networkType").value(n.eth0_ipv6_type);
  ipv6_members(w, n.eth0_ipv6, n.eth0_ipv6_type, "eth0", "");
  w.key("macAddr").value(mac0).key("DNS1").field(n.eth0.dns1).key("DNS2").field(n.eth0.dns2);
  w.key("mtu").value(n.eth0.mtu);
  w.key("enableNetwork2").value(n.eth1.enable).key("networkType2").value(n.eth1.type);
  ipv4_members(w, n.eth1, "2");
  w.key("ip6networkType2").value(n.eth1_ipv6_type);
  ipv6_members(w, n.eth1_ipv6, n.eth1_ipv6_type, "eth1", "2");
  w.key("macAddr2").value(mac1).key("DNS12").field(n.eth1.dns1).key("DNS22").field(n.eth1.dns2);
  w.key("mtu2").value(n.eth1.mtu);
}

}  // namespace

static void network_read_handler(const char* argument) {
  if (argument == nullptr) return;
  NetworkConfig n{};
  kNetwork.read(kZvdbPath, &n, kNetworkRow);
  int32_t mode = 0;
  if (!parse_decimal(argument, &mode) || mode < 0 || mode > kBondPrimary) mode = n.mode;
  char mac0[18], mac1[18];
  get_mac_addresses(mac0, mac1);
  JsonWriter w(2048);
  w.begin_object();
  if (mode == kMultiAddress) {
    multi_form(w, n, mac0, mac1);
  } else if (mode > 0 && mode <= kBondPrimary) {
    bond_form(w, n, mac0);
  }
  w.key("defaultRoute").value(n.default_route).end_object();
  reply_json(w);
}

static void network_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request || !json_texts_shell_safe(request.get())) return;
  int32_t conflict = 0, slave_clear = 0;
  {
    // The stored row is read and rewritten in one transaction: a host name stored meanwhile by
    // another request is not undone by this one.
    SettingsWrite write;
    NetworkConfig n{};
    kNetwork.read(kZvdbPath, &n, kNetworkRow);
    if (!read_json_members(request.get(), {int_member("mode", &n.mode).keep_if_absent().range(0, kBondPrimary),
                                           int_member("Conflict", &conflict),
                                           int_member("slaveClear", &slave_clear)})) {
      return;
    }
    const NetworkConfig stored = n;
    // A port whose IPv6 address is live keeps its stored gateway.
    auto keep_live_gateway = [](int32_t type, NetworkIpv6& now, const NetworkIpv6& was) {
      if (type == kIpv6Live) std::memcpy(now.gateway, was.gateway, sizeof now.gateway);
    };
    if (n.mode != kMultiAddress) {
      if (!read_record(request.get(), kBondForm.schema(), &n)) return;
      if (n.mode != kBondPrimary) n.primary_net = stored.primary_net;
      keep_live_gateway(n.bond_ipv6_type, n.bond_ipv6, stored.bond_ipv6);
    } else {
      if (!read_record(request.get(), kMultiForm.schema(), &n)) return;
      keep_live_gateway(n.eth0_ipv6_type, n.eth0_ipv6, stored.eth0_ipv6);
      keep_live_gateway(n.eth1_ipv6_type, n.eth1_ipv6, stored.eth1_ipv6);
    }
    write.check(kNetwork.write(kZvdbPath, &n));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kSlaveClear, slave_clear);
  core_tell(kServicesChanged, NetworkChange{"network"});
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = 204;
  record.param_type = 914;
  op_log_send(record);
  if (conflict == 1) {
    record.main_type = 32;
    record.sub_type = 406;
    op_log_send(record);
  }
  reply_ok();
}

static void network_mode_handler(const char* /*argument*/) {
  NetworkConfig n{};
  kNetwork.read(kZvdbPath, &n, kNetworkRow);
  char text[16];
  std::snprintf(text, sizeof text, "%d", n.mode);
  reply_text(text);
}

static void network_reapply_handler(const char* /*argument*/) {
  core_tell(kNetworkReapply, NetworkReapply{});
  reply_ok();
}

static void mac_conf_handler(const char* /*argument*/) {
  char conf[kMacConfChars + 1];
  read_mac_conf(conf, sizeof conf);
  char mac[kMacConfChars * 2 + 1] = {};
  size_t out = 0;
  for (size_t i = 0; conf[i] != '\0'; ++i) {
    mac[out++] = conf[i];
    const unsigned char next = static_cast<unsigned char>(conf[i + 1]);
    if (i % 2 == 1 && next != '\0' && std::isalnum(next)) mac[out++] = ':';
  }
  JsonWriter w;
  w.begin_object().key("mac0").value(mac).end_object();
  reply_json(w);
}

static void default_route_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t route = 0;
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    NetworkConfig n{};
    if (!request || !read_json_members(request.get(), {int_member("defaultRoute", &route).required()}) ||
        kNetwork.read(kZvdbPath, &n, kNetworkRow) != 0) {
      return (void)reply_cgi_error(REPLY_JSON);
    }
    n.default_route = route;
    write.check(kNetwork.write(kZvdbPath, &n));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  reply_core_res(core_ask(kDefaultRouteSet, route, REPLY_JSON));
}

ZV_REQUESTS(kInterfacesRequests, "network",
    {"/7040", network_read_handler},
    {"/7041", network_set_handler},
    {"/7042", network_mode_handler},
    {"/7043", network_reapply_handler},
    {"/7044", mac_conf_handler},
    {"/7096", default_route_handler});
