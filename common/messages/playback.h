// Payload records and messages of playback and record download: what the web side sends to the
// core and what the core answers, each record with its schema (wire layout, JSON keys where a
// handler reads or prints it, ranges where checked) and every message declared once at the bottom.
// The core simulator and the tests use the same declarations. Every record is little-endian with
// fixed-width fields; texts are NUL-padded. The records are at file scope beside their schemas;
// the limits, the download constants and the messages are in namespace playback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvrecord/schema.h"

namespace playback {

constexpr int kMaxSessions = 64;   // entries of a session list, jump list or mask
constexpr int kMaxChannels = 64;
constexpr int kPlaybackChannels = 8;  // channels 0..7 of the single-channel playback requests
}  // namespace playback

// Session list: 1112, 1113, 1160, 1164, 1165, 1170 (776 bytes, 194 int32 words).
struct SessionList {
  int32_t sid[playback::kMaxSessions];  // words 0..63, in request order; unused entries 0
  int32_t zero;               // word 64
  int32_t speed[128];         // words 65..192: 1112 puts the speed of session i at word 65 + i
  int32_t count;              // word 193: number of session ids (stays 0 for 1113)
};
static_assert(sizeof(SessionList) == 776);
ZV_SCHEMA(SessionList, ZV_INTERNAL(sid), ZV_RESERVED(zero), ZV_INTERNAL(speed), ZV_INTERNAL(count));

// Search of one channel's recordings (1159, 148 bytes).
struct SearchRequest {
  char channel_mask[68];  // '1' for the searched channel, '0' for the others, then NUL
  int32_t one;            // 1
  int32_t sub_stream;     // 1 when "streamType" is 1, else 0
  int32_t minus_one_a;    // -1
  int32_t minus_one_b;    // -1
  char start[32];
  char end[32];
};
static_assert(sizeof(SearchRequest) == 148);
ZV_SCHEMA(SearchRequest, ZV_INTERNAL(channel_mask), ZV_INTERNAL(one), ZV_INTERNAL(sub_stream),
          ZV_INTERNAL(minus_one_a), ZV_INTERNAL(minus_one_b), ZV_FIELD(start, "time").required(),
          ZV_FIELD(end, "endTime").required());

// Next page of a search (1161).
struct SearchPageRequest {
  int32_t sid;
  int32_t page;
};
static_assert(sizeof(SearchPageRequest) == 8);
ZV_SCHEMA(SearchPageRequest, ZV_FIELD(sid, "sid").required(), ZV_FIELD(page, "page").required());

// One recording of a search reply (6159, 6161: an array of these).
struct SearchRecord {
  int32_t cam_id;
  int32_t sid;
  int32_t unused0;
  int32_t lock;
  int32_t unused1;
  int32_t record_type;
  char start_time[32];
  char end_time[32];
  uint8_t unused2[16];
};
static_assert(sizeof(SearchRecord) == 104);
ZV_SCHEMA(SearchRecord, ZV_FIELD(cam_id, "camId"), ZV_FIELD(sid, "sid"), ZV_RESERVED(unused0),
          ZV_FIELD(lock, "lock"), ZV_RESERVED(unused1), ZV_FIELD(record_type, "recordType"),
          ZV_FIELD(start_time, "startTime"), ZV_FIELD(end_time, "endTime"), ZV_RESERVED(unused2));

// Start a session at a time (1162, 112 bytes); answered by 6162 with one int32 result.
struct StartRequest {
  int32_t channel;
  int32_t sid;
  uint8_t zero[8];
  char start_time[32];
  char end_time[32];
  char play_time[32];
};
static_assert(sizeof(StartRequest) == 112);
ZV_SCHEMA(StartRequest,
          ZV_FIELD(channel, "channelId").required().range(0, playback::kPlaybackChannels - 1),
          ZV_FIELD(sid, "sid").required(), ZV_RESERVED(zero), ZV_FIELD(start_time, "startTime").required(),
          ZV_FIELD(end_time, "endTime").required(), ZV_FIELD(play_time, "playTime").required());

// RTSP source of a session (8502, 152 bytes).
struct SessionSource {
  int32_t session_id;
  int32_t port;
  int32_t external_port;
  int32_t external_http_port;
  int32_t ddns_port;
  int32_t ddns_http_port;
  char source_path[128];
};
static_assert(sizeof(SessionSource) == 152);
ZV_SCHEMA(SessionSource, ZV_FIELD(session_id, "sessionId"), ZV_FIELD(port, "port"),
          ZV_FIELD(external_port, "external_port"), ZV_FIELD(external_http_port, "external_http_port"),
          ZV_FIELD(ddns_port, "ddns_port"), ZV_FIELD(ddns_http_port, "ddns_http_port"),
          ZV_FIELD(source_path, "sourcePath"));

// Speed by channel (1149) or by session (1167), 76 bytes.
struct MaskRequest {
  char mask[64];        // '0'/'1' per channel (1149) or per session id (1167)
  int32_t zero;
  int32_t speed;
  int32_t single_fast;  // 1167 with speed 2 and exactly one session; else 0
};
static_assert(sizeof(MaskRequest) == 76);
ZV_SCHEMA(MaskRequest, ZV_INTERNAL(mask), ZV_RESERVED(zero), ZV_FIELD(speed, "speed"),
          ZV_INTERNAL(single_fast));

// Play direction of one session (1166).
struct DirectionRequest {
  int32_t sid;
  int32_t direction;
};
static_assert(sizeof(DirectionRequest) == 8);
ZV_SCHEMA(DirectionRequest, ZV_FIELD(sid, "sid"), ZV_FIELD(direction, "direction"));

// Jump sessions to a time (1171, 580 bytes).
struct JumpRequest {
  int32_t chnid[playback::kMaxSessions];
  int32_t sid[playback::kMaxSessions];
  int32_t count;  // entries filled
  char jump_time[64];
};
static_assert(sizeof(JumpRequest) == 580);
ZV_SCHEMA(JumpRequest, ZV_INTERNAL(chnid), ZV_INTERNAL(sid), ZV_INTERNAL(count),
          ZV_FIELD(jump_time, "jumpTime").required());

// Transcoding of a session (1176); state query (1177); both answered with TranscodeState.
struct TranscodeRequest {
  int32_t ch;
  int32_t sid;
  int32_t mode;
  int32_t frame_size;
  int32_t bitrate;
  int32_t frame_rate;
};
static_assert(sizeof(TranscodeRequest) == 24);
ZV_SCHEMA(TranscodeRequest, ZV_FIELD(ch, "ch").required(), ZV_FIELD(sid, "sid").required(),
          ZV_FIELD(mode, "trancodingmode").required(), ZV_FIELD(frame_size, "framesize").required(),
          ZV_FIELD(bitrate, "bitrate").required(), ZV_FIELD(frame_rate, "framerate").required());

struct TranscodeQuery {
  int32_t ch;
  int32_t sid;
};
static_assert(sizeof(TranscodeQuery) == 8);
ZV_SCHEMA(TranscodeQuery, ZV_FIELD(ch, "ch").required(), ZV_FIELD(sid, "sid").required());

struct TranscodeState {
  int32_t ch;
  int32_t sid;
  int32_t state;
};
static_assert(sizeof(TranscodeState) == 12);
ZV_SCHEMA(TranscodeState, ZV_FIELD(ch, "ch"), ZV_FIELD(sid, "sid"), ZV_FIELD(state, "state"));

// Live RTSP source of a channel (3500 and, third word 0, 1901).
struct LiveSourceRequest {
  int32_t id;
  int32_t stream_type;
  int32_t stream_from;
};
static_assert(sizeof(LiveSourceRequest) == 12);
ZV_SCHEMA(LiveSourceRequest, ZV_FIELD(id, "id").required().range(0, playback::kPlaybackChannels - 1),
          ZV_FIELD(stream_type, "streamType").required().range(0, 1),
          ZV_FIELD(stream_from, "streamFrom").required().range(0, 1));

// Reply 8500: the live source.
struct LiveSourceReply {
  int32_t channel;
  int32_t port;
  uint8_t unused0[16];
  int32_t direct;
  int32_t result;  // negative = failure
  uint8_t unused1[64];
  char rtsp_addr[128];
  char res_path[128];
};
static_assert(sizeof(LiveSourceReply) == 352);
ZV_SCHEMA(LiveSourceReply, ZV_INTERNAL(channel), ZV_FIELD(port, "port"), ZV_RESERVED(unused0),
          ZV_FIELD(direct, "direct"), ZV_INTERNAL(result), ZV_RESERVED(unused1), ZV_FIELD(rtsp_addr, "rtspAddr"),
          ZV_FIELD(res_path, "resPath"));

// Playback image adjustments (1205, seven int32).
struct ImageAdjustment {
  int32_t channel;
  int32_t brightness;
  int32_t contrast;
  int32_t saturation;
  int32_t sharpness;
  int32_t noise_reduction;
  int32_t i2ddnr;
};
static_assert(sizeof(ImageAdjustment) == 28);
ZV_SCHEMA(ImageAdjustment, ZV_FIELD(channel, "id").required().range(0, playback::kPlaybackChannels - 1),
          ZV_FIELD(brightness, "brightness").required().range(0, 255),
          ZV_FIELD(contrast, "contrast").required().range(0, 255),
          ZV_FIELD(saturation, "saturation").required().range(0, 255), ZV_FIELD(sharpness, "Sharpness"),
          ZV_FIELD(noise_reduction, "NoiseReduction"), ZV_FIELD(i2ddnr, "i2ddnr"));

// Reply 8002 to 3002 (32 bytes): the channel's adjustments, then the result.
struct ImageAdjustReply {
  ImageAdjustment image;
  int32_t result;  // negative = failure
};
static_assert(sizeof(ImageAdjustReply) == 32);
ZV_SCHEMA(ImageAdjustReply, ZV_INTERNAL(image), ZV_INTERNAL(result));

// Detail block of the image-adjustment log entry (kind 107): five percentages.
constexpr int32_t kImageAdjustDetailKind = 107;
struct ImageAdjustDetail {
  int32_t brightness;
  int32_t contrast;
  int32_t saturation;
  int32_t sharpness;
  int32_t noise_reduction;
};
static_assert(sizeof(ImageAdjustDetail) == 20);
ZV_SCHEMA(ImageAdjustDetail, ZV_INTERNAL(brightness), ZV_INTERNAL(contrast), ZV_INTERNAL(saturation),
          ZV_INTERNAL(sharpness), ZV_INTERNAL(noise_reduction));

// Record download (1173, 72 bytes). The request's "startTime" / "endTime" are converted to the
// core's local time form "%d-%d-%d %d:%d:%d".
struct DownloadRequest {
  int32_t channel;
  int32_t stream_type;
  char start[32];
  char end[32];
};
static_assert(sizeof(DownloadRequest) == 72);
ZV_SCHEMA(DownloadRequest, ZV_FIELD(channel, "id").required().range(0, playback::kPlaybackChannels - 1),
          ZV_FIELD(stream_type, "streamType"), ZV_INTERNAL(start), ZV_INTERNAL(end));

namespace playback {
// Exists while the core streams a download; a second download is refused while it does.
constexpr const char kDownloadMarker[] = "/tmp/pbdownload";
// One chunk of the download stream (6173). The 88-byte frame header is the AVI writer's
// (ZvAviFrameHeader, platform/zvavi/zvavi.h); its int32 at 40 is the frame's data size.
constexpr int32_t kChunkFirst = 0;        // `continuation` of the first chunk of a frame
constexpr int32_t kChunkEnd = -1;         // `length`: end of the recording
constexpr int32_t kChunkAbort = -2;       // `length`: the core gives up
constexpr uint32_t kChunkDataMax = 614400;
struct DownloadChunkHead {
  uint8_t frame_header[88];
  int32_t continuation;  // 0 = first chunk of a new frame
  int32_t length;        // data bytes that follow, or kChunkEnd / kChunkAbort
};
static_assert(sizeof(DownloadChunkHead) == 96);
constexpr uint32_t kChunkMaxBytes = sizeof(DownloadChunkHead) + kChunkDataMax;
static_assert(kChunkMaxBytes == 614496);
constexpr size_t kFrameSizeOffset = 40;  // int32 data size inside the frame header
}  // namespace playback
ZV_SCHEMA(playback::DownloadChunkHead, ZV_INTERNAL(frame_header), ZV_INTERNAL(continuation), ZV_INTERNAL(length));

// Month calendar (3493, 80 bytes); reply 8493 (132 bytes, words 1..31 = days 1..31).
struct CalendarRequest {
  int32_t sub_stream;  // 1 when "streamType" is 1, else 0
  int32_t year;
  int32_t month;       // 1..12
  char channel_mask[64];
  int32_t zero;
};
static_assert(sizeof(CalendarRequest) == 80);
ZV_SCHEMA(CalendarRequest, ZV_INTERNAL(sub_stream), ZV_INTERNAL(year), ZV_INTERNAL(month),
          ZV_INTERNAL(channel_mask), ZV_RESERVED(zero));

struct CalendarReply {
  int32_t word0;
  int32_t day[31];  // day[d - 1]: recordings on day d
  int32_t unused;
};
static_assert(sizeof(CalendarReply) == 132);
ZV_SCHEMA(CalendarReply, ZV_RESERVED(word0), ZV_INTERNAL(day), ZV_RESERVED(unused));

// Multi-channel play (3109, 68 bytes): "mask0".."mask7" and "playTime"; reply 8103 (40 bytes).
struct MultiPlayRequest {
  int32_t play_time;   // seconds since the epoch of "playTime" (local time)
  char play_text[32];
  int32_t mask[8];
};
static_assert(sizeof(MultiPlayRequest) == 68);
ZV_SCHEMA(MultiPlayRequest, ZV_INTERNAL(play_time), ZV_FIELD(play_text, "playTime").required(),
          ZV_INTERNAL(mask));

struct MultiPlayReply {
  int32_t sid;
  char play_text[32];
  int32_t failed;  // non-zero = failure
};
static_assert(sizeof(MultiPlayReply) == 40);
ZV_SCHEMA(MultiPlayReply, ZV_INTERNAL(sid), ZV_INTERNAL(play_text), ZV_INTERNAL(failed));

// Reply 8506: the external ports.
struct ExternalPorts {
  int32_t upnp_extern_port;
  int32_t ddns_extern_port;
};
static_assert(sizeof(ExternalPorts) == 8);
ZV_SCHEMA(ExternalPorts, ZV_FIELD(upnp_extern_port, "upnp_extern_port"),
          ZV_FIELD(ddns_extern_port, "ddns_extern_port"));

// Reply 8503: one record per camera (1476 bytes): the camera's main and sub RTSP addresses, then
// per stream the five ports and an account block. The reply prints the two streams' members with
// the prefixes "main" and "sub" (record_requests.cc), so these blocks carry no JSON keys.
struct StreamAccount {
  uint8_t unused0[8];
  char username[32];
  char password[64];
  uint8_t unused1[224];
  char res_path[128];
};
static_assert(sizeof(StreamAccount) == 456);
ZV_SCHEMA(StreamAccount, ZV_RESERVED(unused0), ZV_INTERNAL(username), ZV_INTERNAL(password),
          ZV_RESERVED(unused1), ZV_INTERNAL(res_path));

struct StreamPorts {
  int32_t port;
  int32_t external_port;
  int32_t ddns_port;
  int32_t external_http_port;
  int32_t ddns_http_port;
};
static_assert(sizeof(StreamPorts) == 20);
ZV_SCHEMA(StreamPorts, ZV_INTERNAL(port), ZV_INTERNAL(external_port), ZV_INTERNAL(ddns_port),
          ZV_INTERNAL(external_http_port), ZV_INTERNAL(ddns_http_port));

struct StreamAddressRecord {
  int32_t channel;
  char main_rtsp[256];
  char sub_rtsp[256];
  uint8_t unused0[4];
  StreamPorts main_ports;
  StreamAccount main_account;
  uint8_t unused1[4];
  StreamPorts sub_ports;
  StreamAccount sub_account;
};
static_assert(sizeof(StreamAddressRecord) == 1476);
ZV_SCHEMA(StreamAddressRecord, ZV_INTERNAL(channel), ZV_FIELD(main_rtsp, "main"),
          ZV_FIELD(sub_rtsp, "sub"), ZV_RESERVED(unused0), ZV_INTERNAL(main_ports), ZV_INTERNAL(main_account),
          ZV_RESERVED(unused1), ZV_INTERNAL(sub_ports), ZV_INTERNAL(sub_account));

namespace playback {

// ---- Messages (the core answers n with n + 5000 unless noted) ----

// Steering running sessions: notices.
inline constexpr Notice<SessionList> kSessionSpeeds{1112, "session speeds"};
inline constexpr Notice<SessionList> kSessionResume{1113, "resume sessions"};  // count word stays 0
inline constexpr Notice<MaskRequest> kSpeedByChannel{1149, "speed by channel"};
inline constexpr Notice<SessionList> kCloseSessions{1160, "close sessions"};
inline constexpr Notice<SessionList> kStopSessions{1164, "stop sessions"};
inline constexpr Notice<SessionList> kPauseSessions{1165, "pause sessions"};
inline constexpr Notice<DirectionRequest> kDirection{1166, "play direction"};
inline constexpr Notice<MaskRequest> kSpeedBySession{1167, "speed by session"};
inline constexpr Notice<SessionList> kStepSessions{1170, "step sessions"};
inline constexpr Notice<NoPayload> kDownloadEnd{1178, "download end"};
inline constexpr Notice<ImageAdjustment> kImageAdjust{1205, "playback image set"};
inline constexpr Notice<LiveSourceRequest> kLiveStart{1901, "live start"};  // third word 0
inline constexpr Notice<NoPayload> kLiveStop{1902, "live stop"};
inline constexpr Notice<int32_t> kSessionRelease{1903, "release session"};

// Exchanges. Search replies hold any count of records (none: no match); the download is a stream.
inline constexpr Exchange<int32_t, int32_t> kCurrentTime{1153, 6153, "current play time"};
inline constexpr Exchange<SearchRequest, SearchRecord> kSearch{1159, 6159, "search", 0};
inline constexpr Exchange<SearchPageRequest, SearchRecord> kSearchPage{1161, 6161, "search page", 0};
inline constexpr Exchange<StartRequest, int32_t> kStart{1162, 6162, "start session"};
inline constexpr Exchange<JumpRequest, int32_t> kJump{1171, 6171, "jump"};  // 0 = done
inline constexpr Exchange<DownloadRequest, DownloadChunkHead> kDownload{1173, 6173, "record download"};
inline constexpr Exchange<TranscodeRequest, TranscodeState> kTranscode{1176, 6176, "transcode"};
inline constexpr Exchange<TranscodeQuery, TranscodeState> kTranscodeState{1177, 6177, "transcode state"};
inline constexpr Exchange<int32_t, ImageAdjustReply> kImageRead{3002, 8002, "playback image read"};
// The core answers 3109 with 8103; 8109 (3109 + 5000) is taken the same way.
inline constexpr Exchange<MultiPlayRequest, MultiPlayReply> kMultiPlay{3109, 8103, "multi-channel play",
                                                                       sizeof(MultiPlayReply), 8109};
inline constexpr Exchange<CalendarRequest, CalendarReply> kMonthCalendar{3493, 8493, "month calendar"};
inline constexpr Exchange<LiveSourceRequest, LiveSourceReply> kLiveSource{3500, 8500, "live source"};
inline constexpr Exchange<int32_t, SessionSource> kSessionSource{3502, 8502, "session source"};
inline constexpr Exchange<NoPayload, StreamAddressRecord> kStreamAddresses{3503, 8503, "stream addresses", 0};
inline constexpr Exchange<NoPayload, ExternalPorts> kExternalPorts{3506, 8506, "external ports"};
inline constexpr Exchange<NoPayload, int32_t> kPlaybackBusy{4011, 9011, "playback busy"};  // non-zero = busy

}  // namespace playback
