// Playback sessions: search a day's recordings, start a session at a time, read its play time,
// steer running sessions (stop, close, pause, step, speed, direction, jump), transcoding, and the
// live RTSP source of a channel.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "handlers/playback/playback_internal.h"
#include "common/request_table.h"
#include "platform/zvdb/device.h"
#include "platform/zvdb/zvdb.h"

using namespace playback;

namespace {

// Sends a session list. `speeds` (may be null) fill words 65 + i; `count` goes to the count word.
void send_session_list(const Notice<SessionList>& notice, const int32_t* sids, size_t n,
                       const int32_t* speeds = nullptr, int32_t count = -1) {
  SessionList list{};
  for (size_t i = 0; i < n && i < std::size(list.sid); ++i) {
    list.sid[i] = sids[i];
    if (speeds != nullptr) list.speed[i] = speeds[i];
  }
  list.count = count >= 0 ? count : static_cast<int32_t>(n);
  core_tell(notice, list);
}

// The list size a request's "num" allows: 0..64.
size_t list_limit(int32_t num) { return static_cast<size_t>(std::clamp(num, 0, kMaxSessions)); }

// The leading ids of the array `key`, at most "num" of them; false when the argument is not a
// JSON object (or a required member is missing).
bool read_id_list(json_object* request, const char* key, bool required, int32_t (&ids)[kMaxSessions], size_t* n) {
  int32_t num = 0;
  json_object* list = nullptr;
  JsonMember array = array_member(key, &list);
  if (required) array = array.required();
  if (request == nullptr || !read_json_members(request, {int_member("num", &num), array})) return false;
  *n = read_int_prefix(list, list_limit(num), ids, kMaxSessions);
  return true;
}

// Prints a search reply: "NO MATCHES", or the sections found.
constexpr auto kSection = ZV_FIELDS(SearchRecord, ZV_FIELD(start_time, "startTime"),
                                    ZV_FIELD(end_time, "endTime"), ZV_FIELD(record_type, "recordType"),
                                    ZV_FIELD(lock, "lock"));

void print_search(const CoreReply& reply) {
  const PayloadReader records = reply.reader();
  const size_t n = records.record_count<SearchRecord>();
  JsonWriter w(256 + 128 * n);
  w.begin_object();
  if (n == 0) {
    w.key("status").value("NO MATCHES");
  } else {
    SearchRecord first{};
    SearchRecord last{};
    records.record(0, &first);
    records.record(n - 1, &last);
    w.key("status").value("OK").key("camId").value(last.cam_id);
    w.key("sectionNum").value(static_cast<int32_t>(n)).key("sid").value(first.sid);
    w.key("section").begin_array();
    for (size_t i = 0; i < n; ++i) {
      SearchRecord record{};
      records.record(i, &record);
      write_object(w, kSection.schema(), &record);
    }
    w.end_array();
  }
  w.end_object();
  reply_json(w);
}

}  // namespace

// ---- Search ----

static void search_records_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = 0;
  int32_t sid = 0;
  int32_t stream_type = 0;
  SearchRequest search{};
  if (!request || !read_json_members(request.get(), {
          int_member("channelId", &channel).required(),
          int_member("sid", &sid).required(),
          int_member("streamType", &stream_type).required(),
      }) || !read_record(request.get(), &search)) {
    return;
  }
  // The page names the session it had open: close it before the new search opens another.
  if (sid >= 0) {
    send_session_list(kCloseSessions, &sid, 1);
    core_tell(kSessionRelease, sid);
  }
  DeviceRecord device{};
  db_get_device(kZvdbPath, &device);
  const int32_t channels = std::clamp(device.channel_count, 0, kMaxChannels);
  for (int32_t i = 0; i < channels; ++i) search.channel_mask[i] = i == channel ? '1' : '0';
  search.one = 1;
  search.sub_stream = stream_type == 1 ? 1 : 0;
  search.minus_one_a = search.minus_one_b = -1;
  if (std::optional<CoreReply> reply = core_ask(kSearch, search, REPLY_JSON)) print_search(*reply);
}

static void search_page_handler(const char* argument) {
  SearchPageRequest page{};
  if (!read_request(argument, &page)) return;
  if (std::optional<CoreReply> reply = core_ask(kSearchPage, page, REPLY_JSON)) print_search(*reply);
}

// ---- Start a session, read its play time ----

static void start_session_handler(const char* argument) {
  StartRequest start{};
  if (!read_request(argument, &start)) return;
  std::optional<CoreReply> started = core_ask(kStart, start, REPLY_JSON);
  if (!started) return;
  int32_t result = 0;
  started->first(&result);
  if (result < 0) return (void)reply_cgi_error(REPLY_JSON);  // the core refused
  print_session_source(start.sid, start.play_time);
  send_playback_log(209, start.channel + 1);
}

static void current_time_handler(const char* argument) {
  int32_t sid = 0;
  if (!parse_decimal(argument, &sid) || sid < 0) return;
  std::optional<CoreReply> reply = core_ask(kCurrentTime, sid, REPLY_JSON);
  if (!reply) return;
  int32_t seconds = 0;
  reply->first(&seconds);
  if (seconds <= 0) return (void)reply_cgi_error(REPLY_JSON);
  const time_t when = seconds;
  struct tm local{};
  char text[32] = "";
  if (localtime_r(&when, &local) != nullptr) strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  JsonWriter w;
  w.begin_object().key("status").value("OK").key("curPlayTime").value(text).end_object();
  reply_json(w);
}

// ---- Steering running sessions (no wait) ----

static void stop_sessions_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t close = 0;
  int32_t sids[kMaxSessions] = {};
  size_t n = 0;
  if (!request || !read_json_members(request.get(), {int_member("close", &close)}) ||
      !read_id_list(request.get(), "sid", false, sids, &n)) {
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    if (sids[i] >= 0) core_tell(kSessionRelease, sids[i]);
  }
  send_session_list(kStopSessions, sids, n);
  if (close == 1) send_session_list(kCloseSessions, sids, n);
  reply_ok();
}

namespace {
// {"num", "sid": [...]} as one session-list notice.
void tell_session_list(const char* argument, const Notice<SessionList>& notice) {
  int32_t sids[kMaxSessions] = {};
  size_t n = 0;
  if (!read_id_list(parse_request(argument).get(), "sid", false, sids, &n)) return;
  send_session_list(notice, sids, n);
  reply_ok();
}
}  // namespace

static void pause_sessions_handler(const char* argument) { tell_session_list(argument, kPauseSessions); }
static void step_sessions_handler(const char* argument) { tell_session_list(argument, kStepSessions); }

static void resume_sessions_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  json_object* list = nullptr;
  if (!request || !read_json_members(request.get(), {array_member("sessionId", &list)})) return;
  int32_t sids[kMaxSessions] = {};
  const size_t n = read_int_prefix(list, kMaxSessions, sids, kMaxSessions);
  send_session_list(kSessionResume, sids, n, nullptr, 0);
  reply_ok();
}

static void direction_handler(const char* argument) {
  DirectionRequest direction{};
  if (!read_request(argument, &direction)) return;
  core_tell(kDirection, direction);
  reply_ok();
}

static void session_speeds_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t sids[kMaxSessions] = {};
  size_t n = 0;
  json_object* speeds = nullptr;
  // Without the speeds there is nothing to set: refused rather than answered "OK" for no session.
  if (!request || !read_json_members(request.get(), {array_member("speed", &speeds).required()}) ||
      !read_id_list(request.get(), "sessionId", false, sids, &n)) {
    return;
  }
  int32_t speed[kMaxSessions] = {};
  n = std::min(n, read_int_prefix(speeds, n, speed, kMaxSessions));
  send_session_list(kSessionSpeeds, sids, n, speed);
  reply_ok();
}

namespace {
// 1149 (by channel, "chind" required) / 1167 (by session, "sid"): '1' at every listed index 0..63
// and the request's speed; 1167 marks one session at speed 2 as single_fast.
void tell_speed_mask(const char* argument, bool by_session) {
  JsonPtr request = parse_request(argument);
  MaskRequest mask{};
  int32_t list[kMaxSessions] = {};
  size_t n = 0;
  if (!request || !read_record(request.get(), &mask) ||
      !read_id_list(request.get(), by_session ? "sid" : "chind", !by_session, list, &n)) {
    return;
  }
  memset(mask.mask, '0', sizeof mask.mask);
  for (size_t i = 0; i < n; ++i) {
    if (list[i] >= 0 && list[i] < kMaxSessions) mask.mask[list[i]] = '1';
  }
  mask.single_fast = by_session && mask.speed == 2 && n == 1 ? 1 : 0;
  core_tell(by_session ? kSpeedBySession : kSpeedByChannel, mask);
  reply_ok();
}
}  // namespace

static void speed_by_channel_handler(const char* argument) { tell_speed_mask(argument, false); }
static void speed_by_session_handler(const char* argument) { tell_speed_mask(argument, true); }

// ---- Jump ----

static void jump_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t num = 0;
  json_object* sessions = nullptr;
  json_object* channels = nullptr;
  JumpRequest jump{};
  if (!request || !read_json_members(request.get(), {
          int_member("num", &num).required(),
          array_member("sid", &sessions).required(),
          array_member("chnid", &channels).required(),
      }) || !read_record(request.get(), &jump)) {
    return;
  }
  const size_t limit = list_limit(num);
  const size_t n = std::min(read_int_prefix(sessions, limit, jump.sid, kMaxSessions),
                            read_int_prefix(channels, limit, jump.chnid, kMaxSessions));
  if (n == 0) return (void)reply_cgi_error(REPLY_JSON);  // "num" below 1, or nothing to jump
  // Entries past the filled count stay 0 (a longer list may have been copied into one array).
  for (size_t i = n; i < std::size(jump.sid); ++i) jump.sid[i] = jump.chnid[i] = 0;
  jump.count = static_cast<int32_t>(n);
  std::optional<CoreReply> reply = core_ask(kJump, jump, REPLY_JSON);
  if (!reply) return;
  int32_t result = 0;
  reply->first(&result);
  reply_text_member("status", result == 0 ? "OK" : "ERROR");
}

// ---- Transcoding ----

namespace {
template <class Query>
void ask_transcode(const Exchange<Query, TranscodeState>& exchange, const char* argument, bool with_status) {
  JsonPtr request = parse_request(argument);
  Query query{};
  if (!request || !read_record(request.get(), &query)) return (void)reply_cgi_error(REPLY_JSON);
  std::optional<CoreReply> reply = core_ask(exchange, query, REPLY_JSON);
  if (!reply) return;
  TranscodeState state{};
  reply->first(&state);
  JsonWriter w;
  w.begin_object();
  write_fields(w, state);
  if (with_status) w.key("status").value("OK");
  w.end_object();
  reply_json(w);
}
}  // namespace

static void transcode_handler(const char* argument) { ask_transcode(kTranscode, argument, true); }
static void transcode_state_handler(const char* argument) { ask_transcode(kTranscodeState, argument, false); }

// ---- Live source ----

static void live_source_handler(const char* argument) {
  LiveSourceRequest live{};
  if (!read_request(argument, &live)) return;
  std::optional<CoreReply> reply = core_ask(kLiveSource, live, REPLY_JSON);
  if (!reply) return;
  LiveSourceReply source{};
  reply->first(&source);
  JsonWriter w(512);
  w.begin_object().key("status").value(source.result < 0 ? "ERROR" : "OK");
  if (source.result >= 0) write_fields(w, source);
  w.end_object();
  reply_json(w);
  // The entry names the channel the user opened (the core's answer is about that channel); the
  // reply's channel word is the core's and may hold anything, INT32_MAX + 1 included.
  if (source.result >= 0) send_playback_log(208, live.id + 1);
}

static void live_start_handler(const char* argument) {
  LiveSourceRequest live{};
  if (!read_request(argument, &live)) return;
  live.stream_from = 0;
  core_tell(kLiveStart, live);
  reply_ok();
}

static void live_stop_handler(const char* /*argument*/) {
  core_tell(kLiveStop);
  reply_ok();
}

ZV_REQUESTS(kSessionsRequests, "playback",
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
    {"/4022", speed_by_session_handler},
    {"/4023", search_page_handler},
    {"/4025", transcode_handler},
    {"/4026", transcode_state_handler},
    {"/3003", resume_sessions_handler});
