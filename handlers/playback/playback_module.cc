#include "handlers/playback/playback_module.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/reply.h"
#include "common/web_utils.h"
#include "handlers/playback/playback_internal.h"

namespace playback {

JsonPtr parse_request(const char* argument) {
  JsonPtr request(parse_json_text(argument));
  if (request != nullptr && !json_object_is_type(request.get(), json_type_object)) request.reset();
  return request;
}

bool parse_decimal(const char* text, int32_t* out) {
  if (text == nullptr) return false;
  errno = 0;
  char* end = nullptr;
  const long long value = strtoll(text, &end, 10);
  if (end == text || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
  if (*end != '\0') return false;
  *out = static_cast<int32_t>(value);
  return true;
}

bool parse_playback_channel(const char* text, int32_t* out) {
  int32_t channel = 0;
  if (!parse_decimal(text, &channel) || channel < 0 || channel >= kPlaybackChannels) return false;
  *out = channel;
  return true;
}

size_t read_int_list(json_object* array, size_t limit, int32_t* out) {
  const size_t size = json_array_size(array);
  size_t n = 0;
  while (n < limit && n < size && json_value_int(json_array_at(array, n), &out[n])) ++n;
  return n;
}

void add_int(json_object* object, const char* key, int32_t value) {
  json_object_object_add(object, key, json_object_new_int(value));
}

void add_text(json_object* object, const char* key, const char* text) {
  json_object_object_add(object, key, json_object_new_string(text != nullptr ? text : ""));
}

void add_field(json_object* object, const char* key, const char* field, size_t width) {
  json_object_object_add(object, key,
                         json_object_new_string_len(field, static_cast<int>(strnlen(field, width))));
}

void write_json_reply(json_object* reply) { write_reply(REPLY_JSON, json_object_to_json_string(reply)); }

void claim_and_write(int kind, const char* text) {
  if (reply_claim()) write_reply(kind, text);
}

void claim_and_write_json(json_object* reply) {
  if (reply_claim()) write_json_reply(reply);
}

void claim_and_error() {
  if (reply_claim()) reply_cgi_error(REPLY_JSON);
}

void send_playback_log(int64_t sub_type, int32_t channel) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = 900;
  record.channel = channel;
  op_log_send(record);
}

namespace {
std::mutex g_play_time_mutex;
char g_real_play_time[32] = "";
}  // namespace

void set_real_play_time(const char* text) {
  std::lock_guard<std::mutex> lock(g_play_time_mutex);
  copy_text_field(g_real_play_time, text, 31);
}

void on_session_source_reply(const PayloadReader& reply) {
  SessionSource source{};
  if (!reply.read(0, &source)) return;  // too short: the handler runs out its wait
  std::string play_time;
  {
    std::lock_guard<std::mutex> lock(g_play_time_mutex);
    play_time = g_real_play_time;
  }
  JsonPtr out(json_object_new_object());
  add_int(out.get(), "sessionId", source.session_id);
  add_field(out.get(), "sourcePath", source.source_path, sizeof source.source_path);
  add_int(out.get(), "port", source.port);
  add_text(out.get(), "status", "OK");
  add_text(out.get(), "realPlayTime", play_time.c_str());
  add_int(out.get(), "external_port", source.external_port);
  add_int(out.get(), "external_http_port", source.external_http_port);
  add_int(out.get(), "ddns_port", source.ddns_port);
  add_int(out.get(), "ddns_http_port", source.ddns_http_port);
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

}  // namespace playback

void playback_reply_callback(int /*unused*/, ZvMsgHeader* header, void* payload) {
  using namespace playback;
  // A reply without payload still counts for some requests (a search that found nothing, an empty
  // address list); every printer reads through the bounded reader, which is empty then.
  if (header == nullptr) return;
  int32_t msg_id = 0;
  memcpy(&msg_id, reinterpret_cast<const char*>(header) + offsetof(ZvMsgHeader, msg_id), sizeof msg_id);
  const PayloadReader reply(header, payload);
  switch (msg_id) {
    case kReplySearch:
    case kReplySearchPage: on_search_reply(reply); break;
    case kReplyStart: on_start_reply(reply); break;
    case kReplySessionSource: on_session_source_reply(reply); break;
    case kReplyCurrentTime: on_current_time_reply(reply); break;
    case kReplyJump: on_jump_reply(reply); break;
    case kReplyTranscode: on_transcode_reply(reply, true); break;
    case kReplyTranscodeState: on_transcode_reply(reply, false); break;
    case kReplyLiveSource: on_live_source_reply(reply); break;
    case kReplyImageRead: on_image_reply(reply); break;
    case kReplyMultiPlay:
    case kReplyMultiPlayAlt: on_multi_play_reply(reply); break;
    case kReplyStreamAddresses: on_stream_addresses_reply(reply); break;
    case kReplyExternalPorts: on_external_ports_reply(reply); break;
    case kReplyPlaybackBusy: on_busy_reply(reply); break;
    case kReplyCalendar: on_calendar_reply(reply); break;
    case kReplyDownloadChunk: on_download_chunk(reply); break;
    default: break;  // not awaited by this module: the waiting handler runs out its budget
  }
}

namespace {
const WebReqEntry kPlaybackRequests[] = {
    {"/4000", search_records_handler},
    {"/4001", start_session_handler},
    {"/4002", current_time_handler},
    {"/4003", stop_sessions_handler},
    {"/4004", pause_sessions_handler},
    {"/4005", direction_handler},
    {"/4006", step_sessions_handler},
    {"/4007", session_speeds_handler},
    {"/4008", speed_by_channel_handler},
    {"/4009", jump_handler},
    {"/4010", live_source_handler},
    {"/4011", live_start_handler},
    {"/4012", live_stop_handler},
    {"/4013", download_handler},
    {"/4014", backup_log_handler},
    {"/4015", channel_ok_handler},
    {"/4016", channel_ok_handler},
    {"/4017", export_log_handler},
    {"/4018", stream_addresses_handler},
    {"/4019", download_state_handler},
    {"/4020", multi_play_handler},
    {"/4021", external_ports_handler},
    {"/4022", speed_by_session_handler},
    {"/4023", search_page_handler},
    {"/4024", playback_log_handler},
    {"/4025", transcode_handler},
    {"/4026", transcode_state_handler},
    {"/4027", download_end_handler},
    {"/3000", image_read_handler},
    {"/3001", image_adjust_handler},
    {"/3002", image_reset_handler},
    {"/3003", resume_sessions_handler},
    {"/3004", playback_busy_handler},
    {"/2013", month_calendar_handler},
};
}  // namespace

const RequestModule kPlaybackModule = {"playback", kPlaybackRequests,
                                       static_cast<int>(std::size(kPlaybackRequests))};
