#include "tests/layout/layout.h"

#include <cstdio>

namespace zvlayout {

std::string describe(const RecordLayout& record) {
  char line[256];
  std::snprintf(line, sizeof line, "%s  size %zu  align %zu\n", record.name.c_str(), record.size, record.align);
  std::string text = line;
  for (const FieldLayout& field : record.fields) {
    std::snprintf(line, sizeof line, "  %6zu %6zu  %s\n", field.offset, field.size, field.name.c_str());
    text += line;
  }
  return text;
}

std::vector<std::string> problems(const RecordLayout& record) {
  std::vector<std::string> found;
  auto add = [&](const std::string& what) { found.push_back(record.name + ": " + what); };
  if (record.fields.empty()) add("no fields listed");
  size_t end = 0;  // first byte after the previous field
  std::string previous;
  for (const FieldLayout& field : record.fields) {
    if (field.offset < end) {
      add("field " + field.name + " at " + std::to_string(field.offset) + " overlaps " + previous +
          " (list out of declaration order?)");
    } else if (field.offset > end) {
      add(std::to_string(field.offset - end) + " byte(s) at " + std::to_string(end) +
          " belong to no listed field: compiler padding, or a field missing from the list, before " +
          field.name);
    }
    if (field.offset + field.size > end) end = field.offset + field.size;
    previous = field.name;
  }
  if (end > record.size) {
    add("fields reach byte " + std::to_string(end) + ", past the size " + std::to_string(record.size));
  } else if (end < record.size && !record.fields.empty()) {
    add(std::to_string(record.size - end) + " byte(s) at the end (" + std::to_string(end) +
        ") belong to no listed field: compiler padding, or a field missing from the list");
  }
  return found;
}

}  // namespace zvlayout
