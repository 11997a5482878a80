#include "platform/zvdb/video_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

// Factory motion settings: off, middle sensitivity, 20 s intervals, no actions.
void default_motion(MotionRecord& m, int32_t index) {
  m.channel = index;
  m.sensitivity = 3;
  m.interval = 20;
  m.email_interval = 20;
}

// Factory OSD: the name "CAM<n>" (1-based) shown with the date, both in the picture's corners.
void default_osd(OsdRecord& o, int32_t index) {
  o.cam_id = index;
  std::snprintf(o.cam_name, sizeof o.cam_name, "CAM%d", static_cast<int>(index) + 1);
  o.show_name = 1;
  o.show_date = 1;
  o.show_week = 1;
  o.date_pos_x = 0.02;
  o.date_pos_y = 0.02;
  o.name_pos_x = 0.02;
  o.name_pos_y = 0.75;
}

constexpr TableDesc schedule_table(const char* name) { return plan_table(name, kMaxChannels); }

constexpr TableDesc ptz_table(const char* name, uint32_t max_entries) {
  return TableDesc{.name = name,
                   .record_size = sizeof(PtzActionEntry),
                   .max_entries = max_entries,
                   .entry_id = offsetof(PtzActionEntry, acto_ptz_channel),
                   .zero_id_is_free = true,
                   .fields = zvrec::schema_of<PtzActionEntry>().fields};
}

}  // namespace

const TableDesc kMotionTable =
    keyed_table<MotionRecord>("motion", offsetof(MotionRecord, channel), kMaxChannels, factory_row<default_motion>);
const TableDesc kMotionEffectiveScheduleTable = schedule_table("motion_effective_schedule");
const TableDesc kMotionAudibleScheduleTable = schedule_table("motion_audible_schedule");
const TableDesc kMotionEmailScheduleTable = schedule_table("motion_email_schedule");
const TableDesc kMotionPtzScheduleTable = schedule_table("motion_ptz_schedule");
const TableDesc kMotionScheduleTable = schedule_table("motion_schedule");
// Keyed by (channel, LED schedule table name).
const TableDesc kWhiteLedScheduleTable = schedule_table("whiteled_esche");
// Lists of up to 8 entries keyed by (channel, LED parameter table name).
const TableDesc kWhiteLedParamsTable{.name = "whiteled_params",
                                     .record_size = sizeof(WhiteLedEntry),
                                     .key_a_count = kMaxChannels,
                                     .max_entries = kWhiteLedMaxEntries,
                                     .fields = zvrec::schema_of<WhiteLedEntry>().fields};
// Lists of up to 64 entries keyed by (source id, PTZ source type), and of up to 8 keyed by source
// id (people counting); an entry is identified by its PTZ camera, 0 marking a free slot.
const TableDesc kPtzParamsTable = ptz_table("ptz_params", kPtzActionMaxEntries);
const TableDesc kPeopleCountPtzParamsTable = ptz_table("peoplecnt_ptz_params", kPeopleCountPtzMaxEntries);
const TableDesc kAlarmAudioTable =
    keyed_table<AudioFileEntry>("alarm_audio_file", offsetof(AudioFileEntry, id), kAlarmAudioSlots);
const TableDesc kOsdTable =
    keyed_table<OsdRecord>("osd", offsetof(OsdRecord, cam_id), kMaxChannels, factory_row<default_osd>);
const TableDesc kPrivacyMaskTable =
    keyed_table<PrivacyMaskEntry>("privacy_mask", offsetof(PrivacyMaskEntry, id), kMaxChannels);

std::span<const TableDesc* const> video_tables() {
  static const TableDesc* const kTables[] = {
      &kMotionTable,          &kMotionEffectiveScheduleTable, &kMotionAudibleScheduleTable,
      &kMotionEmailScheduleTable, &kMotionPtzScheduleTable,   &kMotionScheduleTable,
      &kWhiteLedScheduleTable, &kWhiteLedParamsTable,         &kPtzParamsTable,
      &kPeopleCountPtzParamsTable, &kAlarmAudioTable,         &kOsdTable,
      &kPrivacyMaskTable,
  };
  return kTables;
}

}  // namespace zvdb

namespace {

using zvdb::Key;

constexpr zvdb::Table<PtzActionEntry> kPtzLists{zvdb::kPtzParamsTable};
constexpr zvdb::Table<PtzActionEntry> kPeopleCountPtzLists{zvdb::kPeopleCountPtzParamsTable};

// The table name of an LED key or call, bounded by its field width.
std::string_view led_table(const char* name) {
  return name != nullptr ? std::string_view(name, strnlen(name, kLedTableNameSize - 1)) : std::string_view();
}

// The used entries of a PTZ list (acto_ptz_channel != 0), in order, and their number.
int used_ptz_entries(const PtzActionList& list, int limit, PtzActionEntry* out) {
  int n = 0;
  for (int i = 0; i < limit; ++i) {
    if (list.entries[i].acto_ptz_channel != 0) out[n++] = list.entries[i];
  }
  return n;
}

int read_ptz_list(const zvdb::Table<PtzActionEntry>& t, const char* db, PtzActionList* list,
                  const Key& key, int capacity, int* count) {
  if (list == nullptr) return -1;
  PtzActionList read{};
  int n = capacity;
  const int rc = t.read_list(db, key, read.entries, &n);
  if (rc != 0) n = 0;
  *list = read;
  if (count != nullptr) *count = n;
  return rc;
}

// Where the PTZ lists of a source type live: people counting of camera groups (type 20) has a
// table of its own keyed by channel only, of at most 8 entries per list.
struct PtzLists {
  const zvdb::Table<PtzActionEntry>& table;
  Key key;
  int capacity;
};
PtzLists ptz_lists(int type, int channel) {
  return type == kPtzSourcePeopleCount ? PtzLists{kPeopleCountPtzLists, Key{channel}, kPeopleCountPtzMaxEntries}
                                       : PtzLists{kPtzLists, Key{channel, type}, kPtzActionMaxEntries};
}

}  // namespace

zvdb::Key led_key(int channel, const char* table) { return Key{channel, 0, led_table(table)}; }

int write_whiteled_params_all(const char* db, const WhiteLedParams* params, const char* table, int channel) {
  if (params == nullptr || params->count < 0 || params->count > kWhiteLedMaxEntries) return -1;
  return kLedActions.write_list(db, Key{channel, 0, led_table(table)}, params->entries, params->count);
}
int copy_whiteled_params(const char* db, const char* table, const WhiteLedParams* params, ChannelMask64 mask) {
  if (params == nullptr || params->count < 0 || params->count > kWhiteLedMaxEntries) return -1;
  zvdb::Transaction tx(db);
  for (int c = 0; c < kMaxChannels; ++c) {
    if (!mask.test(c)) continue;
    WhiteLedParams copy = *params;
    for (int i = 0; i < copy.count; ++i) copy.entries[i].owner_channel = c;
    tx.write_list(zvdb::kWhiteLedParamsTable, Key{c, 0, led_table(table)}, copy.entries, copy.count);
  }
  return tx.commit();
}

int read_ptz_params(const char* db, PtzActionList* list, int type, int channel, int* count) {
  const PtzLists l = ptz_lists(type, channel);
  return read_ptz_list(l.table, db, list, l.key, l.capacity, count);
}
int write_ptz_params_all(const char* db, const PtzActionList* list, int type, int channel) {
  if (list == nullptr) return -1;
  const PtzLists l = ptz_lists(type, channel);
  PtzActionEntry used[kPtzActionMaxEntries];
  const int n = used_ptz_entries(*list, l.capacity, used);
  return l.table.write_list(db, l.key, used, n);
}
int copy_ptz_params_all(const char* db, const PtzActionList* list, int type, ChannelMask64 mask) {
  if (list == nullptr) return -1;
  PtzActionEntry used[kPtzActionMaxEntries];
  // Each copy goes where its type's lists are read from (type 20: its own table, 8 entries).
  const int n = used_ptz_entries(*list, ptz_lists(type, 0).capacity, used);
  zvdb::Transaction tx(db);
  for (int c = 0; c < kMaxChannels; ++c) {
    if (!mask.test(c)) continue;
    const PtzLists l = ptz_lists(type, c);
    for (int i = 0; i < n; ++i) used[i].source_id = c;
    tx.write_list(l.table.desc, l.key, used, n);
  }
  return tx.commit();
}

int read_alarm_audio_file(const char* db, AudioFileEntry slots[kAlarmAudioSlots]) {
  if (slots == nullptr) return -1;
  AudioFileEntry stored[kAlarmAudioSlots] = {};
  int n = kAlarmAudioSlots;
  const int rc = kAudioSlots.read_all(db, stored, &n);
  for (int i = 0; i < kAlarmAudioSlots; ++i) slots[i] = AudioFileEntry{};
  if (rc != 0) return rc;
  for (int i = 0; i < n; ++i) {
    if (stored[i].id >= 0 && stored[i].id < kAlarmAudioSlots) slots[stored[i].id] = stored[i];
  }
  return 0;
}

int read_osd_name(const char* db, int channel, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return -1;
  OsdRecord record{};
  const int rc = kOsds.read(db, &record, Key{channel});
  const size_t n = strnlen(record.cam_name, std::min<size_t>(sizeof record.cam_name, static_cast<size_t>(size) - 1));
  std::memcpy(buffer, record.cam_name, n);
  buffer[n] = '\0';
  return rc;
}
