#include "common/request_table.h"

#include <ctime>
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "handlers/playback/playback_internal.h"

namespace playback {

bool parse_playback_channel(const char* text, int32_t* out) {
  int32_t channel = 0;
  if (!parse_decimal(text, &channel) || channel < 0 || channel >= kPlaybackChannels) return false;
  *out = channel;
  return true;
}

bool parse_local_time(const char* text, const char* format, struct tm* out) {
  struct tm parsed{};
  const char* rest = strptime(text, format, &parsed);
  if (rest == nullptr) return false;
  while (*rest == ' ' || *rest == '\t') ++rest;
  if (*rest != '\0') return false;
  parsed.tm_isdst = -1;
  *out = parsed;
  return true;
}

OpLogRecord playback_log(int64_t sub_type, int32_t channel) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = 900;
  record.channel = channel;
  return record;
}

void send_playback_log(int64_t sub_type, int32_t channel) { op_log_send(playback_log(sub_type, channel)); }

namespace {
// The session source reply: these members, then "status" and "realPlayTime", then the tail.
constexpr auto kSourceHead = ZV_FIELDS(SessionSource, ZV_FIELD(session_id, "sessionId"),
                                       ZV_FIELD(source_path, "sourcePath"), ZV_FIELD(port, "port"));
constexpr auto kSourceTail = ZV_FIELDS(SessionSource, ZV_FIELD(external_port, "external_port"),
                                       ZV_FIELD(external_http_port, "external_http_port"),
                                       ZV_FIELD(ddns_port, "ddns_port"), ZV_FIELD(ddns_http_port, "ddns_http_port"));
}  // namespace

void print_session_source(int32_t sid, const char (&play_time)[32]) {
  std::optional<CoreReply> reply = core_ask(kSessionSource, sid, REPLY_JSON);
  if (!reply) return;
  SessionSource source{};
  reply->first(&source);
  JsonWriter w(512);
  w.begin_object();
  write_fields(w, kSourceHead.schema(), &source);
  w.key("status").value("OK").key("realPlayTime").field(play_time, sizeof play_time - 1);
  write_fields(w, kSourceTail.schema(), &source);
  w.end_object();
  reply_json(w);
}

}  // namespace playback

namespace {
// A channel request of the playback, backup and export pages: the log entry of `kSubType` (none
// for 0), then "OK".
template <int64_t kSubType>
void channel_log_handler(const char* argument) {
  int32_t channel = 0;
  if (!playback::parse_playback_channel(argument, &channel)) return;
  if (kSubType != 0) playback::send_playback_log(kSubType, channel + 1);
  reply_ok();
}

}  // namespace

ZV_REQUESTS(kPlaybackModuleRequests, "playback",
    {"/4014", channel_log_handler<205>},
    {"/4015", channel_log_handler<0>},
    {"/4016", channel_log_handler<0>},
    {"/4017", channel_log_handler<218>},
    {"/4024", channel_log_handler<208>});
