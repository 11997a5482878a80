// Smart events: the detection settings that analytics cameras keep (regions, lines, areas,
// sensitivities), read and set through the core one message per setting, and the recorder-side
// action blocks of the nine smart event kinds. A set whose body carries "dialog" stores that
// block (and its copies to the channels of "copyChn") in one transaction before the camera is
// asked; the camera's answer is the reply.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/reply_forms.h"
#include "handlers/video/analytics.h"
#include "common/messages/analytics.h"
#include "handlers/video/canvas.h"
#include "platform/zvdb/analytics_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr int32_t kDefaultWidth = 1920;
constexpr int32_t kDefaultHeight = 1080;
constexpr size_t kLinePositionChars = 31;
constexpr size_t kLineV2PositionChars = 63;

// The request forms of the region-based sets and the reply forms of their reads (members with the
// keys of their record's schema).
#define RF(member) ZV_SCHEMA_FIELD(member)
#define REGION_SET_FIELDS RF(region_type), RF(region_scene), RF(blocks)
constexpr auto kEntranceForm = ZV_FIELDS(VcaRegionRecord, RF(channel), RF(enable), RF(sensitivity), RF(objtype),
                                         RF(region), RF(polygon_x), RF(polygon_y), RF(copy), REGION_SET_FIELDS);
constexpr auto kAdvancedMotionForm =
    ZV_FIELDS(VcaRegionRecord, RF(channel), RF(enable), RF(region), RF(sensitivity), RF(ignore_time), RF(objtype),
              RF(polygon_x), RF(polygon_y), RF(copy), REGION_SET_FIELDS);
constexpr auto kTamperForm = ZV_FIELDS(VcaRegionRecord, RF(channel), RF(enable), RF(sensitivity), RF(copy));
constexpr auto kLoiteringForm =
    ZV_FIELDS(VcaRegionRecord, RF(channel), RF(enable), RF(region), RF(loiter_time), RF(loiter_size), RF(objtype),
              RF(polygon_x), RF(polygon_y), RF(copy), REGION_SET_FIELDS);
constexpr auto kHumanForm = ZV_FIELDS(VcaRegionRecord, RF(channel), RF(enable), RF(tracks), RF(copy));
constexpr auto kObjectLeftForm =
    ZV_FIELDS(VcaObjectLeftRecord, RF(channel), RF(left_enable), RF(remove_enable), RF(min_time), RF(sensitivity),
              RF(region), RF(polygon_x), RF(polygon_y), RF(copy), REGION_SET_FIELDS);
#undef REGION_SET_FIELDS

constexpr auto kEntranceReply = ZV_FIELDS(VcaRegionRecord, RF(region), RF(enable), RF(sensitivity), RF(objtype),
                                          RF(polygon_x), RF(polygon_y));
constexpr auto kAdvancedMotionReply = ZV_FIELDS(VcaRegionRecord, RF(region), RF(enable), RF(sensitivity),
                                                RF(objtype), RF(polygon_x), RF(polygon_y), RF(ignore_time));
constexpr auto kTamperReply = ZV_FIELDS(VcaRegionRecord, RF(enable), RF(sensitivity));
constexpr auto kLoiteringReply = ZV_FIELDS(VcaRegionRecord, RF(region), RF(enable), RF(loiter_time),
                                           RF(loiter_size), RF(objtype), RF(polygon_x), RF(polygon_y));
constexpr auto kHumanReply = ZV_FIELDS(VcaRegionRecord, RF(enable), RF(tracks));
constexpr auto kObjectLeftReply = ZV_FIELDS(VcaObjectLeftRecord, RF(region), RF(left_enable), RF(remove_enable),
                                            RF(min_time), RF(sensitivity), RF(polygon_x), RF(polygon_y));
constexpr auto kVcaSettingsReply = ZV_FIELDS(VcaSettings, RF(fps), RF(mode), RF(installation), RF(analysis),
                                             RF(width), RF(height), RF(vca_type));
constexpr auto kVcaSettingsV2Reply =
    ZV_FIELDS(VcaSettingsV2, RF(fps), RF(mode), RF(installation), RF(analysis), RF(width), RF(height));
constexpr auto kSmartRecordReply =
    ZV_FIELDS(SmartEventRecord, RF(channel), RF(enable), RF(tri_alarms), RF(interval), RF(email_interval),
              RF(email_pic_enable), RF(tri_channels_pic), RF(tri_channels));
#undef RF

// The eight area keys, in the order of the records' min/max members.
constexpr const char* kAreaKeys[8] = {"minStartX", "minStartY", "minWidth", "minHeight",
                                      "maxStartX", "maxStartY", "maxWidth", "maxHeight"};

bool valid_kind(int32_t kind) { return kind >= 0 && kind < kSmartEventKinds; }

// Tells the core that the smart event settings of `channel` (and of `others`) changed (1412).
void tell_smart_changed(int channel, ChannelMask64 others = {0, 0}) {
  others.set(channel);
  core_tell(kSmartEventChanged, others);
}

// The "dialog" of a detection set, stored as smart event `kind` with its copies to the channels
// of `copy_text` (characters 0..7), then announced (1412: the copies and the block's channel).
// False when the store failed or the block holds a text that is not UTF-8 (nothing stored, nothing
// announced); a missing dialog, a block without a valid channel or a kind outside 0..8 stores
// nothing and is not a failure.
bool apply_smart_dialog(json_object* request, int32_t kind, const char* copy_text) {
  json_object* dialog = object_of(request, "dialog");
  if (dialog == nullptr || !valid_kind(kind)) return true;
  const ChannelMask64 copies = copy_text_to_mask(copy_text);
  int channel = -1;
  {
    SettingsWrite write;
    channel = store_event_actions(kSmartEventKind, dialog, write, kind);
    if (channel < 0) return channel != kInvalidText;  // no channel: nothing to store, not a failure
    if (!copies.empty()) copy_event_actions(kSmartEventKind, channel, kind, copies, write);
    if (!write.commit()) return false;
  }
  tell_smart_changed(channel, copies);
  return true;
}

// Polygons of the region set: "regionType" 0 carries none, 1 the first of each region, 2 or
// more up to five.
template <class Block>
void trim_region_set(int32_t region_type, Block (&blocks)[kVcaRegionBlocks]) {
  for (Block& b : blocks) {
    if (region_type == 0) b = Block{};
    for (int p = region_type == 1 ? 1 : kVcaPolygons; p < kVcaPolygons; ++p) b.polygons[p] = VcaPolygon{};
  }
}

int32_t type_of(json_object* request) {
  int32_t type = 0;
  json_value_int(json_object_object_get(request, "type"), &type);
  return type;
}

// ---- Lines ----

// What both line sets read after their own members: "copyChn", the "line" array and the width and
// height its positions convert with (1920 x 1080 when absent); then the "dialog" is stored as
// smart event 4. False, with the error reply written, when a member is refused or the store failed.
struct LineSet {
  json_object* lines = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};
bool read_line_set(json_object* request, LineSet* set) {
  char copy[kVcaCopyTextSize];
  if (!read_json_members(request, {text_member("copyChn", copy).absent_text(""), array_member("line", &set->lines),
                                   int_member("width", &set->width).absent_value(kDefaultWidth),
                                   int_member("height", &set->height).absent_value(kDefaultHeight)}) ||
      !apply_smart_dialog(request, 4, copy)) {
    reply_cgi_error(REPLY_TEXT);
    return false;
  }
  return true;
}

// A line-crossing set keeps what it leaves out as the camera has it: each member of `members`
// whose key is absent and, without a "line" list, every line. False, with the text error form, when
// the camera's record could not be had.
template <class R>
bool keep_camera_lines(json_object* request, const LineSet& set, const Exchange<int32_t, R>& read,
                       std::initializer_list<std::pair<const char*, int32_t R::*>> members, R* record) {
  bool complete = set.lines != nullptr;
  for (const auto& [key, member] : members) complete = complete && json_int_of(request, key);
  if (complete) return true;
  auto camera = std::make_unique<R>();
  if (!ask_camera_record(read, record->channel, camera.get(), REPLY_TEXT)) return false;
  for (const auto& [key, member] : members) {
    if (!json_int_of(request, key)) record->*member = camera.get()->*member;
  }
  if (set.lines == nullptr) std::copy(std::begin(camera->lines), std::end(camera->lines), std::begin(record->lines));
  return true;
}

// The "position" of a line element ("x1;y1;x2;y2" on the canvas, cut to `chars`; "" when absent)
// as the line's two camera points (clamped to at least 1).
template <class Line>
void read_line_position(json_object* element, size_t chars, int32_t width, int32_t height, Line& line) {
  char position[kLineV2PositionChars + 1] = "";
  json_value_text(json_object_object_get(element, "position"), position, std::min(sizeof position, chars + 1));
  int32_t numbers[4];
  parse_position(position, numbers);
  const CanvasPoint a = at_least_one(canvas_to_camera({numbers[0], numbers[1]}, width, height));
  const CanvasPoint b = at_least_one(canvas_to_camera({numbers[2], numbers[3]}, width, height));
  line.x1 = a.x;
  line.y1 = a.y;
  line.x2 = b.x;
  line.y2 = b.y;
}

// "position": the line's two camera points on the canvas, "x1;y1;x2;y2".
template <class Line>
void write_line_position(JsonWriter& w, const Line& line, int32_t width, int32_t height) {
  const CanvasPoint a = camera_to_canvas({line.x1, line.y1}, width, height);
  const CanvasPoint b = camera_to_canvas({line.x2, line.y2}, width, height);
  char text[64];
  std::snprintf(text, sizeof text, "%d;%d;%d;%d", a.x, a.y, b.x, b.y);
  w.key("position").value(text);
}

// ---- Areas ----

// Element `element` of "position": the eight area values (absent or wrongly typed ones 0).
void read_area(json_object* element, int32_t values[8]) {
  for (int k = 0; k < 8; ++k) {
    values[k] = 0;
    json_value_int(json_object_object_get(element, kAreaKeys[k]), &values[k]);
  }
}

}  // namespace

// ---- Shared ----

json_object* object_of(json_object* object, const char* key) {
  json_object* value = json_object_object_get(object, key);
  return json_object_is_type(value, json_type_object) ? value : nullptr;
}

bool analytics_channel(const char* argument, const char* key, int bad_channel_kind, int32_t* channel) {
  JsonPtr request = parse_request(argument);
  if (!request) return false;
  if (!read_json_members(request.get(), {int_member(key, channel).required().range(0, 63)})) {
    reply_cgi_error(bad_channel_kind);
    return false;
  }
  return true;
}

void reply_status_word(const std::optional<CoreReply>& reply) {
  int32_t status = -1;
  if (!reply || !reply->first(&status)) return;
  reply_text(status == 0 ? "OK" : "FAILED");
}

// ---- Region-based detections ----

struct RegionDetection {
  zvrec::Schema form;
  zvrec::Schema reply;
  const Exchange<int32_t, VcaRegionRecord>* read;
  const Exchange<int32_t, VcaRegionRecord>* exit_read;  // "type" not 0 reads this instead
  const Exchange<VcaRegionRecord, int32_t>* set;
  const Exchange<VcaRegionRecord, int32_t>* exit_set;   // "type" not 0 sets this instead
};

const RegionDetection kEntranceDetection{kEntranceForm.schema(), kEntranceReply.schema(), &kRegionEntranceRead,
                                         &kRegionExitRead, &kRegionEntranceSet, &kRegionExitSet};
const RegionDetection kAdvancedMotionDetection{kAdvancedMotionForm.schema(), kAdvancedMotionReply.schema(),
                                               &kAdvancedMotionRead, nullptr, &kAdvancedMotionSet, nullptr};
const RegionDetection kTamperDetection{kTamperForm.schema(), kTamperReply.schema(), &kTamperRead, nullptr,
                                       &kTamperSet, nullptr};
const RegionDetection kLoiteringDetection{kLoiteringForm.schema(), kLoiteringReply.schema(), &kLoiteringRead,
                                          nullptr, &kLoiteringSet, nullptr};
const RegionDetection kHumanDetection{kHumanForm.schema(), kHumanReply.schema(), &kHumanRead, nullptr, &kHumanSet,
                                      nullptr};

void region_read(const char* argument, const RegionDetection* d) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  if (!read_json_members(request.get(), {int_member("channel", &channel).required().range(0, 63)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  const auto& x = d->exit_read != nullptr && type_of(request.get()) != 0 ? *d->exit_read : *d->read;
  std::optional<CoreReply> reply = core_ask(x, channel, REPLY_JSON);
  auto record = std::make_unique<VcaRegionRecord>();
  if (!reply || !reply->first(record.get())) return;
  JsonWriter w(1024);
  write_object(w, d->reply, record.get());
  reply_json(w);
}

void region_set(const char* argument, const RegionDetection* d) {
  JsonPtr request = parse_request(argument);
  auto record = std::make_unique<VcaRegionRecord>();
  if (!request || !read_record(request.get(), d->form, record.get())) return (void)reply_cgi_error(REPLY_TEXT);
  const int32_t type = type_of(request.get());
  if (!apply_smart_dialog(request.get(), type, record->copy)) return (void)reply_cgi_error(REPLY_TEXT);
  const auto& read = d->exit_read != nullptr && type != 0 ? *d->exit_read : *d->read;
  if (!keep_camera_values(request.get(), d->form, read, record->channel, record.get(), REPLY_TEXT)) return;
  trim_region_set(record->region_type, record->blocks);
  ask_status(d->exit_set != nullptr && type != 0 ? *d->exit_set : *d->set, *record, REPLY_TEXT);
}

static void object_left_read_handler(const char* argument) {
  camera_read(argument, "channel", kObjectLeftRead, kObjectLeftReply.schema());
}

static void object_left_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  auto record = std::make_unique<VcaObjectLeftRecord>();
  if (!request || !read_record(request.get(), kObjectLeftForm.schema(), record.get())) return;
  if (!apply_smart_dialog(request.get(), 8, record->copy)) return (void)reply_cgi_error(REPLY_JSON);
  if (!keep_camera_values(request.get(), kObjectLeftForm.schema(), kObjectLeftRead, record->channel, record.get(),
                          REPLY_JSON)) {
    return;
  }
  trim_region_set(record->region_type, record->blocks);
  ask_status(kObjectLeftSet, *record, REPLY_JSON);
}

// ---- Line crossing ----

static void line_crossing_read_handler(const char* argument) {
  auto record = camera_record(argument, "channel", kLineCrossingRead);
  if (!record) return;
  JsonWriter w(1024);
  w.begin_object().key("line").begin_array();
  for (const VcaLine& line : record->lines) {
    w.begin_object().key("direction").value(line.direction);
    write_line_position(w, line, record->width, record->height);
    w.end_object();
  }
  w.end_array();
  w.key("enable").value(record->enable).key("width").value(record->width);
  w.key("height").value(record->height).key("objtype").value(record->objtype).end_object();
  reply_json(w);
}

static void line_crossing_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  VcaLineRecord record{};
  LineSet set;
  if (!request || !read_json_members(request.get(), {int_member("chnid", &record.channel).required().range(0, 63),
                                                     int_member("enable", &record.enable),
                                                     int_member("objtype", &record.objtype)})) {
    return (void)reply_cgi_error(REPLY_TEXT);
  }
  if (!read_line_set(request.get(), &set) ||
      !keep_camera_lines(request.get(), set, kLineCrossingRead,
                         {{"enable", &VcaLineRecord::enable}, {"objtype", &VcaLineRecord::objtype}}, &record)) {
    return;
  }
  for (size_t i = 0; i < std::min<size_t>(json_array_size(set.lines), kVcaLines); ++i) {
    json_object* element = json_array_at(set.lines, i);
    if (!json_object_is_type(element, json_type_object)) continue;
    VcaLine& line = record.lines[i];
    read_line_position(element, kLinePositionChars, set.width, set.height, line);
    json_value_int(json_object_object_get(element, "direction"), &line.direction);
  }
  ask_status(kLineCrossingSet, record, REPLY_TEXT);
}

static void line_crossing_v2_read_handler(const char* argument) {
  auto record = camera_record(argument, "chnid", kVcaLineV2Read);
  if (!record) return;
  JsonWriter w(1024);
  w.begin_object().key("chnid").value(record->channel).key("width").value(record->width);
  w.key("height").value(record->height).key("sensitivity").value(record->sensitivity).key("line").begin_array();
  for (const VcaLineBlock& line : record->lines) {
    w.begin_object().key("enable").value(line.enable).key("objtype").value(line.objtype);
    w.key("direction").value(line.direction);
    write_line_position(w, line, record->width, record->height);
    w.end_object();
  }
  w.end_array().end_object();
  reply_json(w);
}

static void line_crossing_v2_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  VcaLineRecordV2 record{};
  LineSet set;
  if (!request || !read_json_members(request.get(), {int_member("chnid", &record.channel).required().range(0, 63),
                                                     int_member("sensitivity", &record.sensitivity),
                                                     int_member("lineType", &record.line_type),
                                                     int_member("lineScene", &record.line_scene)})) {
    return (void)reply_cgi_error(REPLY_TEXT);
  }
  if (!read_line_set(request.get(), &set) ||
      !keep_camera_lines(request.get(), set, kVcaLineV2Read,
                         {{"sensitivity", &VcaLineRecordV2::sensitivity},
                          {"lineType", &VcaLineRecordV2::line_type},
                          {"lineScene", &VcaLineRecordV2::line_scene}},
                         &record)) {
    return;
  }
  for (size_t i = 0; i < std::min<size_t>(json_array_size(set.lines), kVcaLines); ++i) {
    json_object* element = json_array_at(set.lines, i);
    if (!json_object_is_type(element, json_type_object)) continue;
    VcaLineBlock& line = record.lines[i];
    json_value_int(json_object_object_get(element, "enable"), &line.enable);
    json_value_int(json_object_object_get(element, "direction"), &line.direction);
    json_value_int(json_object_object_get(element, "objtype"), &line.objtype);
    read_line_position(element, kLineV2PositionChars, set.width, set.height, line);
    if (record.line_type != 2) continue;
    json_object* subs = json_array_of(element, "line");
    for (size_t s = 0; s < std::min<size_t>(json_array_size(subs), kVcaSubLines); ++s) {
      json_object* sub_element = json_array_at(subs, s);
      if (!json_object_is_type(sub_element, json_type_object)) continue;
      VcaSubLine& sub = line.sub_lines[s];
      read_line_position(sub_element, kLineV2PositionChars, set.width, set.height, sub);
      json_value_int(json_object_object_get(sub_element, "direction"), &sub.direction);
    }
  }
  ask_status(kVcaLineV2Set, record, REPLY_TEXT);
}

// ---- Analytics settings ----

static void vca_settings_read_handler(const char* argument) {
  auto s = camera_record(argument, "channel", kVcaSettingsRead);
  if (!s) return;
  const int32_t camera[8] = {s->min_start_x, s->min_start_y, s->min_width, s->min_height,
                             s->max_start_x, s->max_start_y, s->max_width, s->max_height};
  JsonWriter w(512);
  w.begin_object();
  write_fields(w, kVcaSettingsReply.schema(), s.get());
  w.key("position").begin_array().begin_object();
  for (int k = 0; k < 8; k += 2) {
    const CanvasPoint p = at_least_one(camera_to_canvas({camera[k], camera[k + 1]}, s->width, s->height));
    w.key(kAreaKeys[k]).value(p.x).key(kAreaKeys[k + 1]).value(p.y);
  }
  w.end_object().end_array().end_object();
  reply_json(w);
}

static void vca_settings_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  VcaSettings s{};
  if (!request || !read_record(request.get(), &s)) return;
  // Members left out, and the object sizes without a "position", stay as the camera has them.
  // The first "position" element when it is an object; anything else counts as no position.
  json_object* position = json_array_at(json_array_of(request.get(), "position"), 0);
  if (!json_object_is_type(position, json_type_object)) position = nullptr;
  int32_t* camera[8] = {&s.min_start_x, &s.min_start_y, &s.min_width, &s.min_height,
                        &s.max_start_x, &s.max_start_y, &s.max_width, &s.max_height};
  if (!keep_camera_values(request.get(), zvrec::schema_of<VcaSettings>(), kVcaSettingsRead, s.channel, &s, REPLY_JSON,
                          position == nullptr, [&](const VcaSettings& kept) {
                            if (position != nullptr) return;
                            s.min_start_x = kept.min_start_x, s.min_start_y = kept.min_start_y;
                            s.min_width = kept.min_width, s.min_height = kept.min_height;
                            s.max_start_x = kept.max_start_x, s.max_start_y = kept.max_start_y;
                            s.max_width = kept.max_width, s.max_height = kept.max_height;
                          })) {
    return;
  }
  int32_t area[8];
  read_area(position, area);
  for (int k = 0; k < 8 && position != nullptr; k += 2) {
    const CanvasPoint p = at_least_one(canvas_to_camera({area[k], area[k + 1]}, s.width, s.height));
    *camera[k] = p.x;
    *camera[k + 1] = p.y;
  }
  s.vca_type = 0;
  ask_status(kVcaSettingsSet, s, REPLY_JSON);
}

static void vca_settings_v2_read_handler(const char* argument) {
  auto s = camera_record(argument, "channel", kVcaSettingsV2Read);
  if (!s) return;
  const int32_t* areas[8] = {s->min_start_x, s->min_start_y, s->min_width, s->min_height,
                             s->max_start_x, s->max_start_y, s->max_width, s->max_height};
  JsonWriter w(2048);
  w.begin_object();
  write_fields(w, kVcaSettingsV2Reply.schema(), s.get());
  w.key("position").begin_array();
  for (int i = 0; i < kVcaAreas; ++i) {
    w.begin_object();
    for (int k = 0; k < 8; ++k) w.key(kAreaKeys[k]).value(areas[k][i]);
    w.key("width").value(s->width).key("height").value(s->height).end_object();
  }
  w.end_array().end_object();
  reply_json(w);
}

static void vca_settings_v2_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  auto s = std::make_unique<VcaSettingsV2>();
  if (!request || !read_record(request.get(), s.get())) return;
  // Members left out, and the areas without a "position", stay as the camera has them.
  json_object* position = json_array_of(request.get(), "position");
  if (!keep_camera_values(request.get(), zvrec::schema_of<VcaSettingsV2>(), kVcaSettingsV2Read, s->channel, s.get(),
                          REPLY_JSON, position == nullptr, [&](const VcaSettingsV2& kept) {
                            if (position != nullptr) return;
                            const size_t first = offsetof(VcaSettingsV2, min_start_x);
                            const size_t end = offsetof(VcaSettingsV2, copy);
                            std::memcpy(reinterpret_cast<unsigned char*>(s.get()) + first,
                                        reinterpret_cast<const unsigned char*>(&kept) + first, end - first);
                          })) {
    return;
  }
  int32_t* areas[8] = {s->min_start_x, s->min_start_y, s->min_width, s->min_height,
                       s->max_start_x, s->max_start_y, s->max_width, s->max_height};
  for (size_t i = 0; i < std::min<size_t>(json_array_size(position), kVcaAreas); ++i) {
    int32_t area[8];
    read_area(json_array_at(position, i), area);
    for (int k = 0; k < 8; ++k) areas[k][i] = area[k];
  }
  ask_status(kVcaSettingsV2Set, *s, REPLY_JSON);
}

// ---- Support queries ----

static void vca_support_read_handler(const char* argument) {
  int32_t channel = -1;
  if (!analytics_channel(argument, "channel", REPLY_JSON, &channel)) return;
  std::optional<CoreReply> reply = core_ask(kVcaSupportRead, channel, REPLY_JSON);
  if (!reply) return;
  VcaSupport support{-1, -1};  // an empty reply: support unknown
  reply->reader().read(0, &support.support);
  reply->reader().read(4, &support.type);
  reply_record(support);
}


static void vca_version_read_handler(const char* argument) {
  camera_read(argument, "chnid", kVcaVersionRead);
}

static void zoom_state_read_handler(const char* argument) { camera_read(argument, "chnid", kZoomStateRead); }

// ---- Action blocks ----

static void smart_actions_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  int32_t kind = -1;
  if (!request || !read_json_members(request.get(), {int_member("chnid", &channel).required().range(0, 63),
                                                     int_member("event", &kind).required().range(0, 8)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  JsonWriter w(16384);
  w.begin_object().key("chnid").value(channel).key("event").value(kind).key("action").begin_array();
  write_event_actions(w, kSmartEventKind, channel, kind);
  w.end_array().end_object();
  reply_json(w);
}

static void smart_actions_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  int32_t kind = -1;
  if (!request || !read_json_members(request.get(), {int_member("chnid", &channel).required().range(0, 63),
                                                     int_member("event", &kind).required().range(0, 8)})) {
    return (void)reply_cgi_error(REPLY_TEXT);
  }
  {
    SettingsWrite write;  // a refused block fails the commit
    store_event_actions(kSmartEventBlockKind, request.get(), write, kind, ApplyOptions{.with_ptz = false});
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  tell_smart_changed(channel);
  reply_ok();
}

static void smart_action_field_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  int32_t channel = -1;
  int32_t kind = -1;
  int32_t type = -1;
  SmartEventRecord record{};
  if (!read_json_members(request.get(), {int_member("channel", &channel).required().range(0, 63),
                                         int_member("event", &kind).required().range(0, 8),
                                         int_member("type", &type)})) {
    return (void)reply_text("ERROT");
  }
  {
    SettingsWrite write;
    if (kSmartEvents.read(kZvdbPath, &record, {channel, kind}) != 0) return (void)reply_text("ERROT");
    record.channel = channel;
    record.sub = kind;
    // Type 0 sets "triAlarms", type 1 "triChannels"; a member the request does not carry (or
    // cannot be read) keeps the stored value.
    const JsonMember member = type == 0 ? int_member("triAlarms", &record.tri_alarms).keep_if_absent()
                                        : text_member("triChannels", record.tri_channels).keep_if_absent();
    if ((type == 0 || type == 1) && !read_json_members(request.get(), {member})) return (void)reply_text("ERROT");
    if (type == 1) record.tri_channels_mask = tri_channels_mask_of(record.tri_channels, sizeof record.tri_channels);
    write.check(kSmartEvents.write(kZvdbPath, &record));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  tell_smart_changed(channel);
  reply_ok();
}

static void smart_action_record_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  int32_t kind = -1;
  SmartEventRecord record{};
  if (!request ||
      !read_json_members(request.get(), {int_member("channel", &channel).required().range(0, 63),
                                         int_member("type", &kind).required().range(0, 8)}) ||
      kSmartEvents.read(kZvdbPath, &record, {channel, kind}) != 0) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  JsonWriter w(512);
  write_object(w, kSmartRecordReply.schema(), &record);
  reply_json(w);
}

ZV_REQUESTS(kAnalyticsRequests, "video",
    {"/6138", line_crossing_read_handler},
    {"/6139", line_crossing_set_handler},
    {"/6146", vca_settings_read_handler},
    {"/6147", vca_settings_set_handler},
    {"/6148", smart_actions_read_handler},
    {"/6149", smart_actions_set_handler},
    {"/6150", smart_action_field_set_handler},
    {"/6151", smart_action_record_read_handler},
    {"/6157", vca_support_read_handler},
    {"/6171", object_left_set_handler},
    {"/6172", object_left_read_handler},
    {"/6186", vca_version_read_handler},
    {"/6189", zoom_state_read_handler},
    {"/6192", line_crossing_v2_read_handler},
    {"/6193", line_crossing_v2_set_handler},
    {"/6194", vca_settings_v2_read_handler},
    {"/6195", vca_settings_v2_set_handler});
