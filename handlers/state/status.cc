// Device status pages: each request asks the core once (no payload) and prints the reply's
// records as JSON; without a reply in the budget the JSON error form is written.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>
#include <memory>
#include <optional>

#include "common/exchange.h"
#include "common/json_writer.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/messages/state.h"
#include "handlers/state/state_module.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr int kChannels = 64;

// The interface throughput as the page reads it: the number first.
constexpr auto kNetifSpeedForm = ZV_FIELDS(NetifSpeed, ZV_FIELD(id, "id"), ZV_FIELD(ifname, "ifname"),
                                           ZV_FIELD(rx_speed, "RxSpeed"), ZV_FIELD(tx_speed, "TxSpeed"));

// Every whole record of the reply (at most `cap`) printed through `schema`, as an array under `key`
// of one object, or as the bare array when `key` is null. Nothing when the core did not answer.
template <class R>
void reply_records(const std::optional<CoreReply>& reply, const char* key, size_t cap,
                   const zvrec::Schema& schema = zvrec::schema_of<R>()) {
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const size_t count = payload.record_count<R>(cap);
  JsonWriter w(64 + count * sizeof(R) * 2);
  if (key != nullptr) w.begin_object().key(key);
  w.begin_array();
  for (size_t i = 0; i < count; ++i) {
    R record;
    if (payload.record(i, &record)) write_object(w, schema, &record);
  }
  w.end_array();
  reply_json(key != nullptr ? w.end_object() : w);
}

int max_cameras() { return std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, kChannels); }

void write_stream(JsonWriter& w, const char* key, const StreamStatus* s) {
  w.key(key).begin_object();
  if (s == nullptr) {
    w.key("res").value("--").key("framerate").value("--").key("bitrate").value("--");
    w.key("connection").value("--");
  } else {
    w.key("res").begin_object().key("width").value(s->width).key("height").value(s->height).end_object();
    w.key("framerate").value(s->framerate).key("bitrate").value(s->bitrate);
    w.key("connection").value(s->connection).key("connectStatus").value(s->connect_status);
  }
  w.end_object();
}

}  // namespace

static void netif_status_handler(const char* /*argument*/) {
  reply_records<NetifStatus>(core_ask(kNetifStatus, REPLY_JSON), "netif", 16);
}

static void netif_speed_handler(const char* /*argument*/) {
  reply_records<NetifSpeed>(core_ask(kNetifSpeed, REPLY_JSON), "netif", 16, kNetifSpeedForm.schema());
}

// One object per configured channel: its name, enable and address from the database, its streams
// from the core's record of that channel (records come in ascending channel order; a channel
// without one shows "--").
static void camera_stream_status_handler(const char* /*argument*/) {
  const auto reply = core_ask(kCameraStreamStatus, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const size_t count = payload.record_count<CameraStreamStatus>(kChannels);
  const int channels = max_cameras();
  JsonWriter w(256 + static_cast<size_t>(channels) * 480);
  w.begin_object().key("IPC").begin_array();
  size_t next = 0;
  for (int c = 0; c < channels; ++c) {
    CameraRecord camera{};
    read_camera(kZvdbPath, &camera, c);
    char name[64] = "";
    read_osd_name(kZvdbPath, c, name, sizeof name);
    camera.ip_addr[sizeof camera.ip_addr - 1] = '\0';
    w.begin_object().key("id").value(c).key("name").field(name).key("enable").value(camera.enable);
    w.key("ipAddr").value(camera.ip_addr[0] != '\0' ? camera.ip_addr : "--");
    // A record of an earlier channel (out of order, or repeated) is passed over, so that it cannot
    // hide the records of every later channel.
    CameraStreamStatus s{};
    while (next < count && payload.record(next, &s) && s.channel < c) ++next;
    if (next < count && payload.record(next, &s) && s.channel == c) {
      ++next;
      w.key("recordOn").value(s.record_on).key("alarmOn").value(s.alarm_on);
      write_stream(w, "main", &s.main);
      write_stream(w, "sub", &s.sub);
    } else {
      w.key("recordOn").value("--").key("alarmOn").value("--");
      write_stream(w, "main", nullptr);
      write_stream(w, "sub", nullptr);
    }
    w.end_object();
  }
  reply_json(w.end_array().end_object());
}

namespace {

int bit_of(uint64_t mask, int n) { return n >= 0 && n < 64 ? static_cast<int>((mask >> n) & 1U) : 0; }

// "<prefix><k>" (k is 0..9 here; a page of 64 cameras asks for nearly a thousand such keys).
std::string_view indexed(char (&buffer)[32], std::string_view prefix, int k) {
  const size_t n = std::min(prefix.size(), sizeof buffer - 12);
  std::memcpy(buffer, prefix.data(), n);
  const char* end = std::to_chars(buffer + n, buffer + sizeof buffer, k).ptr;
  return {buffer, static_cast<size_t>(end - buffer)};
}

// One text member of every stored record of a table, placed at its channel (0..kChannels-1);
// channels without a record keep "". One scan, and only the member is kept: a camera record is
// 1.4 KiB, the page needs its address.
template <class Record, size_t N>
std::unique_ptr<std::array<char, N>[]> text_by_channel(const zvdb::Table<Record>& table, int32_t Record::*channel,
                                                       const char (Record::*text)[N]) {
  auto placed = std::make_unique<std::array<char, N>[]>(kChannels);
  table.scan(kZvdbPath, [&](const Record& r) {
    const int c = r.*channel;
    if (c >= 0 && c < kChannels) std::memcpy(placed[c].data(), r.*text, N);
    return true;
  });
  return placed;
}

void write_cameras(JsonWriter& w, const EventAlarmState& state) {
  const auto in_names = camera_alarm_rows(kZvdbPath, kCameraAlarmInNames);
  const auto out_names = camera_alarm_rows(kZvdbPath, kCameraAlarmOutNames);
  const auto addresses = text_by_channel(kCameras, &CameraRecord::id, &CameraRecord::ip_addr);
  const auto names = text_by_channel(kOsds, &OsdRecord::cam_id, &OsdRecord::cam_name);
  const int channels = max_cameras();
  w.key("cameras").begin_array();
  for (int c = 0; c < channels; ++c) {
    w.begin_object().key("id").value(c).key("name").field(names[c].data(), names[c].size());
    w.key("ipAddr").field(addresses[c].data(), addresses[c].size());
    w.key("videolossOn").value(bit_of(state.video_loss, c)).key("motionOn").value(bit_of(state.motion, c));
    w.key("ioOn").value(1);
    for (int e = 0; e < kSmartEvents; ++e) w.key(kSmartEventKeys[e]).value(bit_of(state.smart[e], c));
    w.key("in").value(state.counters[c].in).key("out").value(state.counters[c].out);
    for (int k = 0; k < kCameraAlarms; ++k) {
      const CameraAlarmInName& in = in_names[c * kCameraAlarms + k];
      const CameraAlarmOutName& out = out_names[c * kCameraAlarms + k];
      char key[32];
      w.key(indexed(key, "AlarmInName", k)).field(in.name);
      w.key(indexed(key, "AlarmInType", k)).value(bit_of(state.camera_in_type[k], c));
      w.key(indexed(key, "AlarmInState", k)).value(bit_of(state.camera_in_state[k], c));
      w.key(indexed(key, "AlarmOutName", k)).field(out.name);
      w.key(indexed(key, "AlarmOutDelay", k)).value(out.delay_time);
      w.key(indexed(key, "AlarmOutType", k)).value(bit_of(state.camera_out_type[k], c));
      w.key(indexed(key, "AlarmOutState", k)).value(bit_of(state.camera_out_state[k], c));
    }
    w.end_object();
  }
  w.end_array();
}

constexpr auto kAlarmInForm =
    ZV_FIELDS(AlarmInConfig, ZV_FIELD(id, "id"), ZV_FIELD(name, "name"), ZV_FIELD(type, "type"));
constexpr auto kAlarmOutForm = ZV_FIELDS(AlarmOutConfig, ZV_FIELD(id, "id"), ZV_FIELD(name, "name"),
                                         ZV_FIELD(type, "type"), ZV_FIELD(duration_time, "duration"));

// The recorder's stored inputs or outputs (`form`) below the device's count (the setting `limit_key`,
// at most N), each with its live state from `bits`.
template <class Row, int N>
void write_alarm_rows(JsonWriter& w, const char* key, const zvdb::Table<Row>& table, const char* limit_key,
                      const zvrec::Schema& form, uint32_t bits) {
  const int limit = std::clamp(get_param_int(kZvdbPath, limit_key, N), 0, N);
  auto rows = std::make_unique<Row[]>(N);
  const int count = read_stored_rows(kZvdbPath, table, rows.get(), N);
  w.key(key).begin_array();
  for (int i = 0; i < std::min(count, limit); ++i) {
    w.begin_object();
    write_fields(w, form, &rows[i]);
    w.key("state").value(bit_of(bits, rows[i].id)).end_object();
  }
  w.end_array();
}

}  // namespace

// Every channel's events and camera alarms, then the recorder's alarm inputs and outputs, each
// with its live state from the core's one record.
static void event_alarm_status_handler(const char* /*argument*/) {
  const auto reply = core_ask(kEventAlarmStatus, REPLY_JSON);
  auto state = std::make_unique<EventAlarmState>();
  if (!reply || !reply->first(state.get())) return;
  JsonWriter w(4096 + static_cast<size_t>(max_cameras()) * 1024);
  w.begin_object();
  write_cameras(w, *state);
  write_alarm_rows<AlarmInConfig, kAlarmInputs>(w, "alarmIn", kAlarmIns, "alarm_in", kAlarmInForm.schema(),
                                                state->alarm_in_bits);
  write_alarm_rows<AlarmOutConfig, kAlarmOutputs>(w, "alarmOut", kAlarmOuts, "alarm_out", kAlarmOutForm.schema(),
                                                  state->alarm_out_bits);
  reply_json(w.end_object());
}

// Served by no one: the page asks, nothing is printed.
static void status_unused_handler(const char* /*argument*/) {}

static void memory_status_handler(const char* /*argument*/) {
  reply_core_record<MemoryStatus>(core_ask(kMemoryStatus, REPLY_JSON));
}

// Two 64-character texts: "1" for each supporting channel; the type's digit (1, 2) or "0".
static void channel_support_handler(const char* /*argument*/) {
  const auto reply = core_ask(kChannelSupport, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  char support[kChannels + 1];
  char type[kChannels + 1];
  for (int c = 0; c < kChannels; ++c) {
    ChannelSupport entry{};
    payload.record(static_cast<size_t>(c), &entry);
    support[c] = entry.support == 1 ? '1' : '0';
    type[c] = entry.type == 1 ? '1' : entry.type == 2 ? '2' : '0';
  }
  support[kChannels] = type[kChannels] = '\0';
  JsonWriter w(192);
  reply_json(w.begin_object().key("support").value(support).key("type").value(type).end_object());
}

static void online_users_handler(const char* /*argument*/) {
  reply_records<OnlineUser>(core_ask(kOnlineUsers, REPLY_JSON), nullptr, 256);
}

ZV_REQUESTS(kStatusRequests, "state",
    {"/8000", netif_status_handler},
    {"/8001", netif_speed_handler},
    {"/8002", camera_stream_status_handler},
    {"/8003", event_alarm_status_handler},
    {"/8004", status_unused_handler},
    {"/8008", memory_status_handler},
    {"/8009", channel_support_handler},
    {"/8011", online_users_handler});
