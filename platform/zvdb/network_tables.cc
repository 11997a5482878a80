#include "platform/zvdb/network_tables.h"

#include <cstdio>
#include <cstring>

namespace zvdb {
namespace {

template <size_t N>
void set_text(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

void set_ipv4(NetworkIpv4& n, const char* address, const char* gateway) {
  n.enable = 1;
  set_text(n.ip_addr, address);
  set_text(n.netmask, "255.255.255.0");
  set_text(n.gateway, gateway);
  set_text(n.dns1, "8.8.8.8");
  set_text(n.dns2, "8.8.4.4");
  n.mtu = 1500;
}

// Factory network: two separately addressed ports with static addresses, IPv6 obtained.
void default_network(void* record, int32_t) {
  NetworkConfig n{};
  set_text(n.host_name, "NVR");
  set_ipv4(n.bond, "192.168.1.100", "192.168.1.1");
  set_ipv4(n.eth0, "192.168.1.100", "192.168.1.1");
  set_ipv4(n.eth1, "192.168.2.100", "192.168.2.1");
  n.eth0_ipv6_type = 1;
  n.eth1_ipv6_type = 1;
  n.bond_ipv6_type = 1;
  std::memcpy(record, &n, sizeof n);
}

// Factory ports: SSH off on 22, web 80, streaming 554, service 6036, HTTPS 443, POS 5000.
void default_ports(void* record, int32_t) {
  PortConfig p{};
  p.ssh_port = 22;
  p.http_port = 80;
  p.rtsp_port = 554;
  p.service_port = 6036;
  p.https_port = 443;
  p.pos_port = 5000;
  std::memcpy(record, &p, sizeof p);
}

// Factory clock: manual time in UTC, no daylight saving, NTP once a day when switched on.
void default_time(void* record, int32_t) {
  TimeConfig t{};
  set_text(t.time_zone, "UTC");
  set_text(t.time_zone_name, "UTC");
  set_text(t.ntp_server, "pool.ntp.org");
  t.sync_interval = kSyncIntervals[kDefaultSyncIntervalIndex];
  std::memcpy(record, &t, sizeof t);
}

constexpr TableDesc one_row(const char* name, uint32_t size, std::span<const Field> fields,
                            void (*make_default)(void*, int32_t)) {
  return TableDesc{.name = name, .record_size = size, .key_a_count = 1, .fields = fields,
                   .default_rows = 1, .make_default = make_default};
}

}  // namespace

const TableDesc kNetworkTable =
    one_row("network", sizeof(NetworkConfig), zvrec::schema_of<NetworkConfig>().fields, default_network);
const TableDesc kPortTable = one_row("port", sizeof(PortConfig), zvrec::schema_of<PortConfig>().fields, default_ports);
const TableDesc kTimeTable = one_row("time", sizeof(TimeConfig), zvrec::schema_of<TimeConfig>().fields, default_time);

std::span<const TableDesc* const> network_tables() {
  static const TableDesc* const kTables[] = {&kNetworkTable, &kPortTable, &kTimeTable};
  return kTables;
}

}  // namespace zvdb
