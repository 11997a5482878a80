// Configuration-database tables of the network settings: the network record, the service ports
// and the clock settings, one row each under key 0.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/network_record.h"

namespace zvdb {
extern const TableDesc kNetworkTable;  // "network"
extern const TableDesc kPortTable;     // "port"
extern const TableDesc kTimeTable;     // "time"
std::span<const TableDesc* const> network_tables();
}  // namespace zvdb

// read(db, &row, kNetworkRow), write(db, &row).
inline constexpr zvdb::Key kNetworkRow{};
inline constexpr zvdb::Table<NetworkConfig> kNetwork{zvdb::kNetworkTable};
inline constexpr zvdb::Table<PortConfig> kPorts{zvdb::kPortTable};
inline constexpr zvdb::Table<TimeConfig> kTime{zvdb::kTimeTable};
