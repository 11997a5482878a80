// Configuration-database tables of the alarm and event pages that are not motion: the recorder's
// alarm inputs (16) and outputs (4) with their plans, the cameras' alarm inputs and outputs (two
// of each per channel: action blocks, names, plans), the video-loss event of every channel,
// scheduled snapshots, the cameras' own alarm-input and audio-level alarms and the trigger-alarm
// values, and the single-entry calls of the PTZ action lists. All take the database path first:
// 0 = done / found; -1 = not found (the buffer is left as it was), refused or failed.
#pragma once

#include <algorithm>
#include <memory>
#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/alarm_record.h"
#include "platform/zvdb/records/schedule_record.h"
#include "platform/zvdb/records/snapshot_record.h"
#include "platform/zvdb/records/video_loss_record.h"

namespace zvdb {
extern const TableDesc kAlarmInTable;                 // "alarm_in", key a = input 0..15
extern const TableDesc kAlarmInScheduleTable;         // the older single plan of an input
extern const TableDesc kAlarmInEffectiveScheduleTable;
extern const TableDesc kAlarmInAudibleScheduleTable;
extern const TableDesc kAlarmInEmailScheduleTable;
extern const TableDesc kAlarmInPtzScheduleTable;
extern const TableDesc kAlarmOutTable;                // "alarm_out", key a = output 0..3
extern const TableDesc kAlarmOutScheduleTable;
extern const TableDesc kCameraAlarmInEventTable;      // key a = channel, b = alarm index 0..1
extern const TableDesc kCameraAlarmInNameTable;
extern const TableDesc kCameraAlarmOutNameTable;
extern const TableDesc kCameraAlarmInEffectiveScheduleTable;
extern const TableDesc kCameraAlarmInAudibleScheduleTable;
extern const TableDesc kCameraAlarmInMailScheduleTable;
extern const TableDesc kCameraAlarmInPtzScheduleTable;
extern const TableDesc kCameraAlarmOutEffectiveScheduleTable;
extern const TableDesc kVideoLossTable;               // "video_loss", key a = channel
extern const TableDesc kVideoLossScheduleTable;       // the older single plan
extern const TableDesc kVideoLossAudibleScheduleTable;
extern const TableDesc kVideoLossEmailScheduleTable;
extern const TableDesc kVideoLossPtzScheduleTable;
extern const TableDesc kSnapshotTable;
extern const TableDesc kSnapshotScheduleTable;
extern const TableDesc kCameraIoTable;                // "cameraio"
extern const TableDesc kVolumeDetectTable;            // "volumedetect"
extern const TableDesc kTriggerAlarmTable;            // one row, key 0

// The tables above, for the library's table list; factory rows for every input, output, camera
// alarm and channel.
std::span<const TableDesc* const> alarm_tables();
}  // namespace zvdb

inline constexpr zvdb::Table<AlarmInConfig> kAlarmIns{zvdb::kAlarmInTable};
inline constexpr zvdb::Table<Schedule> kAlarmInPlans{zvdb::kAlarmInScheduleTable};
inline constexpr zvdb::Table<Schedule> kAlarmInEffectivePlans{zvdb::kAlarmInEffectiveScheduleTable};
inline constexpr zvdb::Table<Schedule> kAlarmInAudiblePlans{zvdb::kAlarmInAudibleScheduleTable};
inline constexpr zvdb::Table<AlarmOutConfig> kAlarmOuts{zvdb::kAlarmOutTable};
inline constexpr zvdb::Table<Schedule> kAlarmOutPlans{zvdb::kAlarmOutScheduleTable};
inline constexpr zvdb::Table<CameraAlarmInEvent> kCameraAlarmInEvents{zvdb::kCameraAlarmInEventTable};
inline constexpr zvdb::Table<CameraAlarmInName> kCameraAlarmInNames{zvdb::kCameraAlarmInNameTable};
inline constexpr zvdb::Table<CameraAlarmOutName> kCameraAlarmOutNames{zvdb::kCameraAlarmOutNameTable};
inline constexpr zvdb::Table<Schedule> kCameraAlarmOutPlans{zvdb::kCameraAlarmOutEffectiveScheduleTable};
inline constexpr zvdb::Table<VideoLossRecord> kVideoLosses{zvdb::kVideoLossTable};
inline constexpr zvdb::Table<Schedule> kVideoLossPlans{zvdb::kVideoLossScheduleTable};
inline constexpr zvdb::Table<Schedule> kVideoLossAudiblePlans{zvdb::kVideoLossAudibleScheduleTable};
inline constexpr zvdb::Table<Schedule> kVideoLossPtzPlans{zvdb::kVideoLossPtzScheduleTable};
inline constexpr zvdb::Table<SnapshotRecord> kSnapshots{zvdb::kSnapshotTable};
inline constexpr zvdb::Table<Schedule> kSnapshotPlans{zvdb::kSnapshotScheduleTable};
inline constexpr zvdb::Table<CameraIoAlarm> kCameraIoAlarms{zvdb::kCameraIoTable};
inline constexpr zvdb::Table<AudioAlarm> kAudioAlarms{zvdb::kVolumeDetectTable};
inline constexpr zvdb::Table<TriggerAlarms> kTriggerAlarms{zvdb::kTriggerAlarmTable};

// Rows of a record-per-key table placed by their key: rows[n] is the row of key n and present[n]
// says whether it is stored (a missing row reads as zeros). `capacity` rows at most (the table's
// own key count when smaller). 0, or -1 when the file cannot be read (nothing present then).
int read_rows_by_key(const char* db, const zvdb::TableDesc& t, void* rows, bool* present, int capacity);
template <class T, int N>
int read_rows_by_key(const char* db, const zvdb::Table<T>& t, T (&rows)[N], bool (&present)[N]) {
  return read_rows_by_key(db, t.desc, rows, present, N);
}
// The stored rows of a table in key order, at most `capacity`: how many (0 when the file cannot be
// read).
template <class T>
int read_stored_rows(const char* db, const zvdb::Table<T>& t, T* rows, int capacity) {
  int count = capacity;
  return t.read_all(db, rows, &count) == 0 ? std::clamp(count, 0, capacity) : 0;
}
// The rows of a camera alarm table (names) of every channel placed by key: element
// channel * 2 + alarm index, zeros where no row is stored.
template <class T>
std::unique_ptr<T[]> camera_alarm_rows(const char* db, const zvdb::Table<T>& t) {
  auto placed = std::make_unique<T[]>(kMaxChannels * kCameraAlarms);
  t.scan(db, [&](const T& n) {
    if (n.channel >= 0 && n.channel < kMaxChannels && n.alarm_index >= 0 && n.alarm_index < kCameraAlarms) {
      placed[n.channel * kCameraAlarms + n.alarm_index] = n;
    }
    return true;
  });
  return placed;
}

// ---- Single entries of the PTZ action lists, keyed by (PTZ source type, source id) ----------
// Type 20 (people counting of camera groups) keeps its lists in its own table; every other type
// in the shared one. An entry is identified by its PTZ camera (acto_ptz_channel, above 0).
// Adds the entry to the list of (type, entry->source_id), replacing the one for the same camera.
int write_ptz_params(const char* db, const PtzActionEntry* entry, int type);
// Moves the entry of its PTZ camera from the list of (type, old_source_id) to the list of
// (type, entry->source_id), replacing the one for the same camera there; one transaction.
int update_ptz_params(const char* db, const PtzActionEntry* entry, int type, int old_source_id);
// Removes the entry of `ptz_channel` from the list of (type, source_id); -1 when there was none.
int delete_ptz_params(const char* db, int source_id, int ptz_channel, int type);
