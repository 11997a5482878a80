#include "platform/zvdb/storage_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

// Factory position: ports 1..36, nothing configured.
void default_disk(DiskConfig& d, int32_t index) {
  d.port = index + 1;
}

// Factory groups: every channel records onto group 0; the other groups are empty.
void default_group(DiskGroup& g, int32_t index) {
  g.id = index;
  std::memset(g.channels, index == 0 ? '1' : '0', kDiskGroupChannelSize - 1);
}

// Factory backup: off, at midnight, main stream, every channel, onto the first external device.
void default_backup(AutoBackupConfig& b, int32_t) {
  std::snprintf(b.backup_time, sizeof b.backup_time, "00:00");
  std::memset(b.channel, '1', 64);
  b.recycle = 1;
}

}  // namespace

const TableDesc kDiskTable = keyed_table<DiskConfig>("disk", offsetof(DiskConfig, port), kDiskKeyLimit,
                                                     factory_row<default_disk>, kDiskPositions);
const TableDesc kDiskGroupTable =
    keyed_table<DiskGroup>("disk_group", offsetof(DiskGroup, id), kDiskGroups, factory_row<default_group>);
const TableDesc kAutoBackupTable = one_row_table<AutoBackupConfig>("esata_auto_backup", factory_row<default_backup>);

std::span<const TableDesc* const> storage_tables() {
  static const TableDesc* const kTables[] = {&kDiskTable, &kDiskGroupTable, &kAutoBackupTable};
  return kTables;
}

}  // namespace zvdb

int read_disk(const char* db, DiskConfig* record) {
  if (record == nullptr) return -1;
  return kDisks.read(db, record, {record->port});
}

int write_disk(const char* db, const DiskConfig* record) {
  if (record == nullptr || record->port < 0 || record->port >= kDiskKeyLimit) return -1;
  return kDisks.write(db, record);
}

int read_disks(const char* db, DiskConfig* rows, int* count) {
  if (rows == nullptr || count == nullptr) return -1;
  const int slots = std::clamp(*count, 0, kDiskPositions);
  for (int i = 0; i < slots; ++i) {
    rows[i] = DiskConfig{};
    rows[i].port = i + 1;
  }
  auto stored = std::make_unique<DiskConfig[]>(kDiskKeyLimit);
  int n = kDiskKeyLimit;
  const int rc = kDisks.read_all(db, stored.get(), &n);
  for (int i = 0; rc == 0 && i < n; ++i) {
    const int port = stored[i].port;
    if (port >= 1 && port <= slots) rows[port - 1] = stored[i];
  }
  *count = slots;
  return rc;
}

int read_groups(const char* db, DiskGroup rows[kDiskGroups]) {
  if (rows == nullptr) return -1;
  for (int i = 0; i < kDiskGroups; ++i) {
    rows[i] = DiskGroup{};
    rows[i].id = i;
  }
  DiskGroup stored[kDiskGroups];
  int n = kDiskGroups;
  const int rc = kDiskGroupRows.read_all(db, stored, &n);
  for (int i = 0; rc == 0 && i < n; ++i) {
    if (stored[i].id >= 0 && stored[i].id < kDiskGroups) rows[stored[i].id] = stored[i];
  }
  return rc;
}
