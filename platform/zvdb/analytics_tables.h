// Configuration-database tables of the analytics events: the action records and weekly plans of
// the nine smart event kinds, the plate list modes and the regional counting regions, each keyed
// by (channel, sub index), and the plate list, which lives in a database file of its own
// (kAnprDbPath) keyed by the plate text. All calls take the database path first; 0 = done /
// found, -1 = not found (buffer left as it was), refused or failed.
#pragma once

#include <cstdint>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/analytics_record.h"
#include "platform/zvdb/records/schedule_record.h"

// Sub index of a plate list mode in its tables: mode + 1 (the plate event as a whole, -1, is 0).
constexpr int plate_mode_sub(int mode) { return mode + 1; }

// ---- The plate list ----------------------------------------------------------------------------
// Removes the plates of `entries` (absent ones are skipped), one transaction.
int delete_anpr_lists(const char* db, const PlateListEntry* entries, int count);
// Replaces the whole list with `entries` (a plate given twice keeps its last type); more than
// kPlateListLimit refused. One transaction.
int write_anpr_list_replace_batch(const char* db, const PlateListEntry* entries, int count);
// Removes the plate of `entry`; -1 when it was not stored.
int delete_anpr_list(const char* db, const PlateListEntry* entry);
// The stored row of `plate` into *out.
int read_anpr_list_plate(const char* db, PlateListEntry* out, const char* plate);
// Replaces the row of entry->plate (it must exist).
int update_anpr_list(const char* db, const PlateListEntry* entry);
// Adds (or replaces) the row of entry->plate; a new plate is refused once the list holds
// kPlateListLimit plates. Writers serialise on the request lock (SettingsWrite), which makes the
// check and the write one step.
int write_anpr_list(const char* db, const PlateListEntry* entry);
// One page of the list in plate order: the rows `offset` .. offset + *count - 1 whose type is
// `type` (null or "": every type). *count: in, the page size (capacity of `out`); out, the rows
// filled. *total (when not null): the number of matching rows.
int search_anpr_lists(const char* db, const char* type, int offset, PlateListEntry* out, int* count,
                      int* total);

namespace zvdb {
extern const TableDesc kSmartEventTable;
extern const TableDesc kSmartEventPlanTables[4];   // effective, audible, mail, ptz
extern const TableDesc kAnprEventTable;
extern const TableDesc kAnprPlanTables[4];         // effective, audible, mail, ptz
extern const TableDesc kRegionalCountEventTable;
extern const TableDesc kRegionalCountPlanTables[3];  // schedule kinds 1 audible, 2 e-mail, 3 PTZ
extern const TableDesc kPlateListTable;            // in kAnprDbPath

// The tables above (factory rows: every channel of every kind, mode and region).
std::span<const TableDesc* const> analytics_tables();
}  // namespace zvdb

inline constexpr zvdb::Table<SmartEventRecord> kSmartEvents{zvdb::kSmartEventTable};
inline constexpr zvdb::Table<SmartEventRecord> kAnprEvents{zvdb::kAnprEventTable};
inline constexpr zvdb::Table<SmartEventRecord> kRegionalCountEvents{zvdb::kRegionalCountEventTable};
inline constexpr zvdb::Table<PlateListEntry> kPlateList{zvdb::kPlateListTable};
