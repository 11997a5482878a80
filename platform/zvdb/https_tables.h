// Configuration-database table of the HTTPS certificates: one row per kind (0 the installed
// certificate, 2 the signing request).
#pragma once

#include <span>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/https_record.h"

namespace zvdb {
extern const TableDesc kSslParamsTable;  // "ssl_params"
std::span<const TableDesc* const> https_tables();
}  // namespace zvdb

// read(db, &row, {kind}), write_at(db, &row, {kind}).
inline constexpr zvdb::Table<CertRequest> kSslParams{zvdb::kSslParamsTable};
