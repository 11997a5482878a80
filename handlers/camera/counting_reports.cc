// Automatic people-counting reports: the four report definitions.
#include <algorithm>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "handlers/camera/camera_apps.h"
#include "common/messages/camera_apps.h"
#include "platform/zvdb/camera_apps_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

static void counting_reports_read_handler(const char* /*argument*/) {
  CountingReport reports[kCountingReports];
  if (read_peoplecnt_auto_backup(kZvdbPath, reports) != 0) return (void)reply_cgi_error(REPLY_JSON);
  JsonWriter w(4096);
  w.begin_object().key("report").begin_array();
  for (const CountingReport& r : reports) write_object(w, r);
  // The reports can always go out by e-mail.
  w.end_array().key("email").value(1).end_object();
  reply_json(w);
}

static void counting_reports_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  {
    SettingsWrite write;
    CountingReport reports[kCountingReports];
    if (!request || read_peoplecnt_auto_backup(kZvdbPath, reports) != 0 ||
        !update_listed(request.get(), "report", reports, kCountingReports)) {
      return (void)reply_cgi_error(REPLY_JSON);
    }
    write.check(write_peoplecnt_auto_backup(kZvdbPath, reports));
    if (!write.commit()) return (void)reply_res(-1);
  }
  // The core's answer only says that it reloaded the definitions.
  if (core_ask(kCountingReportsChanged, REPLY_JSON)) reply_res(0);
}

ZV_REQUESTS(kCountingReportsRequests, "camera",
    {"/2075", counting_reports_read_handler},
    {"/2076", counting_reports_set_handler});
