// The small requests around record download and export: download state and end, the playback
// busy test, multi-channel play, RTSP addresses and external ports, the backup and export log
// entries, and the month calendar of recordings.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/reply.h"
#include "handlers/playback/playback_internal.h"
#include "handlers/playback/playback_module.h"
#include "handlers/playback/remote_backup.h"

using namespace playback;

namespace {

// A local time "%Y-%m-%d %H:%M:%S" (blanks may follow); false when the text does not parse.
bool parse_local_time(const char* text, struct tm* out) {
  struct tm parsed{};
  const char* rest = strptime(text, "%Y-%m-%d %H:%M:%S", &parsed);
  if (rest == nullptr) return false;
  while (*rest == ' ' || *rest == '\t') ++rest;
  if (*rest != '\0') return false;
  *out = parsed;
  return true;
}

// What the multi-channel play reply leaves for its handler.
std::mutex g_multi_mutex;
MultiPlayReply g_multi_reply{};

}  // namespace

// ---- Download state and end ----

void download_state_handler(const char* /*argument*/) {
  JsonPtr out(json_object_new_object());
  add_int(out.get(), "isOK", access(kDownloadMarker, F_OK) == 0 ? 0 : 1);
  write_reply(REPLY_TEXT, json_object_to_json_string(out.get()));
}

void download_end_handler(const char* /*argument*/) {
  unlink(kDownloadMarker);
  core_notify(kMsgDownloadEnd, 0, nullptr);
  write_reply(REPLY_TEXT, "OK");
}

// ---- Playback busy ----

void playback_busy_handler(const char* /*argument*/) {
  core_request(playback_reply_callback, kMsgPlaybackBusy, 0, nullptr, REPLY_JSON);
}

void playback::on_busy_reply(const PayloadReader& reply) {
  int32_t busy = 0;
  if (!reply.read(0, &busy)) return;
  JsonPtr out(json_object_new_object());
  add_text(out.get(), "status", busy != 0 ? "BUSY" : "OK");
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

// ---- Multi-channel play ----

void multi_play_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  MultiPlayRequest play{};
  if (!read_json_members(request.get(), {
          int_member("mask0", &play.mask[0]).required(),
          int_member("mask1", &play.mask[1]).required(),
          int_member("mask2", &play.mask[2]).required(),
          int_member("mask3", &play.mask[3]).required(),
          int_member("mask4", &play.mask[4]).required(),
          int_member("mask5", &play.mask[5]).required(),
          int_member("mask6", &play.mask[6]).required(),
          int_member("mask7", &play.mask[7]).required(),
          text_member("playTime", play.play_text).required(),
      })) {
    return;
  }
  struct tm local{};
  if (!parse_local_time(play.play_text, &local)) return;
  local.tm_isdst = -1;
  play.play_time = static_cast<int32_t>(mktime(&local));

  {
    std::lock_guard<std::mutex> lock(g_multi_mutex);
    g_multi_reply = MultiPlayReply{};
  }
  int result = core_send(playback_reply_callback, kMsgMultiPlay, sizeof play, &play, 0);
  const int32_t flag = reply_flag_get();
  core_close(result);
  if (flag != 1) {
    claim_and_error();
    return;
  }
  MultiPlayReply kept{};
  {
    std::lock_guard<std::mutex> lock(g_multi_mutex);
    kept = g_multi_reply;
  }
  char play_time[32];
  copy_field_text(play_time, sizeof play_time, kept.play_text);
  set_real_play_time(play_time);
  int32_t sid = kept.sid;
  core_request(playback_reply_callback, kMsgSessionSource, sizeof sid, &sid, REPLY_JSON);
  send_playback_log(209, 0);
}

void playback::on_multi_play_reply(const PayloadReader& reply) {
  MultiPlayReply multi{};
  if (!reply.read(0, &multi)) return;
  {
    std::lock_guard<std::mutex> lock(g_multi_mutex);
    g_multi_reply = multi;
  }
  reply_flag_set(multi.failed != 0 ? 2 : 1);
}

// ---- RTSP addresses and external ports ----

void stream_addresses_handler(const char* /*argument*/) {
  core_request(playback_reply_callback, kMsgStreamAddresses, 0, nullptr, REPLY_JSON);
}

namespace {
void add_stream(json_object* nvr, const char* prefix, const StreamPorts& ports, const StreamAccount& account) {
  char key[32];
  auto name = [&](const char* suffix) {
    snprintf(key, sizeof key, "%s%s", prefix, suffix);
    return key;
  };
  add_field(nvr, name("Username"), account.username, sizeof account.username);
  add_field(nvr, name("Password"), account.password, sizeof account.password);
  add_int(nvr, name("Port"), ports.port);
  add_int(nvr, name("ExternalPort"), ports.external_port);
  add_int(nvr, name("DDNSPort"), ports.ddns_port);
  add_field(nvr, name("ResPath"), account.res_path, sizeof account.res_path);
  add_int(nvr, name("ExternalHttpPort"), ports.external_http_port);
  add_int(nvr, name("DDNSHttpPort"), ports.ddns_http_port);
}
}  // namespace

void playback::on_stream_addresses_reply(const PayloadReader& reply) {
  const size_t n = reply.record_count<StreamAddressRecord>();
  if (n == 0) {
    // Nothing to list: the request is answered with an empty body.
    reply_claim();
    reply_flag_set(1);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_object* list = json_object_new_array();
  for (size_t i = 0; i < n; ++i) {
    StreamAddressRecord record{};
    reply.record(i, &record);
    json_object* entry = json_object_new_object();
    json_object* ipc = json_object_new_object();
    add_field(ipc, "main", record.main_rtsp, sizeof record.main_rtsp);
    add_field(ipc, "sub", record.sub_rtsp, sizeof record.sub_rtsp);
    json_object_object_add(entry, "ipc", ipc);
    json_object* nvr = json_object_new_object();
    add_stream(nvr, "main", record.main_ports, record.main_account);
    add_stream(nvr, "sub", record.sub_ports, record.sub_account);
    json_object_object_add(entry, "nvr", nvr);
    json_object_array_add(list, entry);
  }
  json_object_object_add(out.get(), "rtspaddr", list);
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

void external_ports_handler(const char* /*argument*/) {
  core_request(playback_reply_callback, kMsgExternalPorts, 0, nullptr, REPLY_JSON);
}

void playback::on_external_ports_reply(const PayloadReader& reply) {
  ExternalPorts ports{};
  if (!reply.read(0, &ports)) return;
  JsonPtr out(json_object_new_object());
  add_int(out.get(), "upnp_extern_port", ports.upnp_extern_port);
  add_int(out.get(), "ddns_extern_port", ports.ddns_extern_port);
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

// ---- Backup and export log entries ----

void backup_log_handler(const char* argument) {
  int32_t channel = 0;
  if (!parse_playback_channel(argument, &channel)) return;
  send_playback_log(205, channel + 1);
  write_reply(REPLY_TEXT, "OK");
}

void export_log_handler(const char* argument) {
  int32_t channel = 0;
  if (!parse_playback_channel(argument, &channel)) return;
  send_playback_log(218, channel + 1);
  write_reply(REPLY_TEXT, "OK");
}

void channel_ok_handler(const char* argument) {
  int32_t channel = 0;
  if (!parse_playback_channel(argument, &channel)) return;
  write_reply(REPLY_TEXT, "OK");
}

// ---- Month calendar ----

void month_calendar_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  char time_text[32];
  int32_t channel = 0;
  int32_t stream_type = 0;
  if (!read_json_members(request.get(), {
          text_member("time", time_text).required(),
          int_member("chnid", &channel).required().range(0, kMaxChannels - 1),
          int_member("streamType", &stream_type).required(),
      })) {
    return;
  }
  struct tm when{};
  if (!parse_local_time(time_text, &when)) return;
  CalendarRequest calendar{};
  calendar.sub_stream = stream_type == 1 ? 1 : 0;
  calendar.year = when.tm_year + 1900;
  calendar.month = when.tm_mon + 1;
  memset(calendar.channel_mask, '0', sizeof calendar.channel_mask);
  calendar.channel_mask[channel] = '1';
  calendar.zero = 0;
  core_request(playback_reply_callback, kMsgMonthCalendar, sizeof calendar, &calendar, REPLY_JSON);
}

void playback::on_calendar_reply(const PayloadReader& reply) {
  CalendarReply calendar{};
  if (!reply.read(0, &calendar)) return;
  JsonPtr days(json_object_new_array());
  for (int32_t day : calendar.day) json_object_array_add(days.get(), json_object_new_int(day != 0 ? 1 : 0));
  claim_and_write_json(days.get());
  reply_flag_set(1);
}
