// Configuration-database tables of the camera setup pages: the manual exposure table of each
// channel (a list of at most 140 entries keyed by channel 0..63). The calls follow the library's
// conventions: 0 = done / found; -1 = not found, refused or failed.
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/exposure_record.h"

// Reads up to 140 entries of the channel into table[0..]; their number in *count (0 and -1 when
// none are stored).
int read_exposure(const char* db, ExposureEntry* table, int channel, int* count);
// Replaces the channel's entries with the first `count` of `table` (0 removes them; more than 140
// is refused).
int write_exposure(const char* db, const ExposureEntry* table, int channel, int count);

namespace zvdb {
extern const TableDesc kExposureTable;
std::span<const TableDesc* const> camera_setup_tables();
}  // namespace zvdb
