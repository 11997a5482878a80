// The status module's messages to the core, each declared once, with their reply records. Every
// status request is sent without payload; a reply holds any number of records (n = length / size).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvrecord/schema.h"

// One network interface (8301).
struct NetifStatus {
  char ifname[12];
  int32_t id;
  int32_t state;
  int32_t speed_mode;
  int32_t duplex;
  int32_t enable;
  int32_t dhcp_enable;
  char ip_addr[24];
  char mac[24];
  char primary_dns[24];
  char second_dns[24];
  char gateway[24];
  char netmask[24];
  int32_t mtu;
  uint8_t ip6mode;
  char ip6address[67];
  int32_t ip6prefix;
  char ip6gateway[64];
};
ZV_SCHEMA(NetifStatus, ZV_FIELD(ifname, "ifname"), ZV_FIELD(id, "id"), ZV_FIELD(state, "state"),
          ZV_FIELD(speed_mode, "speedMode"), ZV_FIELD(duplex, "duplex"), ZV_FIELD(enable, "enable"),
          ZV_FIELD(dhcp_enable, "dhcpEnable"), ZV_FIELD(ip_addr, "ipAddr"), ZV_FIELD(mac, "MAC"),
          ZV_FIELD(primary_dns, "primaryDNS"), ZV_FIELD(second_dns, "secondDNS"),
          ZV_FIELD(gateway, "gateway"), ZV_FIELD(netmask, "netmask"), ZV_FIELD(mtu, "mtu"),
          ZV_FIELD(ip6mode, "ip6mode"), ZV_FIELD(ip6address, "ip6address"),
          ZV_FIELD(ip6prefix, "ip6prefix"), ZV_FIELD(ip6gateway, "ip6gateway"));
static_assert(sizeof(NetifStatus) == 320);

// One interface's throughput (8302).
struct NetifSpeed {
  char ifname[12];
  int32_t rx_speed;
  int32_t tx_speed;
  int32_t id;
};
ZV_SCHEMA(NetifSpeed, ZV_FIELD(ifname, "ifname"), ZV_FIELD(rx_speed, "RxSpeed"),
          ZV_FIELD(tx_speed, "TxSpeed"), ZV_FIELD(id, "id"));
static_assert(sizeof(NetifSpeed) == 24);

// One stream of a camera as the status page shows it.
struct StreamStatus {
  int32_t width;
  int32_t height;
  int32_t framerate;
  int32_t bitrate;
  int32_t connection;
  int32_t connect_status;
};
ZV_SCHEMA(StreamStatus, ZV_FIELD(width, "width"), ZV_FIELD(height, "height"),
          ZV_FIELD(framerate, "framerate"), ZV_FIELD(bitrate, "bitrate"),
          ZV_FIELD(connection, "connection"), ZV_FIELD(connect_status, "connectStatus"));
static_assert(sizeof(StreamStatus) == 24);

// One camera's streams (8300), in ascending channel order.
struct CameraStreamStatus {
  StreamStatus main;
  StreamStatus sub;
  int32_t record_on;
  int32_t alarm_on;
  int32_t channel;
  int32_t unused;
};
ZV_SCHEMA(CameraStreamStatus, ZV_INTERNAL(main), ZV_INTERNAL(sub), ZV_FIELD(record_on, "recordOn"),
          ZV_FIELD(alarm_on, "alarmOn"), ZV_INTERNAL(channel), ZV_RESERVED(unused));
static_assert(sizeof(CameraStreamStatus) == 64);

// One channel's people counters of the event and alarm state.
struct PeopleCounters {
  int32_t in;
  int32_t out;
};
ZV_SCHEMA(PeopleCounters, ZV_FIELD(in, "in"), ZV_FIELD(out, "out"));
static_assert(sizeof(PeopleCounters) == 8);

// The smart-event masks of the event and alarm state, in this order.
inline constexpr const char* kSmartEventKeys[] = {"entrance",  "exiting",   "advancedMotion", "tampering",
                                                  "lineCrossing", "loitering", "humanDetection", "objectleftremove"};
constexpr int kSmartEvents = 8;

// Event and alarm state of the whole device (8305, first record only). Masks hold bit c for
// channel c; the recorder's alarm bits hold bit n for input or output n; the camera masks come
// per alarm index (0 and 1).
struct EventAlarmState {
  uint64_t video_loss;
  uint64_t motion;
  uint32_t alarm_out_bits;
  uint32_t alarm_in_bits;
  uint64_t smart[kSmartEvents];
  PeopleCounters counters[64];
  uint64_t camera_in_state[2];
  uint64_t camera_out_state[2];
  uint64_t camera_in_type[2];
  uint64_t camera_out_type[2];
};
ZV_SCHEMA(EventAlarmState, ZV_INTERNAL(video_loss), ZV_INTERNAL(motion), ZV_INTERNAL(alarm_out_bits),
          ZV_INTERNAL(alarm_in_bits), ZV_INTERNAL(smart), ZV_RECORDS(counters, nullptr),
          ZV_INTERNAL(camera_in_state), ZV_INTERNAL(camera_out_state), ZV_INTERNAL(camera_in_type),
          ZV_INTERNAL(camera_out_type));
static_assert(sizeof(EventAlarmState) == 664);

// Memory (8306), in the core's units.
struct MemoryStatus {
  int32_t total;
  int32_t free;
  int32_t used;
};
ZV_SCHEMA(MemoryStatus, ZV_FIELD(total, "total"), ZV_FIELD(free, "free"), ZV_FIELD(used, "used"));
static_assert(sizeof(MemoryStatus) == 12);

// What one channel supports (8263: 64 of them, in channel order).
struct ChannelSupport {
  int32_t reserved0;
  int32_t support;  // 1: supported
  int32_t type;     // 1 or 2; anything else shows as 0
  int32_t reserved[8];
};
ZV_SCHEMA(ChannelSupport, ZV_RESERVED(reserved0), ZV_INTERNAL(support), ZV_INTERNAL(type),
          ZV_RESERVED(reserved));
static_assert(sizeof(ChannelSupport) == 44);

// One logged-in user (6719).
struct OnlineUser {
  char user_name[64];
  int32_t user_level;
  char ipaddr[64];
  char login_time[20];
};
ZV_SCHEMA(OnlineUser, ZV_FIELD(user_name, "userName"), ZV_FIELD(user_level, "userLevel"),
          ZV_FIELD(ipaddr, "ipaddr"), ZV_FIELD(login_time, "loginTime"));
static_assert(sizeof(OnlineUser) == 152);

inline constexpr Exchange<NoPayload, NetifStatus> kNetifStatus{3301, 8301, "network interfaces", 0};
inline constexpr Exchange<NoPayload, NetifSpeed> kNetifSpeed{3302, 8302, "interface throughput", 0};
inline constexpr Exchange<NoPayload, CameraStreamStatus> kCameraStreamStatus{3300, 8300, "camera stream status", 0};
inline constexpr Exchange<NoPayload, EventAlarmState> kEventAlarmStatus{3305, 8305, "event and alarm state"};
inline constexpr Exchange<NoPayload, MemoryStatus> kMemoryStatus{3306, 8306, "memory"};
inline constexpr Exchange<NoPayload, ChannelSupport> kChannelSupport{3263, 8263, "channel support", 0};
inline constexpr Exchange<NoPayload, OnlineUser> kOnlineUsers{1719, 6719, "logged-in users", 0};
