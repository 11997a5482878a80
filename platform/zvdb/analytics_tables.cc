#include "platform/zvdb/analytics_tables.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

// Factory action record: no actions, 20 s intervals. Rows 0..63 are sub index 0, 64..127 sub
// index 1, and so on.
void default_event(SmartEventRecord& r, int32_t index) {
  r.channel = index % kMaxChannels;
  r.sub = index / kMaxChannels;
  r.interval = 20;
  r.email_interval = 20;
}

constexpr TableDesc event_table(const char* name, int subs) {
  return TableDesc{.name = name,
                   .record_size = sizeof(SmartEventRecord),
                   .key = {.a = offsetof(SmartEventRecord, channel), .b = offsetof(SmartEventRecord, sub)},
                   .key_a_count = kMaxChannels,
                   .fields = zvrec::schema_of<SmartEventRecord>().fields,
                   .default_rows = kMaxChannels * subs,
                   .make_default = factory_row<default_event>};
}

// Plans keyed by (channel, sub index).
constexpr TableDesc channel_plans(const char* name) { return plan_table(name, kMaxChannels); }

}  // namespace

const TableDesc kSmartEventTable = event_table("smart_event", kSmartEventKinds);
const TableDesc kSmartEventPlanTables[4] = {
    channel_plans("smart_event_effective_schedule"), channel_plans("smart_event_audible_schedule"),
    channel_plans("smart_event_mail_schedule"), channel_plans("smart_event_ptz_schedule")};
const TableDesc kAnprEventTable = event_table("anpr_event", kPlateModes);
const TableDesc kAnprPlanTables[4] = {channel_plans("anpr_effective_schedule"), channel_plans("anpr_audible_schedule"),
                                      channel_plans("anpr_mail_schedule"), channel_plans("anpr_ptz_schedule")};
const TableDesc kRegionalCountEventTable = event_table("regional_pcnt_event", kCountingRegions);
const TableDesc kRegionalCountPlanTables[3] = {channel_plans("regional_pcnt_audible_schedule"),
                                               channel_plans("regional_pcnt_email_schedule"),
                                               channel_plans("regional_pcnt_ptz_schedule")};
const TableDesc kPlateListTable{.name = "anpr_list",
                                .record_size = sizeof(PlateListEntry),
                                .key = {.text = offsetof(PlateListEntry, plate), .text_size = kPlateTextSize},
                                .fields = zvrec::schema_of<PlateListEntry>().fields};

std::span<const TableDesc* const> analytics_tables() {
  static const TableDesc* const kTables[] = {
      &kSmartEventTable,           &kSmartEventPlanTables[0],    &kSmartEventPlanTables[1],
      &kSmartEventPlanTables[2],   &kSmartEventPlanTables[3],    &kAnprEventTable,
      &kAnprPlanTables[0],         &kAnprPlanTables[1],          &kAnprPlanTables[2],
      &kAnprPlanTables[3],         &kRegionalCountEventTable,    &kRegionalCountPlanTables[0],
      &kRegionalCountPlanTables[1], &kRegionalCountPlanTables[2], &kPlateListTable,
  };
  return kTables;
}

}  // namespace zvdb

namespace {

std::string_view plate_of(const char* plate) {
  return plate != nullptr ? std::string_view(plate, strnlen(plate, kPlateTextSize - 1)) : std::string_view();
}

// The list keeps its number of plates in a setting of its file, changed in the same transaction
// as the plates: the limit check of an add reads one row instead of counting up to 10 000.
constexpr std::string_view kPlateCountKey = "anpr_list.count";

// The number of plates stored: the kept count, or, in a file without it (written before the count
// was kept, or by another tool), the rows counted once; `kept` says which.
int plate_count(zvdb::Transaction& tx, bool* kept) {
  std::string text;
  const int found = tx.read_setting(kPlateCountKey, &text);
  *kept = found == 1;
  if (found < 0) return -1;
  if (found == 1) return atoi(text.c_str());
  int count = 0;
  const int rc = tx.scan(zvdb::kPlateListTable, {}, [&](const void*, int, const zvdb::Key&, int) {
    ++count;
    return true;
  });
  return rc == 0 ? count : -1;
}

// Stores the count after a change of `delta` plates (rows counted now already include it).
int adjust_plate_count(zvdb::Transaction& tx, int delta) {
  bool kept = false;
  int count = plate_count(tx, &kept);
  if (count < 0) return -1;
  if (kept) count += delta;
  return tx.write_setting(kPlateCountKey, std::to_string(count < 0 ? 0 : count));
}

}  // namespace

int delete_anpr_lists(const char* db, const PlateListEntry* entries, int count) {
  if (entries == nullptr || count < 0) return -1;
  zvdb::Transaction tx(db);
  int removed = 0;
  for (int i = 0; i < count; ++i) {
    const int n = tx.remove(zvdb::kPlateListTable, {0, 0, plate_of(entries[i].plate)});
    if (n > 0) removed += n;
  }
  if (removed > 0) adjust_plate_count(tx, -removed);
  return tx.commit();
}

int write_anpr_list_replace_batch(const char* db, const PlateListEntry* entries, int count) {
  if (entries == nullptr || count < 0 || count > kPlateListLimit) return -1;
  zvdb::Transaction tx(db);
  tx.remove_all(zvdb::kPlateListTable);
  tx.delete_setting(kPlateCountKey);  // counted again below: a plate given twice is one row
  for (int i = 0; i < count; ++i) {
    tx.write(zvdb::kPlateListTable, &entries[i], zvdb::key_of(zvdb::kPlateListTable, &entries[i]));
  }
  adjust_plate_count(tx, 0);
  return tx.commit();
}

int delete_anpr_list(const char* db, const PlateListEntry* entry) {
  if (entry == nullptr) return -1;
  zvdb::Transaction tx(db);
  const int removed = tx.remove(zvdb::kPlateListTable, {0, 0, plate_of(entry->plate)});
  if (removed <= 0) return -1;
  adjust_plate_count(tx, -removed);
  return tx.commit();
}

int read_anpr_list_plate(const char* db, PlateListEntry* out, const char* plate) {
  return kPlateList.read(db, out, {0, 0, plate_of(plate)});
}

int update_anpr_list(const char* db, const PlateListEntry* entry) {
  if (entry == nullptr) return -1;
  zvdb::Transaction tx(db);
  PlateListEntry stored{};
  if (tx.read(zvdb::kPlateListTable, &stored, {0, 0, plate_of(entry->plate)}) != 0) return -1;
  tx.write(zvdb::kPlateListTable, entry, zvdb::key_of(zvdb::kPlateListTable, entry));
  return tx.commit();
}

int write_anpr_list(const char* db, const PlateListEntry* entry) {
  if (entry == nullptr) return -1;
  const zvdb::Key key = zvdb::key_of(zvdb::kPlateListTable, entry);
  zvdb::Transaction tx(db);
  PlateListEntry stored{};
  if (tx.read(zvdb::kPlateListTable, &stored, key) != 0) {
    // A new plate. A file that cannot be counted cannot be written either.
    bool kept = false;
    const int stored_count = plate_count(tx, &kept);
    if (stored_count < 0 || stored_count >= kPlateListLimit) return -1;
    tx.write_setting(kPlateCountKey, std::to_string(stored_count + 1));
  }
  tx.write(zvdb::kPlateListTable, entry, key);
  return tx.commit();
}

int search_anpr_lists(const char* db, const char* type, int offset, PlateListEntry* out, int* count,
                      int* total) {
  if (out == nullptr || count == nullptr || *count < 0 || offset < 0) return -1;
  const std::string_view wanted = type != nullptr ? std::string_view(type, strnlen(type, kPlateTypeSize - 1))
                                                  : std::string_view();
  const int capacity = *count;
  int matched = 0;
  int filled = 0;
  const int rc = zvdb::scan_records(db, zvdb::kPlateListTable, {}, [&](const void* record, const zvdb::Key&) {
    PlateListEntry entry;
    std::memcpy(&entry, record, sizeof entry);
    if (!wanted.empty() && wanted != std::string_view(entry.type, strnlen(entry.type, sizeof entry.type))) {
      return true;
    }
    if (matched >= offset && filled < capacity) out[filled++] = entry;
    ++matched;
    return total != nullptr || filled < capacity;
  });
  *count = filled;
  if (total != nullptr) *total = matched;
  return rc;
}
