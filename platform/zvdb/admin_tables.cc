#include "platform/zvdb/admin_tables.h"

#include <cstring>

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {
void default_disk_maintain(void* record, int32_t /*index*/) {
  const DiskMaintainInfo info{0, 0};
  std::memcpy(record, &info, sizeof info);
}
}  // namespace

const TableDesc kDiskMaintainTable = one_row_table<DiskMaintainInfo>("disk_maintain", default_disk_maintain);
const TableDesc kOemUserTable = keyed_table<OemUserRecord>("oem_user", offsetof(OemUserRecord, id), kMaxOemUsers);

std::span<const TableDesc* const> admin_tables() {
  static const TableDesc* const tables[] = {&kDiskMaintainTable, &kOemUserTable};
  return tables;
}
}  // namespace zvdb

int read_disk_maintain_info(const char* db, DiskMaintainInfo* info) {
  return kDiskMaintain.read(db, info, {0});
}
int write_disk_maintain_info(const char* db, const DiskMaintainInfo* info) {
  return kDiskMaintain.write_at(db, info, {0});
}
int read_users_oem(const char* db, OemUserRecord* users, int* count) {
  return kOemUsers.read_all(db, users, count);
}
