// record_layout: prints the layout of every record schema of the tree on standard output (the
// text the host and device builds must agree on) and its faults on standard error. Exits 1 when
// any record has a fault.
//   record_layout --expect FILE   also compares the layouts with FILE (the pinned layouts, lines
//                                 starting with '#' ignored) and exits 1 when they differ.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

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

namespace {

// The text of `path` without its comment lines; false when it cannot be read.
bool read_pinned(const char* path, std::string* text) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '#') continue;
    *text += line + "\n";
  }
  return true;
}

// The records whose text differs between `pinned` and `built` (each text split into records at
// the head lines, which do not start with a space), one line each; empty when they are the same.
std::string differences(const std::string& pinned, const std::string& built) {
  auto records = [](const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] != ' ') out.emplace_back(line.substr(0, line.find(' ')), "");
      if (!out.empty()) out.back().second += line + "\n";
    }
    return out;
  };
  const auto a = records(pinned);
  const auto b = records(built);
  std::string out;
  for (const auto& [name, text] : b) {
    bool same = false, known = false;
    for (const auto& [pinned_name, pinned_text] : a) {
      if (pinned_name != name) continue;
      known = true;
      same = pinned_text == text;
    }
    if (!known) out += "  " + name + ": not pinned\n";
    else if (!same) out += "  " + name + ": differs from the pinned layout\n";
  }
  for (const auto& [name, text] : a) {
    bool built_too = false;
    for (const auto& entry : b) built_too = built_too || entry.first == name;
    if (!built_too) out += "  " + name + ": pinned, but no schema declares it\n";
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int faults = 0;
  std::string text;
  for (const zvlayout::RecordLayout& record : zvlayout::all_records()) {
    text += zvlayout::describe(record);
    for (const std::string& problem : zvlayout::problems(record)) {
      std::fprintf(stderr, "record_layout: %s\n", problem.c_str());
      ++faults;
    }
  }
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
  if (argc == 3 && std::strcmp(argv[1], "--expect") == 0) {
    std::string pinned;
    if (!read_pinned(argv[2], &pinned)) {
      std::fprintf(stderr, "record_layout: cannot read %s\n", argv[2]);
      return 1;
    }
    if (pinned != text) {
      std::fprintf(stderr,
                   "record_layout: the layouts differ from %s (a record's bytes changed; when that is "
                   "meant, scripts/pin-layouts writes the file again):\n%s",
                   argv[2], differences(pinned, text).c_str());
      ++faults;
    }
  }
  return faults == 0 ? 0 : 1;
}
