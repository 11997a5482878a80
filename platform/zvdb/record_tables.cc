#include "platform/zvdb/record_tables.h"

#include <cstring>

namespace zvdb {
namespace {

// Factory recording of a channel: continuous (mode 0), 5 s before and 30 s after an event, no
// audio, kept until the disk is full.
void default_record(void* record, int32_t index) {
  RecordConfig r{};
  r.id = index;
  r.prev_record_on = 1;
  r.prev_record_duration = 5;
  r.post_record_on = 1;
  r.post_record_duration = 30;
  std::memcpy(record, &r, sizeof r);
}

}  // namespace

const TableDesc kRecordConfigTable{.name = "record",
                                   .record_size = sizeof(RecordConfig),
                                   .key = {.a = offsetof(RecordConfig, id)},
                                   .key_a_count = 64,
                                   .fields = zvrec::schema_of<RecordConfig>().fields,
                                   .default_rows = 64,
                                   .make_default = default_record};

std::span<const TableDesc* const> record_tables() {
  static const TableDesc* const kTables[] = {&kRecordConfigTable};
  return kTables;
}

}  // namespace zvdb
