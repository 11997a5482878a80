// The small requests around record download and export: download state and end, the playback
// busy test, multi-channel play, RTSP addresses and external ports, the backup and export log
// entries, and the month calendar of recordings.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "handlers/playback/playback_internal.h"
#include "common/request_table.h"
#include "handlers/playback/remote_backup.h"

using namespace playback;

// ---- Download state and end ----

static void download_state_handler(const char* /*argument*/) {
  JsonWriter w;
  w.begin_object().key("isOK").value(access(kDownloadMarker, F_OK) == 0 ? 0 : 1).end_object();
  reply_text(w.c_str());
}

static void download_end_handler(const char* /*argument*/) {
  unlink(kDownloadMarker);
  core_tell(kDownloadEnd);
  reply_ok();
}

// ---- Playback busy ----

static void playback_busy_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kPlaybackBusy, REPLY_JSON);
  if (!reply) return;
  int32_t busy = 0;
  reply->first(&busy);
  reply_text_member("status", busy != 0 ? "BUSY" : "OK");
}

// ---- Multi-channel play ----

static void multi_play_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  MultiPlayRequest play{};
  if (!request || !read_record(request.get(), &play)) return;
  for (int i = 0; i < 8; ++i) {
    const std::string key = "mask" + std::to_string(i);
    if (!read_json_members(request.get(), {int_member(key.c_str(), &play.mask[i]).required()})) return;
  }
  struct tm local{};
  if (!parse_local_time(play.play_text, kLocalTimeFormat, &local)) return;
  // The core takes the play time as 32-bit seconds since the epoch: a time before 1970 or after
  // January 2038 does not fit (it would wrap to another date) and is refused like any invalid time.
  const time_t seconds = mktime(&local);
  if (seconds < 0 || seconds > INT32_MAX) return;
  play.play_time = static_cast<int32_t>(seconds);
  std::optional<CoreReply> reply = core_ask(kMultiPlay, play, REPLY_JSON);
  if (!reply) return;
  MultiPlayReply multi{};
  reply->first(&multi);
  if (multi.failed != 0) return (void)reply_cgi_error(REPLY_JSON);
  print_session_source(multi.sid, multi.play_text);
  send_playback_log(209, 0);
}

// ---- RTSP addresses and external ports ----

namespace {
void write_stream(JsonWriter& w, const std::string& prefix, const StreamPorts& ports, const StreamAccount& account) {
  w.key(prefix + "Username").field(account.username);
  w.key(prefix + "Password").field(account.password);
  w.key(prefix + "Port").value(ports.port);
  w.key(prefix + "ExternalPort").value(ports.external_port);
  w.key(prefix + "DDNSPort").value(ports.ddns_port);
  w.key(prefix + "ResPath").field(account.res_path);
  w.key(prefix + "ExternalHttpPort").value(ports.external_http_port);
  w.key(prefix + "DDNSHttpPort").value(ports.ddns_http_port);
}
}  // namespace

static void stream_addresses_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kStreamAddresses, REPLY_JSON);
  if (!reply) return;
  const PayloadReader records = reply->reader();
  const size_t n = records.record_count<StreamAddressRecord>();
  if (n == 0) return;  // nothing to list: the request is answered with an empty body
  JsonWriter w(1024 * n);
  w.begin_object().key("rtspaddr").begin_array();
  for (size_t i = 0; i < n; ++i) {
    StreamAddressRecord record{};
    records.record(i, &record);
    w.begin_object().key("ipc");
    write_object(w, record);
    w.key("nvr").begin_object();
    write_stream(w, "main", record.main_ports, record.main_account);
    write_stream(w, "sub", record.sub_ports, record.sub_account);
    w.end_object().end_object();
  }
  w.end_array().end_object();
  reply_json(w);
}

static void external_ports_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kExternalPorts, REPLY_JSON);
  if (!reply) return;
  ExternalPorts ports{};
  reply->first(&ports);
  reply_record(ports);
}

// ---- Month calendar ----

static void month_calendar_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  char time_text[32];
  int32_t channel = 0;
  int32_t stream_type = 0;
  struct tm when{};
  if (!request || !read_json_members(request.get(), {
          text_member("time", time_text).required(),
          int_member("chnid", &channel).required().range(0, kMaxChannels - 1),
          int_member("streamType", &stream_type).required(),
      }) || !parse_local_time(time_text, kLocalTimeFormat, &when)) {
    return;
  }
  CalendarRequest calendar{};
  calendar.sub_stream = stream_type == 1 ? 1 : 0;
  calendar.year = when.tm_year + 1900;
  calendar.month = when.tm_mon + 1;
  memset(calendar.channel_mask, '0', sizeof calendar.channel_mask);
  calendar.channel_mask[channel] = '1';
  std::optional<CoreReply> reply = core_ask(kMonthCalendar, calendar, REPLY_JSON);
  if (!reply) return;
  CalendarReply days{};
  reply->first(&days);
  JsonWriter w(256);
  w.begin_array();
  for (int32_t day : days.day) w.value(day != 0 ? 1 : 0);
  w.end_array();
  reply_json(w);
}

ZV_REQUESTS(kRecordRequestsRequests, "playback",
    {"/4018", stream_addresses_handler},
    {"/4019", download_state_handler},
    {"/4020", multi_play_handler},
    {"/4021", external_ports_handler},
    {"/4027", download_end_handler},
    {"/3004", playback_busy_handler},
    {"/2013", month_calendar_handler});
