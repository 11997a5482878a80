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

// Factory services: every service off; SNMP v1/v2c communities "public"/"private" on port 161,
// DDNS every 10 minutes, e-mail on port 25, multicast 239.255.255.250.
void default_ddns(void* record, int32_t) {
  DdnsConfig d{};
  d.update_freq = 10;
  d.http_port = 80;
  d.rtsp_port = 554;
  std::memcpy(record, &d, sizeof d);
}

void default_email(void* record, int32_t) {
  EmailConfig e{};
  e.smtp_port = 25;
  e.capture_interval = 60;
  std::memcpy(record, &e, sizeof e);
}

void default_multicast(void* record, int32_t) {
  MulticastConfig m{};
  set_text(m.ip, "239.255.255.250");
  std::memcpy(record, &m, sizeof m);
}

void default_snmp(void* record, int32_t) {
  SnmpConfig s{};
  set_text(s.read_community, "public");
  set_text(s.write_community, "private");
  s.port = 161;
  std::memcpy(record, &s, sizeof s);
}

void default_push_event(void* record, int32_t channel) {
  PushEvent e{channel, 0};
  std::memcpy(record, &e, sizeof e);
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

const TableDesc kPppoeTable = one_row("pppoe", sizeof(PppoeConfig), zvrec::schema_of<PppoeConfig>().fields, nullptr);
const TableDesc kDdnsTable = one_row("ddns", sizeof(DdnsConfig), zvrec::schema_of<DdnsConfig>().fields, default_ddns);
const TableDesc kEmailTable = one_row("email", sizeof(EmailConfig), zvrec::schema_of<EmailConfig>().fields, default_email);
const TableDesc kMulticastTable =
    one_row("multicast", sizeof(MulticastConfig), zvrec::schema_of<MulticastConfig>().fields, default_multicast);
const TableDesc kSnmpTable = one_row("snmp", sizeof(SnmpConfig), zvrec::schema_of<SnmpConfig>().fields, default_snmp);
const TableDesc kP2pTable = one_row("p2p_info", sizeof(P2pInfo), zvrec::schema_of<P2pInfo>().fields, nullptr);
const TableDesc kPushEventTable{.name = "push_msg_event",
                                .record_size = sizeof(PushEvent),
                                .key = {.a = offsetof(PushEvent, channel)},
                                .key_a_count = 64,
                                .fields = zvrec::schema_of<PushEvent>().fields,
                                .default_rows = 64,
                                .make_default = default_push_event};

std::span<const TableDesc* const> network_tables() {
  static const TableDesc* const kTables[] = {&kNetworkTable, &kPortTable, &kTimeTable, &kPppoeTable,
                                             &kDdnsTable,    &kEmailTable, &kMulticastTable, &kSnmpTable,
                                             &kP2pTable,     &kPushEventTable};
  return kTables;
}

}  // namespace zvdb
