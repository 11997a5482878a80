#include "platform/zvdb/record_tables.h"

#include <cstring>

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

// Factory record row: mode 0, audio off, 5 s before and 30 s after an event, no expiry.
void default_record(RecordConfig& r, int32_t index) {
  r.id = index;
  r.prev_record_on = 1;
  r.prev_record_duration = 5;
  r.post_record_on = 1;
  r.post_record_duration = 30;
}

// Factory holidays: disabled and unnamed.
void default_holiday(HolidayConfig& h, int32_t index) {
  h.id = index;
}

}  // namespace

const TableDesc kRecordConfigTable =
    keyed_table<RecordConfig>("record", offsetof(RecordConfig, id), kRecordChannels, factory_row<default_record>);
const TableDesc kRecordScheduleTable = keyed_table<RecordSchedule>("record_schedule", -1, kRecordChannels);
const TableDesc kHolidayTable =
    keyed_table<HolidayConfig>("holiday", offsetof(HolidayConfig, id), kHolidays, factory_row<default_holiday>);

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
