// The network services' rows (configuration database): PPPoE, dynamic DNS, e-mail, multicast,
// SNMP, the P2P row and the push event of each channel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

// The PPPoE dial-up link.
struct PppoeConfig {
  int32_t enable;
  int32_t auto_connect;
  char user_name[64];
  char password[64];
};
ZV_SCHEMA(PppoeConfig, ZV_FIELD(enable, "enable").required().range(0, 1),
          ZV_FIELD(auto_connect, "autoConnect").keep_if_absent(),
          ZV_FIELD(user_name, "userName").whole().keep_if_absent(),
          ZV_FIELD(password, "password").whole().keep_if_absent());
static_assert(sizeof(PppoeConfig) == 136);

// The dynamic DNS client. The request names the ports "http" and "rtsp", the reply
// "http_port" and "rtsp_port" (see the forms of the handler).
struct DdnsConfig {
  int32_t enable;
  char domain[64];
  char user_name[32];
  char password[32];
  char host_name[128];
  char free_dns_hash[128];
  int32_t update_freq;
  int32_t http_port;
  int32_t rtsp_port;
  char ddnsurl[128];
};
ZV_SCHEMA(DdnsConfig, ZV_FIELD(enable, "enable"), ZV_FIELD(domain, "domain"), ZV_FIELD(user_name, "userName").whole(),
          ZV_FIELD(password, "password"), ZV_FIELD(host_name, "hostName"), ZV_FIELD(free_dns_hash, "freeDNSHash"),
          ZV_FIELD(update_freq, "updateFreq"), ZV_FIELD(http_port, "http_port"),
          ZV_FIELD(rtsp_port, "rtsp_port"), ZV_FIELD(ddnsurl, "ddnsurl"));
static_assert(sizeof(DdnsConfig) == 528);

// One e-mail receiver.
struct EmailReceiver {
  int32_t reserved;
  char receiver_addr[128];
  char receiver_name[64];
};
ZV_SCHEMA(EmailReceiver, ZV_RESERVED(reserved), ZV_FIELD(receiver_addr, "receiverAddr").whole().keep_if_absent(),
          ZV_FIELD(receiver_name, "receiverName").keep_if_absent());
static_assert(sizeof(EmailReceiver) == 196);

constexpr int kEmailReceivers = 3;
// The SMTP sender and its three receivers.
struct EmailConfig {
  int32_t enable;
  char user_name[64];
  char password[64];
  char smtp_server[64];
  int32_t smtp_port;
  char sender_addr[128];
  char sender_name[64];
  int32_t enable_tls;
  int32_t enable_attach;
  int32_t capture_interval;
  EmailReceiver receivers[kEmailReceivers];
};
ZV_SCHEMA(EmailConfig, ZV_FIELD(enable, "enable").keep_if_absent(),
          ZV_FIELD(user_name, "userName").whole().keep_if_absent(),
          ZV_FIELD(password, "password").whole().keep_if_absent(),
          ZV_FIELD(smtp_server, "smtpServer").whole().keep_if_absent(),
          ZV_FIELD(smtp_port, "smtpPort").required().range(0, 65535),
          ZV_FIELD(sender_addr, "senderAddr").whole().keep_if_absent(),
          ZV_FIELD(sender_name, "senderName").keep_if_absent(),
          ZV_FIELD(enable_tls, "enableTls").required().range(0, 2),
          ZV_FIELD(enable_attach, "enableAttach").required().range(0, 1),
          ZV_FIELD(capture_interval, "captureInterval").required().at_least(0),
          ZV_RECORDS(receivers, "receivers").keep_if_absent());
static_assert(sizeof(EmailConfig) == 992);

// The multicast address; also the payload of its message to the core.
struct MulticastConfig {
  int32_t enable;
  char ip[65];
  char pad[3];
};
ZV_SCHEMA(MulticastConfig, ZV_FIELD(enable, "enable").keep_if_absent(), ZV_FIELD(ip, "ip").whole().keep_if_absent(),
          ZV_RESERVED(pad));
static_assert(sizeof(MulticastConfig) == 72);

// The SNMP agent. Texts keep 63 characters; a longer community or password is refused. The
// agent listens on port 1..65535 (on port 0 no manager could reach it).
struct SnmpConfig {
  int32_t v1_enable;
  int32_t v2c_enable;
  char write_community[64];
  char read_community[64];
  int32_t v3_enable;
  char read_security_name[64];
  int32_t read_level_security;
  int32_t read_auth_algorithm;
  char read_auth_password[64];
  int32_t read_pri_algorithm;
  char read_pri_password[64];
  char write_security_name[64];
  int32_t write_level_security;
  int32_t write_auth_algorithm;
  char write_auth_password[64];
  int32_t write_pri_algorithm;
  char write_pri_password[64];
  int32_t port;
};
ZV_SCHEMA(SnmpConfig, ZV_FIELD(v1_enable, "v1_enable").keep_if_absent(),
          ZV_FIELD(v2c_enable, "v2c_enable").keep_if_absent(),
          ZV_FIELD(write_community, "write_community").whole().keep_if_absent(),
          ZV_FIELD(read_community, "read_community").whole().keep_if_absent(),
          ZV_FIELD(v3_enable, "v3_enable").keep_if_absent(),
          ZV_FIELD(read_security_name, "read_security_name").whole().keep_if_absent(),
          ZV_FIELD(read_level_security, "read_level_security").keep_if_absent(),
          ZV_FIELD(read_auth_algorithm, "read_auth_algorithm").keep_if_absent(),
          ZV_FIELD(read_auth_password, "read_auth_password").whole().keep_if_absent(),
          ZV_FIELD(read_pri_algorithm, "read_pri_algorithm").keep_if_absent(),
          ZV_FIELD(read_pri_password, "read_pri_password").whole().keep_if_absent(),
          ZV_FIELD(write_security_name, "write_security_name").whole().keep_if_absent(),
          ZV_FIELD(write_level_security, "write_level_security").keep_if_absent(),
          ZV_FIELD(write_auth_algorithm, "write_auth_algorithm").keep_if_absent(),
          ZV_FIELD(write_auth_password, "write_auth_password").whole().keep_if_absent(),
          ZV_FIELD(write_pri_algorithm, "write_pri_algorithm").keep_if_absent(),
          ZV_FIELD(write_pri_password, "write_pri_password").whole().keep_if_absent(),
          ZV_FIELD(port, "port").keep_if_absent().range(1, 65535));
static_assert(sizeof(SnmpConfig) == 552);

// The P2P row: the switch and the four registration texts sent to the P2P service.
struct P2pInfo {
  int32_t enable;
  char reserved[32];
  char text1[128];
  char text2[128];
  char text3[128];
  char text4[64];
};
ZV_SCHEMA(P2pInfo, ZV_FIELD(enable, "enable"), ZV_RESERVED(reserved), ZV_INTERNAL(text1), ZV_INTERNAL(text2),
          ZV_INTERNAL(text3), ZV_INTERNAL(text4));
static_assert(sizeof(P2pInfo) == 484);

// The push type of one channel.
struct PushEvent {
  int32_t channel;
  int32_t type;
};
ZV_SCHEMA(PushEvent, ZV_FIELD(channel, "channel"), ZV_FIELD(type, "type"));
static_assert(sizeof(PushEvent) == 8);
