// Camera module: a simulated camera on every configured channel. The camera rows of the
// configuration database are read (as the core does) when a channel is first needed and again on
// each change notice (1201 added, 1202 deleted, 1203 changed); an enabled camera is connected and
// reports a vendor, model, firmware, serial number and MAC address derived from its channel and
// address, so they stay the same from one request to the next. The camera-side settings (streams,
// web parameters, extra stream, audio) are kept per channel: a set stores, the matching read
// returns what was stored.
//
// Control commands: "drop <channel>" disconnects the channel's camera (status and stream reads
// then report it disconnected), "connect <channel>" brings it back.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "common/request.h"
#include "common/messages/camera.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/table_forms.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"

namespace {

constexpr int kChannels = 64;

bool valid_channel(int64_t channel) { return channel >= 0 && channel < kChannels; }

using zvdb::set_text;

void ignore_bad_payload(const SimRequest& request) {
  std::fprintf(stderr, "zvcore-sim: message %d with a payload of %u bytes ignored\n", request.id,
               request.length);
}

// The camera row of a channel as the core read it, and the simulated network link.
struct CameraLink {
  bool has_row = false;
  CameraRecord row{};
  int32_t poe_flag = 0;  // 1206: 1 when the camera sits on another PoE switch
  bool dropped = false;  // control "drop": disconnected whatever its row says
  bool connected() const { return has_row && row.enable == 1 && !dropped; }
};

CameraLink read_link(int64_t channel) {
  CameraLink link;
  CameraRecord row{};
  link.has_row = valid_channel(channel) && read_camera(kZvdbPath, &row, static_cast<int>(channel)) == 0;
  if (link.has_row) link.row = row;
  return link;
}

// The stream settings a camera keeps, in the form of the set that changes them.
// Factory records name the members that are not zero; the others start zero.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
StreamSettings factory_streams(int64_t) {
  return StreamSettings{
    .video_type_enable = 1, .sub_enable = 1, .main_res_width = 1920, .main_res_height = 1080,
    .main_framerate = 25, .main_bitrate = 4096, .main_iframe_interval = 50, .sub_res_width = 704,
    .sub_res_height = 576, .sub_framerate = 15, .sub_bitrate = 512, .sub_iframe_interval = 30};
}
#pragma GCC diagnostic pop

// Takes every word of a set that is not -1 (a value not changed).
void apply_streams(StreamSettings& kept, const StreamSettings& set) {
  constexpr size_t kFirst = offsetof(StreamSettings, transmit_protocol);
  for (size_t at = kFirst; at < sizeof set; at += sizeof(int32_t)) {
    int32_t given;
    std::memcpy(&given, reinterpret_cast<const unsigned char*>(&set) + at, sizeof given);
    if (given != -1) std::memcpy(reinterpret_cast<unsigned char*>(&kept) + at, &given, sizeof given);
  }
}

// Web parameters of one camera by (page, HTTP name, key).
using WebParams = std::map<std::tuple<std::string, std::string, std::string>, std::string>;
std::tuple<std::string, std::string, std::string> web_key(const CameraWebParam& p) {
  return {std::string(field_text(p.pagename)), std::string(field_text(p.httpname)), std::string(field_text(p.key))};
}

// A channel outside 0..63 has no camera: its extra stream names channel -1.
ExtraStream factory_extra(int64_t channel) {
  return ExtraStream{valid_channel(channel) ? static_cast<int32_t>(channel) : -1, 0, 0, 15, 1024, 30};
}
AudioConfig factory_audio(int64_t channel) {
  return AudioConfig{static_cast<int32_t>(channel), 0, 0, 0, 0, 8000, 50, 0, 0, 50, 64};
}

// FNV-1a over the channel and the camera's address: the seed of a camera's identity.
uint32_t identity_seed(int32_t channel, const CameraRecord& row) {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 16777619u;
  };
  for (int shift = 0; shift < 32; shift += 8) mix(static_cast<unsigned char>(channel >> shift));
  for (char c : field_text(row.ip_addr)) mix(static_cast<unsigned char>(c));
  return hash;
}

CameraStatusRecord status_of(int32_t channel, const CameraLink& camera) {
  const CameraRecord& row = camera.row;
  CameraStatusRecord s{};
  s.id = channel;
  s.manage_port = row.manage_port;
  s.cam_protocol = row.cam_protocol;
  s.main_rtsp_port = row.main_rtsp_port;
  copy_field_text(s.ip_addr, sizeof s.ip_addr, row.ip_addr);
  s.poe_channel = row.poe_channel;
  s.physical_port = row.physical_port;
  s.minor_id = row.minor_id;
  copy_field_text(s.ddns, sizeof s.ddns, row.ddns);
  if (!camera.connected()) return s;
  const uint32_t seed = identity_seed(channel, row);
  s.state = 1;
  s.sub_state = row.enable_sub_stream != 0 ? 1 : 0;
  s.connect_state = 1;
  set_text(s.vendor, "ZV Simulated Cameras");
  static constexpr const char* kModels[] = {"IPC-2M", "IPC-4M", "DOME-4M", "PTZ-2M"};
  set_text(s.model, kModels[seed % 4]);
  std::snprintf(s.fw_version, sizeof s.fw_version, "V5.%u.%u build 261101", (seed >> 4) % 10, (seed >> 8) % 10);
  std::snprintf(s.sn_real, sizeof s.sn_real, "ZVS%02d%08X%08X", channel, seed, seed * 2654435761u);
  std::snprintf(s.sn, sizeof s.sn, "ZVS%02d%08X", channel, seed);
  std::snprintf(s.mac, sizeof s.mac, "02:5A:56:%02X:%02X:%02X", (seed >> 16) & 0xff, (seed >> 8) & 0xff,
                seed & 0xff);
  s.alarm_in = 1;
  s.alarm_out = 1;
  return s;
}

// What a connected camera describes: its sizes and ranges, and its current settings.
StreamDescription describe(int32_t channel, const CameraLink& camera, const StreamSettings& s, int32_t audio_enable) {
  namespace sw = stream_word;
  StreamDescription d{};
  d.w[sw::kChannel] = channel;
  static constexpr int32_t kMainSizes[] = {3840, 2160, 2560, 1440, 1920, 1080, 1280, 720};
  static constexpr int32_t kSubSizes[] = {704, 576, 640, 360, 352, 288};
  static constexpr int32_t kMainRanges[] = {30, 1, 8192, 256};
  static constexpr int32_t kSubRanges[] = {30, 1, 2048, 64};
  std::copy(std::begin(kMainSizes), std::end(kMainSizes), &d.w[sw::kMainPairs]);
  std::copy(std::begin(kSubSizes), std::end(kSubSizes), &d.w[sw::kSubPairs]);
  std::copy(std::begin(kMainRanges), std::end(kMainRanges), &d.w[sw::kMainRanges]);
  std::copy(std::begin(kSubRanges), std::end(kSubRanges), &d.w[sw::kSubRanges]);
  // Width, height, frame rate, bitrate, I-frame interval and rate control follow each other in
  // both records.
  std::memcpy(&d.w[sw::kMainCurrent], &s.main_res_width, 6 * sizeof(int32_t));
  std::memcpy(&d.w[sw::kSubCurrent], &s.sub_res_width, 6 * sizeof(int32_t));
  d.w[sw::kMainVideoType] = s.main_video_type;
  d.w[sw::kSubVideoType] = s.sub_video_type;
  d.w[sw::kSubEnable] = s.sub_enable;
  d.w[sw::kAudioEnable] = audio_enable;
  d.w[sw::kVideoTypeEnable] = s.video_type_enable;
  d.w[sw::kCameraType] = camera.row.cam_protocol;
  d.w[sw::kMainStream] = 1;
  d.w[sw::kSubStream] = s.sub_enable;
  d.w[sw::kSmartStreamSupport] = 1;
  d.w[sw::kSmartStream] = s.smart_stream;
  d.w[sw::kSmartStreamLevel] = s.smart_stream_level;
  d.w[sw::kSubSmartStreamSupport] = 1;
  d.w[sw::kSubSmartStream] = s.sub_smart_stream;
  d.w[sw::kSubSmartStreamLevel] = s.sub_smart_stream_level;
  return d;
}

// G.711 A-law and mu-law at 8 kHz, AAC at 16 and 48 kHz.
void describe_audio(AudioDescription* d) {
  d->support = 1;
  d->support_mode = 1;
  d->support_input_mode = 1;
  d->option_count = 3;
  d->options[0] = AudioEncodeOption{0, 1, {}};
  d->options[0].sample_rates[0] = AudioSampleRate{8000, 1, {64}};
  d->options[1] = AudioEncodeOption{1, 1, {}};
  d->options[1].sample_rates[0] = AudioSampleRate{8000, 1, {64}};
  d->options[2] = AudioEncodeOption{2, 2, {}};
  d->options[2].sample_rates[0] = AudioSampleRate{16000, 3, {32, 48, 64}};
  d->options[2].sample_rates[1] = AudioSampleRate{48000, 3, {64, 96, 128}};
}

class CameraSim : public SimModule {
 public:
  const char* name() const override { return "camera"; }
  void rules(SimRules& r) override;
  bool control(const std::vector<std::string>& words, std::string* answer) override;

 private:
  // Reads the channel's row again (after a change notice); the PoE flag and link state stay.
  void reload(const SimRequest& q) {
    int32_t channel = 0;
    if (!payload_as(q, &channel)) return ignore_bad_payload(q);
    if (!valid_channel(channel)) return;
    const CameraLink fresh = read_link(channel);
    links_.update(channel, [&](CameraLink& link) {
      link.has_row = fresh.has_row;
      link.row = fresh.row;
    });
  }
  bool connected(int64_t channel) { return valid_channel(channel) && links_.get(channel).connected(); }

  KeyedStore<CameraLink> links_{read_link};
  KeyedStore<StreamSettings> streams_{factory_streams};
  KeyedStore<ExtraStream> extra_{factory_extra};
  KeyedStore<AudioConfig> audio_{factory_audio};
  KeyedStore<WebParams> web_params_;
};

void CameraSim::rules(SimRules& r) {
  for (const auto* change : {&kCameraAdded, &kCameraDeleted, &kCameraChanged}) {
    r.answer(*change, [this](const SimRequest& q, SimAnswer&) { reload(q); });
  }
  r.answer(kCameraPoe, [this](const SimRequest& q, SimAnswer&) {
    CameraPoe poe;
    if (!payload_as(q, &poe)) return ignore_bad_payload(q);
    if (valid_channel(poe.channel)) links_.update(poe.channel, [&](CameraLink& l) { l.poe_flag = poe.other_switch; });
  });

  // One status record per configured channel (below "max_cameras") that has a camera row.
  r.answer(kCameraStatus, [this](const SimRequest&, SimAnswer& a) {
    const int channels = std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, kChannels);
    std::vector<CameraStatusRecord> records;
    for (int c = 0; c < channels; ++c) {
      const CameraLink link = links_.get(c);
      if (link.has_row) records.push_back(status_of(c, link));
    }
    a.bytes(records.data(), records.size() * sizeof(CameraStatusRecord));
  });
  r.answer(kCameraList, [this](const SimRequest&, SimAnswer& a) {
    std::vector<CameraListEntry> entries(kChannels);
    for (int c = 0; c < kChannels; ++c) {
      CameraListEntry& e = entries[c];
      e.chnid = c;
      const CameraLink link = links_.get(c);
      if (!link.connected()) continue;
      const CameraStatusRecord s = status_of(c, link);
      copy_field_text(e.ip_addr, sizeof e.ip_addr, s.ip_addr);
      copy_field_text(e.model, sizeof e.model, s.model);
      copy_field_text(e.fw_version, sizeof e.fw_version, s.fw_version);
    }
    a.bytes(entries.data(), entries.size() * sizeof(CameraListEntry));
  });
  // Simulated motion: every connected camera sees some.
  r.answer(kMotionState, [this](const SimRequest&, SimAnswer& a) {
    uint64_t mask = 0;
    for (int c = 0; c < kChannels; ++c) mask |= connected(c) ? channel_bit64(c) : 0;
    a.record(ChannelMask64::from_u64(mask));
  });

  // Streams.
  r.answer(kStreamRead, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel)) return ignore_bad_payload(q);
    StreamDescription d{};
    d.w[stream_word::kChannel] = channel;
    d.w[stream_word::kStateCode] = -1;  // no camera there
    if (connected(channel)) {
      d = describe(channel, links_.get(channel), streams_.get(channel), audio_.get(channel).audio_enable);
    }
    a.record(d);
  });
  // The result has the bit of each connected camera that took the settings.
  r.answer(kStreamSet, [this](const SimRequest& q, SimAnswer& a) {
    StreamSettings settings;
    if (!payload_as(q, &settings)) return ignore_bad_payload(q);
    uint64_t done = 0;
    for (int c = 0; c < kChannels; ++c) {
      if (settings.channels[c] != '1' || !connected(c)) continue;
      streams_.update(c, [&](StreamSettings& s) { apply_streams(s, settings); });
      done |= channel_bit64(c);
    }
    a.record(ChannelMask64::from_u64(done));
  });
  r.store(extra_, kExtraStreamSet, kExtraStreamRead, [](const ExtraStream& e) { return int64_t{e.chnid}; },
          [](const ExtraStreamQuery& q) { return int64_t{q.chnid}; }, [this](int64_t c) { return connected(c); });

  // The camera's own web interface.
  r.answer(kWebParamRead, [this](const SimRequest& q, SimAnswer& a) {
    CameraWebParam p;
    if (!payload_as(q, &p)) return ignore_bad_payload(q);
    CameraWebParamReply reply{};
    reply.id = p.channel;
    std::memcpy(reply.pagename, p.pagename, sizeof reply.pagename);
    std::memcpy(reply.httpname, p.httpname, sizeof reply.httpname);
    std::memcpy(reply.key, p.key, sizeof reply.key);
    if (valid_channel(p.channel)) {
      const WebParams params = web_params_.get(p.channel);
      const auto found = params.find(web_key(p));
      if (found != params.end()) set_text(reply.value, found->second.c_str());
    }
    a.record(reply);
  });
  r.answer(kWebParamSet, [this](const SimRequest& q, SimAnswer& a) {
    CameraWebParam p;
    if (!payload_as(q, &p) || !connected(p.channel)) return a.int32(-1);
    web_params_.update(p.channel, [&](WebParams& params) { params[web_key(p)] = field_text(p.value); });
    a.int32(0);
  });

  // Audio.
  r.answer(kAudioRead, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel)) return ignore_bad_payload(q);
    auto d = std::make_unique<AudioDescription>();
    *d = AudioDescription{};
    if (connected(channel)) {
      describe_audio(d.get());
      d->config = audio_.get(channel);
    } else {
      d->res = -1;
    }
    a.record(*d);
  });
  r.answer(kAudioSet, [this](const SimRequest& q, SimAnswer& a) {
    // The cameras of the set take it; -1 when none of them has a camera.
    AudioSettings s;
    if (!payload_as(q, &s)) return a.int32(-1);
    bool taken = false;
    for (int c = 0; c < kChannels; ++c) {
      if (!s.channels.test(c) || !connected(c)) continue;
      AudioConfig config = s.config;
      config.chnid = c;
      audio_.put(c, config);
      taken = true;
    }
    a.int32(taken ? 0 : -1);
  });
  r.answer(kAudioSupport, [this](const SimRequest& q, SimAnswer& a) {
    int32_t channel = 0;
    if (!payload_as(q, &channel)) return ignore_bad_payload(q);
    a.record(connected(channel) ? AudioSupport{0, 1, 1, 1, 1, 0} : AudioSupport{-1, 0, 0, 0, 0, 0});
  });

  // User-interface commands (also sent by the joystick daemon, which takes no reply) and the
  // chip code.
  UiCommandReply ok{};
  set_text(ok.text, "OK");
  const auto* ok_bytes = reinterpret_cast<const unsigned char*>(&ok);
  r.fixed(kUiCommand.id, std::vector<unsigned char>(ok_bytes, ok_bytes + sizeof ok));
  ChipCode code{};
  set_text(code.code, "ZV3536C-5A1E-0001");
  const auto* code_bytes = reinterpret_cast<const unsigned char*>(&code);
  r.fixed(kChipCode.id, std::vector<unsigned char>(code_bytes, code_bytes + sizeof code));
}

bool CameraSim::control(const std::vector<std::string>& words, std::string* answer) {
  // "status <c>": "connected" and the two streams' width, height, frame rate and bitrate,
  // "videoloss" (enabled, link dropped) or "disconnected" (the status pages of other modules ask
  // this).
  if (words.size() == 2 && words[0] == "status") {
    int32_t channel = -1;
    if (!parse_decimal(words[1].c_str(), &channel) || !connected(channel)) {
      // An enabled camera whose link dropped has lost its video; any other is just not there.
      const bool lost = valid_channel(channel) && links_.get(channel).has_row &&
                        links_.get(channel).row.enable == 1;
      *answer = lost ? "videoloss" : "disconnected";
      return true;
    }
    const StreamSettings s = streams_.get(channel);
    char text[160];
    snprintf(text, sizeof text, "connected %d %d %d %d %d %d %d %d", s.main_res_width, s.main_res_height,
             s.main_framerate, s.main_bitrate, s.sub_res_width, s.sub_res_height, s.sub_framerate, s.sub_bitrate);
    *answer = text;
    return true;
  }
  if (words.empty() || (words[0] != "drop" && words[0] != "connect")) return false;
  int32_t channel = -1;
  if (words.size() != 2 || !parse_decimal(words[1].c_str(), &channel) || !valid_channel(channel)) {
    *answer = "usage: " + words[0] + " <channel 0..63>";
    return true;
  }
  const bool drop = words[0] == "drop";
  links_.update(channel, [drop](CameraLink& link) { link.dropped = drop; });
  *answer = "channel " + std::to_string(channel) + (drop ? " disconnected" : " connected");
  return true;
}

}  // namespace

std::unique_ptr<SimModule> make_camera_sim() { return std::make_unique<CameraSim>(); }
