// Messages that the camera handlers exchange with the core: the fixed little-endian payload
// records, each with its schema (layout check, and the JSON form where a handler reads or prints
// it), and every message declared once at the end (common/exchange.h). Same bytes on the 32-bit
// device and on the development host. The core answers message N with N + 5000.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "common/messages/video.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvrecord/schema.h"

// Channels a camera-side request addresses: 0..63.
constexpr int kCameraSideChannelMax = 63;

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
// The JSON form is one camera of the "/2001" reply (printed in that reply's own order).
ZV_SCHEMA(CameraStatusRecord,
          ZV_FIELD(id, "id"),
          ZV_FIELD(manage_port, "managePort"),
          ZV_FIELD(cam_protocol, "camProtocol"),
          ZV_FIELD(state, "state"),
          ZV_FIELD(main_rtsp_port, "mainRtspPort"),
          ZV_FIELD(ip_addr, "ipAddr"),
          ZV_FIELD(vendor, "vendor"),
          ZV_FIELD(sn, "sn"),
          ZV_FIELD(fw_version, "fwVersion"),
          ZV_FIELD(mac, "mac"),
          ZV_FIELD(model, "model"),
          ZV_FIELD(poe_channel, "poechannel"),
          ZV_FIELD(physical_port, "physicalport"),
          ZV_FIELD(alarm_in, "alarmin"),
          ZV_FIELD(alarm_out, "alarmout"),
          ZV_FIELD(white_led, "whiteLed"),
          ZV_FIELD(led_alarm, "ledAlarm"),
          ZV_FIELD(led_manual, "ledManual"),
          ZV_FIELD(minor_id, "minorid"),
          ZV_FIELD(sub_state, "subState"),
          ZV_FIELD(connect_state, "connectState"),
          ZV_FIELD(sn_real, "snReal"),
          ZV_FIELD(ddns, "ddns"));
static_assert(sizeof(CameraStatusRecord) == 976);

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
ZV_SCHEMA(CameraLogDetail,
          ZV_INTERNAL(action), ZV_INTERNAL(ip_addr), ZV_INTERNAL(manage_port), ZV_INTERNAL(channel),
          ZV_RESERVED(reserved0), ZV_INTERNAL(protocol), ZV_INTERNAL(transport),
          ZV_RESERVED(reserved1), ZV_INTERNAL(sync_time), ZV_RESERVED(reserved2));
static_assert(sizeof(CameraLogDetail) == 176);

// One camera of the core's camera list (records of reply 7505).
struct CameraListEntry {
  int32_t chnid;
  char reserved[8];
  char ip_addr[32];
  char model[64];
  char fw_version[56];
};
ZV_SCHEMA(CameraListEntry,
          ZV_FIELD(chnid, "chnid"),
          ZV_RESERVED(reserved),
          ZV_FIELD(ip_addr, "ipaddr"),
          ZV_FIELD(model, "model"),
          ZV_FIELD(fw_version, "fwversion"));
static_assert(sizeof(CameraListEntry) == 164);

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
// The JSON form is the stream page's set ("/2010"): the channel is the request's "id", the
// protocol, clock and tail words are not read (they stay -1, unchanged); the smart-stream,
// record-type and extra-stream words the request leaves out stay -1 too (the camera keeps its own).
ZV_SCHEMA(StreamSettings,
          ZV_INTERNAL(channels),
          ZV_INTERNAL(transmit_protocol),
          ZV_INTERNAL(sync_time),
          ZV_RESERVED(reserved76),
          ZV_FIELD(video_type_enable, "videoTypeEnable"),
          ZV_FIELD(sub_enable, "subEnable").required(),
          ZV_FIELD(fisheye_type, "fisheyeType"),
          ZV_RESERVED(reserved92),
          ZV_FIELD(main_video_type, "mainVideoType"),
          ZV_FIELD(main_res_width, "mainResWidth").required().at_least(0),
          ZV_FIELD(main_res_height, "mainResHeight").required().at_least(0),
          ZV_FIELD(main_framerate, "mainFramerate").required().at_least(0),
          ZV_FIELD(main_bitrate, "mainBitrate").required().at_least(0),
          ZV_FIELD(main_iframe_interval, "IframeInterval"),
          ZV_FIELD(main_bitrate_control, "bitrateControl"),
          ZV_FIELD(smart_stream, "SmartStream").keep_if_absent(),
          ZV_FIELD(smart_stream_level, "SmartStreamLevel").keep_if_absent(),
          ZV_FIELD(record_type, "recordtype").keep_if_absent(),
          ZV_FIELD(et_framerate, "etframerate").keep_if_absent(),
          ZV_FIELD(et_iframe_interval, "etIframeinterval").keep_if_absent(),
          ZV_FIELD(et_bitrate, "etbitrate").keep_if_absent(),
          ZV_RESERVED(reserved148),
          ZV_FIELD(sub_video_type, "subVideoType"),
          ZV_FIELD(sub_res_width, "subResWidth"),
          ZV_FIELD(sub_res_height, "subResHeight"),
          ZV_FIELD(sub_framerate, "subFramerate"),
          ZV_FIELD(sub_bitrate, "subBitrate"),
          ZV_FIELD(sub_iframe_interval, "subIframeInterval"),
          ZV_FIELD(sub_bitrate_control, "SubBitrateControl"),
          ZV_FIELD(sub_smart_stream, "SubSmartStream").keep_if_absent(),
          ZV_FIELD(sub_smart_stream_level, "SubSmartStreamLevel").keep_if_absent(),
          ZV_INTERNAL(tail));
static_assert(sizeof(StreamSettings) == 204);

// The stream capabilities and settings of one camera (reply 8204): 148 int32 words.
constexpr int kStreamResolutionPairs = 24;
struct StreamDescription {
  int32_t w[148];
};
ZV_SCHEMA(StreamDescription, ZV_INTERNAL(w));  // printed word by word ("/2009")
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

// The extra-stream query of a channel (payload of 1217).
struct ExtraStreamQuery {
  int32_t chnid;
  int32_t fisheye_type;
};
ZV_SCHEMA(ExtraStreamQuery,
          ZV_FIELD(chnid, "chnid").required().range(0, kCameraSideChannelMax),
          ZV_FIELD(fisheye_type, "fisheyeType"));
static_assert(sizeof(ExtraStreamQuery) == 8);

// The extra stream of a channel (payload of 1218, reply 6217); the JSON form is both the set
// request ("/2061") and the read reply ("/2060").
struct ExtraStream {
  int32_t chnid;
  int32_t reserved;
  int32_t enable;
  int32_t framerate;
  int32_t bitrate;
  int32_t iframe_interval;
};
ZV_SCHEMA(ExtraStream,
          ZV_FIELD(chnid, "chnid").required().range(0, kCameraSideChannelMax),
          ZV_RESERVED(reserved),
          ZV_FIELD(enable, "enable"),
          ZV_FIELD(framerate, "framerate"),
          ZV_FIELD(bitrate, "bitrate"),
          ZV_FIELD(iframe_interval, "iframeinterval"));
static_assert(sizeof(ExtraStream) == 24);

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
// The JSON form is the set request ("/2024"); the read ("/2023") takes it without "value". The
// channel must be named: a missing one must not address the camera of channel 0; nor may the key
// or the value be missing (the camera would be asked for, or given, the text "(null)").
ZV_SCHEMA(CameraWebParam,
          ZV_FIELD(channel, "id").required().range(0, kCameraSideChannelMax),
          ZV_FIELD(pagename, "pagename"),
          ZV_FIELD(httpname, "httpname"),
          ZV_FIELD(key, "key").required(),
          ZV_FIELD(value, "value").required(),
          ZV_RESERVED(reserved));
static_assert(sizeof(CameraWebParam) == 392);

// The camera's answer to a read (reply 8225).
struct CameraWebParamReply {
  int32_t id;
  int32_t reserved;
  char pagename[64];
  char httpname[64];
  char key[128];
  char value[128];
};
ZV_SCHEMA(CameraWebParamReply,
          ZV_FIELD(id, "id"),
          ZV_RESERVED(reserved),
          ZV_FIELD(pagename, "pagename"),
          ZV_FIELD(httpname, "httpname"),
          ZV_FIELD(key, "key"),
          ZV_FIELD(value, "value"));
static_assert(sizeof(CameraWebParamReply) == 392);

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
// The JSON form is both the set request ("/2064") and the "config" object of the read ("/2063").
ZV_SCHEMA(AudioConfig,
          ZV_FIELD(chnid, "chnid").required().range(0, kCameraSideChannelMax),
          ZV_FIELD(audio_enable, "audioEnable"),
          ZV_FIELD(audio_mode, "audioMode"),
          ZV_FIELD(denoise, "denoise"),
          ZV_FIELD(encoding, "encoding"),
          ZV_FIELD(sample_rate, "sampleRate"),
          ZV_FIELD(input_gain, "inputGain"),
          ZV_FIELD(input_mode, "inputMode"),
          ZV_FIELD(audio_gain_control, "audioGainControl"),
          ZV_FIELD(output_volume, "outputVolume"),
          ZV_FIELD(audio_bitrate, "audioBitrate"));
static_assert(sizeof(AudioConfig) == 44);

// Audio settings sent to the cameras of the mask (3372).
struct AudioSettings {
  ChannelMask64 channels;  // a 64-bit mask, low word first
  AudioConfig config;
  int32_t reserved;
};
ZV_SCHEMA(AudioSettings, ZV_INTERNAL(channels), ZV_INTERNAL(config), ZV_RESERVED(reserved));
static_assert(sizeof(AudioSettings) == 56);

constexpr int kAudioEncodeOptions = 9;
constexpr int kAudioSampleRates = 9;
constexpr int kAudioBitrates = 16;

struct AudioSampleRate {
  int32_t value;
  int32_t bitrate_count;
  int32_t bitrates[kAudioBitrates];
};
// The lists below are printed up to their counts (clamped to the arrays), not as whole arrays.
ZV_SCHEMA(AudioSampleRate,
          ZV_FIELD(value, "sampleRateValue"), ZV_INTERNAL(bitrate_count), ZV_INTERNAL(bitrates));
static_assert(sizeof(AudioSampleRate) == 72);

struct AudioEncodeOption {
  int32_t encode_value;
  int32_t sample_rate_count;
  AudioSampleRate sample_rates[kAudioSampleRates];
};
ZV_SCHEMA(AudioEncodeOption,
          ZV_FIELD(encode_value, "encodeValue"), ZV_INTERNAL(sample_rate_count),
          ZV_INTERNAL(sample_rates));
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
// The JSON form is the head of the "/2063" reply; "config" and "options" follow it.
ZV_SCHEMA(AudioDescription,
          ZV_FIELD(res, "res"),
          ZV_FIELD(support, "support"),
          ZV_FIELD(support_mode, "supportMode"),
          ZV_FIELD(support_input_mode, "supportInputMode"),
          ZV_INTERNAL(option_count),
          ZV_INTERNAL(options),
          ZV_INTERNAL(config));
static_assert(sizeof(AudioDescription) == 5968);

// The audio abilities of a camera and the system (reply 8376).
struct AudioSupport {
  int32_t res;
  int32_t audio_support;
  int32_t audio_support_mode;
  int32_t line_input_support;
  int32_t system_speaker_support;
  int32_t system_manual_speed_support;
};
ZV_SCHEMA(AudioSupport,
          ZV_FIELD(res, "res"),
          ZV_FIELD(audio_support, "audioSupport"),
          ZV_FIELD(audio_support_mode, "audioSupportMode"),
          ZV_FIELD(line_input_support, "audioLineInputSupport"),
          ZV_FIELD(system_speaker_support, "systemSpeakerSupport"),
          ZV_FIELD(system_manual_speed_support, "systemManualSpeedSupport"));
static_assert(sizeof(AudioSupport) == 24);

// ---- User-interface commands and small queries ----

constexpr int kUiCommandSize = 100;
constexpr size_t kUiCommandReplyTextOffset = 16;  // the reply's text starts here

// A key or menu command of the recorder's own interface (4002), at most 99 characters.
struct UiCommand {
  char cmd[kUiCommandSize];
};
ZV_SCHEMA(UiCommand, ZV_FIELD(cmd, "cmd").required());
static_assert(sizeof(UiCommand) == 100);

// Its reply (9002): 16 bytes, then the result text up to the reply's end.
struct UiCommandReply {
  int32_t status;
  int32_t reserved[3];
  char text[kUiCommandSize];
};
ZV_SCHEMA(UiCommandReply, ZV_INTERNAL(status), ZV_RESERVED(reserved), ZV_INTERNAL(text));
static_assert(sizeof(UiCommandReply) == 116);
static_assert(offsetof(UiCommandReply, text) == kUiCommandReplyTextOffset);

// The chip code (reply 9004): a text up to the reply's end.
struct ChipCode {
  char code[64];
};
ZV_SCHEMA(ChipCode, ZV_INTERNAL(code));
static_assert(sizeof(ChipCode) == 64);

// A camera's PoE switch (1206): other_switch 1 when the camera sits on another PoE switch.
struct CameraPoe {
  int32_t channel;
  int32_t other_switch;
};
ZV_SCHEMA(CameraPoe, ZV_INTERNAL(channel), ZV_INTERNAL(other_switch));
static_assert(sizeof(CameraPoe) == 8);

// ---- Messages ----

// Camera list changes: the core reads the channel's camera row again.
inline constexpr Notice<int32_t> kCameraAdded{1201, "camera added"};
inline constexpr Notice<int32_t> kCameraDeleted{1202, "camera deleted"};
inline constexpr Notice<int32_t> kCameraChanged{1203, "camera changed"};
inline constexpr Notice<CameraPoe> kCameraPoe{1206, "camera poe"};
inline constexpr Exchange<ExtraStreamQuery, ExtraStream> kExtraStreamRead{1217, 6217, "extra stream read"};
inline constexpr Exchange<ExtraStream, int32_t> kExtraStreamSet{1218, 6218, "extra stream set"};
// The camera's type: the core answers it with the message of the privacy-mask result query of the
// video pages (same payload, same reply id, one int32), declared there.
inline constexpr const auto& kCameraType = kCameraMaskResult;
// Variable-length replies: any number of whole records (none included).
inline constexpr Exchange<NoPayload, CameraListEntry> kCameraList{2505, 7505, "camera list", 0};
inline constexpr Exchange<NoPayload, CameraStatusRecord> kCameraStatus{3201, 8201, "camera status", 0};
inline constexpr Exchange<StreamSettings, ChannelMask64> kStreamSet{3203, 8203, "stream set"};
inline constexpr Exchange<int32_t, StreamDescription> kStreamRead{3204, 8204, "stream read"};
inline constexpr Exchange<CameraWebParam, CameraWebParamReply> kWebParamRead{3225, 8225, "web param read"};
inline constexpr Exchange<CameraWebParam, int32_t> kWebParamSet{3226, 8226, "web param set"};
inline constexpr Exchange<NoPayload, ChannelMask64> kMotionState{3307, 8307, "motion state"};
inline constexpr Exchange<int32_t, AudioDescription> kAudioRead{3371, 8371, "audio read"};
inline constexpr Exchange<AudioSettings, int32_t> kAudioSet{3372, 8372, "audio set"};
inline constexpr Exchange<int32_t, AudioSupport> kAudioSupport{3376, 8376, "audio support"};
inline constexpr Exchange<UiCommand, UiCommandReply> kUiCommand{4002, 9002, "ui command",
                                                                kUiCommandReplyTextOffset};
inline constexpr Exchange<NoPayload, ChipCode> kChipCode{4004, 9004, "chip code", 0};
