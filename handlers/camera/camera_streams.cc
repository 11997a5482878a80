// Settings kept in the camera, passed through the core: the main, sub and extra streams, single
// settings of the camera's own web interface, the camera's audio, and a few small camera queries.
// Nothing here is stored in the configuration database.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "common/json_fields.h"
#include "common/reply.h"
#include "handlers/camera/camera_core.h"
#include "handlers/camera/camera_messages.h"
#include "handlers/camera/camera_module.h"
#include "handlers/video/video_common.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

// "/2009" serves the channels of the first camera page only.
constexpr int32_t kPagedChannelMax = 7;
constexpr int32_t kChannelMax = kMaxChannels - 1;
// Changing a camera's rate control restarts its encoder; the camera needs this long first.
constexpr auto kRateControlPause = std::chrono::seconds(2);

void reply_text(const char* text) { write_reply(REPLY_TEXT, text); }

// The "OK"/"ERROR" answer of a camera-side set whose reply is one int32 status.
void reply_status_word(const ReplyBytes& reply) {
  reply_text(reader_of(reply).int32_at(0, -1) == 0 ? "OK" : "ERROR");
}

// {"<key>": the int32 at the start of the reply}.
void reply_int_object(const char* key, const ReplyBytes& reply) {
  JsonPtr o(json_object_new_object());
  add_int(o.get(), key, reader_of(reply).int32_at(0));
  reply_json(o.get());
}

// {"<key>": 64 '0'/'1' characters} of the 64-bit mask at the start of the reply.
void reply_mask_object(const char* key, const ReplyBytes& reply) {
  ChannelMask64 mask{};
  reader_of(reply).read(0, &mask);
  char text[65];
  mask_text(mask.bits(), text);
  JsonPtr o(json_object_new_object());
  json_object_object_add(o.get(), key, json_object_new_string(text));
  reply_json(o.get());
}

// ---- Stream description ---------------------------------------------------------------------

// One stream of a description: its resolution list (up to the first pair holding a zero), the
// index of the current size in it, its ranges and current settings.
json_object* stream_json(const StreamDescription& d, int pairs, int ranges, int current) {
  const int32_t width = d.w[current];
  const int32_t height = d.w[current + 1];
  json_object* list = json_object_new_array();
  int current_index = -1;
  for (int i = 0; i < kStreamResolutionPairs; ++i) {
    const int32_t w = d.w[pairs + 2 * i];
    const int32_t h = d.w[pairs + 2 * i + 1];
    if (w == 0 || h == 0) break;
    char name[32];
    std::snprintf(name, sizeof name, "%d*%d", static_cast<int>(w), static_cast<int>(h));
    json_object* r = json_object_new_object();
    add_int(r, "width", w);
    add_int(r, "height", h);
    json_object_object_add(r, "name", json_object_new_string(name));
    json_object_array_add(list, r);
    if (current_index < 0 && w == width && h == height) current_index = i;
  }
  json_object* o = json_object_new_object();
  add_int(o, "curRes", std::max(current_index, 0));
  json_object_object_add(o, "res", list);
  add_int(o, "framerateMax", d.w[ranges]);
  add_int(o, "framerateMin", d.w[ranges + 1]);
  add_int(o, "bitrateMax", d.w[ranges + 2]);
  add_int(o, "bitrateMin", d.w[ranges + 3]);
  add_int(o, "framerate", d.w[current + 2]);
  add_int(o, "bitrate", d.w[current + 3]);
  add_int(o, "iframeinterval", d.w[current + 4]);
  add_int(o, "bitrateCtrl", d.w[current + 5]);
  return o;
}

// ---- Stream settings --------------------------------------------------------------------------

StreamSettings unchanged_stream_settings() {
  StreamSettings s{};
  std::memset(s.channels, '0', kMaxChannels);
  s.transmit_protocol = -1;
  s.sync_time = -1;
  s.reserved76 = -1;
  s.smart_stream = -1;
  s.smart_stream_level = -1;
  s.record_type = -1;
  s.et_framerate = -1;
  s.et_iframe_interval = -1;
  s.et_bitrate = -1;
  s.sub_smart_stream = -1;
  s.sub_smart_stream_level = -1;
  std::fill(std::begin(s.tail), std::end(s.tail), -1);
  return s;
}

void send_stream_settings(const StreamSettings& settings, int error_kind) {
  const auto reply = ask_core(kMsgStreamSet, settings, kReplyStreamSet, sizeof(ChannelMask64), error_kind);
  if (reply) reply_mask_object("res", *reply);
}

// ---- Audio --------------------------------------------------------------------------------------

json_object* audio_config_json(const AudioConfig& c) {
  json_object* o = json_object_new_object();
  add_int(o, "chnid", c.chnid);
  add_int(o, "audioEnable", c.audio_enable);
  add_int(o, "audioMode", c.audio_mode);
  add_int(o, "denoise", c.denoise);
  add_int(o, "encoding", c.encoding);
  add_int(o, "sampleRate", c.sample_rate);
  add_int(o, "inputGain", c.input_gain);
  add_int(o, "inputMode", c.input_mode);
  add_int(o, "audioGainControl", c.audio_gain_control);
  add_int(o, "outputVolume", c.output_volume);
  add_int(o, "audioBitrate", c.audio_bitrate);
  return o;
}

// A count from the camera, kept within what its table holds.
int clamped_count(int32_t count, int capacity) { return std::clamp<int32_t>(count, 0, capacity); }

json_object* audio_options_json(const AudioDescription& d) {
  json_object* options = json_object_new_array();
  for (int i = 0; i < clamped_count(d.option_count, kAudioEncodeOptions); ++i) {
    const AudioEncodeOption& option = d.options[i];
    json_object* rates = json_object_new_array();
    for (int r = 0; r < clamped_count(option.sample_rate_count, kAudioSampleRates); ++r) {
      const AudioSampleRate& rate = option.sample_rates[r];
      json_object* bitrates = json_object_new_array();
      for (int b = 0; b < clamped_count(rate.bitrate_count, kAudioBitrates); ++b) {
        json_object_array_add(bitrates, json_object_new_int(rate.bitrates[b]));
      }
      json_object* o = json_object_new_object();
      add_int(o, "sampleRateValue", rate.value);
      json_object_object_add(o, "bitrateInfo", bitrates);
      json_object_array_add(rates, o);
    }
    json_object* o = json_object_new_object();
    add_int(o, "encodeValue", option.encode_value);
    json_object_object_add(o, "sampleRateInfo", rates);
    json_object_array_add(options, o);
  }
  return options;
}

// The channel mask of an audio set: every position 0..63 of `channels` holding '1' (up to the
// text's end), and always `channel`.
ChannelMask64 audio_channel_mask(std::string_view channels, int32_t channel) {
  ChannelMask64 mask{};
  const size_t n = std::min<size_t>(channels.size(), kMaxChannels);
  for (size_t i = 0; i < n; ++i) {
    if (channels[i] == '1') mask.set(static_cast<int>(i));
  }
  mask.set(channel);
  return mask;
}

}  // namespace

// ---- Streams ------------------------------------------------------------------------------------

void stream_read_handler(const char* argument) {
  int32_t channel = -1;
  if (!read_channel_member(argument, "chnid", kPagedChannelMax, &channel)) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  const auto reply = ask_core(kMsgStreamRead, channel, kReplyStreamRead, sizeof(StreamDescription), REPLY_JSON);
  if (!reply) return;
  StreamDescription d{};
  reader_of(*reply).record(0, &d);
  namespace sw = stream_word;
  JsonPtr out(json_object_new_object());
  json_object* o = out.get();
  add_int(o, "stateCode", d.w[sw::kStateCode]);
  if (d.w[sw::kStateCode] == 0) {
    CameraRecord camera{};
    read_camera(kZvdbPath, &camera, channel);
    char name[kOsdNameSize];
    read_osd_name(kZvdbPath, channel, name, sizeof name);
    IpcModelRecord model{};
    read_ipc_model(kZvdbPath, &model, camera.cam_protocol);
    add_int(o, "id", d.w[sw::kChannel]);
    add_text(o, "name", name);
    add_int(o, "subEnable", d.w[sw::kSubEnable]);
    add_int(o, "audioEnable", d.w[sw::kAudioEnable]);
    add_int(o, "videoTypeEnable", d.w[sw::kVideoTypeEnable]);
    add_int(o, "mainVideoType", d.w[sw::kMainVideoType]);
    add_int(o, "subVideoType", d.w[sw::kSubVideoType]);
    add_int(o, "ipc_type", d.w[sw::kCameraType]);
    add_int(o, "syncTime", camera.sync_time);
    add_int(o, "protocol", model.protocol);
    add_int(o, "managePort", camera.manage_port);
    add_int(o, "physicalport", camera.physical_port);
    add_int(o, "poechannel", camera.poe_channel);
    add_text(o, "mac_addr", camera.mac_addr);
    add_int(o, "transmitProtocol", camera.transmit_protocol);
    add_text(o, "ddns", camera.ddns);
    add_int(o, "mainStream", d.w[sw::kMainStream]);
    add_int(o, "subStream", d.w[sw::kSubStream]);
    add_int(o, "SupportSmartStream", d.w[sw::kSmartStreamSupport]);
    add_int(o, "SmartStream", d.w[sw::kSmartStream]);
    add_int(o, "SmartStreamLevel", d.w[sw::kSmartStreamLevel]);
    add_int(o, "SubSupportSmartStream", d.w[sw::kSubSmartStreamSupport]);
    add_int(o, "SubSmartStream", d.w[sw::kSubSmartStream]);
    add_int(o, "SubSmartStreamLevel", d.w[sw::kSubSmartStreamLevel]);
    json_object_object_add(o, "main", stream_json(d, sw::kMainPairs, sw::kMainRanges, sw::kMainCurrent));
    json_object_object_add(o, "sub", stream_json(d, sw::kSubPairs, sw::kSubRanges, sw::kSubCurrent));
  }
  reply_json(o);
}

void stream_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  StreamSettings s = unchanged_stream_settings();
  int32_t channel = -1;
  int32_t audio_enable = 0;
  if (!read_json_members(request.get(), {
          int_member("id", &channel).required().range(0, kChannelMax),
          int_member("mainFramerate", &s.main_framerate).required().min(0),
          int_member("mainBitrate", &s.main_bitrate).required().min(0),
          int_member("subEnable", &s.sub_enable).required(),
          int_member("audioEnable", &audio_enable).required().range(0, 1),
          int_member("mainResWidth", &s.main_res_width).required().min(0),
          int_member("mainResHeight", &s.main_res_height).required().min(0),
          int_member("videoTypeEnable", &s.video_type_enable),
          int_member("fisheyeType", &s.fisheye_type),
          int_member("mainVideoType", &s.main_video_type),
          int_member("IframeInterval", &s.main_iframe_interval),
          int_member("bitrateControl", &s.main_bitrate_control),
          int_member("SmartStream", &s.smart_stream),
          int_member("SmartStreamLevel", &s.smart_stream_level),
          int_member("recordtype", &s.record_type),
          int_member("etframerate", &s.et_framerate),
          int_member("etIframeinterval", &s.et_iframe_interval),
          int_member("etbitrate", &s.et_bitrate),
          int_member("subVideoType", &s.sub_video_type),
          int_member("subResWidth", &s.sub_res_width),
          int_member("subResHeight", &s.sub_res_height),
          int_member("subFramerate", &s.sub_framerate),
          int_member("subBitrate", &s.sub_bitrate),
          int_member("subIframeInterval", &s.sub_iframe_interval),
          int_member("SubBitrateControl", &s.sub_bitrate_control),
          int_member("SubSmartStream", &s.sub_smart_stream),
          int_member("SubSmartStreamLevel", &s.sub_smart_stream_level),
      })) {
    return;
  }
  s.channels[channel] = '1';
  send_stream_settings(s, REPLY_TEXT);
}

void stream_set_multi_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  StreamSettings s = unchanged_stream_settings();
  json_object* chans = nullptr;
  if (!read_json_members(request.get(), {
          array_member("chans", &chans).required(),
          int_member("transmitProtocol", &s.transmit_protocol),
          int_member("syncTime", &s.sync_time),
          int_member("subEnable", &s.sub_enable),
          int_member("mainVideoType", &s.main_video_type),
          int_member("mainResWidth", &s.main_res_width),
          int_member("mainResHeight", &s.main_res_height),
          int_member("mainFramerate", &s.main_framerate),
          int_member("mainBitrate", &s.main_bitrate),
          int_member("IframeInterval", &s.main_iframe_interval),
          int_member("mainBitrateControl", &s.main_bitrate_control),
          int_member("subVideoType", &s.sub_video_type),
          int_member("subResWidth", &s.sub_res_width),
          int_member("subResHeight", &s.sub_res_height),
          int_member("subFramerate", &s.sub_framerate),
          int_member("subBitrate", &s.sub_bitrate),
          int_member("subIframeInterval", &s.sub_iframe_interval),
          int_member("subBitrateControl", &s.sub_bitrate_control),
      })) {
    return;
  }
  s.video_type_enable = 1;
  const size_t listed = std::min<size_t>(json_array_size(chans), kMaxChannels);
  for (size_t i = 0; i < listed; ++i) {
    int32_t value = 0;
    if (json_value_int(json_array_at(chans, i), &value) && value != 0) s.channels[i] = '1';
  }
  send_stream_settings(s, REPLY_JSON);
}

void extra_stream_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t query[2] = {-1, 0};
  if (!request || !read_json_members(request.get(), {
                      int_member("chnid", &query[0]).required().range(0, kChannelMax),
                      int_member("fisheyeType", &query[1]),
                  })) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  const auto reply = ask_core(kMsgExtraStreamRead, query, kReplyExtraStream, sizeof(ExtraStream), REPLY_JSON);
  if (!reply) return;
  ExtraStream extra{};
  reader_of(*reply).record(0, &extra);
  JsonPtr o(json_object_new_object());
  add_int(o.get(), "chnid", extra.chnid);
  add_int(o.get(), "enable", extra.enable);
  add_int(o.get(), "framerate", extra.framerate);
  add_int(o.get(), "bitrate", extra.bitrate);
  add_int(o.get(), "iframeinterval", extra.iframe_interval);
  reply_json(o.get());
}

void extra_stream_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  ExtraStream extra{};
  if (!request || !read_json_members(request.get(), {
                      int_member("chnid", &extra.chnid).required().range(0, kChannelMax),
                      int_member("enable", &extra.enable),
                      int_member("framerate", &extra.framerate),
                      int_member("bitrate", &extra.bitrate),
                      int_member("iframeinterval", &extra.iframe_interval),
                  })) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  const auto reply = ask_core(kMsgExtraStreamSet, extra, kReplyExtraStreamSet, sizeof(int32_t), REPLY_JSON);
  if (reply) reply_int_object("res", *reply);
}

// ---- Camera web parameters ----------------------------------------------------------------------

namespace {

// Reads the members of a web-parameter request; the channel must be named (a missing one must not
// address the camera of channel 0).
bool read_web_param(const char* argument, bool with_value, CameraWebParam* out) {
  JsonPtr request = parse_request(argument);
  if (!request) return false;
  CameraWebParam p{};
  std::vector<JsonMember> members = {
      int_member("id", &p.channel).required(),
      text_member("pagename", p.pagename),
      text_member("httpname", p.httpname),
      text_member("key", p.key),
  };
  if (with_value) members.push_back(text_member("value", p.value));
  if (!read_json_members(request.get(), members)) return false;
  *out = p;
  return true;
}

}  // namespace

void web_param_read_handler(const char* argument) {
  CameraWebParam param;
  if (!read_web_param(argument, false, &param)) return;
  const auto reply = ask_core(kMsgWebParamRead, param, kReplyWebParamRead, sizeof(CameraWebParamReply), REPLY_TEXT);
  if (!reply) return;
  CameraWebParamReply r{};
  reader_of(*reply).record(0, &r);
  JsonPtr o(json_object_new_object());
  add_int(o.get(), "id", r.id);
  add_text(o.get(), "pagename", r.pagename);
  add_text(o.get(), "httpname", r.httpname);
  add_text(o.get(), "key", r.key);
  add_text(o.get(), "value", r.value);
  reply_json(o.get());
}

void web_param_set_handler(const char* argument) {
  CameraWebParam param;
  if (!read_web_param(argument, true, &param)) return;
  const std::string_view key = field_text(param.key);
  if (key == "ratecontrol1" || key == "ratecontrol2") std::this_thread::sleep_for(kRateControlPause);
  const auto reply = ask_core(kMsgWebParamSet, param, kReplyWebParamSet, sizeof(int32_t), REPLY_TEXT);
  if (reply) reply_status_word(*reply);
}

// ---- Audio ----------------------------------------------------------------------------------------

void audio_read_handler(const char* argument) {
  int32_t channel = -1;
  if (!read_channel_member(argument, "chnid", kChannelMax, &channel)) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  const auto reply = ask_core(kMsgAudioRead, channel, kReplyAudioRead, sizeof(AudioDescription), REPLY_JSON);
  if (!reply) return;
  auto d = std::make_unique<AudioDescription>();
  reader_of(*reply).record(0, d.get());
  JsonPtr o(json_object_new_object());
  add_int(o.get(), "res", d->res);
  add_int(o.get(), "support", d->support);
  add_int(o.get(), "supportMode", d->support_mode);
  add_int(o.get(), "supportInputMode", d->support_input_mode);
  json_object_object_add(o.get(), "config", audio_config_json(d->config));
  json_object_object_add(o.get(), "options", audio_options_json(*d));
  reply_json(o.get());
}

void audio_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  AudioSettings s{};
  AudioConfig& c = s.config;
  char channels[kMaxChannels + 1];
  if (!request || !read_json_members(request.get(), {
                      int_member("chnid", &c.chnid).required().range(0, kChannelMax),
                      int_member("audioEnable", &c.audio_enable),
                      int_member("audioMode", &c.audio_mode),
                      int_member("denoise", &c.denoise),
                      int_member("encoding", &c.encoding),
                      int_member("sampleRate", &c.sample_rate),
                      int_member("inputGain", &c.input_gain),
                      int_member("inputMode", &c.input_mode),
                      int_member("audioGainControl", &c.audio_gain_control),
                      int_member("outputVolume", &c.output_volume),
                      int_member("audioBitrate", &c.audio_bitrate),
                      text_member("channels", channels),
                  })) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  s.channels = audio_channel_mask(channels, c.chnid);
  const auto reply = ask_core(kMsgAudioSet, s, kReplyAudioSet, sizeof(int32_t), REPLY_JSON);
  if (reply) reply_status_word(*reply);
}

void audio_support_handler(const char* argument) {
  int32_t channel = -1;
  if (!read_channel_member(argument, "chnid", kChannelMax, &channel)) {
    reply_cgi_error(REPLY_JSON);
    return;
  }
  const auto reply = ask_core(kMsgAudioSupport, channel, kReplyAudioSupport, sizeof(AudioSupport), REPLY_JSON);
  if (!reply) return;
  AudioSupport a{};
  reader_of(*reply).record(0, &a);
  JsonPtr o(json_object_new_object());
  add_int(o.get(), "res", a.res);
  add_int(o.get(), "audioSupport", a.audio_support);
  add_int(o.get(), "audioSupportMode", a.audio_support_mode);
  add_int(o.get(), "audioLineInputSupport", a.line_input_support);
  add_int(o.get(), "systemSpeakerSupport", a.system_speaker_support);
  add_int(o.get(), "systemManualSpeedSupport", a.system_manual_speed_support);
  reply_json(o.get());
}

// ---- Small camera queries -----------------------------------------------------------------------

void camera_type_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = 0;
  if (!request || !read_json_members(request.get(), {int_member("id", &channel).required()})) return;
  const auto reply = ask_core(kMsgCameraType, channel, kReplyCameraType, sizeof(int32_t), REPLY_TEXT);
  if (reply) reply_int_object("type", *reply);
}

void ui_command_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  char command[kUiCommandSize] = {};
  if (!request || !read_json_members(request.get(), {text_member("cmd", command).required()})) return;
  const auto reply = ask_core(kMsgUiCommand, command, kReplyUiCommand, kUiCommandReplyTextOffset, REPLY_TEXT);
  if (!reply) return;
  const PayloadReader payload = reader_of(*reply);
  const size_t text_width =
      payload.length() > kUiCommandReplyTextOffset ? payload.length() - kUiCommandReplyTextOffset : 0;
  const std::string_view result = payload.text(kUiCommandReplyTextOffset, text_width);
  JsonPtr o(json_object_new_object());
  json_object_object_add(o.get(), "result",
                         json_object_new_string_len(result.data(), static_cast<int>(result.size())));
  reply_json(o.get());
}

void chip_code_handler(const char* /*argument*/) {
  const auto reply = ask_core(kMsgChipCode, nullptr, 0, kReplyChipCode, 0, REPLY_TEXT);
  if (!reply) return;
  const PayloadReader payload = reader_of(*reply);
  const std::string_view code = payload.text(0, payload.length());
  JsonPtr o(json_object_new_object());
  json_object_object_add(o.get(), "chip_code",
                         json_object_new_string_len(code.data(), static_cast<int>(code.size())));
  reply_json(o.get());
}

void motion_state_handler(const char* /*argument*/) {
  const auto reply = ask_core(kMsgMotionState, nullptr, 0, kReplyMotionState, sizeof(ChannelMask64), REPLY_TEXT);
  if (reply) reply_mask_object("Motion", *reply);
}

void camera_list_handler(const char* /*argument*/) {
  const auto reply = ask_core(kMsgCameraList, nullptr, 0, kReplyCameraList, 0, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reader_of(*reply);
  JsonPtr o(json_object_new_object());
  json_object* list = json_object_new_array();
  const size_t count = payload.record_count<CameraListEntry>(kMaxChannels);
  for (size_t i = 0; i < count; ++i) {
    CameraListEntry entry;
    if (!payload.record(i, &entry)) break;
    json_object* e = json_object_new_object();
    add_int(e, "chnid", entry.chnid);
    add_text(e, "ipaddr", entry.ip_addr);
    add_text(e, "model", entry.model);
    add_text(e, "fwversion", entry.fw_version);
    json_object_array_add(list, e);
  }
  json_object_object_add(o.get(), "IPC", list);
  reply_json(o.get());
}
