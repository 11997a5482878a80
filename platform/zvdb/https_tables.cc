#include "platform/zvdb/https_tables.h"
#include "platform/zvdb/table_forms.h"

namespace zvdb {

const TableDesc kSslParamsTable = keyed_table<CertRequest>("ssl_params", -1, kCertKinds);

std::span<const TableDesc* const> https_tables() {
  static const TableDesc* const kTables[] = {&kSslParamsTable};
  return kTables;
}

}  // namespace zvdb
