// Settings writes in one SettingsWrite (common/request.h) each: everything a request stores,
// committed before any notice to the core. When a store is false nothing was stored, and the
// handler answers its failure form without a notice or an operation-log record:
//
//   if (!store_setting_int(kHttpsKey, 0)) return (void)reply_cgi_error(REPLY_JSON);
//
// A request that changes a stored row reads it inside its own SettingsWrite, so that a row
// another request stores meanwhile is not undone:
//
//   SettingsWrite write;
//   kSnmp.read(kZvdbPath, &snmp, kNetworkRow);
//   ... the request's members over it ...
//   write.check(kSnmp.write_at(kZvdbPath, &snmp, kNetworkRow));
//   if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
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

// The integer setting `name` alone.
inline bool store_setting_int(const char* name, int32_t value) {
  SettingsWrite write;
  write.check(set_param_int(kZvdbPath, name, value));
  return write.commit();
}
