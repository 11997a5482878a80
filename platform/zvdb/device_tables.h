// Configuration-database tables of the recorder's device settings: display outputs and audio,
// automatic reboot, UPnP port mapping (written by the core) and the address access filter. Each is
// one row (or one list) under key 0.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/device_records.h"

namespace zvdb {
extern const TableDesc kDisplayTable;        // "display"
extern const TableDesc kAutoRebootTable;     // "autoreboot_conf"
extern const TableDesc kUpnpTable;           // "upnp"
extern const TableDesc kAccessFilterTable;   // "access_filter": a list of at most 100 entries
std::span<const TableDesc* const> device_tables();
}  // namespace zvdb

// The one-row tables: read(db, &row, kDeviceRow), write(db, &row).
inline constexpr zvdb::Key kDeviceRow{};
inline constexpr zvdb::Table<DisplayConfig> kDisplay{zvdb::kDisplayTable};
inline constexpr zvdb::Table<AutoRebootConfig> kAutoReboot{zvdb::kAutoRebootTable};
inline constexpr zvdb::Table<UpnpConfig> kUpnp{zvdb::kUpnpTable};
// The filter's entries in order: read_list(db, kDeviceRow, entries, &count), write_list(...).
inline constexpr zvdb::Table<AccessFilterEntry> kAccessFilter{zvdb::kAccessFilterTable};
