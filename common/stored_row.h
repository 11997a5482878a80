// A request that stores exactly one row (or one setting) as its own settings transaction
// (SettingsWrite, common/request.h): written and committed, true when it was stored durably. When
// false the handler answers its failure form, before any notice to the core:
//
//   if (!store_row_at(kSnmp, snmp, kNetworkRow)) return (void)reply_cgi_error(REPLY_TEXT);
#pragma once

#include <cstdint>

#include "common/request.h"
#include "platform/zvdb/zvdb.h"

// `row` at the key the record carries.
template <class T>
bool store_row(const zvdb::Table<T>& table, const T& row) {
  SettingsWrite write;
  write.check(table.write(kZvdbPath, &row));
  return write.commit();
}
// `row` at `key`.
template <class T>
bool store_row_at(const zvdb::Table<T>& table, const T& row, const zvdb::Key& key) {
  SettingsWrite write;
  write.check(table.write_at(kZvdbPath, &row, key));
  return write.commit();
}
// The integer setting `name` alone.
inline bool store_setting_int(const char* name, int32_t value) {
  SettingsWrite write;
  write.check(set_param_int(kZvdbPath, name, value));
  return write.commit();
}
