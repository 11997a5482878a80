// zvdb: inspects and initialises a configuration database file.
//
//   zvdb [--db PATH] init                 create the file with the factory defaults (keeps
//                                         stored values, adds what is missing)
//   zvdb [--db PATH] get KEY              print one setting
//   zvdb [--db PATH] set KEY VALUE        store one setting (created when missing)
//   zvdb [--db PATH] params               every setting, "key=value" per line
//   zvdb [--db PATH] tables               logical tables and their row counts
//   zvdb [--db PATH] dump TABLE [KEY]     records, decoded where the table declares its fields,
//                                         as hex otherwise; KEY is "A", "A,B", "TEXT" or "TEXT,A"
//
// PATH defaults to the configuration database; the plate and OEM files work the same way.
// Exit status: 0 done, 1 not found or failed, 2 usage.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/zvdb.h"

namespace {

int usage() {
  fputs(
      "usage: zvdb [--db PATH] init | get KEY | set KEY VALUE | params | tables |"
      " dump TABLE [KEY]\n",
      stderr);
  return 2;
}

int fail(const char* what, std::string_view detail) {
  fprintf(stderr, "zvdb: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
  return 1;
}

void print_text(std::string_view text) {
  putchar('"');
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      putchar('\\');
      putchar(c);
    } else if (c >= 0x20 && c < 0x7f) {
      putchar(c);
    } else {
      printf("\\x%02x", c);
    }
  }
  putchar('"');
}

void print_hex_lines(const unsigned char* data, size_t size, const char* indent) {
  for (size_t off = 0; off < size; off += 16) {
    printf("%s%04zx:", indent, off);
    for (size_t i = off; i < off + 16 && i < size; ++i) printf(" %02x", data[i]);
    putchar('\n');
  }
}

// The value of type T stored at p (records are byte arrays: p need not be aligned).
template <class T>
T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void print_field(const zvdb::Field& f, const unsigned char* record) {
  const unsigned char* p = record + f.offset;
  printf("  %s = ", f.name);
  switch (f.type) {
    case zvdb::FieldType::kInt32:
      printf("%" PRId32, load<int32_t>(p));
      break;
    case zvdb::FieldType::kUint32:
      printf("%" PRIu32 " (0x%08" PRIx32 ")", load<uint32_t>(p), load<uint32_t>(p));
      break;
    case zvdb::FieldType::kUint8:
      printf("%u", static_cast<unsigned>(*p));
      break;
    case zvdb::FieldType::kInt64:
      printf("%" PRId64, load<int64_t>(p));
      break;
    case zvdb::FieldType::kDouble:
      printf("%.17g", load<double>(p));
      break;
    case zvdb::FieldType::kText: {
      const char* text = reinterpret_cast<const char*>(p);
      print_text(std::string_view(text, strnlen(text, f.size)));
      break;
    }
    case zvdb::FieldType::kInt32Array: {
      putchar('[');
      for (uint32_t i = 0; i + 4 <= f.size; i += 4) printf(i == 0 ? "%" PRId32 : ", %" PRId32, load<int32_t>(p + i));
      putchar(']');
      break;
    }
    case zvdb::FieldType::kBytes:
    case zvdb::FieldType::kRecords:
      for (uint32_t i = 0; i < f.size; ++i) printf("%02x", p[i]);
      break;
  }
  putchar('\n');
}

bool parse_int(std::string_view s, int32_t* out) {
  if (s.empty() || s.size() > 11) return false;
  std::string text(s);
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

// "A", "A,B", "TEXT", "TEXT,A": numbers fill the integer parts in order, anything else the text.
zvdb::KeyFilter parse_key(std::string_view text) {
  zvdb::KeyFilter filter;
  int numbers = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string_view part = text.substr(start, comma == std::string_view::npos ? text.npos
                                                                               : comma - start);
    int32_t n;
    if (parse_int(part, &n) && numbers < 2) {
      if (numbers++ == 0) filter.a = n;
      else filter.b = n;
    } else {
      filter.text = part;
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return filter;
}

int cmd_dump(const char* path, std::string_view table, const char* key_spec) {
  const zvdb::TableDesc* declared = zvdb::find_table(table);
  std::string name(table);
  zvdb::TableDesc raw{.name = name.c_str(), .record_size = 0};
  const zvdb::TableDesc& t = declared != nullptr ? *declared : raw;
  zvdb::KeyFilter filter = key_spec != nullptr ? parse_key(key_spec) : zvdb::KeyFilter{};
  int rows = 0;
  std::vector<unsigned char> record(t.record_size);
  int rc = zvdb::scan_rows(path, t, filter,
                           [&](const void* data, int size, const zvdb::Key& key, int idx) {
    ++rows;
    printf("%s key=(%" PRId32 ", %" PRId32 ", ", t.name, key.a, key.b);
    print_text(key.text);
    printf(") entry %d: %d bytes", idx, size);
    if (declared != nullptr && static_cast<uint32_t>(size) != t.record_size) {
      printf(" (declared %" PRIu32 ")", t.record_size);
    }
    putchar('\n');
    if (declared != nullptr && !t.fields.empty()) {
      size_t n = std::min<size_t>(static_cast<size_t>(size), t.record_size);
      std::memcpy(record.data(), data, n);
      std::memset(record.data() + n, 0, t.record_size - n);
      for (const zvdb::Field& f : t.fields) {
        if (f.offset + f.size <= t.record_size) print_field(f, record.data());
      }
    } else {
      print_hex_lines(static_cast<const unsigned char*>(data), static_cast<size_t>(size), "  ");
    }
    return true;
  });
  if (rc != 0) return fail("cannot read", path);
  if (rows == 0) {
    if (declared == nullptr) return fail("no such table", table);
    return fail("no record", key_spec != nullptr ? key_spec : table);
  }
  return 0;
}

int cmd_tables(const char* path) {
  std::map<std::string, int, std::less<>> stored;
  if (zvdb::scan_table_counts(path, [&](std::string_view name, int rows) {
        stored.emplace(std::string(name), rows);
      }) != 0) {
    return fail("cannot read", path);
  }
  int settings = 0;
  zvdb::scan_settings(path, [&](std::string_view, std::string_view) { ++settings; });
  printf("settings %d\n", settings);
  for (const zvdb::TableDesc* t : zvdb::declared_tables()) {
    auto it = stored.find(std::string_view(t->name));
    printf("%s %d\n", t->name, it != stored.end() ? it->second : 0);
    if (it != stored.end()) stored.erase(it);
  }
  for (const auto& [name, rows] : stored) printf("%s %d (not declared)\n", name.c_str(), rows);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = kZvdbPath;
  int i = 1;
  if (i < argc && std::strcmp(argv[i], "--db") == 0) {
    if (i + 1 >= argc) return usage();
    path = argv[i + 1];
    i += 2;
  } else if (i < argc && std::strncmp(argv[i], "--db=", 5) == 0) {
    path = argv[i] + 5;
    ++i;
  }
  if (i >= argc || *path == '\0') return usage();
  std::string_view command = argv[i++];
  int rest = argc - i;
  char** args = argv + i;

  if (command == "init" && rest == 0) {
    return zvdb_init_defaults(path) == 0 ? 0 : fail("cannot initialise", path);
  }
  if (command == "get" && rest == 1) {
    std::string value;
    int rc = zvdb::read_setting(path, args[0], &value);
    if (rc < 0) return fail("cannot read", path);
    if (rc == 0) return fail("no setting", args[0]);
    fwrite(value.data(), 1, value.size(), stdout);
    putchar('\n');
    return 0;
  }
  if (command == "set" && rest == 2) {
    if (*args[0] == '\0') return usage();
    return zvdb::write_setting(path, args[0], args[1]) == 0 ? 0 : fail("cannot write", path);
  }
  if (command == "params" && rest == 0) {
    int rc = zvdb::scan_settings(path, [](std::string_view key, std::string_view value) {
      fwrite(key.data(), 1, key.size(), stdout);
      putchar('=');
      fwrite(value.data(), 1, value.size(), stdout);
      putchar('\n');
    });
    return rc == 0 ? 0 : fail("cannot read", path);
  }
  if (command == "tables" && rest == 0) return cmd_tables(path);
  if (command == "dump" && (rest == 1 || rest == 2)) {
    return cmd_dump(path, args[0], rest == 2 ? args[1] : nullptr);
  }
  return usage();
}
