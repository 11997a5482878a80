#include "platform/zvdb/network_tables.h"

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

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
void default_network(NetworkConfig& n, int32_t) {
  set_text(n.host_name, "NVR");
  set_ipv4(n.bond, "192.168.1.100", "192.168.1.1");
  set_ipv4(n.eth0, "192.168.1.100", "192.168.1.1");
  set_ipv4(n.eth1, "192.168.2.100", "192.168.2.1");
  n.eth0_ipv6_type = 1;
  n.eth1_ipv6_type = 1;
  n.bond_ipv6_type = 1;
}

// Factory ports: SSH off on 22, web 80, streaming 554, service 6036, HTTPS 443, POS 5000.
void default_ports(PortConfig& p, int32_t) {
  p.ssh_port = 22;
  p.http_port = 80;
  p.rtsp_port = 554;
  p.service_port = 6036;
  p.https_port = 443;
  p.pos_port = 5000;
}

// Factory clock: manual time in UTC, no daylight saving, NTP once a day when switched on.
void default_time(TimeConfig& t, int32_t) {
  set_text(t.time_zone, "UTC");
  set_text(t.time_zone_name, "UTC");
  set_text(t.ntp_server, "pool.ntp.org");
  t.sync_interval = kSyncIntervals[kDefaultSyncIntervalIndex];
}

// Factory services: every service off; SNMP v1/v2c communities "public"/"private" on port 161,
// DDNS every 10 minutes, e-mail on port 25, multicast 239.255.255.250; push events per channel.
void default_ddns(DdnsConfig& d, int32_t) {
  d.update_freq = 10;
  d.http_port = 80;
  d.rtsp_port = 554;
}

void default_email(EmailConfig& e, int32_t) {
  e.smtp_port = 25;
  e.capture_interval = 60;
}

void default_multicast(MulticastConfig& m, int32_t) {
  set_text(m.ip, "239.255.255.250");
}

void default_snmp(SnmpConfig& s, int32_t) {
  set_text(s.read_community, "public");
  set_text(s.write_community, "private");
  s.port = 161;
}

void default_push_event(PushEvent& e, int32_t channel) { e.channel = channel; }

}  // namespace

const TableDesc kNetworkTable =
    one_row_table<NetworkConfig>("network", factory_row<default_network>);
const TableDesc kPortTable = one_row_table<PortConfig>("port", factory_row<default_ports>);
const TableDesc kTimeTable = one_row_table<TimeConfig>("time", factory_row<default_time>);

const TableDesc kPppoeTable = one_row_table<PppoeConfig>("pppoe");
const TableDesc kDdnsTable = one_row_table<DdnsConfig>("ddns", factory_row<default_ddns>);
const TableDesc kEmailTable = one_row_table<EmailConfig>("email", factory_row<default_email>);
const TableDesc kMulticastTable =
    one_row_table<MulticastConfig>("multicast", factory_row<default_multicast>);
const TableDesc kSnmpTable = one_row_table<SnmpConfig>("snmp", factory_row<default_snmp>);
const TableDesc kP2pTable = one_row_table<P2pInfo>("p2p_info");
const TableDesc kPushEventTable = keyed_table<PushEvent>("push_msg_event", offsetof(PushEvent, channel), 64,
                                                         factory_row<default_push_event>);

std::span<const TableDesc* const> network_tables() {
  static const TableDesc* const kTables[] = {&kNetworkTable, &kPortTable, &kTimeTable, &kPppoeTable,
                                             &kDdnsTable,    &kEmailTable, &kMulticastTable, &kSnmpTable,
                                             &kP2pTable,     &kPushEventTable};
  return kTables;
}

}  // namespace zvdb
