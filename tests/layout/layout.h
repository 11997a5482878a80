// Byte layouts of the wire and database records, as this build's compiler lays them out. The
// device (32-bit ARM) and the development host must agree on every byte: the core, the database
// file and the web side exchange these records raw. record_layout prints them so that the output
// of the two builds can be compared; the checks here find layout faults within one build.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zvlayout {

struct FieldLayout {
  std::string name;
  size_t offset;
  size_t size;
};

struct RecordLayout {
  std::string name;  // as its schema names it, with its namespace
  size_t size;
  size_t align;
  std::vector<FieldLayout> fields;  // in declaration order
};

// The layout as text: a head line with size and alignment, then one line per field with its
// offset and size. Identical text on two targets means identical bytes.
std::string describe(const RecordLayout& record);

// What is wrong with a layout, one sentence each; empty when every byte belongs to exactly one
// listed field. Bytes that no field covers are compiler padding (which differs between targets and
// carries no defined value) or a field the list forgot; fields out of declaration order, overlapping
// or reaching past the end mean the list does not match the record.
std::vector<std::string> problems(const RecordLayout& record);

// Every record schema of the tree (tests/layout/schemas.h).
std::vector<RecordLayout> all_records();

}  // namespace zvlayout
