#include "platform/zvdb/alarm_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/zvdb/table_forms.h"
#include "platform/zvdb/video_tables.h"

namespace zvdb {
namespace {

// Factory rows: everything off, 20 s intervals, names counted from 1.
void default_alarm_in(AlarmInConfig& in, int32_t index) {
  in.id = index;
  std::snprintf(in.name, sizeof in.name, "AlarmIn%d", static_cast<int>(index) + 1);
  in.interval = 20;
  in.email_interval = 20;
}

void default_alarm_out(AlarmOutConfig& out, int32_t index) {
  out.id = index;
  std::snprintf(out.name, sizeof out.name, "AlarmOut%d", static_cast<int>(index) + 1);
  out.duration_time = 10;
}

// Camera alarm rows are numbered channel * 2 + alarm index.
void default_camera_alarm_in(CameraAlarmInEvent& e, int32_t index) {
  e.channel = index / kCameraAlarms;
  e.alarm_index = index % kCameraAlarms;
  e.interval = 20;
  e.email_interval = 20;
}

void default_camera_alarm_in_name(CameraAlarmInName& n, int32_t index) {
  n.channel = index / kCameraAlarms;
  n.alarm_index = index % kCameraAlarms;
  std::snprintf(n.name, sizeof n.name, "AlarmIn%d", static_cast<int>(n.alarm_index) + 1);
}

void default_camera_alarm_out_name(CameraAlarmOutName& n, int32_t index) {
  n.channel = index / kCameraAlarms;
  n.alarm_index = index % kCameraAlarms;
  n.delay_time = 10;
  std::snprintf(n.name, sizeof n.name, "AlarmOut%d", static_cast<int>(n.alarm_index) + 1);
}

void default_video_loss(VideoLossRecord& v, int32_t index) {
  v.id = index;
  v.interval = 20;
  v.email_interval = 20;
}

void default_snapshot(SnapshotRecord& s, int32_t index) {
  s.id = index;
  s.quality = 2;
  s.interval = 5;
  s.expiration_date = 30;
}

template <class T>
void camera_only(T& row, int32_t index) {
  row.cam_id = index;
}

template <class T>
constexpr TableDesc camera_alarm_table(const char* name, MakeRow make) {
  return TableDesc{.name = name,
                   .record_size = sizeof(T),
                   .key = {.a = offsetof(T, channel), .b = offsetof(T, alarm_index)},
                   .key_a_count = kMaxChannels,
                   .fields = zvrec::schema_of<T>().fields,
                   .default_rows = kMaxChannels * kCameraAlarms,
                   .make_default = make};
}

}  // namespace

const TableDesc kAlarmInTable = keyed_table<AlarmInConfig>("alarm_in", offsetof(AlarmInConfig, id), kAlarmInputs,
                                                          factory_row<default_alarm_in>);
const TableDesc kAlarmInScheduleTable = plan_table("alarm_in_schedule", kAlarmInputs);
const TableDesc kAlarmInEffectiveScheduleTable = plan_table("alarmin_effective_schedule", kAlarmInputs);
const TableDesc kAlarmInAudibleScheduleTable = plan_table("alarmin_audible_schedule", kAlarmInputs);
const TableDesc kAlarmInEmailScheduleTable = plan_table("alarmin_email_schedule", kAlarmInputs);
const TableDesc kAlarmInPtzScheduleTable = plan_table("alarmin_ptz_schedule", kAlarmInputs);
const TableDesc kAlarmOutTable = keyed_table<AlarmOutConfig>("alarm_out", offsetof(AlarmOutConfig, id), kAlarmOutputs,
                                                            factory_row<default_alarm_out>);
const TableDesc kAlarmOutScheduleTable = plan_table("alarm_out_schedule", kAlarmOutputs);
const TableDesc kCameraAlarmInEventTable =
    camera_alarm_table<CameraAlarmInEvent>("alarm_chnIn_event", factory_row<default_camera_alarm_in>);
const TableDesc kCameraAlarmInNameTable = camera_alarm_table<CameraAlarmInName>(
    "alarm_chnIn_event_name", factory_row<default_camera_alarm_in_name>);
const TableDesc kCameraAlarmOutNameTable = camera_alarm_table<CameraAlarmOutName>(
    "alarm_chnOut_event_name", factory_row<default_camera_alarm_out_name>);
const TableDesc kCameraAlarmInEffectiveScheduleTable = plan_table("alarm_chnIn_effective_schedule", kMaxChannels);
const TableDesc kCameraAlarmInAudibleScheduleTable = plan_table("alarm_chnIn_audible_schedule", kMaxChannels);
const TableDesc kCameraAlarmInMailScheduleTable = plan_table("alarm_chnIn_mail_schedule", kMaxChannels);
const TableDesc kCameraAlarmInPtzScheduleTable = plan_table("alarm_chnIn_ptz_schedule", kMaxChannels);
const TableDesc kCameraAlarmOutEffectiveScheduleTable = plan_table("alarm_chnOut_effective_schedule", kMaxChannels);
const TableDesc kVideoLossTable = keyed_table<VideoLossRecord>("video_loss", offsetof(VideoLossRecord, id),
                                                               kMaxChannels, factory_row<default_video_loss>);
const TableDesc kVideoLossScheduleTable = plan_table("video_loss_schedule", kMaxChannels);
const TableDesc kVideoLossAudibleScheduleTable = plan_table("videoloss_audible_schedule", kMaxChannels);
const TableDesc kVideoLossEmailScheduleTable = plan_table("videoloss_email_schedule", kMaxChannels);
const TableDesc kVideoLossPtzScheduleTable = plan_table("videoloss_ptz_schedule", kMaxChannels);
const TableDesc kSnapshotTable = keyed_table<SnapshotRecord>("snapshot", offsetof(SnapshotRecord, id), kMaxChannels,
                                                             factory_row<default_snapshot>);
const TableDesc kSnapshotScheduleTable = plan_table("snapshot_schedule", kMaxChannels);
const TableDesc kCameraIoTable = keyed_table<CameraIoAlarm>("cameraio", offsetof(CameraIoAlarm, cam_id), kMaxChannels,
                                                            factory_row<camera_only<CameraIoAlarm>>);
const TableDesc kVolumeDetectTable = keyed_table<AudioAlarm>("volumedetect", offsetof(AudioAlarm, cam_id),
                                                             kMaxChannels, factory_row<camera_only<AudioAlarm>>);
const TableDesc kTriggerAlarmTable = one_row_table<TriggerAlarms>("trigger_alarms", zero_row<TriggerAlarms>);

std::span<const TableDesc* const> alarm_tables() {
  static const TableDesc* const kTables[] = {
      &kAlarmInTable, &kAlarmInScheduleTable, &kAlarmInEffectiveScheduleTable, &kAlarmInAudibleScheduleTable,
      &kAlarmInEmailScheduleTable, &kAlarmInPtzScheduleTable, &kAlarmOutTable, &kAlarmOutScheduleTable,
      &kCameraAlarmInEventTable, &kCameraAlarmInNameTable, &kCameraAlarmOutNameTable,
      &kCameraAlarmInEffectiveScheduleTable, &kCameraAlarmInAudibleScheduleTable,
      &kCameraAlarmInMailScheduleTable, &kCameraAlarmInPtzScheduleTable, &kCameraAlarmOutEffectiveScheduleTable,
      &kVideoLossTable, &kVideoLossScheduleTable, &kVideoLossAudibleScheduleTable,
      &kVideoLossEmailScheduleTable, &kVideoLossPtzScheduleTable, &kSnapshotTable, &kSnapshotScheduleTable,
      &kCameraIoTable, &kVolumeDetectTable, &kTriggerAlarmTable,
  };
  return kTables;
}

}  // namespace zvdb

int read_rows_by_key(const char* db, const zvdb::TableDesc& t, void* rows, bool* present, int capacity) {
  if (rows == nullptr || present == nullptr || capacity <= 0 || t.key.a < 0 || t.max_entries > 0) return -1;
  if (t.key_a_count > 0) capacity = std::min(capacity, t.key_a_count);
  auto* out = static_cast<unsigned char*>(rows);
  std::fill(present, present + capacity, false);
  std::fill(out, out + static_cast<size_t>(capacity) * t.record_size, 0);
  return zvdb::scan_records(db, t, {}, [&](const void* record, const zvdb::Key& key) {
    if (key.a >= 0 && key.a < capacity && key.b == 0) {
      std::memcpy(out + static_cast<size_t>(key.a) * t.record_size, record, t.record_size);
      present[key.a] = true;
    }
    return true;
  });
}

namespace {

struct PtzListPlace {
  const zvdb::TableDesc& table;
  zvdb::Key key;
};
PtzListPlace ptz_list_of(int type, int source_id) {
  return type == kPtzSourcePeopleCount ? PtzListPlace{zvdb::kPeopleCountPtzParamsTable, zvdb::Key{source_id}}
                                       : PtzListPlace{zvdb::kPtzParamsTable, zvdb::Key{source_id, type}};
}

}  // namespace

int write_ptz_params(const char* db, const PtzActionEntry* entry, int type) {
  if (entry == nullptr || entry->acto_ptz_channel <= 0) return -1;
  const PtzListPlace place = ptz_list_of(type, entry->source_id);
  return zvdb::put_list_entry(db, place.table, place.key, entry);
}

int update_ptz_params(const char* db, const PtzActionEntry* entry, int type, int old_source_id) {
  if (entry == nullptr || entry->acto_ptz_channel <= 0) return -1;
  const PtzListPlace from = ptz_list_of(type, old_source_id);
  const PtzListPlace to = ptz_list_of(type, entry->source_id);
  return zvdb::move_list_entry(db, from.table, from.key, to.key, entry);
}

int delete_ptz_params(const char* db, int source_id, int ptz_channel, int type) {
  if (ptz_channel <= 0) return -1;
  const PtzListPlace place = ptz_list_of(type, source_id);
  return zvdb::delete_list_entry(db, place.table, place.key, ptz_channel);
}
