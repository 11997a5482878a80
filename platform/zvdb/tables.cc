// The list of declared tables: this library's own, then one line per group of tables that a
// settings area declares (each group's descriptors live next to its calls).
#include "platform/zvdb/tables.h"

#include <vector>

#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/video_tables.h"

namespace zvdb {

namespace {
constexpr const TableDesc* kOwnTables[] = {
    &kUserTable,
};
}  // namespace

std::span<const TableDesc* const> declared_tables() {
  static const std::vector<const TableDesc*> tables = [] {
    std::vector<const TableDesc*> all(std::begin(kOwnTables), std::end(kOwnTables));
    for (std::span<const TableDesc* const> group : {video_tables(), camera_tables()}) {
      all.insert(all.end(), group.begin(), group.end());
    }
    return all;
  }();
  return tables;
}

}  // namespace zvdb
