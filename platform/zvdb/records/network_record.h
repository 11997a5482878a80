// The recorder's network settings (configuration database): the network record (interfaces,
// addresses and the host name), the service ports and the clock settings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

// IPv4 settings of one interface (or of the bonded one).
struct NetworkIpv4 {
  int32_t enable;
  int32_t type;  // address type: static or obtained
  char ip_addr[16];
  char netmask[16];
  char gateway[16];
  char dns1[16];
  char dns2[16];
  int32_t mtu;
};
ZV_SCHEMA(NetworkIpv4, ZV_FIELD(enable, "enable"), ZV_FIELD(type, "type"), ZV_FIELD(ip_addr, "ipAddr"),
          ZV_FIELD(netmask, "netmask"), ZV_FIELD(gateway, "gateway"), ZV_FIELD(dns1, "DNS1"),
          ZV_FIELD(dns2, "DNS2"), ZV_FIELD(mtu, "mtu"));
static_assert(sizeof(NetworkIpv4) == 92);

// IPv6 address, prefix and gateway of one interface.
struct NetworkIpv6 {
  char addr[64];
  char prefix[16];
  char gateway[64];
};
ZV_SCHEMA(NetworkIpv6, ZV_FIELD(addr, "ip6Addr"), ZV_FIELD(prefix, "ip6netmask"),
          ZV_FIELD(gateway, "ip6gateway"));
static_assert(sizeof(NetworkIpv6) == 144);

// The network record, one per device. Mode 0 runs eth0 and eth1 with their own settings; modes 1
// and 2 join them into one bonded interface (2 with a primary port). The JSON forms of the network
// pages are built over it where they are read; the host name is shown by the display page.
constexpr int kHostNameSize = 132;
constexpr int kHostNameChars = 127;
struct NetworkConfig {
  int32_t mode;
  char host_name[kHostNameSize];
  int32_t primary_net;
  NetworkIpv4 bond;
  NetworkIpv4 eth0;
  NetworkIpv4 eth1;
  char reserved[36];
  NetworkIpv6 eth0_ipv6;
  NetworkIpv6 eth1_ipv6;
  int32_t eth0_ipv6_type;
  int32_t eth1_ipv6_type;
  NetworkIpv6 bond_ipv6;
  int32_t bond_ipv6_type;
  int32_t default_route;
};
ZV_SCHEMA(NetworkConfig, ZV_FIELD(mode, "mode"), ZV_FIELD(host_name, "hostName").out_only(),
          ZV_INTERNAL(primary_net), ZV_INTERNAL(bond), ZV_INTERNAL(eth0),
          ZV_INTERNAL(eth1), ZV_RESERVED(reserved), ZV_INTERNAL(eth0_ipv6),
          ZV_INTERNAL(eth1_ipv6), ZV_INTERNAL(eth0_ipv6_type), ZV_INTERNAL(eth1_ipv6_type),
          ZV_INTERNAL(bond_ipv6), ZV_INTERNAL(bond_ipv6_type),
          ZV_FIELD(default_route, "defaultRoute"));
static_assert(sizeof(NetworkConfig) == 900);

// The service ports (one row).
struct PortConfig {
  int32_t enable_ssh;
  int32_t ssh_port;
  int32_t http_port;
  int32_t rtsp_port;
  int32_t service_port;
  char host_name[256];
  int32_t enable_host_name;
  int32_t https_port;
  int32_t pos_port;
};
ZV_SCHEMA(PortConfig, ZV_FIELD(enable_ssh, "sshEnable").keep_if_absent().range(0, 1),
          ZV_FIELD(ssh_port, "sshPort").keep_if_absent().range(1, 65535),
          ZV_FIELD(http_port, "httpPort").keep_if_absent().range(1, 65535),
          ZV_FIELD(rtsp_port, "rtspPort").keep_if_absent().range(1, 65535),
          ZV_FIELD(service_port, "servicePort").keep_if_absent().range(1, 65535),
          ZV_FIELD(host_name, "hostName").whole().keep_if_absent(),
          ZV_FIELD(enable_host_name, "enableHostName").keep_if_absent().range(0, 1),
          ZV_FIELD(https_port, "httpsPort").keep_if_absent().range(1, 65535),
          ZV_FIELD(pos_port, "posPort").keep_if_absent().range(1, 65535));
static_assert(sizeof(PortConfig) == 288);

// The clock settings (one row). The synchronisation interval is stored as its value; the pages
// use an index into kSyncIntervals.
struct TimeConfig {
  int32_t ntp_enable;
  int32_t dst_enable;
  char time_zone[32];
  char time_zone_name[32];
  char ntp_server[64];
  int32_t sync_enable;
  int32_t sync_interval;
  int32_t sync_pc;
};
ZV_SCHEMA(TimeConfig, ZV_FIELD(ntp_enable, "ntpEnable").required().range(0, 1),
          ZV_FIELD(dst_enable, "dstEnable").required().range(0, 1),
          ZV_FIELD(time_zone, "timeZone").whole().required(), ZV_FIELD(time_zone_name, "timeZoneName").required(),
          ZV_FIELD(ntp_server, "ntpServer").whole().keep_if_absent(),
          ZV_FIELD(sync_enable, "syncEnable").required().range(0, 1),
          ZV_FIELD(sync_interval, "syncInterval").required(),
          ZV_FIELD(sync_pc, "syncPc").required().range(0, 1));
static_assert(sizeof(TimeConfig) == 148);

inline constexpr int32_t kSyncIntervals[] = {60, 120, 300, 600, 1440, 2880, 7200, 14400, 43200};
inline constexpr int32_t kDefaultSyncIntervalIndex = 4;  // 1440
