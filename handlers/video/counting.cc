// People counting on lines (smart event kind 7, its settings kept in the camera) and regional
// people counting (four regions per channel, each with an action block of its own).
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/reply_forms.h"
#include "handlers/video/analytics.h"
#include "common/messages/analytics.h"
#include "handlers/video/canvas.h"
#include "platform/zvdb/analytics_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr int kPeopleCountKind = 7;
constexpr int kRegionalPtzBase = 22;
constexpr size_t kCountPositionChars = 127;

constexpr auto kPeopleCountReply =
    ZV_FIELDS(PeopleCountSettings, ZV_SCHEMA_FIELD(width), ZV_SCHEMA_FIELD(height), ZV_SCHEMA_FIELD(osd_enable),
              ZV_SCHEMA_FIELD(osd_font_size), ZV_SCHEMA_FIELD(osd_text_pos), ZV_SCHEMA_FIELD(osd_type),
              ZV_SCHEMA_FIELD(sensitivity), ZV_SCHEMA_FIELD(line_num));
constexpr auto kRegionalReply = ZV_FIELDS(
    RegionalCountSettings, ZV_FIELD(result, "result"), ZV_SCHEMA_FIELD(chnid), ZV_SCHEMA_FIELD(sensitivity),
    ZV_SCHEMA_FIELD(min_obj_x), ZV_SCHEMA_FIELD(min_obj_y), ZV_SCHEMA_FIELD(min_obj_width),
    ZV_SCHEMA_FIELD(min_obj_height), ZV_SCHEMA_FIELD(max_obj_x), ZV_SCHEMA_FIELD(max_obj_y),
    ZV_SCHEMA_FIELD(max_obj_width), ZV_SCHEMA_FIELD(max_obj_height), ZV_SCHEMA_FIELD(regions));

// The per-line members of the line counting forms, in reply order: int8 flags first.
struct LineMember {
  const char* key;
  size_t offset;
  bool flag;  // one byte
};
constexpr LineMember kLineMembers[] = {
    {"lineEnable", offsetof(PeopleCountLine, line_enable), true},
    {"autoResetEnable", offsetof(PeopleCountLine, auto_reset_enable), true},
    {"direction", offsetof(PeopleCountLine, direction), true},
    {"showCntEnable", offsetof(PeopleCountLine, show_cnt_enable), true},
    {"startX", offsetof(PeopleCountLine, start_x), false},
    {"startY", offsetof(PeopleCountLine, start_y), false},
    {"stopX", offsetof(PeopleCountLine, stop_x), false},
    {"stopY", offsetof(PeopleCountLine, stop_y), false},
    {"autoResetWeekday", offsetof(PeopleCountLine, auto_reset_weekday), false},
    {"autoResetHour", offsetof(PeopleCountLine, auto_reset_hour), false},
    {"autoResetMin", offsetof(PeopleCountLine, auto_reset_min), false},
    {"autoResetSec", offsetof(PeopleCountLine, auto_reset_sec), false},
};

int32_t line_value(const PeopleCountLine& line, const LineMember& m) {
  const auto* at = reinterpret_cast<const unsigned char*>(&line) + m.offset;
  if (m.flag) return static_cast<int8_t>(*at);
  int32_t v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

void set_line_value(PeopleCountLine& line, const LineMember& m, int32_t v) {
  auto* at = reinterpret_cast<unsigned char*>(&line) + m.offset;
  if (m.flag) {
    *at = static_cast<unsigned char>(static_cast<int8_t>(v));
  } else {
    std::memcpy(at, &v, sizeof v);
  }
}

// The line ends come from "position", not from lists of their own.
bool is_position(const LineMember& m) {
  return std::strncmp(m.key, "start", 5) == 0 || std::strncmp(m.key, "stop", 4) == 0;
}

// The PTZ actions of a region: source id = the channel, up to 64 entries.
int store_region_ptz(int channel, int region, json_object* array) {
  PtzActionList list;
  ptz_entries_from_json(array, channel, kPtzActionMaxEntries, &list);
  return write_ptz_params_all(kZvdbPath, &list, kRegionalPtzBase + region, channel);
}

// Stores region `region`'s action block (an element of "action") for `channel` and copies it to
// the channels of `copies`: the record, written even when no member changed it, and the plans and
// lists the block carries (the copies keep their own others).
void store_region_actions(json_object* block, int channel, int region, ChannelMask64 copies, SettingsWrite& write) {
  json_object_object_add(block, "chnid", json_object_new_int(channel));
  store_event_actions(kRegionalCountKind, block, write, region, ApplyOptions{.with_ptz = false});
  SmartEventRecord record{};
  kRegionalCountEvents.read(kZvdbPath, &record, {channel, region});
  record.channel = channel;
  record.sub = region;
  write.check(kRegionalCountEvents.write(kZvdbPath, &record));
  if (json_object* ptz = json_array_of(block, "ptzParams"); ptz != nullptr) {
    write.check(store_region_ptz(channel, region, ptz));
  }
  if (!copies.empty()) copy_event_actions(kRegionalCountKind, channel, region, copies, write, {}, block);
}

}  // namespace

// ---- Line people counting ----

static void people_count_read_handler(const char* argument) {
  auto s = camera_record(argument, "channel", kPeopleCountRead);
  if (!s) return;
  JsonWriter w(2048);
  w.begin_object();
  write_fields(w, kPeopleCountReply.schema(), s.get());
  for (const LineMember& m : kLineMembers) {
    w.key(m.key).begin_array();
    for (const PeopleCountLine& line : s->lines) w.value(line_value(line, m));
    w.end_array();
  }
  w.key("position").begin_array();
  for (const PeopleCountLine& line : s->lines) {
    const CanvasPoint a = at_least_one(camera_to_canvas({line.start_x, line.start_y}, s->width, s->height));
    const CanvasPoint b = at_least_one(camera_to_canvas({line.stop_x, line.stop_y}, s->width, s->height));
    char text[64];
    std::snprintf(text, sizeof text, "%d;%d;%d;%d", a.x, a.y, b.x, b.y);
    w.value(text);
  }
  w.end_array().end_object();
  reply_json(w);
}

static void people_count_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  PeopleCountSettings s{};
  if (!request || !read_record(request.get(), &s)) return (void)reply_cgi_error(REPLY_TEXT);
  // Members and line lists the request leaves out stay as the camera has them.
  bool lists_given = json_array_of(request.get(), "position") != nullptr;
  for (const LineMember& m : kLineMembers) {
    lists_given = lists_given && (is_position(m) || json_array_of(request.get(), m.key) != nullptr);
  }
  if (!keep_camera_values(request.get(), zvrec::schema_of<PeopleCountSettings>(), kPeopleCountRead, s.channel, &s,
                          REPLY_TEXT, !lists_given, [&](const PeopleCountSettings& camera) {
                            for (const LineMember& m : kLineMembers) {
                              const bool given = json_array_of(request.get(), is_position(m) ? "position" : m.key) != nullptr;
                              for (size_t i = 0; i < std::size(s.lines) && !given; ++i) {
                                set_line_value(s.lines[i], m, line_value(camera.lines[i], m));
                              }
                            }
                          })) {
    return;
  }
  bool any_enabled = false;
  for (const LineMember& m : kLineMembers) {
    if (is_position(m)) continue;
    json_object* values = json_array_of(request.get(), m.key);
    for (size_t i = 0; i < std::min<size_t>(json_array_size(values), 4); ++i) {
      int32_t v = 0;
      if (json_value_int(json_array_at(values, i), &v)) set_line_value(s.lines[i], m, v);
    }
  }
  // Positions are stored as the camera points they name: no canvas conversion in this direction.
  json_object* positions = json_array_of(request.get(), "position");
  for (size_t i = 0; i < std::min<size_t>(json_array_size(positions), 4); ++i) {
    char text[kCountPositionChars + 1];
    if (!json_value_text(json_array_at(positions, i), text, sizeof text)) continue;
    int32_t numbers[4];
    parse_position(text, numbers);
    s.lines[i].start_x = numbers[0];
    s.lines[i].start_y = numbers[1];
    s.lines[i].stop_x = numbers[2];
    s.lines[i].stop_y = numbers[3];
  }
  for (const PeopleCountLine& line : s.lines) any_enabled = any_enabled || line.line_enable != 0;
  {
    SettingsWrite write;
    SmartEventRecord record{};
    if (kSmartEvents.read(kZvdbPath, &record, {s.channel, kPeopleCountKind}) != 0) {
      return (void)reply_cgi_error(REPLY_TEXT);
    }
    record.enable = any_enabled ? 1 : 0;
    write.check(kSmartEvents.write(kZvdbPath, &record));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  ask_status(kPeopleCountSet, s, REPLY_TEXT);
}

static void people_count_reset_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  PeopleCountReset reset{};
  if (!read_record(request.get(), &reset)) return (void)reply_cgi_error(REPLY_JSON);
  ask_status(kPeopleCountResetSet, reset, REPLY_JSON);
}

// ---- Regional people counting ----

static void regional_count_read_handler(const char* argument) {
  int32_t channel = -1;
  auto s = camera_record(argument, "chnid", kRegionalCountRead, REPLY_JSON, REPLY_JSON, &channel);
  if (!s) return;
  JsonWriter w(65536);
  w.begin_object();
  write_fields(w, kRegionalReply.schema(), s.get());
  w.key("action").begin_array();
  for (int region = 0; region < kCountingRegions; ++region) write_event_actions(w, kRegionalCountKind, channel, region);
  w.end_array().end_object();
  reply_json(w);
}

static void regional_count_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  auto s = std::make_unique<RegionalCountSettings>();
  char copy[kVcaCopyTextSize] = "";
  if (!request || !read_record(request.get(), s.get()) ||
      !read_json_members(request.get(), {text_member("copyChn", copy).absent_text("")})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  s->result = 0;
  const ChannelMask64 copies = copy_text_to_mask(copy);
  {
    SettingsWrite write;
    const bool texts_valid = for_each_action_block(
        request.get(), "action", kCountingRegions,
        [&](int j, json_object* block) { store_region_actions(block, s->chnid, j, copies, write); });
    if (!texts_valid || !write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  if (!keep_camera_values(request.get(), kRegionalCountRead, s->chnid, s.get(), REPLY_JSON)) return;
  reply_core_res(core_ask(kRegionalCountSet, *s, REPLY_JSON));
}

ZV_REQUESTS(kCountingRequests, "video",
    {"/6096", regional_count_read_handler},
    {"/6097", regional_count_set_handler},
    {"/6144", people_count_read_handler},
    {"/6145", people_count_set_handler},
    {"/6154", people_count_reset_handler});
