// The recorder's clock and its settings: time zone, daylight saving, NTP, synchronisation with
// the viewing PC, and a manual time the core applies.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/safe_text.h"
#include "common/settings_store.h"
#include "common/messages/network.h"
#include "common/request_table.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr size_t kManualTimeChars = 29;  // what fits the 32-byte payload between its quotes
constexpr int32_t kFailoverNoClock = 2;  // a failover peer takes its clock from the main recorder

// The clock settings after the date and time, as the page reads them.
constexpr auto kTimeReply = ZV_FIELDS(
    TimeConfig, ZV_FIELD(ntp_enable, "ntpEnable"), ZV_FIELD(dst_enable, "dstEnable"),
    ZV_FIELD(time_zone, "timeZone"), ZV_FIELD(time_zone_name, "timeZoneName"), ZV_FIELD(ntp_server, "ntpServer"),
    ZV_FIELD(sync_enable, "syncEnable"));

int32_t interval_index(int32_t stored) {
  for (size_t i = 0; i < std::size(kSyncIntervals); ++i) {
    if (kSyncIntervals[i] == stored) return static_cast<int32_t>(i);
  }
  return kDefaultSyncIntervalIndex;
}

int32_t interval_value(int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < std::size(kSyncIntervals) ? kSyncIntervals[index]
                                                                               : kSyncIntervals[kDefaultSyncIntervalIndex];
}

// A manual time the core can take: digits, blanks and the separators of a date and a time.
bool manual_time_text(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (std::strchr("0123456789 :/.T-", *p) == nullptr) return false;
  }
  return true;
}

void date_member(JsonWriter& w, const char* key, const char* format, int value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  w.key(key).value(text);
}

}  // namespace

static void time_read_handler(const char* /*argument*/) {
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char server_time[32];
  std::strftime(server_time, sizeof server_time, "%Y-%m-%d %H:%M:%S", &local);
  TimeConfig config{};
  kTime.read(kZvdbPath, &config, kNetworkRow);
  JsonWriter w(512);
  w.begin_object();
  date_member(w, "dateYear", "%.4d", local.tm_year + 1900);
  date_member(w, "dateMon", "%.2d", local.tm_mon + 1);
  date_member(w, "dateDay", "%.2d", local.tm_mday);
  date_member(w, "dateHour", "%.2d", local.tm_hour);
  date_member(w, "dateMin", "%.2d", local.tm_min);
  date_member(w, "dateSec", "%.2d", local.tm_sec);
  w.key("serverTime").value(server_time);
  write_fields(w, kTimeReply.schema(), &config);
  w.key("syncInterval").value(interval_index(config.sync_interval));
  w.key("syncPc").value(config.sync_pc);
  w.end_object();
  reply_json(w);
}

static void time_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  // The core hands the time zone and the NTP server on to its clock scripts.
  if (!request || !json_texts_shell_safe(request.get())) return;
  ManualTime payload{};
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    TimeConfig config{};
    kTime.read(kZvdbPath, &config, kNetworkRow);
    char manual[128];
    int32_t failover = 0;
    if (!read_record(request.get(), &config) ||
        !read_json_members(request.get(), {text_member("manualTime", manual).absent_text(""),
                                           int_member("failoverMode", &failover)})) {
      return;
    }
    config.sync_interval = interval_value(config.sync_interval);
    if (config.ntp_enable == 0 && failover != kFailoverNoClock && manual[0] != '\0') {
      if (!manual_time_text(manual)) return;
      std::snprintf(payload.quoted, sizeof payload.quoted, "\"%.*s\"", static_cast<int>(kManualTimeChars),
                    manual);
    }
    write.check(kTime.write(kZvdbPath, &config));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
  // The "OK" is out: without an answer from the core nothing more is written.
  if (core_ask(kTimeSet, payload, -1)) core_tell(kTimeApplied);
  op_log_change(225, 900);
}

ZV_REQUESTS(kTimeRequests, "network",
    {"/7000", time_read_handler},
    {"/7001", time_set_handler});
