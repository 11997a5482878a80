// Configuration-database tables of the camera applications: people-counting groups (four, keyed
// by group id), their event records and plans, the automatic counting reports (four, keyed by
// position), the POS terminals (four, keyed by id) with their events and plans, and the face
// events and plans of channels 0..7. All calls take the database path first; 0 = done / found,
// -1 = not found (buffer left as it was), refused or failed.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/camera_apps_record.h"
#include "platform/zvdb/records/schedule_record.h"

// The four groups in id order (a group that is not stored reads as its factory row).
int read_peoplecnt_settings(const char* db, CountingGroup groups[kCountingGroups]);
// Stores groups[0..count-1] under their ids, in one transaction.
int write_peoplecnt_settings(const char* db, const CountingGroup* groups, int count);
// The four POS terminals in id order; one by id; one under its id.
int read_pos_settings(const char* db, PosRecord records[kPosDevices]);
int read_pos_setting(const char* db, PosRecord* record, int id);
int write_pos_setting(const char* db, const PosRecord* record);
// The four report definitions in order; all four, in one transaction.
int read_peoplecnt_auto_backup(const char* db, CountingReport reports[kCountingReports]);
int write_peoplecnt_auto_backup(const char* db, const CountingReport reports[kCountingReports]);

namespace zvdb {
extern const TableDesc kCountingGroupTable;          // "peoplecnt_settings", key a = group id
extern const TableDesc kCountingEventTable;          // "peoplecnt_event", key a = group id
extern const TableDesc kCountingAudibleScheduleTable;
extern const TableDesc kCountingEmailScheduleTable;
extern const TableDesc kCountingPtzScheduleTable;
extern const TableDesc kCountingReportTable;         // "peoplecnt_auto_backup", key a = position
extern const TableDesc kPosTable;                    // "pos_settings", key a = id
extern const TableDesc kPosEventTable;               // "pos_event", key a = id
extern const TableDesc kPosEffectiveScheduleTable;
extern const TableDesc kPosAudibleScheduleTable;
extern const TableDesc kPosEmailScheduleTable;
extern const TableDesc kPosPtzScheduleTable;
extern const TableDesc kFaceEventTable;              // "face_event", key a = channel
extern const TableDesc kFaceEffectiveScheduleTable;
extern const TableDesc kFaceAudibleScheduleTable;
extern const TableDesc kFaceEmailScheduleTable;
extern const TableDesc kFacePtzScheduleTable;

// The tables above (factory rows: four groups, four POS terminals, four reports).
std::span<const TableDesc* const> camera_apps_tables();
}  // namespace zvdb

inline constexpr zvdb::Table<CountingGroup> kCountingGroupsTable{zvdb::kCountingGroupTable};
inline constexpr zvdb::Table<PosRecord> kPosDevicesTable{zvdb::kPosTable};
inline constexpr zvdb::Table<AppEventRecord> kPosEvents{zvdb::kPosEventTable};
inline constexpr zvdb::Table<AppEventRecord> kFaceEvents{zvdb::kFaceEventTable};
inline constexpr zvdb::Table<AppEventRecord> kCountingEvents{zvdb::kCountingEventTable};
