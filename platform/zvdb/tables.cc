// The list of declared tables: this library's own, then one line per group of tables that a
// settings area declares (each group's descriptors live next to its calls; the list of groups is
// generated from the areas whose <area>_tables.cc exists).
#include "platform/zvdb/tables.h"

#include <vector>


#include "platform/zvdb/table_groups.inc"

namespace zvdb {

namespace {
constexpr const TableDesc* kOwnTables[] = {
    &kUserTable,
};
}  // namespace

std::span<const TableDesc* const> declared_tables() {
  static const std::vector<const TableDesc*> tables = [] {
    std::vector<const TableDesc*> all(std::begin(kOwnTables), std::end(kOwnTables));
    for (std::span<const TableDesc* const> group : table_groups_of_areas()) {
      all.insert(all.end(), group.begin(), group.end());
    }
    return all;
  }();
  return tables;
}

}  // namespace zvdb
