// Handlers of a settings table's one row (key 0), for a module's request table to name directly:
//
//   {"/1032", row_read_handler<kAutoReboot>},                      // the row through its schema
//   {"/1033", row_set_handler<kAutoReboot, kAutoRebootChanged>},   // a partial set, then a notice
#pragma once

#include "common/exchange.h"
#include "common/request.h"
#include "common/settings_store.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/zvdb.h"

// The stored row (the table's factory row, or zeros, when none is stored) as the JSON reply.
template <class T>
void reply_row(const zvdb::Table<T>& table) {
  T row{};
  table.read(kZvdbPath, &row, {});
  reply_record(row);
}

template <const auto& table>
void row_read_handler(const char* /*argument*/) {
  reply_row(table);
}

// Reads the request through the record's schema over the stored row (members it does not carry
// keep their stored values), stores it, tells the core `changed` and answers "OK". A refused read
// answers nothing; a failed store answers "CGI ERROR" and tells nobody.
// The row is read inside the write scope, so a change another request stores meanwhile is never
// written back over.
template <class T>
void set_row(const zvdb::Table<T>& table, const Notice<NoPayload>& changed, const char* argument) {
  {
    SettingsWrite write;
    T row{};
    table.read(kZvdbPath, &row, {});
    if (!read_request(argument, &row)) return;
    write.check(table.write(kZvdbPath, &row));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(changed);
  reply_ok();
}

template <const auto& table, const auto& changed>
void row_set_handler(const char* argument) {
  set_row(table, changed, argument);
}
