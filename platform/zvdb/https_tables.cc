#include "platform/zvdb/https_tables.h"

namespace zvdb {

const TableDesc kSslParamsTable{.name = "ssl_params", .record_size = sizeof(CertRequest), .key_a_count = kCertKinds,
                                .fields = zvrec::schema_of<CertRequest>().fields};

std::span<const TableDesc* const> https_tables() {
  static const TableDesc* const kTables[] = {&kSslParamsTable};
  return kTables;
}

}  // namespace zvdb
