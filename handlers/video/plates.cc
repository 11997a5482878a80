// Plate recognition: the action blocks of the plate event (mode -1) and of the black, white and
// visitor lists (modes 0..2), the camera's recognition settings and plate format filter (kept in
// the camera, through the core), and the plate list in its own database file.
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "platform/zvstd/url_coding.h"
#include "common/record_json.h"
#include "common/reply_forms.h"
#include "common/safe_text.h"
#include "handlers/video/analytics.h"
#include "common/messages/analytics.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/analytics_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {


// The settings reply's scalar members, in reply order (the lists follow).
constexpr auto kAnprReply = ZV_FIELDS(
    AnprSettings, ZV_SCHEMA_FIELD(chnid), ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(resolution_width),
    ZV_SCHEMA_FIELD(resolution_height), ZV_SCHEMA_FIELD(area_x), ZV_SCHEMA_FIELD(area_y),
    ZV_SCHEMA_FIELD(area_width), ZV_SCHEMA_FIELD(area_height), ZV_SCHEMA_FIELD(day_night_mode_enable),
    ZV_SCHEMA_FIELD(scene), ZV_SCHEMA_FIELD(direction_enable), ZV_SCHEMA_FIELD(region_enable),
    ZV_SCHEMA_FIELD(roiid_enable), ZV_SCHEMA_FIELD(process_mode), ZV_SCHEMA_FIELD(repeat_check_time_value),
    ZV_SCHEMA_FIELD(repeat_check_time_unit), ZV_SCHEMA_FIELD(post_enable), ZV_SCHEMA_FIELD(post_type),
    ZV_SCHEMA_FIELD(post_tcp_port), ZV_SCHEMA_FIELD(post_http_user), ZV_SCHEMA_FIELD(post_http_password),
    ZV_SCHEMA_FIELD(post_http_url), ZV_SCHEMA_FIELD(confidence), ZV_SCHEMA_FIELD(night_mode_enable),
    ZV_SCHEMA_FIELD(night_mode_level), ZV_SCHEMA_FIELD(night_mode_starthour),
    ZV_SCHEMA_FIELD(night_mode_startminute), ZV_SCHEMA_FIELD(night_mode_stophour),
    ZV_SCHEMA_FIELD(night_mode_stopminute), ZV_SCHEMA_FIELD(night_mode_effective_mode));

// The channel and plate list mode (-1..2) of an action-block request.
bool read_channel_mode(json_object* request, int32_t* channel, int32_t* mode) {
  return read_channel_member(request, "chnid", 63, channel) &&
         read_json_members(request, {int_member("mode", mode).required().range(-1, 2)});
}

void tell_plate_change(int32_t channel, int32_t mode) { core_tell(kPlateEventChanged, PlateEventChange{channel, mode}); }

// A plate of a request: a JSON text, at most 63 characters, percent-decoded. False when the
// element is not a text, holds a NUL (taken cut at it, it would name another plate), or decodes to
// text that is not UTF-8, or to nothing unless `may_be_empty` (an edit's old plate: "" names no
// stored plate).
bool plate_of(json_object* value, char (&plate)[kPlateTextSize], bool may_be_empty = false) {
  char raw[kPlateTextSize];
  if (!json_texts_utf8(value) || !json_value_text(value, raw, sizeof raw)) return false;
  const size_t n = url_decode_into(raw, plate, sizeof plate);
  return (n > 0 || may_be_empty) && valid_request_text(plate, n);
}

bool type_of(json_object* value, char (&type)[kPlateTypeSize]) {
  return json_texts_utf8(value) && json_value_text(value, type, sizeof type) &&
         valid_request_text(type, std::strlen(type));
}

// "cnt" (1..10000) and "plate" (an array): the number of elements to look at, or 0 when refused.
size_t plate_count(json_object* request, json_object** plates) {
  int32_t count = 0;
  if (!read_json_members(request, {int_member("cnt", &count).required().range(1, kPlateListLimit),
                                   array_member("plate", plates)})) {
    return 0;
  }
  return std::min<size_t>(static_cast<size_t>(count), json_array_size(*plates));
}

// The plates of "plate" ("cnt" of them) in a new buffer: each element a plate, or with `typed` a
// [type, plate] pair; refused elements are skipped. Null, with the error form `kind` written, when
// the count is refused, memory runs out or no element is usable.
std::unique_ptr<PlateListEntry[]> read_plates(json_object* request, bool typed, int kind, int* count) {
  json_object* plates = nullptr;
  const size_t n = plate_count(request, &plates);
  std::unique_ptr<PlateListEntry[]> entries(n > 0 ? new (std::nothrow) PlateListEntry[n]() : nullptr);
  *count = 0;
  for (size_t i = 0; entries && i < n; ++i) {
    json_object* element = json_array_at(plates, i);
    PlateListEntry& e = entries[*count];
    if (typed ? type_of(json_array_at(element, 0), e.type) && plate_of(json_array_at(element, 1), e.plate)
              : plate_of(element, e.plate)) {
      ++*count;
    }
  }
  if (*count == 0) reply_cgi_error(kind);
  return *count > 0 ? std::move(entries) : nullptr;
}

// The format filter of a request object: "chnid" (0..63), "filter" and the 9 "wildcards"
// (elements that are not objects are skipped).
bool read_format_filter(json_object* object, PlateFormatFilter* f) {
  *f = PlateFormatFilter{};
  json_object* wildcards = nullptr;
  if (!read_record(object, f) || !read_json_members(object, {array_member("wildcards", &wildcards)})) return false;
  for (size_t i = 0; i < std::min<size_t>(json_array_size(wildcards), kPlateWildcards); ++i) {
    json_object* w = json_array_at(wildcards, i);
    if (!json_object_is_type(w, json_type_object)) continue;
    char format[16] = "";
    if (!read_json_members(w, {int_member("enable", &f->enable[i]), int_member("cr_count", &f->cr_count[i]),
                               text_member("format", format).absent_text("")})) {
      return false;
    }
    std::memcpy(f->format[i], format, sizeof format);
  }
  return true;
}

// The recognition settings of a request: the schema's members, then the 32 region texts and the
// preset areas (4 arrays of 4 objects).
// Whether the request names any recognition setting (a member besides the channel, the event's
// block and the format filter).
bool carries_settings(json_object* request) {
  json_object_object_foreach(request, key, value) {
    (void)value;
    const std::string_view k(key);
    if (k != "chnid" && k != "dialog" && k != "formatData") return true;
  }
  return false;
}

bool read_anpr_settings(json_object* request, AnprSettings* s) {
  if (!read_record(request, s)) return false;
  json_object* regions = json_array_of(request, "region");
  for (size_t i = 0; i < std::min<size_t>(json_array_size(regions), 32); ++i) {
    char text[32];
    if (!json_value_text(json_array_at(regions, i), text, sizeof text)) continue;
    if (!valid_request_text(text, std::strlen(text))) return false;
    std::memcpy(s->region[i].text, text, sizeof text);
  }
  json_object* presets = json_array_of(request, "preset");
  for (size_t i = 0; i < std::min<size_t>(json_array_size(presets), 4); ++i) {
    json_object* areas = json_array_at(presets, i);
    for (size_t j = 0; j < std::min<size_t>(json_array_size(areas), 4); ++j) {
      json_object* area = json_array_at(areas, j);
      if (json_object_is_type(area, json_type_object) && !read_record(area, &s->preset[i][j])) return false;
    }
  }
  return true;
}

}  // namespace

// ---- Action blocks ----

static void plate_actions_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  int32_t mode = -2;
  if (!request || !read_channel_mode(request.get(), &channel, &mode)) return (void)reply_cgi_error(REPLY_JSON);
  JsonWriter w(16384);
  if (mode == -1) {
    auto plan = std::make_unique<Schedule>();
    zvdb::read_record(kZvdbPath, zvdb::kAnprPlanTables[kPlanEffective], plan.get(), {channel, plate_mode_sub(mode)});
    w.begin_object().key("chnid").value(channel).key("mode").value(mode);
    write_schedule(w.key("effective"), *plan);
    w.end_object();
  } else {
    write_event_actions(w, kPlateEventKind, channel, plate_mode_sub(mode));
  }
  reply_json(w);
}

static void plate_actions_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  int32_t mode = -2;
  int32_t enable = 0;
  bool has_enable = false;
  if (!request || !read_channel_mode(request.get(), &channel, &mode) ||
      !read_json_members(request.get(), {int_member("enable", &enable).present(&has_enable)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  const int sub = plate_mode_sub(mode);
  int block_channel = -1;
  {
    SettingsWrite write;
    // No "dialog" object: no block channel, nothing stored. A refused block fails the commit.
    block_channel = store_event_actions(kPlateEventKind, object_of(request.get(), "dialog"), write, sub);
    if (has_enable) {
      SmartEventRecord record{};
      kAnprEvents.read(kZvdbPath, &record, {channel, sub});
      record.channel = channel;
      record.sub = sub;
      record.enable = enable;
      write.check(kAnprEvents.write(kZvdbPath, &record));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  if (block_channel >= 0 && block_channel != channel) tell_plate_change(block_channel, mode);
  tell_plate_change(channel, mode);
  reply_ok();
}

// ---- Recognition settings and format filter ----

static void anpr_settings_read_handler(const char* argument) {
  auto s = camera_record(argument, "chnid", kAnprSettingsRead);
  if (!s) return;
  JsonWriter w(8192);
  w.begin_object();
  write_fields(w, kAnprReply.schema(), s.get());
  w.key("region").begin_array();
  for (const AnprRegionText& r : s->region) w.field(r.text);
  w.end_array();
  w.key("cur_area").field(s->cur_area).key("in_night_mode").value(s->in_night_mode);
  w.key("roi").begin_array();
  for (const AnprArea& a : s->roi) write_object(w, a);
  w.end_array().key("preset").begin_array();
  for (const auto& preset : s->preset) {
    w.begin_array();
    for (const AnprPresetArea& a : preset) write_object(w, a);
    w.end_array();
  }
  w.end_array().end_object();
  reply_json(w);
}

static void anpr_settings_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  auto s = std::make_unique<AnprSettings>();
  if (!request || !read_anpr_settings(request.get(), s.get())) return (void)reply_cgi_error(REPLY_JSON);
  // A request that carries only the event's block or the format filter (the event page saves its
  // block alone) leaves the camera's recognition settings as they are; one that carries some of
  // them keeps the others, the region texts and the preset areas it leaves out as the camera has
  // them. The camera is asked before anything is stored.
  const bool set_camera = carries_settings(request.get());
  const bool has_regions = json_array_of(request.get(), "region") != nullptr;
  const bool has_presets = json_array_of(request.get(), "preset") != nullptr;
  if (set_camera && !keep_camera_values(request.get(), zvrec::schema_of<AnprSettings>(), kAnprSettingsRead, s->chnid,
                                        s.get(), REPLY_JSON, !has_regions || !has_presets,
                                        [&](const AnprSettings& camera) {
                                          if (!has_regions) std::memcpy(s->region, camera.region, sizeof s->region);
                                          if (!has_presets) std::memcpy(s->preset, camera.preset, sizeof s->preset);
                                        })) {
    return;
  }
  PlateFormatFilter filter{};
  json_object* format = object_of(request.get(), "formatData");
  const bool send_filter = format != nullptr && read_format_filter(format, &filter);
  // The plate event's own block (mode -1) uses the visitor list's LED tables; a refused block fails
  // the commit.
  int block_channel = -1;
  {
    SettingsWrite write;
    block_channel = store_event_actions(kPlateEventKind, object_of(request.get(), "dialog"), write, plate_mode_sub(-1));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  if (block_channel >= 0) tell_plate_change(block_channel, -1);
  if (send_filter) core_tell(kPlateFormatSet.id, &filter, sizeof filter);
  if (!set_camera) return reply_ok();
  ask_status(kAnprSettingsSet, *s, REPLY_JSON);
}

static void plate_format_read_handler(const char* argument) {
  auto f = camera_record(argument, "chnid", kPlateFormatRead);
  if (!f) return;
  JsonWriter w(2048);
  w.begin_object().key("chnid").value(f->chnid).key("filter").value(f->filter).key("wildcards").begin_array();
  for (int i = 0; i < kPlateWildcards; ++i) {
    w.begin_object().key("enable").value(f->enable[i]).key("cr_count").value(f->cr_count[i]);
    w.key("format").field(f->format[i]).end_object();
  }
  w.end_array().end_object();
  reply_json(w);
}

static void plate_format_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  PlateFormatFilter f{};
  if (!request || !read_format_filter(request.get(), &f)) return (void)reply_cgi_error(REPLY_JSON);
  // The switch or the wildcard list left out stays as the camera has it.
  const bool has_filter = json_int_of(request.get(), "filter");
  const bool has_wildcards = json_array_of(request.get(), "wildcards") != nullptr;
  if (!has_filter || !has_wildcards) {
    PlateFormatFilter camera{};
    if (!ask_camera_record(kPlateFormatRead, f.chnid, &camera, REPLY_JSON)) return;
    if (!has_filter) f.filter = camera.filter;
    if (!has_wildcards) {
      std::memcpy(f.enable, camera.enable, sizeof f.enable);
      std::memcpy(f.cr_count, camera.cr_count, sizeof f.cr_count);
      std::memcpy(f.format, camera.format, sizeof f.format);
    }
  }
  ask_status(kPlateFormatSet, f, REPLY_JSON);
}

// ---- The plate list ----

static void plate_delete_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return (void)reply_cgi_error(REPLY_JSON);
  int count = 0;
  auto entries = read_plates(request.get(), false, REPLY_TEXT, &count);
  if (!entries) return;
  SettingsWrite write(kAnprDbPath);
  write.check(delete_anpr_lists(kAnprDbPath, entries.get(), count));
  if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  reply_ok();
}

static void plate_replace_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return (void)reply_cgi_error(REPLY_JSON);
  int count = 0;
  auto entries = read_plates(request.get(), true, REPLY_JSON, &count);
  if (!entries) return;
  {
    SettingsWrite write(kAnprDbPath);
    write.check(write_anpr_list_replace_batch(kAnprDbPath, entries.get(), count));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  reply_int_member("count", count);
}

static void plate_edit_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return (void)reply_cgi_error(REPLY_TEXT);
  json_object* plates = nullptr;
  const size_t n = plate_count(request.get(), &plates);
  if (n == 0) return (void)reply_cgi_error(REPLY_TEXT);
  SettingsWrite write(kAnprDbPath);
  for (size_t i = 0; i < n; ++i) {
    json_object* element = json_array_at(plates, i);
    PlateListEntry old{};
    PlateListEntry entry{};
    if (!plate_of(json_array_at(element, 0), old.plate, true) || !type_of(json_array_at(element, 1), entry.type) ||
        !plate_of(json_array_at(element, 2), entry.plate)) {
      continue;
    }
    delete_anpr_list(kAnprDbPath, &old);  // an old plate that is not stored is no failure
    PlateListEntry stored{};
    write.check(read_anpr_list_plate(kAnprDbPath, &stored, entry.plate) == 0 ? update_anpr_list(kAnprDbPath, &entry)
                                                                              : write_anpr_list(kAnprDbPath, &entry));
  }
  if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  reply_ok();
}

ZV_REQUESTS(kPlatesRequests, "video",
    {"/6179", plate_actions_read_handler},
    {"/6180", plate_actions_set_handler},
    {"/6181", anpr_settings_read_handler},
    {"/6182", anpr_settings_set_handler},
    {"/6183", plate_delete_handler},
    {"/6184", plate_replace_handler},
    {"/6185", plate_edit_handler},
    {"/6190", plate_format_read_handler},
    {"/6191", plate_format_set_handler});
