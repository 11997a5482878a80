// Scheduled and manual snapshots of a list of channels, single-entry editing of the PTZ action
// lists of every event source, the cameras' own alarm-input and audio-level alarms (stored here,
// passed to the camera through the core), and the recorder's trigger-alarm values.
#include <algorithm>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "handlers/video/alarm_event_handlers.h"
#include "handlers/video/alarm_event_kinds.h"
#include "common/messages/alarm_event.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr int32_t kPtzSourceLast = 26;

constexpr auto kSnapshotReadForm =
    ZV_FIELDS(SnapshotRecord, ZV_SCHEMA_FIELD(resolution), ZV_SCHEMA_FIELD(quality), ZV_SCHEMA_FIELD(interval),
              ZV_SCHEMA_FIELD(interval_unit), ZV_SCHEMA_FIELD(expiration_date));

// The channels of "chnid" (the first "cnt" of them, 0..63), in request order.
ChannelList64 listed_channels(json_object* request) {
  ChannelList64 list{};
  list.count = static_cast<int32_t>(listed_numbers(request, "chnid", "cnt", kMaxChannels, list.channels));
  return list;
}

// The start or stop control of the first "<count_key>" channels of "<list_key>"; nullopt when the
// count is not above 0 (nothing is sent then).
std::optional<SnapshotControl> snapshot_control(json_object* request, const char* list_key, const char* count_key,
                                                int32_t action) {
  int32_t count = 0;
  if (!json_value_int(json_object_object_get(request, count_key), &count) || count <= 0) return std::nullopt;
  int32_t numbers[64];
  const size_t n = listed_numbers(request, list_key, count_key, kMaxChannels, numbers);
  SnapshotControl control{};
  control.action = action;
  for (size_t i = 0; i < n; ++i) control.flag[numbers[i]] = 1;
  return control;
}

// {"type", "chn_id"} of the PTZ entry requests: the source type 0..26 and the source id 0..63.
bool read_ptz_source(json_object* request, int32_t* type, int32_t* source) {
  return read_json_members(request, {int_member("type", type).required().range(0, kPtzSourceLast),
                                     int_member("chn_id", source).required().range(0, 63)});
}

// The entry of an add or update: the PTZ camera, the action type, and only the value key that
// the type names (1 preset, 2 patrol, 3 pattern).
bool read_ptz_entry(json_object* request, PtzActionEntry* entry) {
  PtzActionEntry e{};
  if (!read_json_members(request, {int_member("acto_ptz_channel", &e.acto_ptz_channel).required().min(1),
                                   int_member("acto_ptz_type", &e.acto_ptz_type).required().range(1, 3)})) {
    return false;
  }
  static constexpr const char* kValueKeys[] = {"acto_ptz_preset", "acto_ptz_patrol", "acto_ptz_pattern"};
  int32_t* values[] = {&e.acto_ptz_preset, &e.acto_ptz_patrol, &e.acto_ptz_pattern};
  if (!read_json_members(request, {int_member(kValueKeys[e.acto_ptz_type - 1], values[e.acto_ptz_type - 1])})) {
    return false;
  }
  *entry = e;
  return true;
}

bool has_ptz_entry(int type, int source, int ptz_channel) {
  auto list = std::make_unique<PtzActionList>();
  int count = 0;
  read_ptz_params(kZvdbPath, list.get(), type, source, &count);
  return std::any_of(list->entries, list->entries + std::clamp(count, 0, kPtzActionMaxEntries),
                     [&](const PtzActionEntry& e) { return e.acto_ptz_channel == ptz_channel; });
}

// Removes the entries of the listed PTZ cameras from (type, source) in one transaction; cameras
// without an entry are left as they are.
void delete_ptz_entries(int type, int source, const int32_t* cameras, size_t count) {
  {
    SettingsWrite write;
    for (size_t i = 0; i < count; ++i) {
      if (has_ptz_entry(type, source, cameras[i])) write.check(delete_ptz_params(kZvdbPath, source, cameras[i], type));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
}

}  // namespace

// ---- Snapshots ----------------------------------------------------------------------------------

static void snapshot_plan_read_handler(const char* argument) {
  if (argument == nullptr || *argument == '\0') return (void)reply_cgi_error(REPLY_TEXT);
  reply_plan(zvdb::kSnapshotScheduleTable, decimal_argument(argument));
}

static void snapshot_plan_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  auto plan = std::make_unique<Schedule>();
  if (!request || schedule_from_json(request.get(), "schedule", plan.get()) != 0) return (void)reply_cgi_error(REPLY_TEXT);
  const ChannelList64 list = listed_channels(request.get());
  {
    SettingsWrite write;
    const ChannelMask64 mask = mask_of(list.channels, static_cast<size_t>(list.count));
    if (!mask.empty()) write.check(kSnapshotPlans.copy_to_mask(kZvdbPath, plan.get(), mask.bits()));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kSnapshotPlanChanged, list);
  reply_ok();
}

static void snapshot_read_handler(const char* argument) {
  if (argument == nullptr || *argument == '\0') return (void)reply_cgi_error(REPLY_TEXT);
  SnapshotRecord row{};
  kSnapshots.read(kZvdbPath, &row, {decimal_argument(argument)});
  reply_record(kSnapshotReadForm.schema(), &row);
}

static void snapshot_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  SnapshotRecord checked{};
  if (!request || !read_record(request.get(), &checked)) return (void)reply_cgi_error(REPLY_TEXT);
  const ChannelList64 list = listed_channels(request.get());
  const ChannelMask64 mask = mask_of(list.channels, static_cast<size_t>(list.count));
  {
    SettingsWrite write;
    SnapshotRecord rows[kMaxChannels];
    bool present[kMaxChannels];
    if (read_rows_by_key(kZvdbPath, kSnapshots, rows, present) != 0) write.check(-1);
    for (int c = 0; c < kMaxChannels; ++c) {
      if (!mask.test(c)) continue;
      read_record(request.get(), &rows[c]);  // checked above; absent members keep the channel's own
      rows[c].id = c;
    }
    if (!mask.empty()) write.check(kSnapshots.write_masked(kZvdbPath, rows, kMaxChannels, mask.bits()));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kSnapshotSettingsChanged, list);
  reply_ok();
}

static void snapshot_control_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return (void)reply_cgi_error(REPLY_TEXT);
  if (auto start = snapshot_control(request.get(), "snapshotChnId", "snapshotCnt", 1)) core_tell(kSnapshotControl, *start);
  if (auto stop = snapshot_control(request.get(), "stopChnId", "stopCnt", 0)) core_tell(kSnapshotControl, *stop);
  reply_ok();
}

// ---- Single PTZ action entries ------------------------------------------------------------------

void ptz_entry_store(const char* argument, bool update) {
  JsonPtr request = parse_request(argument);
  int32_t type = 0;
  int32_t source = -1;
  int32_t old_source = -1;
  PtzActionEntry entry{};
  if (!request || !read_ptz_source(request.get(), &type, &source) ||
      (update && !read_json_members(request.get(), {int_member("old_chn_id", &old_source).required().range(0, 63)})) ||
      !read_ptz_entry(request.get(), &entry)) {
    return (void)reply_cgi_error(REPLY_TEXT);
  }
  entry.source_id = source;
  {
    SettingsWrite write;
    write.check(update ? update_ptz_params(kZvdbPath, &entry, type, old_source)
                       : write_ptz_params(kZvdbPath, &entry, type));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
}

static void ptz_entries_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t type = 0;
  int32_t source = -1;
  if (!request || !read_ptz_source(request.get(), &type, &source)) return (void)reply_cgi_error(REPLY_TEXT);
  JsonWriter w(4096);
  w.begin_object();
  write_ptz_actions(w.key("ptzInfo"), type, source);
  w.end_object();
  reply_json(w);
}

static void ptz_entry_delete_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t type = 0;
  int32_t source = -1;
  int32_t camera = 0;
  if (!request || !read_ptz_source(request.get(), &type, &source) ||
      !read_json_members(request.get(), {int_member("acto_ptz_channel", &camera).required().min(0)})) {
    return (void)reply_cgi_error(REPLY_TEXT);
  }
  delete_ptz_entries(type, source, &camera, 1);
}

static void ptz_entries_delete_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t type = 0;
  int32_t source = -1;
  if (!request || !read_ptz_source(request.get(), &type, &source)) return (void)reply_cgi_error(REPLY_TEXT);
  json_object* cameras = json_array_of(request.get(), "ptzChannel");
  int32_t list[kPtzActionMaxEntries];
  delete_ptz_entries(type, source, list, read_int_list(cameras, json_array_size(cameras), list, kPtzActionMaxEntries));
}

// ---- Camera-side alarms and trigger alarms ------------------------------------------------------

static void trigger_alarms_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    TriggerAlarms values{};
    kTriggerAlarms.read(kZvdbPath, &values, {0});
    int32_t* v = values.values;
    if (!request ||
        !read_json_members(request.get(), {int_member("0", &v[0]).required(), int_member("1", &v[1]).required(),
                                           int_member("2", &v[2]).required(), int_member("3", &v[3]).required(),
                                           int_member("4", &v[4]).required(), int_member("5", &v[5]).required(),
                                           int_member("6", &v[6]).keep_if_absent()})) {
      return;
    }
    write.check(kTriggerAlarms.write_at(kZvdbPath, &values, {0}));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  core_tell(kTriggerAlarmsChanged);
  JsonWriter w;
  w.begin_object().end_object();
  reply_json(w);
}

static void trigger_alarms_read_handler(const char* /*argument*/) {
  TriggerAlarms values{};
  kTriggerAlarms.read(kZvdbPath, &values, {0});
  JsonWriter w(256);
  w.begin_array();
  for (int32_t v : values.values) w.value(v);
  w.value(audio_id_mask()).end_array();
  reply_json(w);
}

ZV_REQUESTS(kSnapshotAlarmsRequests, "video",
    {"/6161", ptz_entries_read_handler},
    {"/6162", ptz_entry_delete_handler},
    {"/6164", ptz_entries_delete_handler},
    {"/6174", snapshot_plan_read_handler},
    {"/6175", snapshot_plan_set_handler},
    {"/6176", snapshot_read_handler},
    {"/6177", snapshot_set_handler},
    {"/6178", snapshot_control_handler},
    {"/6998", trigger_alarms_set_handler},
    {"/6999", trigger_alarms_read_handler});
