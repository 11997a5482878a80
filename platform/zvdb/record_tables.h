// Configuration-database tables of the recording settings: one record row per channel.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/record_config.h"

namespace zvdb {
extern const TableDesc kRecordConfigTable;  // "record", key a = channel 0..63
std::span<const TableDesc* const> record_tables();
}  // namespace zvdb

inline constexpr zvdb::Table<RecordConfig> kRecordConfigs{zvdb::kRecordConfigTable};
