// Status pages through the real front end against a fake core: exact reply bytes, the message
// sent (no payload), short and empty replies, counts above capacity, texts without terminator.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <cstring>
#include <string>

#include "common/request.h"
#include "common/messages/state.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/video_tables.h"
#include "tests/support/request_fixture.h"

namespace zvtest {
namespace {

class StatusTest : public RequestTest {
 protected:
  // The request `id` with the core answering `message` with `payload`: the reply, after checking
  // that exactly one message without payload went out.
  std::string ask(const std::string& id, int32_t message, const Bytes& payload) {
    core_->clear_received();
    core_->reply(message, payload);
    const std::string out = get(id).out;
    EXPECT_EQ(only_message(*core_, message).payload, Bytes{}) << id;
    EXPECT_EQ(core_->received().size(), 1U) << id;
    return out;
  }
};

template <size_t N>
void fill(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(N, text.size()));
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(StatusTest, PrintersGiveTheRecordsExactly) {
  NetifStatus netif{};
  fill(netif.ifname, "eth0eth0eth0");  // all twelve bytes, no terminator
  netif.id = 1;
  netif.state = 1;
  netif.speed_mode = 3;
  netif.duplex = 1;
  netif.enable = 1;
  netif.dhcp_enable = 0;
  fill(netif.ip_addr, "192.168.1.100");
  fill(netif.mac, "00:11:22:33:44:55");
  fill(netif.primary_dns, "8.8.8.8");
  fill(netif.gateway, "192.168.1.1");
  fill(netif.netmask, "255.255.255.0");
  netif.mtu = 1500;
  netif.ip6mode = 2;
  fill(netif.ip6address, "fe80::1");
  netif.ip6prefix = 64;
  fill(netif.ip6gateway, std::string(64, 'g'));
  NetifSpeed speed{};
  fill(speed.ifname, "eth1");
  speed.rx_speed = 1200;
  speed.tx_speed = -5;
  speed.id = 2;
  OnlineUser user{};
  fill(user.user_name, std::string(64, 'u'));
  user.user_level = 1;
  fill(user.ipaddr, "192.0.2.7");
  fill(user.login_time, "2026-12-09 01:02:03");
  struct Row {
    const char* id;
    int32_t message;
    Bytes payload;
    std::string reply;
  } rows[] = {
      {"/8000", kNetifStatus.id, concat({bytes_of(netif), Bytes(319, 7)}),
       kJsonHeader + R"({ "netif": [ { "ifname": "eth0eth0eth0", "id": 1, "state": 1, "speedMode": 3, )"
                     R"("duplex": 1, "enable": 1, "dhcpEnable": 0, "ipAddr": "192.168.1.100", )"
                     R"("MAC": "00:11:22:33:44:55", "primaryDNS": "8.8.8.8", "secondDNS": "", )"
                     R"("gateway": "192.168.1.1", "netmask": "255.255.255.0", "mtu": 1500, "ip6mode": 2, )"
                     R"("ip6address": "fe80::1", "ip6prefix": 64, "ip6gateway": ")" +
           std::string(64, 'g') + R"(" } ] })"},
      {"/8000", kNetifStatus.id, Bytes{}, kJsonHeader + R"({ "netif": [ ] })"},
      {"/8001", kNetifSpeed.id, concat({bytes_of(speed), Bytes(23, 1)}),
       kJsonHeader + R"({ "netif": [ { "id": 2, "ifname": "eth1", "RxSpeed": 1200, "TxSpeed": -5 } ] })"},
      {"/8001", kNetifSpeed.id, Bytes(23, 1), kJsonHeader + R"({ "netif": [ ] })"},
      {"/8008", kMemoryStatus.id, int32s({262144, 1000, 261144}),
       kJsonHeader + R"({ "total": 262144, "free": 1000, "used": 261144 })"},
      {"/8008", kMemoryStatus.id, Bytes(11, 0), kCgiErrorJson},
      {"/8011", kOnlineUsers.id, concat({bytes_of(user), Bytes(151, 0)}),
       kJsonHeader + R"([ { "userName": ")" + std::string(64, 'u') +
           R"(", "userLevel": 1, "ipaddr": "192.0.2.7", "loginTime": "2026-12-09 01:02:03" } ])"},
      {"/8011", kOnlineUsers.id, Bytes{}, kJsonHeader + "[ ]"},
  };
  for (const Row& row : rows) EXPECT_EQ(ask(row.id, row.message, row.payload), row.reply) << row.id;
}

TEST_F(StatusTest, WithoutAReplyTheErrorFormIsPrinted) {
  for (const auto& [id, message] : {std::pair{"/8000", kNetifStatus.id}, {"/8001", kNetifSpeed.id},
                                    {"/8002", kCameraStreamStatus.id}, {"/8003", kEventAlarmStatus.id},
                                    {"/8008", kMemoryStatus.id}, {"/8011", kOnlineUsers.id}}) {
    core_->clear_received();
    EXPECT_EQ(get(id).out, kCgiErrorJson) << id;
    EXPECT_EQ(only_message(*core_, message).payload, Bytes{}) << id;
  }
}

TEST_F(StatusTest, CountsStopAtCapacity) {
  NetifStatus netif{};
  fill(netif.ifname, "lo");
  Bytes many;
  for (int i = 0; i < 17; ++i) many = concat({many, bytes_of(netif)});
  EXPECT_EQ(count_of(ask("/8000", kNetifStatus.id, many), "\"ifname\""), 16U);
  NetifSpeed speed{};
  Bytes speeds;
  for (int i = 0; i < 17; ++i) speeds = concat({speeds, bytes_of(speed)});
  EXPECT_EQ(count_of(ask("/8001", kNetifSpeed.id, speeds), "\"RxSpeed\""), 16U);
  OnlineUser user{};
  Bytes users;
  for (int i = 0; i < 257; ++i) users = concat({users, bytes_of(user)});
  EXPECT_EQ(count_of(ask("/8011", kOnlineUsers.id, users), "\"userName\""), 256U);
}

TEST_F(StatusTest, NothingIsAskedForTheUnusedPage) {
  EXPECT_EQ(get("/8004").out, "");
  EXPECT_TRUE(core_->received().empty());
}

TEST_F(StatusTest, SupportTextsHaveSixtyFourCharacters) {
  Bytes entries;
  for (int c = 0; c < 65; ++c) {
    ChannelSupport e{};
    e.support = c == 0 || c == 63 ? 1 : (c == 1 ? 2 : 0);
    e.type = c == 0 ? 1 : c == 63 ? 2 : c == 2 ? 3 : c == 64 ? 1 : 0;
    entries = concat({entries, bytes_of(e)});
  }
  const std::string zeros62(62, '0');
  EXPECT_EQ(ask("/8009", kChannelSupport.id, entries),
            kJsonHeader + R"({ "support": "1)" + zeros62 + R"(1", "type": "1)" + zeros62 + R"(2" })");
  // One entry and a piece: the rest count as unsupported.
  ChannelSupport first{};
  first.support = 1;
  first.type = 2;
  EXPECT_EQ(ask("/8009", kChannelSupport.id, concat({bytes_of(first), Bytes(43, 1)})),
            kJsonHeader + R"({ "support": "1)" + std::string(63, '0') + R"(", "type": "2)" + std::string(63, '0') +
                R"(" })");
}

TEST_F(StatusTest, CameraStatusTakesRecordsOfItsChannelOnly) {
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 3), 0);
  zvdb_close_all();
  CameraStreamStatus zero{};
  zero.main = StreamStatus{1920, 1080, 25, 4096, 1, 2};
  zero.sub = StreamStatus{640, 360, 15, 512, 3, 4};
  zero.record_on = 1;
  zero.alarm_on = 0;
  zero.channel = 0;
  CameraStreamStatus two = zero;
  two.channel = 2;
  CameraStreamStatus stale = zero;  // a repeated channel 0 after it was taken
  const std::string out =
      ask("/8002", kCameraStreamStatus.id, concat({bytes_of(zero), bytes_of(stale), bytes_of(two), Bytes(63, 0)}));
  const std::string streams =
      R"("recordOn": 1, "alarmOn": 0, "main": { "res": { "width": 1920, "height": 1080 }, "framerate": 25, )"
      R"("bitrate": 4096, "connection": 1, "connectStatus": 2 }, "sub": { "res": { "width": 640, "height": 360 }, )"
      R"("framerate": 15, "bitrate": 512, "connection": 3, "connectStatus": 4 } })";
  const std::string none =
      R"("recordOn": "--", "alarmOn": "--", "main": { "res": "--", "framerate": "--", "bitrate": "--", )"
      R"("connection": "--" }, "sub": { "res": "--", "framerate": "--", "bitrate": "--", "connection": "--" } })";
  EXPECT_EQ(out, kJsonHeader + R"({ "IPC": [ { "id": 0, "name": "CAM1", "enable": 0, "ipAddr": "--", )" + streams +
                     R"(, { "id": 1, "name": "CAM2", "enable": 0, "ipAddr": "--", )" + none +
                     R"(, { "id": 2, "name": "CAM3", "enable": 0, "ipAddr": "--", )" + streams + " ] }");
  // "max_cameras" above 64 stops at 64; below 0 shows none.
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 65), 0);
  zvdb_close_all();
  EXPECT_EQ(count_of(ask("/8002", kCameraStreamStatus.id, Bytes{}), "\"id\""), 64U);
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", -1), 0);
  zvdb_close_all();
  EXPECT_EQ(ask("/8002", kCameraStreamStatus.id, Bytes{}), kJsonHeader + R"({ "IPC": [ ] })");
}

JsonPtr parse(const std::string& reply) {
  JsonPtr tree(json_tokener_parse(body_of(reply).c_str()));
  EXPECT_NE(tree.get(), nullptr) << reply;
  return tree;
}

json_object* at(json_object* o, const char* key) { return json_object_object_get(o, key); }
int int_at(json_object* o, const char* key) { return json_object_get_int(at(o, key)); }
std::string text_at(json_object* o, const char* key) {
  const char* t = json_object_get_string(at(o, key));
  return t != nullptr ? t : "(absent)";
}

TEST_F(StatusTest, EventAndAlarmStateReadsEveryMaskAndRow) {
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 2), 0);
  ASSERT_EQ(set_param_int(kZvdbPath, "alarm_in", 3), 0);
  ASSERT_EQ(set_param_int(kZvdbPath, "alarm_out", 5), 0);  // above the four outputs
  CameraAlarmInName in_name{1, 1, {}};
  fill(in_name.name, std::string(64, 'i'));
  ASSERT_EQ(kCameraAlarmInNames.write(kZvdbPath, &in_name), 0);
  CameraAlarmOutName out_name{1, 0, 30, {}};
  fill(out_name.name, "Siren");
  ASSERT_EQ(kCameraAlarmOutNames.write(kZvdbPath, &out_name), 0);
  AlarmOutConfig output{};
  ASSERT_EQ(kAlarmOuts.read(kZvdbPath, &output, {3}), 0);
  fill(output.name, "Door");
  output.type = 1;
  output.duration_time = 12;
  ASSERT_EQ(kAlarmOuts.write(kZvdbPath, &output), 0);
  zvdb_close_all();

  EventAlarmState s{};
  s.video_loss = 2;
  s.motion = 1;
  s.alarm_in_bits = 0x4;
  s.alarm_out_bits = 0x8;
  for (int e = 0; e < kSmartEvents; ++e) s.smart[e] = e % 2 == 0 ? 2 : 0;
  s.counters[1] = {7, -3};
  s.camera_in_state[1] = 2;
  s.camera_out_state[0] = 2;
  s.camera_in_type[0] = 1;
  s.camera_out_type[1] = 2;
  JsonPtr tree = parse(ask("/8003", kEventAlarmStatus.id, concat({bytes_of(s), Bytes(100, 0)})));
  ASSERT_NE(tree.get(), nullptr);
  json_object* cameras = at(tree.get(), "cameras");
  ASSERT_EQ(json_object_array_length(cameras), 2U);
  json_object* c0 = json_object_array_get_idx(cameras, 0);
  json_object* c1 = json_object_array_get_idx(cameras, 1);
  EXPECT_EQ(json_object_to_json_string_ext(c0, JSON_C_TO_STRING_SPACED),
            std::string(R"({ "id": 0, "name": "CAM1", "ipAddr": "", "videolossOn": 0, "motionOn": 1, "ioOn": 1, )"
                        R"("entrance": 0, "exiting": 0, "advancedMotion": 0, "tampering": 0, "lineCrossing": 0, )"
                        R"("loitering": 0, "humanDetection": 0, "objectleftremove": 0, "in": 0, "out": 0, )"
                        R"("AlarmInName0": ")") +
                text_at(c0, "AlarmInName0") +
                R"(", "AlarmInType0": 1, "AlarmInState0": 0, "AlarmOutName0": ")" + text_at(c0, "AlarmOutName0") +
                R"(", "AlarmOutDelay0": )" + std::to_string(int_at(c0, "AlarmOutDelay0")) +
                R"(, "AlarmOutType0": 0, "AlarmOutState0": 0, "AlarmInName1": ")" + text_at(c0, "AlarmInName1") +
                R"(", "AlarmInType1": 0, "AlarmInState1": 0, "AlarmOutName1": ")" + text_at(c0, "AlarmOutName1") +
                R"(", "AlarmOutDelay1": )" + std::to_string(int_at(c0, "AlarmOutDelay1")) +
                R"(, "AlarmOutType1": 0, "AlarmOutState1": 0 })");
  EXPECT_EQ(int_at(c1, "videolossOn"), 1);
  EXPECT_EQ(int_at(c1, "motionOn"), 0);
  for (int e = 0; e < kSmartEvents; ++e) EXPECT_EQ(int_at(c1, kSmartEventKeys[e]), e % 2 == 0 ? 1 : 0);
  EXPECT_EQ(int_at(c1, "in"), 7);
  EXPECT_EQ(int_at(c1, "out"), -3);
  EXPECT_EQ(text_at(c1, "AlarmInName1"), std::string(63, 'i')) << "as the database keeps it";
  EXPECT_EQ(int_at(c1, "AlarmInState1"), 1);
  EXPECT_EQ(int_at(c1, "AlarmInType0"), 0);
  EXPECT_EQ(text_at(c1, "AlarmOutName0"), "Siren");
  EXPECT_EQ(int_at(c1, "AlarmOutDelay0"), 30);
  EXPECT_EQ(int_at(c1, "AlarmOutState0"), 1);
  EXPECT_EQ(int_at(c1, "AlarmOutType1"), 1);

  json_object* inputs = at(tree.get(), "alarmIn");
  ASSERT_EQ(json_object_array_length(inputs), 3U);
  for (int i = 0; i < 3; ++i) {
    json_object* in = json_object_array_get_idx(inputs, i);
    EXPECT_EQ(int_at(in, "id"), i);
    EXPECT_EQ(int_at(in, "state"), i == 2 ? 1 : 0);
    EXPECT_NE(at(in, "name"), nullptr);
    EXPECT_NE(at(in, "type"), nullptr);
  }
  json_object* outputs = at(tree.get(), "alarmOut");
  ASSERT_EQ(json_object_array_length(outputs), 4U);
  json_object* door = json_object_array_get_idx(outputs, 3);
  EXPECT_EQ(json_object_to_json_string_ext(door, JSON_C_TO_STRING_SPACED),
            std::string(R"({ "id": 3, "name": "Door", "type": 1, "duration": 12, "state": 1 })"));
  EXPECT_EQ(int_at(json_object_array_get_idx(outputs, 0), "state"), 0);

  // A record one byte short is not taken; "alarm_in" below 0 lists no input.
  EXPECT_EQ(ask("/8003", kEventAlarmStatus.id, Bytes(663, 0xff)), kCgiErrorJson);
  ASSERT_EQ(set_param_int(kZvdbPath, "alarm_in", -1), 0);
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 0), 0);
  zvdb_close_all();
  tree = parse(ask("/8003", kEventAlarmStatus.id, bytes_of(s)));
  ASSERT_NE(tree.get(), nullptr);
  EXPECT_EQ(json_object_array_length(at(tree.get(), "alarmIn")), 0U);
  EXPECT_EQ(json_object_array_length(at(tree.get(), "cameras")), 0U);

  // The last of 64 channels reads its own bit.
  ASSERT_EQ(set_param_int(kZvdbPath, "max_cameras", 64), 0);
  zvdb_close_all();
  s.video_loss = uint64_t{1} << 63;
  tree = parse(ask("/8003", kEventAlarmStatus.id, bytes_of(s)));
  ASSERT_EQ(json_object_array_length(at(tree.get(), "cameras")), 64U);
  EXPECT_EQ(int_at(json_object_array_get_idx(at(tree.get(), "cameras"), 63), "videolossOn"), 1);
  EXPECT_EQ(int_at(json_object_array_get_idx(at(tree.get(), "cameras"), 62), "videolossOn"), 0);
}

}  // namespace
}  // namespace zvtest
