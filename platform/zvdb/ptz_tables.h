// Configuration-database tables of the PTZ settings: the serial port, the stored speeds and the
// tour table of each channel (keys 0..63, factory rows for all 64 channels). Plain typed tables:
// ports and speeds carry their channel and are written with write(); a tour table is written with
// write_at(db, &tours, {channel}). 0 = done / found; -1 = not found (buffer untouched) or failed.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/ptz_record.h"

namespace zvdb {
extern const TableDesc kPtzPortTable;   // "ptz_port", key a = channel
extern const TableDesc kPtzSpeedTable;  // "ptz_speed", key a = channel
extern const TableDesc kPtzTourTable;   // "ptz_tour", key a = channel

std::span<const TableDesc* const> ptz_tables();
}  // namespace zvdb

inline constexpr zvdb::Table<PtzPort> kPtzPorts{zvdb::kPtzPortTable};
inline constexpr zvdb::Table<PtzSpeed> kPtzSpeeds{zvdb::kPtzSpeedTable};
inline constexpr zvdb::Table<PtzTourTable> kPtzTourTables{zvdb::kPtzTourTable};
