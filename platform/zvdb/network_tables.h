// Configuration-database tables of the network settings: the network record, the service ports
// and the clock settings, one row each under key 0.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/network_record.h"
#include "platform/zvdb/records/network_services_record.h"

namespace zvdb {
extern const TableDesc kNetworkTable;  // "network"
extern const TableDesc kPortTable;     // "port"
extern const TableDesc kTimeTable;     // "time"
extern const TableDesc kPppoeTable;      // "pppoe"
extern const TableDesc kDdnsTable;       // "ddns"
extern const TableDesc kEmailTable;      // "email"
extern const TableDesc kMulticastTable;  // "multicast"
extern const TableDesc kSnmpTable;       // "snmp"
extern const TableDesc kP2pTable;        // "p2p_info"
extern const TableDesc kPushEventTable;  // "push_msg_event", one row per channel
std::span<const TableDesc* const> network_tables();
}  // namespace zvdb

// read(db, &row, kNetworkRow), write(db, &row).
inline constexpr zvdb::Key kNetworkRow{};
inline constexpr zvdb::Table<NetworkConfig> kNetwork{zvdb::kNetworkTable};
inline constexpr zvdb::Table<PortConfig> kPorts{zvdb::kPortTable};
inline constexpr zvdb::Table<TimeConfig> kTime{zvdb::kTimeTable};
inline constexpr zvdb::Table<PppoeConfig> kPppoe{zvdb::kPppoeTable};
inline constexpr zvdb::Table<DdnsConfig> kDdns{zvdb::kDdnsTable};
inline constexpr zvdb::Table<EmailConfig> kEmail{zvdb::kEmailTable};
inline constexpr zvdb::Table<MulticastConfig> kMulticast{zvdb::kMulticastTable};
inline constexpr zvdb::Table<SnmpConfig> kSnmp{zvdb::kSnmpTable};
inline constexpr zvdb::Table<P2pInfo> kP2p{zvdb::kP2pTable};
inline constexpr zvdb::Table<PushEvent> kPushEvents{zvdb::kPushEventTable};
