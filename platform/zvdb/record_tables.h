// Configuration-database tables of the recording settings: the record row of each channel
// (table "record", keys 0..63, factory rows for all 64), the recording plan of each channel
// ("record_schedule", keyed by channel, absent until written) and the holidays ("holiday", ids
// 0..31, factory rows for all 32). 0 = done / found; -1 = not found (buffer untouched) or failed.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/record_config.h"

namespace zvdb {
extern const TableDesc kRecordConfigTable;    // "record", key a = channel
extern const TableDesc kRecordScheduleTable;  // "record_schedule", key a = channel
extern const TableDesc kHolidayTable;         // "holiday", key a = id

std::span<const TableDesc* const> record_tables();
}  // namespace zvdb

inline constexpr zvdb::Table<RecordConfig> kRecordConfigs{zvdb::kRecordConfigTable};
inline constexpr zvdb::Table<RecordSchedule> kRecordSchedules{zvdb::kRecordScheduleTable};
inline constexpr zvdb::Table<HolidayConfig> kHolidayConfigs{zvdb::kHolidayTable};

// The record rows of channels 0..63 indexed by channel (a channel without a stored row reads as a
// zero row carrying its id). 0, or -1 when the file cannot be read (rows filled as missing).
int read_record_rows(const char* db, RecordConfig rows[kRecordChannels]);
// The plan of `plan` copied to every channel of the mask, in one transaction.
int copy_record_schedules(const char* db, const RecordSchedule* plan, uint32_t mask_low, uint32_t mask_high);
