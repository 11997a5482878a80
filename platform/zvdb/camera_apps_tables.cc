#include "platform/zvdb/camera_apps_tables.h"

#include <cstdio>
#include <cstring>

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

// Factory group: off, no channels, 100 people, reset at midnight.
void default_group(CountingGroup& g, int32_t index) {
  g.groupid = index;
  g.stays = 100;
  g.liveview_font_size = 1;
  std::snprintf(g.name, sizeof g.name, "Group%d", static_cast<int>(index) + 1);
  set_text(g.auto_day_time, "00:00");
  std::memset(g.tri_channels, '0', kMaxChannels);
  set_text(g.liveview_green_tips, "Welcome");
  set_text(g.liveview_red_tips, "Please wait");
}

// Factory POS terminal: off, TCP on port 9000 + id, overlaid on the channel of its number.
void default_pos(PosRecord& p, int32_t index) {
  p.id = index;
  std::snprintf(p.name, sizeof p.name, "POS%d", static_cast<int>(index) + 1);
  p.display_channel = index;
  p.area_width = 320;
  p.area_height = 240;
  p.font_size = 1;
  p.display_time = 10;
  p.timeout = 10;
  p.port = 9000 + index;
}

// Factory report: report type = position, off, no channels or groups, at midnight.
void default_report(CountingReport& r, int32_t index) {
  r.report_type = index;
  std::memset(r.tri_channels, '0', kMaxChannels);
  std::memset(r.tri_groups, '0', kCountingGroups);
  set_text(r.backup_time, "00:00");
}

constexpr TableDesc event_table(const char* name, int32_t ids) {
  return TableDesc{.name = name,
                   .record_size = sizeof(AppEventRecord),
                   .key = {.a = offsetof(AppEventRecord, id)},
                   .key_a_count = ids,
                   .fields = zvrec::schema_of<AppEventRecord>().fields};
}

}  // namespace

const TableDesc kCountingGroupTable = keyed_table<CountingGroup>("peoplecnt_settings", offsetof(CountingGroup, groupid),
                                                                 kCountingGroups, factory_row<default_group>);
const TableDesc kCountingEventTable = event_table("peoplecnt_event", kCountingGroups);
const TableDesc kCountingAudibleScheduleTable = plan_table("peoplecnt_audible_schedule", kCountingGroups);
const TableDesc kCountingEmailScheduleTable = plan_table("peoplecnt_email_schedule", kCountingGroups);
const TableDesc kCountingPtzScheduleTable = plan_table("peoplecnt_ptz_schedule", kCountingGroups);
const TableDesc kCountingReportTable =
    keyed_table<CountingReport>("peoplecnt_auto_backup", -1, kCountingReports, factory_row<default_report>);
const TableDesc kPosTable =
    keyed_table<PosRecord>("pos_settings", offsetof(PosRecord, id), kPosDevices, factory_row<default_pos>);
const TableDesc kPosEventTable = event_table("pos_event", kPosDevices);
const TableDesc kPosEffectiveScheduleTable = plan_table("pos_effective_schedule", kPosDevices);
const TableDesc kPosAudibleScheduleTable = plan_table("pos_audible_schedule", kPosDevices);
const TableDesc kPosEmailScheduleTable = plan_table("pos_email_schedule", kPosDevices);
const TableDesc kPosPtzScheduleTable = plan_table("pos_ptz_schedule", kPosDevices);
const TableDesc kFaceEventTable = event_table("face_event", kFaceChannels);
const TableDesc kFaceEffectiveScheduleTable = plan_table("face_effective_schedule", kFaceChannels);
const TableDesc kFaceAudibleScheduleTable = plan_table("face_audible_schedule", kFaceChannels);
const TableDesc kFaceEmailScheduleTable = plan_table("face_mail_schedule", kFaceChannels);
const TableDesc kFacePtzScheduleTable = plan_table("face_ptz_schedule", kFaceChannels);

std::span<const TableDesc* const> camera_apps_tables() {
  static const TableDesc* const kTables[] = {
      &kCountingGroupTable,       &kCountingEventTable,        &kCountingAudibleScheduleTable,
      &kCountingEmailScheduleTable, &kCountingPtzScheduleTable, &kCountingReportTable,
      &kPosTable,                 &kPosEventTable,             &kPosEffectiveScheduleTable,
      &kPosAudibleScheduleTable,  &kPosEmailScheduleTable,     &kPosPtzScheduleTable,
      &kFaceEventTable,           &kFaceEffectiveScheduleTable, &kFaceAudibleScheduleTable,
      &kFaceEmailScheduleTable,   &kFacePtzScheduleTable,
  };
  return kTables;
}

}  // namespace zvdb

namespace {

// Reads `n` records keyed 0..n-1 into out[i]; a missing one is its factory row.
int read_indexed(const char* db, const zvdb::TableDesc& t, void* out, int n) {
  if (out == nullptr) return -1;
  auto* bytes = static_cast<unsigned char*>(out);
  for (int i = 0; i < n; ++i) {
    void* record = bytes + static_cast<size_t>(i) * t.record_size;
    t.make_default(record, i);
    if (zvdb::read_record(db, t, record, zvdb::Key{i}) != 0 && zvdb::count_records(db, t) < 0) return -1;
  }
  return 0;
}

}  // namespace

int read_peoplecnt_settings(const char* db, CountingGroup groups[kCountingGroups]) {
  return read_indexed(db, zvdb::kCountingGroupTable, groups, kCountingGroups);
}
int write_peoplecnt_settings(const char* db, const CountingGroup* groups, int count) {
  if (groups == nullptr || count < 0 || count > kCountingGroups) return -1;
  zvdb::Transaction tx(db);
  for (int i = 0; i < count; ++i) {
    tx.write(zvdb::kCountingGroupTable, &groups[i], zvdb::key_of(zvdb::kCountingGroupTable, &groups[i]));
  }
  return tx.commit();
}

int read_pos_settings(const char* db, PosRecord records[kPosDevices]) {
  return read_indexed(db, zvdb::kPosTable, records, kPosDevices);
}
int read_pos_setting(const char* db, PosRecord* record, int id) {
  if (record == nullptr) return -1;
  return kPosDevicesTable.read(db, record, zvdb::Key{id});
}
int write_pos_setting(const char* db, const PosRecord* record) {
  if (record == nullptr) return -1;
  return kPosDevicesTable.write(db, record);
}

int read_peoplecnt_auto_backup(const char* db, CountingReport reports[kCountingReports]) {
  return read_indexed(db, zvdb::kCountingReportTable, reports, kCountingReports);
}
int write_peoplecnt_auto_backup(const char* db, const CountingReport reports[kCountingReports]) {
  if (reports == nullptr) return -1;
  zvdb::Transaction tx(db);
  for (int i = 0; i < kCountingReports; ++i) tx.write(zvdb::kCountingReportTable, &reports[i], zvdb::Key{i});
  return tx.commit();
}
