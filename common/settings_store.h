// The most common settings write: everything a request stores, in one SettingsWrite, with
// "CGI ERROR" as the text reply when it was not stored.
#pragma once

#include "common/reply.h"
#include "common/request.h"

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
