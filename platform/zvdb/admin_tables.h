// Configuration-database tables of the administration pages: log retention (one row) and the
// user table of an OEM package's own database file.
#pragma once

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/admin_records.h"

namespace zvdb {
extern const TableDesc kDiskMaintainTable;
extern const TableDesc kOemUserTable;
std::span<const TableDesc* const> admin_tables();
}  // namespace zvdb

// Retention is one row (key 0); the factory row keeps logs and snapshots for 0 (no limit).
inline constexpr zvdb::Table<DiskMaintainInfo> kDiskMaintain{zvdb::kDiskMaintainTable};
inline constexpr zvdb::Table<OemUserRecord> kOemUsers{zvdb::kOemUserTable};

