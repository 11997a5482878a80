// The network services' messages to the core (interfaces, PPPoE, DDNS, e-mail, multicast,
// service ports, push, P2P, network tests), each declared once, with their payload records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "common/messages/network.h"
#include "common/messages/system.h"
#include "platform/zvdb/records/network_services_record.h"
#include "platform/zvrecord/schema.h"

// The core's P2P status (answer of 3702).
struct P2pStatus {
  int32_t enable;
  int32_t p2pstatus;
  char model[32];
  char ipc[64];
  char cloud_account[64];
  char cloud_server[64];
  char register_code[128];
  char company[128];
  char email[128];
  char dealer[128];
};
ZV_SCHEMA(P2pStatus, ZV_FIELD(enable, "enable"), ZV_FIELD(p2pstatus, "p2pstatus"), ZV_FIELD(model, "model"),
          ZV_FIELD(ipc, "ipc"), ZV_FIELD(cloud_account, "cloudAccount"), ZV_FIELD(cloud_server, "cloudServer"),
          ZV_FIELD(register_code, "registerCode"), ZV_FIELD(company, "company"), ZV_FIELD(email, "email"),
          ZV_FIELD(dealer, "dealer"));
static_assert(sizeof(P2pStatus) == 744);

// The P2P service's answer to a registration, handed on to the core (3700 without a reply, told
// apart from the 484-byte switch by its size): at most 127 characters and a NUL.
struct P2pAnswerText {
  char text[128];
};
ZV_SCHEMA(P2pAnswerText, ZV_INTERNAL(text));
static_assert(sizeof(P2pAnswerText) == 128);

// The network tests: is `ip` reachable (3005), and through which interface (3006).
struct PingTarget {
  char ip[20];
};
ZV_SCHEMA(PingTarget, ZV_INTERNAL(ip));
static_assert(sizeof(PingTarget) == 20);
struct RouteTarget {
  char dev[16];
  char ip[16];
};
ZV_SCHEMA(RouteTarget, ZV_INTERNAL(dev), ZV_INTERNAL(ip));
static_assert(sizeof(RouteTarget) == 32);

// What the test mail request names (3409): "testmail".
struct MailTest {
  char what[32];
};
ZV_SCHEMA(MailTest, ZV_INTERNAL(what));
static_assert(sizeof(MailTest) == 32);

// The push switch (3617): "0" or "1".
struct PushSwitch {
  char text[10];
};
ZV_SCHEMA(PushSwitch, ZV_INTERNAL(text));
static_assert(sizeof(PushSwitch) == 10);

// Apply the stored interface settings again (1712): 32 zero bytes.
struct NetworkReapply {
  char zero[32];
};
ZV_SCHEMA(NetworkReapply, ZV_RESERVED(zero));
static_assert(sizeof(NetworkReapply) == 32);

inline constexpr const auto& kServicesChanged = kNetworkChanged;  // 1702 "pppoe", "ddns", "mail", "more", "snmp"
inline constexpr const auto& kServicesReboot = kReboot;           // 1703, sent without payload here
inline constexpr Notice<int32_t> kSlaveClear{3023, "bond slave clear"};
inline constexpr Notice<NetworkReapply> kNetworkReapply{1712, "network reapply"};
inline constexpr Exchange<int32_t, int32_t> kDefaultRouteSet{1724, 6724, "default route"};
inline constexpr Exchange<MailTest, int32_t> kMailTest{3409, 8409, "test mail"};
inline constexpr Exchange<MulticastConfig, int32_t> kMulticastSet{1729, 6729, "multicast"};
inline constexpr Exchange<P2pInfo, int32_t> kP2pEnable{3700, 8700, "p2p enable"};
inline constexpr Notice<P2pAnswerText> kP2pRegistered{3700, "p2p registration answer"};
inline constexpr Exchange<P2pInfo, int32_t> kP2pDisable{3701, 8701, "p2p disable"};
inline constexpr Exchange<NoPayload, P2pStatus> kP2pStatusRead{3702, 8702, "p2p status"};
inline constexpr Exchange<PingTarget, int32_t> kPingTest{3005, 8005, "ping test", 0};
inline constexpr Exchange<RouteTarget, int32_t> kRouteTest{3006, 8006, "route test", 0};
inline constexpr Notice<int32_t> kChannelAccess{3618, "channel access"};
inline constexpr Notice<int32_t> kPosPortChanged{1422, "pos port"};
inline constexpr Notice<PushSwitch> kPushSwitch{3617, "push switch"};
inline constexpr Exchange<NoPayload, int32_t> kNetworkStatus{3309, 8309, "network status"};
inline constexpr Exchange<NoPayload, int32_t> kServiceRestart{2302, 7302, "service restart"};

// The P2P service's registration exchange (TCP): a 40-byte header, then the body. The answer
// has the same header, its status at offset 12, then (status 0) a text of at most 127 characters.
struct P2pWireHeader {
  int32_t version;     // 2
  int32_t reserved0;
  int32_t body_size;   // bytes of the body that follows
  int32_t status;      // 0 in a request; the result in an answer
  int32_t kind;        // 1: registration
  char reserved[20];
};
ZV_SCHEMA(P2pWireHeader, ZV_INTERNAL(version), ZV_RESERVED(reserved0), ZV_INTERNAL(body_size), ZV_INTERNAL(status),
          ZV_INTERNAL(kind), ZV_RESERVED(reserved));
static_assert(sizeof(P2pWireHeader) == 40);

struct P2pWireBody {
  char mac[24];
  char device_name[32];
  char sn[64];
  char text1[128];
  char text2[128];
  char text3[128];
  char text4[64];
};
ZV_SCHEMA(P2pWireBody, ZV_INTERNAL(mac), ZV_INTERNAL(device_name), ZV_INTERNAL(sn), ZV_INTERNAL(text1),
          ZV_INTERNAL(text2), ZV_INTERNAL(text3), ZV_INTERNAL(text4));
static_assert(sizeof(P2pWireBody) == 568);
