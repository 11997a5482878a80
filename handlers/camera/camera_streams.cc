// Settings kept in the camera, passed through the core: the main, sub and extra streams, single
// settings of the camera's own web interface, the camera's audio, and a few small camera queries.
// Nothing here is stored in the configuration database.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <thread>
#include <utility>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/messages/camera.h"
#include "common/request_table.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

// "/2009" serves the channels of the first camera page only.
constexpr int32_t kPagedChannelMax = 7;
// Changing a camera's rate control restarts its encoder; the camera needs this long first.
constexpr auto kRateControlPause = std::chrono::seconds(2);

// "/2030": the members a multi-channel set may change (all optional; an absent one is sent as -1,
// unchanged: sent as 0 it would switch the cameras to UDP, clock sync and sub stream off and a
// picture of 0 x 0 at 0 frames). The picture's size, rate and bitrate are checked as the
// one-channel set checks them, -1 (unchanged) allowed.
constexpr auto kMultiStreamForm = ZV_FIELDS(
    StreamSettings, ZV_FIELD(transmit_protocol, "transmitProtocol").absent(-1),
    ZV_FIELD(sync_time, "syncTime").absent(-1), ZV_FIELD(sub_enable, "subEnable").absent(-1),
    ZV_FIELD(main_video_type, "mainVideoType").absent(-1),
    ZV_FIELD(main_res_width, "mainResWidth").absent(-1).at_least(-1),
    ZV_FIELD(main_res_height, "mainResHeight").absent(-1).at_least(-1),
    ZV_FIELD(main_framerate, "mainFramerate").absent(-1).at_least(-1),
    ZV_FIELD(main_bitrate, "mainBitrate").absent(-1).at_least(-1),
    ZV_FIELD(main_iframe_interval, "IframeInterval").absent(-1),
    ZV_FIELD(main_bitrate_control, "mainBitrateControl").absent(-1),
    ZV_FIELD(sub_video_type, "subVideoType").absent(-1), ZV_FIELD(sub_res_width, "subResWidth").absent(-1),
    ZV_FIELD(sub_res_height, "subResHeight").absent(-1), ZV_FIELD(sub_framerate, "subFramerate").absent(-1),
    ZV_FIELD(sub_bitrate, "subBitrate").absent(-1), ZV_FIELD(sub_iframe_interval, "subIframeInterval").absent(-1),
    ZV_FIELD(sub_bitrate_control, "subBitrateControl").absent(-1));

// "/2023": the set form without the value.
constexpr auto kWebParamReadForm =
    ZV_FIELDS(CameraWebParam, ZV_SCHEMA_FIELD(channel), ZV_SCHEMA_FIELD(pagename),
              ZV_SCHEMA_FIELD(httpname), ZV_SCHEMA_FIELD(key));

// The camera members of the "/2009" reply, before and after the model's protocol.
constexpr auto kStreamCameraHead = ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(sync_time));
constexpr auto kStreamCameraTail =
    ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(manage_port), ZV_SCHEMA_FIELD(physical_port),
              ZV_SCHEMA_FIELD(poe_channel), ZV_SCHEMA_FIELD(mac_addr), ZV_SCHEMA_FIELD(transmit_protocol),
              ZV_SCHEMA_FIELD(ddns));

using WordKeys = std::initializer_list<std::pair<const char*, int>>;

// Writes words of a stream description as members: key, word index.
void write_words(JsonWriter& w, const StreamDescription& d, WordKeys words) {
  for (const auto& [key, index] : words) w.key(key).value(d.w[index]);
}

// {"<key>": 64 '0'/'1' characters} of the 64-bit mask at the start of the reply.
void reply_mask_object(const char* key, const CoreReply& reply) {
  ChannelMask64 mask{};
  reply.first(&mask);
  char text[65];
  mask_text(mask.bits(), 64, text);
  JsonWriter w(96);
  reply_json(w.begin_object().key(key).value(text).end_object());
}

// {"<key>": the text of the reply from `offset` to its end (up to a NUL)}.
void reply_text_object(const char* key, const CoreReply& reply, size_t offset) {
  const PayloadReader payload = reply.reader();
  const size_t width = payload.length() > offset ? payload.length() - offset : 0;
  JsonWriter w(64 + width);
  reply_json(w.begin_object().key(key).value(payload.text(offset, width)).end_object());
}

// One stream of a description: its resolution list (up to the first pair holding a zero), the
// index of the current size in it, its ranges and current settings.
void write_stream(JsonWriter& w, const StreamDescription& d, int pairs, int ranges, int current) {
  int listed = 0;
  int current_index = -1;
  for (; listed < kStreamResolutionPairs; ++listed) {
    const int32_t width = d.w[pairs + 2 * listed];
    const int32_t height = d.w[pairs + 2 * listed + 1];
    if (width == 0 || height == 0) break;
    if (current_index < 0 && width == d.w[current] && height == d.w[current + 1]) current_index = listed;
  }
  w.begin_object().key("curRes").value(std::max(current_index, 0)).key("res").begin_array();
  for (int i = 0; i < listed; ++i) {
    const int32_t width = d.w[pairs + 2 * i];
    const int32_t height = d.w[pairs + 2 * i + 1];
    char name[32];
    std::snprintf(name, sizeof name, "%d*%d", static_cast<int>(width), static_cast<int>(height));
    w.begin_object().key("width").value(width).key("height").value(height).key("name").value(name).end_object();
  }
  w.end_array();
  write_words(w, d, {{"framerateMax", ranges}, {"framerateMin", ranges + 1}, {"bitrateMax", ranges + 2},
                     {"bitrateMin", ranges + 3}, {"framerate", current + 2}, {"bitrate", current + 3},
                     {"iframeinterval", current + 4}, {"bitrateCtrl", current + 5}});
  w.end_object();
}

// Stream settings that change nothing yet: no channel marked, -1 in the words the pages never set.
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
  const auto reply = core_ask(kStreamSet, settings, error_kind);
  if (reply) reply_mask_object("res", *reply);
}

// A count from the camera, kept within what its table holds.
int clamped_count(int32_t count, int capacity) { return std::clamp<int32_t>(count, 0, capacity); }

void write_audio_options(JsonWriter& w, const AudioDescription& d) {
  w.begin_array();
  for (int i = 0; i < clamped_count(d.option_count, kAudioEncodeOptions); ++i) {
    const AudioEncodeOption& option = d.options[i];
    w.begin_object();
    write_fields(w, option);
    w.key("sampleRateInfo").begin_array();
    for (int r = 0; r < clamped_count(option.sample_rate_count, kAudioSampleRates); ++r) {
      const AudioSampleRate& rate = option.sample_rates[r];
      w.begin_object();
      write_fields(w, rate);
      w.key("bitrateInfo").begin_array();
      for (int b = 0; b < clamped_count(rate.bitrate_count, kAudioBitrates); ++b) w.value(rate.bitrates[b]);
      w.end_array().end_object();
    }
    w.end_array().end_object();
  }
  w.end_array();
}

}  // namespace

// ---- Streams ------------------------------------------------------------------------------------

static void stream_read_handler(const char* argument) {
  int32_t channel = -1;
  if (!channel_request(argument, "chnid", kPagedChannelMax, &channel, REPLY_JSON)) return;
  const auto reply = core_ask(kStreamRead, channel, REPLY_JSON);
  if (!reply) return;
  StreamDescription d{};
  reply->first(&d);
  namespace sw = stream_word;
  JsonWriter w(4096);
  w.begin_object().key("stateCode").value(d.w[sw::kStateCode]);
  if (d.w[sw::kStateCode] == 0) {
    CameraRecord camera{};
    read_camera(kZvdbPath, &camera, channel);
    char name[kOsdNameSize];
    read_osd_name(kZvdbPath, channel, name, sizeof name);
    IpcModelRecord model{};
    read_ipc_model(kZvdbPath, &model, camera.cam_protocol);
    w.key("id").value(d.w[sw::kChannel]).key("name").field(name);
    write_words(w, d, {{"subEnable", sw::kSubEnable}, {"audioEnable", sw::kAudioEnable},
                       {"videoTypeEnable", sw::kVideoTypeEnable}, {"mainVideoType", sw::kMainVideoType},
                       {"subVideoType", sw::kSubVideoType}, {"ipc_type", sw::kCameraType}});
    write_fields(w, kStreamCameraHead.schema(), &camera);
    w.key("protocol").value(model.protocol);
    write_fields(w, kStreamCameraTail.schema(), &camera);
    write_words(w, d, {{"mainStream", sw::kMainStream}, {"subStream", sw::kSubStream},
                       {"SupportSmartStream", sw::kSmartStreamSupport}, {"SmartStream", sw::kSmartStream},
                       {"SmartStreamLevel", sw::kSmartStreamLevel},
                       {"SubSupportSmartStream", sw::kSubSmartStreamSupport},
                       {"SubSmartStream", sw::kSubSmartStream}, {"SubSmartStreamLevel", sw::kSubSmartStreamLevel}});
    w.key("main");
    write_stream(w, d, sw::kMainPairs, sw::kMainRanges, sw::kMainCurrent);
    w.key("sub");
    write_stream(w, d, sw::kSubPairs, sw::kSubRanges, sw::kSubCurrent);
  }
  reply_json(w.end_object());
}

static void stream_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  StreamSettings s = unchanged_stream_settings();
  int32_t channel = -1;
  int32_t audio_enable = 0;  // checked, not sent
  if (!request ||
      !read_json_members(request.get(), {int_member("id", &channel).required().range(0, kCameraSideChannelMax),
                                         int_member("audioEnable", &audio_enable).required().range(0, 1)}) ||
      !read_record(request.get(), &s)) {
    return;
  }
  s.channels[channel] = '1';
  send_stream_settings(s, REPLY_TEXT);
}

static void stream_set_multi_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  StreamSettings s = unchanged_stream_settings();
  json_object* chans = nullptr;
  if (!request || !read_json_members(request.get(), {array_member("chans", &chans).required()}) ||
      !read_record(request.get(), kMultiStreamForm.schema(), &s)) {
    return;
  }
  s.video_type_enable = 1;
  // Element i of "chans" marks channel i when it is a non-zero number.
  const size_t listed = std::min<size_t>(json_array_size(chans), kMaxChannels);
  for (size_t i = 0; i < listed; ++i) {
    int32_t value = 0;
    if (json_value_int(json_array_at(chans, i), &value) && value != 0) s.channels[i] = '1';
  }
  send_stream_settings(s, REPLY_JSON);
}

static void extra_stream_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  ExtraStreamQuery query{};
  if (!request || !read_record(request.get(), &query)) return (void)reply_cgi_error(REPLY_JSON);
  reply_core_record<ExtraStream>(core_ask(kExtraStreamRead, query, REPLY_JSON));
}

static void extra_stream_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  ExtraStream extra{};
  if (!request || !read_record(request.get(), &extra)) return (void)reply_cgi_error(REPLY_JSON);
  if (!keep_camera_values(request.get(), kExtraStreamRead, ExtraStreamQuery{extra.chnid, 0}, &extra, REPLY_JSON)) {
    return;
  }
  reply_core_res(core_ask(kExtraStreamSet, extra, REPLY_JSON));
}

// ---- Camera web parameters ----------------------------------------------------------------------

static void web_param_read_handler(const char* argument) {
  CameraWebParam param{};
  if (!read_request(argument, kWebParamReadForm.schema(), &param)) return;
  reply_core_record<CameraWebParamReply>(core_ask(kWebParamRead, param, REPLY_TEXT));
}

static void web_param_set_handler(const char* argument) {
  CameraWebParam param{};
  if (!read_request(argument, &param)) return;
  const std::string_view key = field_text(param.key);
  if (key == "ratecontrol1" || key == "ratecontrol2") std::this_thread::sleep_for(kRateControlPause);
  reply_status_words(core_ask(kWebParamSet, param, REPLY_TEXT), "OK", "ERROR");
}

// ---- Audio ----------------------------------------------------------------------------------------

static void audio_read_handler(const char* argument) {
  int32_t channel = -1;
  if (!channel_request(argument, "chnid", kCameraSideChannelMax, &channel, REPLY_JSON)) return;
  const auto reply = core_ask(kAudioRead, channel, REPLY_JSON);
  if (!reply) return;
  auto d = std::make_unique<AudioDescription>();
  reply->first(d.get());
  JsonWriter w(2048);
  w.begin_object();
  write_fields(w, *d);
  w.key("config");
  write_object(w, d->config);
  w.key("options");
  write_audio_options(w, *d);
  reply_json(w.end_object());
}

static void audio_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  AudioSettings s{};
  char channels[kMaxChannels + 1];
  if (!request || !read_record(request.get(), &s.config) ||
      !read_json_members(request.get(), {text_member("channels", channels)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  if (!keep_camera_values(request.get(), kAudioRead, s.config.chnid, &AudioDescription::config, &s.config, REPLY_JSON)) {
    return;
  }
  // Every position 0..63 of "channels" holding '1', and always the channel itself.
  s.channels = ChannelMask64::from_u64(mask_of_text(channels, kMaxChannels) | channel_bit64(s.config.chnid));
  reply_status_words(core_ask(kAudioSet, s, REPLY_JSON), "OK", "ERROR");
}

// ---- Small camera queries -----------------------------------------------------------------------

static void camera_type_handler(const char* argument) {
  int32_t channel = 0;
  if (!channel_request(argument, "id", kCameraSideChannelMax, &channel, kNoReply)) return;
  reply_int_member("type", core_ask(kCameraType, channel, REPLY_TEXT));
}

static void ui_command_handler(const char* argument) {
  UiCommand command{};
  if (!read_request(argument, &command)) return;
  const auto reply = core_ask(kUiCommand, command, REPLY_TEXT);
  if (reply) reply_text_object("result", *reply, kUiCommandReplyTextOffset);
}

static void chip_code_handler(const char* /*argument*/) {
  const auto reply = core_ask(kChipCode, REPLY_TEXT);
  if (reply) reply_text_object("chip_code", *reply, 0);
}

static void motion_state_handler(const char* /*argument*/) {
  const auto reply = core_ask(kMotionState, REPLY_TEXT);
  if (reply) reply_mask_object("Motion", *reply);
}

static void camera_list_handler(const char* /*argument*/) {
  const auto reply = core_ask(kCameraList, REPLY_JSON);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const size_t count = payload.record_count<CameraListEntry>(kMaxChannels);
  JsonWriter w(64 + count * 200);
  w.begin_object().key("IPC").begin_array();
  for (size_t i = 0; i < count; ++i) {
    CameraListEntry entry;
    if (!payload.record(i, &entry)) break;
    write_object(w, entry);
  }
  reply_json(w.end_array().end_object());
}

ZV_REQUESTS(kCameraStreamsRequests, "camera",
    {"/2009", stream_read_handler},
    {"/2010", stream_set_handler},
    {"/2023", web_param_read_handler},
    {"/2024", web_param_set_handler},
    {"/2025", camera_type_handler},
    {"/2026", ui_command_handler},
    {"/2027", chip_code_handler},
    {"/2028", motion_state_handler},
    {"/2029", camera_list_handler},
    {"/2030", stream_set_multi_handler},
    {"/2060", extra_stream_read_handler},
    {"/2061", extra_stream_set_handler},
    {"/2063", audio_read_handler},
    {"/2064", audio_set_handler});
