// Message ids and payload records of playback and record download: what the web side sends to the
// core and what the core answers. Declared once here; the core simulator uses the same records.
// Every record is little-endian with fixed-width fields; texts are NUL-padded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace playback {

// ---- Message ids (requests; the core answers n with n + 5000 unless noted) ----
constexpr int32_t kMsgSessionSpeeds = 1112;    // session list with speeds
constexpr int32_t kMsgSessionResume = 1113;    // session list (count word stays 0)
constexpr int32_t kMsgSpeedByChannel = 1149;   // mask payload by channel
constexpr int32_t kMsgCurrentTime = 1153;      // int32 sid -> 6153 int32 seconds
constexpr int32_t kMsgSearch = 1159;           // SearchRequest -> 6159 SearchRecord[]
constexpr int32_t kMsgCloseSessions = 1160;    // session list
constexpr int32_t kMsgSearchPage = 1161;       // SearchPageRequest -> 6161 SearchRecord[]
constexpr int32_t kMsgStart = 1162;            // StartRequest -> 6162 int32 result
constexpr int32_t kMsgStopSessions = 1164;     // session list
constexpr int32_t kMsgPauseSessions = 1165;    // session list
constexpr int32_t kMsgDirection = 1166;        // DirectionRequest
constexpr int32_t kMsgSpeedBySession = 1167;   // mask payload by session id
constexpr int32_t kMsgStepSessions = 1170;     // session list
constexpr int32_t kMsgJump = 1171;             // JumpRequest -> 6171 int32 (0 = done)
constexpr int32_t kMsgDownload = 1173;         // DownloadRequest -> 6173 DownloadChunk, many
constexpr int32_t kMsgTranscode = 1176;        // TranscodeRequest -> 6176 TranscodeState
constexpr int32_t kMsgTranscodeState = 1177;   // TranscodeQuery -> 6177 TranscodeState
constexpr int32_t kMsgDownloadEnd = 1178;      // no payload
constexpr int32_t kMsgLiveStart = 1901;        // LiveSourceRequest (third word 0)
constexpr int32_t kMsgLiveStop = 1902;         // no payload
constexpr int32_t kMsgSessionRelease = 1903;   // int32 sid
constexpr int32_t kMsgImageAdjust = 1205;      // ImageAdjustment
constexpr int32_t kMsgImageRead = 3002;        // int32 channel -> 8002 ImageAdjustReply
constexpr int32_t kMsgMultiPlay = 3109;        // MultiPlayRequest -> 8103 MultiPlayReply
constexpr int32_t kMsgLiveSource = 3500;       // LiveSourceRequest -> 8500 LiveSourceReply
constexpr int32_t kMsgSessionSource = 3502;    // int32 sid -> 8502 SessionSource
constexpr int32_t kMsgStreamAddresses = 3503;  // no payload -> 8503 StreamAddressRecord[]
constexpr int32_t kMsgExternalPorts = 3506;    // no payload -> 8506 two int32
constexpr int32_t kMsgMonthCalendar = 3493;    // CalendarRequest -> 8493 CalendarReply
constexpr int32_t kMsgPlaybackBusy = 4011;     // no payload -> 9011 int32 (non-zero = busy)

constexpr int32_t kReplyCurrentTime = 6153;
constexpr int32_t kReplySearch = 6159;
constexpr int32_t kReplySearchPage = 6161;
constexpr int32_t kReplyStart = 6162;
constexpr int32_t kReplyJump = 6171;
constexpr int32_t kReplyDownloadChunk = 6173;
constexpr int32_t kReplyTranscode = 6176;
constexpr int32_t kReplyTranscodeState = 6177;
constexpr int32_t kReplyImageRead = 8002;
constexpr int32_t kReplyMultiPlay = 8103;      // the core's answer to 3109
constexpr int32_t kReplyMultiPlayAlt = 8109;   // 3109 + 5000, accepted the same way
constexpr int32_t kReplyCalendar = 8493;
constexpr int32_t kReplyLiveSource = 8500;
constexpr int32_t kReplySessionSource = 8502;
constexpr int32_t kReplyStreamAddresses = 8503;
constexpr int32_t kReplyExternalPorts = 8506;
constexpr int32_t kReplyPlaybackBusy = 9011;

constexpr int kMaxSessions = 64;   // entries of a session list, jump list or mask
constexpr int kMaxChannels = 64;
constexpr int kPlaybackChannels = 8;  // channels 0..7 of the single-channel playback requests

// Session list: 1112, 1113, 1160, 1164, 1165, 1170 (776 bytes, 194 int32 words).
struct SessionList {
  int32_t sid[kMaxSessions];  // words 0..63, in request order; unused entries 0
  int32_t zero;               // word 64
  int32_t speed[128];         // words 65..192: 1112 puts the speed of session i at word 65 + i
  int32_t count;              // word 193: number of session ids (stays 0 for 1113)
};
static_assert(sizeof(SessionList) == 776);
static_assert(offsetof(SessionList, zero) == 64 * 4);
static_assert(offsetof(SessionList, speed) == 65 * 4);
static_assert(offsetof(SessionList, count) == 193 * 4);

// Search of one channel's recordings (1159, 148 bytes).
struct SearchRequest {
  char channel_mask[68];  // '1' for the searched channel, '0' for the others, then NUL
  int32_t one;            // 1
  int32_t sub_stream;     // 1 when "streamType" is 1, else 0
  int32_t minus_one_a;    // -1
  int32_t minus_one_b;    // -1
  char start[32];         // "time"
  char end[32];           // "endTime"
};
static_assert(sizeof(SearchRequest) == 148);
static_assert(offsetof(SearchRequest, one) == 68);
static_assert(offsetof(SearchRequest, sub_stream) == 72);
static_assert(offsetof(SearchRequest, minus_one_a) == 76);
static_assert(offsetof(SearchRequest, minus_one_b) == 80);
static_assert(offsetof(SearchRequest, start) == 84);
static_assert(offsetof(SearchRequest, end) == 116);

// Next page of a search (1161).
struct SearchPageRequest {
  int32_t sid;
  int32_t page;
};
static_assert(sizeof(SearchPageRequest) == 8);

// One recording of a search reply (6159, 6161: an array of these).
struct SearchRecord {
  int32_t cam_id;          // 0
  int32_t sid;             // 4
  int32_t unused0;         // 8
  int32_t lock;            // 12
  int32_t unused1;         // 16
  int32_t record_type;     // 20
  char start_time[32];     // 24
  char end_time[32];       // 56
  uint8_t unused2[16];     // 88
};
static_assert(sizeof(SearchRecord) == 104);
static_assert(offsetof(SearchRecord, sid) == 4);
static_assert(offsetof(SearchRecord, lock) == 12);
static_assert(offsetof(SearchRecord, record_type) == 20);
static_assert(offsetof(SearchRecord, start_time) == 24);
static_assert(offsetof(SearchRecord, end_time) == 56);

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
static_assert(offsetof(StartRequest, sid) == 4);
static_assert(offsetof(StartRequest, start_time) == 16);
static_assert(offsetof(StartRequest, end_time) == 48);
static_assert(offsetof(StartRequest, play_time) == 80);

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
static_assert(offsetof(SessionSource, ddns_http_port) == 20);
static_assert(offsetof(SessionSource, source_path) == 24);

// Speed by channel (1149) or by session (1167), 76 bytes.
struct MaskRequest {
  char mask[64];       // '0'/'1' per channel (1149) or per session id (1167)
  int32_t zero;        // 64
  int32_t speed;       // 68
  int32_t single_fast; // 72: 1167 with speed 2 and exactly one session; else 0
};
static_assert(sizeof(MaskRequest) == 76);
static_assert(offsetof(MaskRequest, speed) == 68);
static_assert(offsetof(MaskRequest, single_fast) == 72);

// Play direction of one session (1166).
struct DirectionRequest {
  int32_t sid;
  int32_t direction;
};
static_assert(sizeof(DirectionRequest) == 8);

// Jump sessions to a time (1171, 580 bytes).
struct JumpRequest {
  int32_t chnid[kMaxSessions];  // 0
  int32_t sid[kMaxSessions];    // 256
  int32_t count;                // 512: entries filled
  char jump_time[64];           // 516
};
static_assert(sizeof(JumpRequest) == 580);
static_assert(offsetof(JumpRequest, sid) == 256);
static_assert(offsetof(JumpRequest, count) == 512);
static_assert(offsetof(JumpRequest, jump_time) == 516);

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

struct TranscodeQuery {
  int32_t ch;
  int32_t sid;
};
static_assert(sizeof(TranscodeQuery) == 8);

struct TranscodeState {
  int32_t ch;
  int32_t sid;
  int32_t state;
};
static_assert(sizeof(TranscodeState) == 12);

// Live RTSP source of a channel (3500 and, third word 0, 1901).
struct LiveSourceRequest {
  int32_t id;
  int32_t stream_type;
  int32_t stream_from;
};
static_assert(sizeof(LiveSourceRequest) == 12);

// Reply 8500: the live source.
struct LiveSourceReply {
  int32_t channel;        // 0
  int32_t port;           // 4
  uint8_t unused0[16];    // 8
  int32_t direct;         // 24
  int32_t result;         // 28: negative = failure
  uint8_t unused1[64];    // 32
  char rtsp_addr[128];    // 96
  char res_path[128];     // 224
};
static_assert(sizeof(LiveSourceReply) == 352);
static_assert(offsetof(LiveSourceReply, direct) == 24);
static_assert(offsetof(LiveSourceReply, result) == 28);
static_assert(offsetof(LiveSourceReply, rtsp_addr) == 96);
static_assert(offsetof(LiveSourceReply, res_path) == 224);

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

// Reply 8002 to 3002 (32 bytes).
struct ImageAdjustReply {
  int32_t channel;          // 0
  int32_t brightness;       // 4
  int32_t contrast;         // 8
  int32_t saturation;       // 12
  int32_t sharpness;        // 16
  int32_t noise_reduction;  // 20
  int32_t i2ddnr;           // 24
  int32_t result;           // 28: negative = failure
};
static_assert(sizeof(ImageAdjustReply) == 32);
static_assert(offsetof(ImageAdjustReply, i2ddnr) == 24);
static_assert(offsetof(ImageAdjustReply, result) == 28);

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

// Record download (1173, 72 bytes).
struct DownloadRequest {
  int32_t channel;      // "id"
  int32_t stream_type;  // "streamType"
  char start[32];       // local time "%d-%d-%d %d:%d:%d"
  char end[32];
};
static_assert(sizeof(DownloadRequest) == 72);
static_assert(offsetof(DownloadRequest, start) == 8);
static_assert(offsetof(DownloadRequest, end) == 40);

// One chunk of the download stream (6173). The 88-byte frame header is the AVI writer's
// (ZvAviFrameHeader, platform/zvavi/zvavi.h); its int32 at 40 is the frame's data size.
constexpr int32_t kChunkFirst = 0;        // `continuation` of the first chunk of a frame
constexpr int32_t kChunkEnd = -1;         // `length`: end of the recording
constexpr int32_t kChunkAbort = -2;       // `length`: the core gives up
constexpr uint32_t kChunkDataMax = 614400;
struct DownloadChunkHead {
  uint8_t frame_header[88];  // 0
  int32_t continuation;      // 88: 0 = first chunk of a new frame
  int32_t length;            // 92: data bytes that follow, or kChunkEnd / kChunkAbort
};
static_assert(sizeof(DownloadChunkHead) == 96);
static_assert(offsetof(DownloadChunkHead, continuation) == 88);
static_assert(offsetof(DownloadChunkHead, length) == 92);
constexpr uint32_t kChunkMaxBytes = sizeof(DownloadChunkHead) + kChunkDataMax;
static_assert(kChunkMaxBytes == 614496);
constexpr size_t kFrameSizeOffset = 40;  // int32 data size inside the frame header

// Month calendar (3493, 80 bytes); reply 8493 (132 bytes, words 1..31 = days 1..31).
struct CalendarRequest {
  int32_t sub_stream;   // 1 when "streamType" is 1, else 0
  int32_t year;
  int32_t month;        // 1..12
  char channel_mask[64];
  int32_t zero;
};
static_assert(sizeof(CalendarRequest) == 80);
static_assert(offsetof(CalendarRequest, channel_mask) == 12);
static_assert(offsetof(CalendarRequest, zero) == 76);

struct CalendarReply {
  int32_t word0;
  int32_t day[31];  // day[d - 1]: recordings on day d
  int32_t unused;
};
static_assert(sizeof(CalendarReply) == 132);
static_assert(offsetof(CalendarReply, day) == 4);

// Multi-channel play (3109, 68 bytes); reply 8103 (40 bytes).
struct MultiPlayRequest {
  int32_t play_time;     // seconds since the epoch of "playTime" (local time)
  char play_text[32];    // "playTime"
  int32_t mask[8];       // "mask0".."mask7"
};
static_assert(sizeof(MultiPlayRequest) == 68);
static_assert(offsetof(MultiPlayRequest, play_text) == 4);
static_assert(offsetof(MultiPlayRequest, mask) == 36);

struct MultiPlayReply {
  int32_t sid;          // 0
  char play_text[32];   // 4
  int32_t failed;       // 36: non-zero = failure
};
static_assert(sizeof(MultiPlayReply) == 40);
static_assert(offsetof(MultiPlayReply, failed) == 36);

// Reply 8506: the external ports.
struct ExternalPorts {
  int32_t upnp_extern_port;
  int32_t ddns_extern_port;
};
static_assert(sizeof(ExternalPorts) == 8);

// Reply 8503: one record per camera (1476 bytes): the camera's main and sub RTSP addresses, then
// per stream the five ports and an account block (user name at 8, password at 40, resource path
// at 328 of the block). The two port groups and blocks repeat every 480 bytes.
struct StreamAccount {
  uint8_t unused0[8];
  char username[32];    // 8
  char password[64];    // 40
  uint8_t unused1[224]; // 104
  char res_path[128];   // 328
};
static_assert(sizeof(StreamAccount) == 456);
static_assert(offsetof(StreamAccount, username) == 8);
static_assert(offsetof(StreamAccount, password) == 40);
static_assert(offsetof(StreamAccount, res_path) == 328);

struct StreamPorts {
  int32_t port;
  int32_t external_port;
  int32_t ddns_port;
  int32_t external_http_port;
  int32_t ddns_http_port;
};
static_assert(sizeof(StreamPorts) == 20);

struct StreamAddressRecord {
  int32_t channel;          // 0
  char main_rtsp[256];      // 4
  char sub_rtsp[256];       // 260
  uint8_t unused0[4];       // 516
  StreamPorts main_ports;   // 520
  StreamAccount main_account;  // 540
  uint8_t unused1[4];       // 996
  StreamPorts sub_ports;    // 1000
  StreamAccount sub_account;   // 1020
};
static_assert(sizeof(StreamAddressRecord) == 1476);
static_assert(offsetof(StreamAddressRecord, main_rtsp) == 4);
static_assert(offsetof(StreamAddressRecord, sub_rtsp) == 260);
static_assert(offsetof(StreamAddressRecord, main_ports) == 520);
static_assert(offsetof(StreamAddressRecord, main_account) == 540);
static_assert(offsetof(StreamAddressRecord, sub_ports) == 1000);
static_assert(offsetof(StreamAddressRecord, sub_account) == 1020);

}  // namespace playback
