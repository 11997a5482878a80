// The named calls of zvdb.h: one-line wrappers over the generic engine.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/zvdb/tables.h"
#include "platform/zvdb/zvdb.h"

using zvdb::kUsers;
using zvdb::kUserTable;

// ---- Users ----

int read_user(const char* path, UserRecord* record, int id) {
  return kUsers.read(path, record, {id});
}

int read_user_by_name(const char* path, UserRecord* record, const char* name) {
  if (name == nullptr) return -1;
  return zvdb::find_record_by_text(path, kUserTable, record, "name", name, "enable");
}

int read_users(const char* path, UserRecord* records, int* count) {
  return kUsers.read_all(path, records, count);
}

int read_user_count(const char* path) {
  int enabled = 0;
  int rc = zvdb::scan_records(path, kUserTable, {}, [&](const void* record, const zvdb::Key&) {
    if (static_cast<const UserRecord*>(record)->enable != 0) ++enabled;
    return true;
  });
  return rc == 0 ? enabled : -1;
}

int write_user(const char* path, const UserRecord* record) { return kUsers.write(path, record); }

int add_user(const char* path, UserRecord* record) {
  return zvdb::add_record_first_free(path, kUserTable, record, "enable") >= 0 ? 0 : -1;
}

// ---- Settings ----

namespace {

// Decimal integer with optional blanks around it; anything else is not a number.
bool parse_int(const std::string& text, int* value) {
  const char* p = text.c_str();
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(p, &end, 10);
  if (end == p || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
  if (*end != '\0' || end != p + text.size()) return false;
  *value = static_cast<int>(v);
  return true;
}

void copy_bounded(char* buffer, int size, std::string_view text) {
  size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

int get_param_int(const char* path, const char* key, int default_value) {
  if (key == nullptr) return default_value;
  std::string text;
  int value = default_value;
  if (zvdb::read_setting(path, key, &text) == 1 && parse_int(text, &value)) return value;
  return default_value;
}

int get_param_value(const char* path, const char* key, char* buffer, int size,
                    const char* default_value) {
  if (buffer == nullptr || size <= 0) return -1;
  std::string text;
  if (key != nullptr && zvdb::read_setting(path, key, &text) == 1) {
    copy_bounded(buffer, size, text);
    return 0;
  }
  copy_bounded(buffer, size, default_value != nullptr ? default_value : "");
  return -1;
}

int set_param_int(const char* path, const char* key, int value) {
  if (key == nullptr) return -1;
  return zvdb::write_setting(path, key, std::to_string(value));
}

int set_param_value(const char* path, const char* key, const char* value) {
  if (key == nullptr || value == nullptr) return -1;
  return zvdb::write_setting(path, key, value);
}

int check_param_key(const char* path, const char* key) {
  if (key == nullptr) return 1;
  return zvdb::read_setting(path, key, nullptr) == 1 ? 0 : 1;
}

int add_param_value(const char* path, const char* key, const char* value) {
  return set_param_value(path, key, value);
}

int delete_param(const char* path, const char* key) {
  if (key == nullptr || *key == '\0') return -1;
  zvdb::Transaction tx(path);
  int removed = tx.delete_setting(key);
  if (tx.commit() != 0) return -1;
  return removed > 0 ? 0 : -1;
}

// ---- Column write over a channel mask ----

int copy_table_column_int(const char* path, const char* table, const char* column, int value,
                          uint32_t mask_low, uint32_t mask_high, const char* key_column) {
  if (table == nullptr) return -1;
  const zvdb::TableDesc* t = zvdb::find_table(table);
  if (t == nullptr) return -1;
  return zvdb::copy_column_int(path, *t, column, value, zvdb::mask64(mask_low, mask_high),
                               key_column);
}

void zvdb_close_all() { zvdb::close_all(); }
