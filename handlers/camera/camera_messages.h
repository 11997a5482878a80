// Messages that the camera handlers exchange with the core: message ids and the fixed
// little-endian payload records, declared once with their sizes and offsets. Same bytes on the
// 32-bit device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/channel_mask.h"

// ---- Message ids (the core answers N with N + 5000) ----
constexpr int32_t kMsgCameraAdded = 1201;        // {int32 channel}
constexpr int32_t kMsgCameraDeleted = 1202;      // {int32 channel}
constexpr int32_t kMsgCameraChanged = 1203;      // {int32 channel}
constexpr int32_t kMsgCameraPoe = 1206;          // {int32 channel, int32 flag}
constexpr int32_t kMsgExtraStreamRead = 1217;    // {int32 channel, int32 fisheye type} -> 6217 ExtraStream
constexpr int32_t kMsgExtraStreamSet = 1218;     // ExtraStream -> 6218 {int32}
constexpr int32_t kMsgCameraType = 2503;         // {int32 channel} -> 7503 {int32 type}
constexpr int32_t kMsgCameraList = 2505;         // none -> 7505 CameraListEntry[]
constexpr int32_t kMsgCameraStatus = 3201;       // none -> 8201 CameraStatusRecord[]
constexpr int32_t kMsgStreamSet = 3203;          // StreamSettings -> 8203 ChannelMask64
constexpr int32_t kMsgStreamRead = 3204;         // {int32 channel} -> 8204 StreamDescription
constexpr int32_t kMsgWebParamRead = 3225;       // CameraWebParam -> 8225 CameraWebParamReply
constexpr int32_t kMsgWebParamSet = 3226;        // CameraWebParam -> 8226 {int32}
constexpr int32_t kMsgMotionState = 3307;        // none -> 8307 ChannelMask64
constexpr int32_t kMsgAudioRead = 3371;          // {int32 channel} -> 8371 AudioDescription
constexpr int32_t kMsgAudioSet = 3372;           // AudioSettings -> 8372 {int32}
constexpr int32_t kMsgAudioSupport = 3376;       // {int32 channel} -> 8376 AudioSupport
constexpr int32_t kMsgUiCommand = 4002;          // UiCommand -> 9002 {16 bytes, text}
constexpr int32_t kMsgChipCode = 4004;           // none -> 9004 text

constexpr int32_t kReplyExtraStream = 6217;
constexpr int32_t kReplyExtraStreamSet = 6218;
constexpr int32_t kReplyCameraType = 7503;
constexpr int32_t kReplyCameraList = 7505;
constexpr int32_t kReplyCameraStatus = 8201;
constexpr int32_t kReplyStreamSet = 8203;
constexpr int32_t kReplyStreamRead = 8204;
constexpr int32_t kReplyWebParamRead = 8225;
constexpr int32_t kReplyWebParamSet = 8226;
constexpr int32_t kReplyMotionState = 8307;
constexpr int32_t kReplyAudioRead = 8371;
constexpr int32_t kReplyAudioSet = 8372;
constexpr int32_t kReplyAudioSupport = 8376;
constexpr int32_t kReplyUiCommand = 9002;
constexpr int32_t kReplyChipCode = 9004;

// ---- Camera list ----

// Live state of one camera as the core knows it (records of reply 8201).
struct CameraStatusRecord {
  int32_t id;
  int32_t manage_port;
  int32_t cam_protocol;
  int32_t state;           // main stream connection state
  int32_t main_rtsp_port;
  char ip_addr[32];
  char vendor[192];
  char sn[128];            // serial number as displayed
  char fw_version[64];
  char mac[48];
  char model[324];
  int32_t poe_channel;
  int32_t physical_port;
  int32_t alarm_in;        // number of alarm inputs
  int32_t alarm_out;       // number of alarm outputs
  int32_t white_led;
  int32_t led_alarm;
  int32_t led_manual;
  int32_t minor_id;
  int32_t sub_state;       // sub stream connection state
  int32_t connect_state;
  char sn_real[64];        // full serial number
  char ddns[64];
};
static_assert(sizeof(CameraStatusRecord) == 976);
static_assert(offsetof(CameraStatusRecord, state) == 12);
static_assert(offsetof(CameraStatusRecord, main_rtsp_port) == 16);
static_assert(offsetof(CameraStatusRecord, ip_addr) == 20);
static_assert(offsetof(CameraStatusRecord, vendor) == 52);
static_assert(offsetof(CameraStatusRecord, sn) == 244);
static_assert(offsetof(CameraStatusRecord, fw_version) == 372);
static_assert(offsetof(CameraStatusRecord, mac) == 436);
static_assert(offsetof(CameraStatusRecord, model) == 484);
static_assert(offsetof(CameraStatusRecord, poe_channel) == 808);
static_assert(offsetof(CameraStatusRecord, physical_port) == 812);
static_assert(offsetof(CameraStatusRecord, alarm_in) == 816);
static_assert(offsetof(CameraStatusRecord, alarm_out) == 820);
static_assert(offsetof(CameraStatusRecord, white_led) == 824);
static_assert(offsetof(CameraStatusRecord, led_alarm) == 828);
static_assert(offsetof(CameraStatusRecord, led_manual) == 832);
static_assert(offsetof(CameraStatusRecord, minor_id) == 836);
static_assert(offsetof(CameraStatusRecord, sub_state) == 840);
static_assert(offsetof(CameraStatusRecord, connect_state) == 844);
static_assert(offsetof(CameraStatusRecord, sn_real) == 848);
static_assert(offsetof(CameraStatusRecord, ddns) == 912);

// Detail block of a camera add or edit in the operation log (packed with kind 111).
constexpr int32_t kCameraLogDetailKind = 111;
struct CameraLogDetail {
  int32_t action;        // 901 add, 903 edit
  char ip_addr[64];
  int32_t manage_port;
  int32_t channel;       // 1-based
  char reserved0[64];
  char protocol[16];     // "ONVIF", "RTSP" or "ZVSF"
  char transport[4];     // "UDP" or "TCP"
  char reserved1[12];
  uint8_t sync_time;
  char reserved2[3];
};
static_assert(sizeof(CameraLogDetail) == 176);
static_assert(offsetof(CameraLogDetail, ip_addr) == 4);
static_assert(offsetof(CameraLogDetail, manage_port) == 68);
static_assert(offsetof(CameraLogDetail, channel) == 72);
static_assert(offsetof(CameraLogDetail, protocol) == 140);
static_assert(offsetof(CameraLogDetail, transport) == 156);
static_assert(offsetof(CameraLogDetail, sync_time) == 172);

// One camera of the core's camera list (records of reply 7505).
struct CameraListEntry {
  int32_t chnid;
  char reserved[8];
  char ip_addr[32];
  char model[64];
  char fw_version[56];
};
static_assert(sizeof(CameraListEntry) == 164);
static_assert(offsetof(CameraListEntry, ip_addr) == 12);
static_assert(offsetof(CameraListEntry, model) == 44);
static_assert(offsetof(CameraListEntry, fw_version) == 108);

// ---- Streams ----

constexpr int kChannelTextSize = 68;  // 64 '0'/'1' characters, NUL, padding

// Stream settings sent to the cameras of the channel text (3203). -1 marks a value not changed.
struct StreamSettings {
  char channels[kChannelTextSize];
  int32_t transmit_protocol;
  int32_t sync_time;
  int32_t reserved76;
  int32_t video_type_enable;
  int32_t sub_enable;
  int32_t fisheye_type;
  int32_t reserved92;
  int32_t main_video_type;
  int32_t main_res_width;
  int32_t main_res_height;
  int32_t main_framerate;
  int32_t main_bitrate;
  int32_t main_iframe_interval;
  int32_t main_bitrate_control;
  int32_t smart_stream;
  int32_t smart_stream_level;
  int32_t record_type;
  int32_t et_framerate;
  int32_t et_iframe_interval;
  int32_t et_bitrate;
  int32_t reserved148;
  int32_t sub_video_type;
  int32_t sub_res_width;
  int32_t sub_res_height;
  int32_t sub_framerate;
  int32_t sub_bitrate;
  int32_t sub_iframe_interval;
  int32_t sub_bitrate_control;
  int32_t sub_smart_stream;
  int32_t sub_smart_stream_level;
  int32_t tail[4];
};
static_assert(sizeof(StreamSettings) == 204);
static_assert(offsetof(StreamSettings, transmit_protocol) == 68);
static_assert(offsetof(StreamSettings, video_type_enable) == 80);
static_assert(offsetof(StreamSettings, fisheye_type) == 88);
static_assert(offsetof(StreamSettings, main_video_type) == 96);
static_assert(offsetof(StreamSettings, main_bitrate_control) == 120);
static_assert(offsetof(StreamSettings, et_bitrate) == 144);
static_assert(offsetof(StreamSettings, sub_video_type) == 152);
static_assert(offsetof(StreamSettings, sub_bitrate_control) == 176);
static_assert(offsetof(StreamSettings, sub_smart_stream_level) == 184);
static_assert(offsetof(StreamSettings, tail) == 188);

// The stream capabilities and settings of one camera (reply 8204): 148 int32 words.
constexpr int kStreamResolutionPairs = 24;
struct StreamDescription {
  int32_t w[148];
};
static_assert(sizeof(StreamDescription) == 592);
// Word indexes.
namespace stream_word {
constexpr int kStateCode = 0;    // 0 = valid
constexpr int kChannel = 1;
constexpr int kMainPairs = 2;    // (width, height) pairs, up to 24, ending at a zero
constexpr int kMainRanges = 50;  // framerate max, min, bitrate max, min
constexpr int kMainVideoType = 54;
constexpr int kMainCurrent = 55;  // width, height, framerate, bitrate, I-frame interval, bitrate control
constexpr int kSubPairs = 61;
constexpr int kSubRanges = 109;
constexpr int kSubVideoType = 113;
constexpr int kSubCurrent = 114;
constexpr int kSubEnable = 120;
constexpr int kAudioEnable = 121;
constexpr int kVideoTypeEnable = 122;
constexpr int kCameraType = 123;
constexpr int kMainStream = 124;
constexpr int kSubStream = 125;
constexpr int kSmartStreamSupport = 126;
constexpr int kSmartStream = 127;
constexpr int kSmartStreamLevel = 128;
constexpr int kSubSmartStreamSupport = 129;
constexpr int kSubSmartStream = 130;
constexpr int kSubSmartStreamLevel = 131;
}  // namespace stream_word

// The extra stream of a channel (payload of 1218, reply 6217).
struct ExtraStream {
  int32_t chnid;
  int32_t reserved;
  int32_t enable;
  int32_t framerate;
  int32_t bitrate;
  int32_t iframe_interval;
};
static_assert(sizeof(ExtraStream) == 24);
static_assert(offsetof(ExtraStream, enable) == 8);
static_assert(offsetof(ExtraStream, iframe_interval) == 20);

// ---- Camera web parameters ----

// One setting of the camera's own web interface (3225 read, 3226 write).
struct CameraWebParam {
  int32_t channel;
  char pagename[64];
  char httpname[64];
  char key[128];
  char value[128];
  char reserved[4];
};
static_assert(sizeof(CameraWebParam) == 392);
static_assert(offsetof(CameraWebParam, pagename) == 4);
static_assert(offsetof(CameraWebParam, httpname) == 68);
static_assert(offsetof(CameraWebParam, key) == 132);
static_assert(offsetof(CameraWebParam, value) == 260);

// The camera's answer to a read (reply 8225).
struct CameraWebParamReply {
  int32_t id;
  int32_t reserved;
  char pagename[64];
  char httpname[64];
  char key[128];
  char value[128];
};
static_assert(sizeof(CameraWebParamReply) == 392);
static_assert(offsetof(CameraWebParamReply, pagename) == 8);
static_assert(offsetof(CameraWebParamReply, httpname) == 72);
static_assert(offsetof(CameraWebParamReply, key) == 136);
static_assert(offsetof(CameraWebParamReply, value) == 264);

// ---- Audio ----

// The current audio configuration of a camera (tail of 8371, body of 3372).
struct AudioConfig {
  int32_t chnid;
  int32_t audio_enable;
  int32_t audio_mode;
  int32_t denoise;
  int32_t encoding;
  int32_t sample_rate;
  int32_t input_gain;
  int32_t input_mode;
  int32_t audio_gain_control;
  int32_t output_volume;
  int32_t audio_bitrate;
};
static_assert(sizeof(AudioConfig) == 44);

// Audio settings sent to the cameras of the mask (3372).
struct AudioSettings {
  ChannelMask64 channels;  // a 64-bit mask, low word first
  AudioConfig config;
  int32_t reserved;
};
static_assert(sizeof(AudioSettings) == 56);
static_assert(offsetof(AudioSettings, config) == 8);
static_assert(offsetof(AudioSettings, reserved) == 52);

constexpr int kAudioEncodeOptions = 9;
constexpr int kAudioSampleRates = 9;
constexpr int kAudioBitrates = 16;

struct AudioSampleRate {
  int32_t value;
  int32_t bitrate_count;
  int32_t bitrates[kAudioBitrates];
};
static_assert(sizeof(AudioSampleRate) == 72);

struct AudioEncodeOption {
  int32_t encode_value;
  int32_t sample_rate_count;
  AudioSampleRate sample_rates[kAudioSampleRates];
};
static_assert(sizeof(AudioEncodeOption) == 656);

// What a camera's audio offers and how it is set (reply 8371).
struct AudioDescription {
  int32_t res;
  int32_t support;
  int32_t support_mode;
  int32_t support_input_mode;
  int32_t option_count;
  AudioEncodeOption options[kAudioEncodeOptions];
  AudioConfig config;
};
static_assert(sizeof(AudioDescription) == 5968);
static_assert(offsetof(AudioDescription, option_count) == 16);
static_assert(offsetof(AudioDescription, options) == 20);
static_assert(offsetof(AudioDescription, config) == 5924);

// The audio abilities of a camera and the system (reply 8376).
struct AudioSupport {
  int32_t res;
  int32_t audio_support;
  int32_t audio_support_mode;
  int32_t line_input_support;
  int32_t system_speaker_support;
  int32_t system_manual_speed_support;
};
static_assert(sizeof(AudioSupport) == 24);

// ---- User-interface commands ----

constexpr int kUiCommandSize = 100;
constexpr size_t kUiCommandReplyTextOffset = 16;  // the reply's text starts here
