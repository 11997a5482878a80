#include "platform/zvdb/camera_setup_tables.h"

namespace zvdb {

const TableDesc kExposureTable{.name = "exposure",
                               .record_size = sizeof(ExposureEntry),
                               .key_a_count = 64,
                               .max_entries = kExposureEntries,
                               .fields = zvrec::schema_of<ExposureEntry>().fields};

std::span<const TableDesc* const> camera_setup_tables() {
  static const TableDesc* const kTables[] = {&kExposureTable};
  return kTables;
}

}  // namespace zvdb

int read_exposure(const char* db, ExposureEntry* table, int channel, int* count) {
  int n = kExposureEntries;
  if (count == nullptr) return -1;
  *count = 0;
  if (zvdb::read_list(db, zvdb::kExposureTable, zvdb::Key{channel}, table, &n) != 0 || n <= 0) return -1;
  *count = n;
  return 0;
}

int write_exposure(const char* db, const ExposureEntry* table, int channel, int count) {
  return zvdb::write_list(db, zvdb::kExposureTable, zvdb::Key{channel}, table, count);
}
