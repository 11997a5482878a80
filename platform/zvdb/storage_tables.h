// Configuration-database tables of the storage settings: the configuration row of each storage
// position (DiskConfig, keyed by port 0..36, factory rows for ports 1..36), the 16 disk groups
// (keyed by id, factory rows 0..15) and the automatic-backup row (key 0). All calls take the
// database path first: 0 = done / found; -1 = not found (the buffer left as it was) or failed.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/disk_record.h"

namespace zvdb {
extern const TableDesc kDiskTable;        // "disk", key a = port
extern const TableDesc kDiskGroupTable;   // "disk_group", key a = group id
extern const TableDesc kAutoBackupTable;  // "esata_auto_backup", one row
std::span<const TableDesc* const> storage_tables();
}  // namespace zvdb

inline constexpr zvdb::Table<DiskConfig> kDisks{zvdb::kDiskTable};
inline constexpr zvdb::Table<DiskGroup> kDiskGroupRows{zvdb::kDiskGroupTable};
inline constexpr zvdb::Table<AutoBackupConfig> kAutoBackup{zvdb::kAutoBackupTable};  // key {0}

// The row of `port` (the caller sets record->port first); a missing row leaves it as it was.
int read_disk(const char* db, DiskConfig* record);
// Keyed by record->port (0..36).
int write_disk(const char* db, const DiskConfig* record);
// The rows of ports 1..36 in port order, slot port - 1 (a missing row reads as zeros, port set).
// *count: in, the capacity of `rows`; out, the slots filled (at most 36).
int read_disks(const char* db, DiskConfig* rows, int* count);
// The 16 group rows by id (a missing row reads as zeros, id set).
int read_groups(const char* db, DiskGroup rows[kDiskGroups]);
