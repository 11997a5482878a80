// Playback sessions: search a day's recordings, start a session at a time, read its play time,
// steer running sessions (stop, close, pause, step, speed, direction, jump), transcoding, and the
// live RTSP source of a channel.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <iterator>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "common/reply.h"
#include "handlers/playback/playback_internal.h"
#include "handlers/playback/playback_module.h"
#include "platform/zvdb/device.h"
#include "platform/zvdb/zvdb.h"

using namespace playback;

namespace {

// Sends a session list without waiting. `speeds` (may be null) fill words 65 + i; the count word
// is filled unless the message leaves it 0.
void send_session_list(int32_t msg_id, const int32_t* sids, size_t n, const int32_t* speeds,
                       bool fill_count) {
  SessionList list{};
  for (size_t i = 0; i < n && i < std::size(list.sid); ++i) {
    list.sid[i] = sids[i];
    if (speeds != nullptr) list.speed[i] = speeds[i];
  }
  list.zero = 0;
  list.count = fill_count ? static_cast<int32_t>(n) : 0;
  core_notify(msg_id, sizeof list, &list);
}

// The list size a request's "num" allows: 0..64.
size_t list_limit(int32_t num) {
  if (num <= 0) return 0;
  return num > kMaxSessions ? kMaxSessions : static_cast<size_t>(num);
}

// Reads {"num", <key>: [...]} into sids; false when the argument is not a JSON object.
bool read_session_request(const char* argument, const char* key, int32_t (&sids)[kMaxSessions],
                          size_t* n) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return false;
  int32_t num = 0;
  json_object* list = nullptr;
  if (!read_json_members(request.get(), {int_member("num", &num), array_member(key, &list)})) {
    return false;
  }
  *n = read_int_list(list, list_limit(num), sids);
  return true;
}

// Data the live-source reply leaves for its handler (written before the reply flag is set).
std::atomic<int32_t> g_live_channel{0};
std::atomic<int32_t> g_live_result{-1};

}  // namespace

// ---- Search ----

void search_records_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  int32_t channel = 0;
  int32_t sid = 0;
  int32_t stream_type = 0;
  SearchRequest search{};
  if (!read_json_members(request.get(), {
          int_member("channelId", &channel).required(),
          int_member("sid", &sid).required(),
          int_member("streamType", &stream_type).required(),
          text_member("time", search.start).required(),
          text_member("endTime", search.end).required(),
      })) {
    return;
  }
  // The page names the session it had open: close it before the new search opens another.
  if (sid >= 0) {
    send_session_list(kMsgCloseSessions, &sid, 1, nullptr, true);
    core_notify(kMsgSessionRelease, sizeof sid, &sid);
  }
  DeviceRecord device{};
  db_get_device(kZvdbPath, &device);
  const int32_t channels = device.channel_count < 0 ? 0 : std::min(device.channel_count, kMaxChannels);
  for (int32_t i = 0; i < channels; ++i) search.channel_mask[i] = i == channel ? '1' : '0';
  search.one = 1;
  search.sub_stream = stream_type == 1 ? 1 : 0;
  search.minus_one_a = -1;
  search.minus_one_b = -1;
  core_request(playback_reply_callback, kMsgSearch, sizeof search, &search, REPLY_JSON);
}

void search_page_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  SearchPageRequest page{};
  if (!read_json_members(request.get(), {
          int_member("sid", &page.sid).required(),
          int_member("page", &page.page).required(),
      })) {
    return;
  }
  core_request(playback_reply_callback, kMsgSearchPage, sizeof page, &page, REPLY_JSON);
}

void playback::on_search_reply(const PayloadReader& reply) {
  const size_t n = reply.record_count<SearchRecord>();
  JsonPtr out(json_object_new_object());
  if (n == 0) {
    add_text(out.get(), "status", "NO MATCHES");
  } else {
    SearchRecord first{};
    SearchRecord last{};
    reply.record(0, &first);
    reply.record(n - 1, &last);
    add_text(out.get(), "status", "OK");
    add_int(out.get(), "camId", last.cam_id);
    add_int(out.get(), "sectionNum", static_cast<int32_t>(n));
    add_int(out.get(), "sid", first.sid);
    json_object* sections = json_object_new_array();
    for (size_t i = 0; i < n; ++i) {
      SearchRecord record{};
      reply.record(i, &record);
      json_object* section = json_object_new_object();
      add_field(section, "startTime", record.start_time, sizeof record.start_time);
      add_field(section, "endTime", record.end_time, sizeof record.end_time);
      add_int(section, "recordType", record.record_type);
      add_int(section, "lock", record.lock);
      json_object_array_add(sections, section);
    }
    json_object_object_add(out.get(), "section", sections);
  }
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

// ---- Start a session, read its play time ----

void start_session_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  StartRequest start{};
  if (!read_json_members(request.get(), {
          int_member("channelId", &start.channel).required().range(0, kPlaybackChannels - 1),
          text_member("playTime", start.play_time).required(),
          text_member("startTime", start.start_time).required(),
          text_member("endTime", start.end_time).required(),
          int_member("sid", &start.sid).required(),
      })) {
    return;
  }
  int result = core_send(playback_reply_callback, kMsgStart, sizeof start, &start, 0);
  const int32_t flag = reply_flag_get();
  core_close(result);
  if (flag != 1) {  // no reply (0) or the core refused (2)
    claim_and_error();
    return;
  }
  set_real_play_time(start.play_time);
  int32_t sid = start.sid;
  core_request(playback_reply_callback, kMsgSessionSource, sizeof sid, &sid, REPLY_JSON);
  send_playback_log(209, start.channel + 1);
}

void playback::on_start_reply(const PayloadReader& reply) {
  int32_t result = 0;
  if (!reply.read(0, &result)) return;
  reply_flag_set(result < 0 ? 2 : 1);
}

void current_time_handler(const char* argument) {
  int32_t sid = 0;
  if (!parse_decimal(argument, &sid) || sid < 0) return;
  core_request(playback_reply_callback, kMsgCurrentTime, sizeof sid, &sid, REPLY_JSON);
}

void playback::on_current_time_reply(const PayloadReader& reply) {
  int32_t seconds = 0;
  if (!reply.read(0, &seconds)) return;
  if (seconds <= 0) {
    claim_and_error();
  } else {
    const time_t when = seconds;
    struct tm local{};
    char text[32] = "";
    if (localtime_r(&when, &local) != nullptr) strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    JsonPtr out(json_object_new_object());
    add_text(out.get(), "status", "OK");
    add_text(out.get(), "curPlayTime", text);
    claim_and_write_json(out.get());
  }
  reply_flag_set(1);
}

// ---- Steering running sessions (no wait) ----

void stop_sessions_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  int32_t close = 0;
  int32_t num = 0;
  json_object* list = nullptr;
  if (!read_json_members(request.get(), {
          int_member("close", &close),
          int_member("num", &num),
          array_member("sid", &list),
      })) {
    return;
  }
  int32_t sids[kMaxSessions] = {};
  const size_t n = read_int_list(list, list_limit(num), sids);
  for (size_t i = 0; i < n; ++i) {
    if (sids[i] >= 0) core_notify(kMsgSessionRelease, sizeof sids[i], &sids[i]);
  }
  send_session_list(kMsgStopSessions, sids, n, nullptr, true);
  if (close == 1) send_session_list(kMsgCloseSessions, sids, n, nullptr, true);
  write_reply(REPLY_TEXT, "OK");
}

void pause_sessions_handler(const char* argument) {
  int32_t sids[kMaxSessions] = {};
  size_t n = 0;
  if (!read_session_request(argument, "sid", sids, &n)) return;
  send_session_list(kMsgPauseSessions, sids, n, nullptr, true);
  write_reply(REPLY_TEXT, "OK");
}

void step_sessions_handler(const char* argument) {
  int32_t sids[kMaxSessions] = {};
  size_t n = 0;
  if (!read_session_request(argument, "sid", sids, &n)) return;
  send_session_list(kMsgStepSessions, sids, n, nullptr, true);
  write_reply(REPLY_TEXT, "OK");
}

void resume_sessions_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  json_object* list = nullptr;
  if (!read_json_members(request.get(), {array_member("sessionId", &list)})) return;
  int32_t sids[kMaxSessions] = {};
  const size_t n = read_int_list(list, kMaxSessions, sids);
  send_session_list(kMsgSessionResume, sids, n, nullptr, false);
  write_reply(REPLY_TEXT, "OK");
}

void direction_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  DirectionRequest direction{};
  if (!read_json_members(request.get(), {
          int_member("sid", &direction.sid),
          int_member("direction", &direction.direction),
      })) {
    return;
  }
  core_notify(kMsgDirection, sizeof direction, &direction);
  write_reply(REPLY_TEXT, "OK");
}

void session_speeds_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  int32_t num = 0;
  json_object* sessions = nullptr;
  json_object* speeds = nullptr;
  if (!read_json_members(request.get(), {
          int_member("num", &num),
          array_member("sessionId", &sessions),
          array_member("speed", &speeds),
      })) {
    return;
  }
  int32_t sids[kMaxSessions] = {};
  int32_t speed[kMaxSessions] = {};
  const size_t limit = list_limit(num);
  const size_t n = std::min(read_int_list(sessions, limit, sids), read_int_list(speeds, limit, speed));
  send_session_list(kMsgSessionSpeeds, sids, n, speed, true);
  write_reply(REPLY_TEXT, "OK");
}

void speed_by_channel_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  int32_t num = 0;
  MaskRequest mask{};
  json_object* channels = nullptr;
  if (!read_json_members(request.get(), {
          int_member("num", &num),
          int_member("speed", &mask.speed),
          array_member("chind", &channels).required(),
      })) {
    return;
  }
  int32_t list[kMaxChannels] = {};
  const size_t n = read_int_list(channels, list_limit(num), list);
  memset(mask.mask, '0', sizeof mask.mask);
  for (size_t i = 0; i < n; ++i) {
    if (list[i] >= 0 && list[i] < kMaxChannels) mask.mask[list[i]] = '1';
  }
  core_notify(kMsgSpeedByChannel, sizeof mask, &mask);
  write_reply(REPLY_TEXT, "OK");
}

void speed_by_session_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  int32_t num = 0;
  MaskRequest mask{};
  json_object* sessions = nullptr;
  if (!read_json_members(request.get(), {
          int_member("num", &num),
          array_member("sid", &sessions),
          int_member("speed", &mask.speed),
      })) {
    return;
  }
  int32_t list[kMaxSessions] = {};
  const size_t n = read_int_list(sessions, list_limit(num), list);
  memset(mask.mask, '0', sizeof mask.mask);
  for (size_t i = 0; i < n; ++i) {
    if (list[i] >= 0 && list[i] < kMaxSessions) mask.mask[list[i]] = '1';
  }
  mask.single_fast = mask.speed == 2 && n == 1 ? 1 : 0;
  core_notify(kMsgSpeedBySession, sizeof mask, &mask);
  write_reply(REPLY_TEXT, "OK");
}

// ---- Jump ----

void jump_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return;
  int32_t num = 0;
  json_object* sessions = nullptr;
  json_object* channels = nullptr;
  JumpRequest jump{};
  if (!read_json_members(request.get(), {
          int_member("num", &num).required(),
          array_member("sid", &sessions).required(),
          array_member("chnid", &channels).required(),
          text_member("jumpTime", jump.jump_time).required(),
      })) {
    return;
  }
  const size_t limit = list_limit(num);
  const size_t n = std::min(read_int_list(sessions, limit, jump.sid), read_int_list(channels, limit, jump.chnid));
  if (n == 0) {  // "num" below 1, or nothing to jump
    reply_cgi_error(REPLY_JSON);
    return;
  }
  // Entries past the filled count stay 0 (a shorter list may have been copied into one array).
  for (size_t i = n; i < std::size(jump.sid); ++i) jump.sid[i] = jump.chnid[i] = 0;
  jump.count = static_cast<int32_t>(n);
  core_request(playback_reply_callback, kMsgJump, sizeof jump, &jump, REPLY_JSON);
}

void playback::on_jump_reply(const PayloadReader& reply) {
  int32_t result = 0;
  if (!reply.read(0, &result)) return;
  JsonPtr out(json_object_new_object());
  add_text(out.get(), "status", result == 0 ? "OK" : "ERROR");
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

// ---- Log entry of a playback ----

void playback_log_handler(const char* argument) {
  int32_t channel = 0;
  if (!parse_playback_channel(argument, &channel)) return;
  send_playback_log(208, channel + 1);
  write_reply(REPLY_TEXT, "OK");
}

// ---- Transcoding ----

void transcode_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  TranscodeRequest transcode{};
  if (request == nullptr || !read_json_members(request.get(), {
          int_member("ch", &transcode.ch).required(),
          int_member("sid", &transcode.sid).required(),
          int_member("trancodingmode", &transcode.mode).required(),
          int_member("framesize", &transcode.frame_size).required(),
          int_member("bitrate", &transcode.bitrate).required(),
          int_member("framerate", &transcode.frame_rate).required(),
      })) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  core_request(playback_reply_callback, kMsgTranscode, sizeof transcode, &transcode, REPLY_JSON);
}

void transcode_state_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  TranscodeQuery query{};
  if (request == nullptr || !read_json_members(request.get(), {
          int_member("ch", &query.ch).required(),
          int_member("sid", &query.sid).required(),
      })) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  core_request(playback_reply_callback, kMsgTranscodeState, sizeof query, &query, REPLY_JSON);
}

void playback::on_transcode_reply(const PayloadReader& reply, bool with_status) {
  TranscodeState state{};
  if (!reply.read(0, &state)) return;
  JsonPtr out(json_object_new_object());
  add_int(out.get(), "ch", state.ch);
  add_int(out.get(), "sid", state.sid);
  add_int(out.get(), "state", state.state);
  if (with_status) add_text(out.get(), "status", "OK");
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

// ---- Live source ----

namespace {
bool read_live_request(const char* argument, LiveSourceRequest* live) {
  JsonPtr request = parse_request(argument);
  if (request == nullptr) return false;
  return read_json_members(request.get(), {
      int_member("id", &live->id).required().range(0, kPlaybackChannels - 1),
      int_member("streamType", &live->stream_type).required().range(0, 1),
      int_member("streamFrom", &live->stream_from).required().range(0, 1),
  });
}
}  // namespace

void live_source_handler(const char* argument) {
  LiveSourceRequest live{};
  if (!read_live_request(argument, &live)) return;
  g_live_result = -1;
  const int32_t flag =
      core_request(playback_reply_callback, kMsgLiveSource, sizeof live, &live, REPLY_JSON);
  if (flag == 1 && g_live_result >= 0) send_playback_log(208, g_live_channel + 1);
}

void playback::on_live_source_reply(const PayloadReader& reply) {
  LiveSourceReply source{};
  if (!reply.read(0, &source)) return;
  JsonPtr out(json_object_new_object());
  if (source.result < 0) {
    add_text(out.get(), "status", "ERROR");
  } else {
    add_text(out.get(), "status", "OK");
    add_int(out.get(), "port", source.port);
    add_int(out.get(), "direct", source.direct);
    add_field(out.get(), "rtspAddr", source.rtsp_addr, sizeof source.rtsp_addr);
    add_field(out.get(), "resPath", source.res_path, sizeof source.res_path);
  }
  g_live_channel = source.channel;
  g_live_result = source.result;
  claim_and_write_json(out.get());
  reply_flag_set(1);
}

void live_start_handler(const char* argument) {
  LiveSourceRequest live{};
  if (!read_live_request(argument, &live)) return;
  live.stream_from = 0;
  core_notify(kMsgLiveStart, sizeof live, &live);
  write_reply(REPLY_TEXT, "OK");
}

void live_stop_handler(const char* /*argument*/) {
  core_notify(kMsgLiveStop, 0, nullptr);
  write_reply(REPLY_TEXT, "OK");
}
