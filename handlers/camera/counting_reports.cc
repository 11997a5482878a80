// Automatic people-counting reports: the four report definitions.
#include <algorithm>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "handlers/camera/camera_apps.h"
#include "handlers/camera/camera_apps_messages.h"
#include "platform/zvdb/camera_apps_tables.h"
#include "platform/zvdb/zvdb.h"

void counting_reports_read_handler(const char* /*argument*/) {
  CountingReport reports[kCountingReports];
  if (read_peoplecnt_auto_backup(kZvdbPath, reports) != 0) return (void)reply_cgi_error(REPLY_JSON);
  JsonWriter w(4096);
  w.begin_object().key("report").begin_array();
  for (const CountingReport& r : reports) write_object(w, r);
  // The reports can always go out by e-mail.
  w.end_array().key("email").value(1).end_object();
  reply_json(w);
}

void counting_reports_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  json_object* list = nullptr;
  if (!request || !read_json_members(request.get(), {array_member("report", &list).required()})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  {
    SettingsWrite write;
    CountingReport reports[kCountingReports];
    if (read_peoplecnt_auto_backup(kZvdbPath, reports) != 0) return (void)reply_cgi_error(REPLY_JSON);
    // Definitions without an element (or with one that is not an object) stay as stored.
    const size_t n = std::min<size_t>(json_array_size(list), kCountingReports);
    for (size_t i = 0; i < n; ++i) {
      json_object* entry = json_array_at(list, i);
      if (entry == nullptr || !json_object_is_type(entry, json_type_object)) continue;
      if (!read_record_update(entry, &reports[i])) return (void)reply_cgi_error(REPLY_JSON);
    }
    write.check(write_peoplecnt_auto_backup(kZvdbPath, reports));
    if (!write.commit()) return (void)reply_write_failed("res");
  }
  // The core's answer only says that it reloaded the definitions.
  if (core_ask(kCountingReportsChanged, REPLY_JSON)) reply_res(0);
}
