#include "platform/zvdb/admin_tables.h"

#include "platform/zvdb/table_forms.h"

namespace zvdb {
const TableDesc kDiskMaintainTable = one_row_table<DiskMaintainInfo>("disk_maintain", zero_row<DiskMaintainInfo>);
const TableDesc kOemUserTable = keyed_table<OemUserRecord>("oem_user", offsetof(OemUserRecord, id), kMaxOemUsers);

std::span<const TableDesc* const> admin_tables() {
  static const TableDesc* const tables[] = {&kDiskMaintainTable, &kOemUserTable};
  return tables;
}
}  // namespace zvdb
