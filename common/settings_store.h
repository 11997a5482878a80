// Settings writes in one SettingsWrite (common/request.h) each: everything a request stores,
// committed before any notice to the core. When a store is false nothing was stored, and the
// handler answers its failure form without a notice or an operation-log record:
//
//   if (!store_row_at(kSnmp, snmp, kNetworkRow)) return (void)reply_cgi_error(REPLY_TEXT);
#pragma once

#include <cstdint>

#include "common/reply.h"
#include "common/request.h"
#include "platform/zvdb/zvdb.h"

// Opens one SettingsWrite, lets `writes` pass its writes' results to write.check(), and commits.
// False, after the "CGI ERROR" text reply, when anything was not stored: the caller then returns
// without a notice or an operation-log record.
//
//   if (!store_settings([&](SettingsWrite& w) { w.check(kAutoReboot.write(kZvdbPath, &row)); })) return;
//   core_tell(kAutoRebootChanged);
template <class Writes>
bool store_settings(Writes&& writes) {
  SettingsWrite write;
  writes(write);
  if (write.commit()) return true;
  reply_cgi_error(REPLY_TEXT);
  return false;
}

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
