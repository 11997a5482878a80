#include "platform/zvdb/record_tables.h"

#include <cstring>

namespace zvdb {
namespace {

// Factory record row: mode 0, audio off, 5 s before and 30 s after an event, no expiry.
void default_record(void* record, int32_t index) {
  RecordConfig r{};
  r.id = index;
  r.prev_record_on = 1;
  r.prev_record_duration = 5;
  r.post_record_on = 1;
  r.post_record_duration = 30;
  std::memcpy(record, &r, sizeof r);
}

// Factory holidays: disabled and unnamed.
void default_holiday(void* record, int32_t index) {
  HolidayConfig h{};
  h.id = index;
  std::memcpy(record, &h, sizeof h);
}

}  // namespace

const TableDesc kRecordConfigTable{.name = "record",
                                   .record_size = sizeof(RecordConfig),
                                   .key = {.a = offsetof(RecordConfig, id)},
                                   .key_a_count = kRecordChannels,
                                   .fields = zvrec::schema_of<RecordConfig>().fields,
                                   .default_rows = kRecordChannels,
                                   .make_default = default_record};
const TableDesc kRecordScheduleTable{.name = "record_schedule",
                                     .record_size = sizeof(RecordSchedule),
                                     .key_a_count = kRecordChannels,
                                     .fields = zvrec::schema_of<RecordSchedule>().fields};
const TableDesc kHolidayTable{.name = "holiday",
                              .record_size = sizeof(HolidayConfig),
                              .key = {.a = offsetof(HolidayConfig, id)},
                              .key_a_count = kHolidays,
                              .fields = zvrec::schema_of<HolidayConfig>().fields,
                              .default_rows = kHolidays,
                              .make_default = default_holiday};

std::span<const TableDesc* const> record_tables() {
  static const TableDesc* const kTables[] = {&kRecordConfigTable, &kRecordScheduleTable, &kHolidayTable};
  return kTables;
}

}  // namespace zvdb

int read_record_rows(const char* db, RecordConfig rows[kRecordChannels]) {
  for (int c = 0; c < kRecordChannels; ++c) {
    rows[c] = RecordConfig{};
    rows[c].id = c;
  }
  return zvdb::scan_records(db, zvdb::kRecordConfigTable, {}, [rows](const void* record, const zvdb::Key& key) {
    if (key.a >= 0 && key.a < kRecordChannels) std::memcpy(&rows[key.a], record, sizeof(RecordConfig));
    return true;
  });
}

int copy_record_schedules(const char* db, const RecordSchedule* plan, uint32_t mask_low, uint32_t mask_high) {
  if (plan == nullptr) return -1;
  return kRecordSchedules.copy_to_mask(db, plan, zvdb::mask64(mask_low, mask_high));
}
