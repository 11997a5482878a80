// record_layout: prints the layout of every record schema of the tree on standard output (the
// text the host and device builds must agree on) and its faults on standard error. Exits 1 when
// any record has a fault.
#include <cstdio>

#include "tests/layout/layout.h"
#include "tests/layout/schemas.h"

std::vector<zvlayout::RecordLayout> zvlayout::all_records() {
  std::vector<RecordLayout> out;
  for (const zvrec::Schema* s : all_schemas()) {
    RecordLayout record{s->name, s->size, s->align, {}};
    for (const zvrec::Field& f : s->fields) record.fields.push_back({f.name, f.offset, f.size});
    out.push_back(std::move(record));
  }
  return out;
}

int main() {
  int faults = 0;
  for (const zvlayout::RecordLayout& record : zvlayout::all_records()) {
    std::fputs(zvlayout::describe(record).c_str(), stdout);
    for (const std::string& problem : zvlayout::problems(record)) {
      std::fprintf(stderr, "record_layout: %s\n", problem.c_str());
      ++faults;
    }
  }
  std::fflush(stdout);
  return faults == 0 ? 0 : 1;
}
