// Camera module: a simulated camera on every configured channel. The registry reads the camera
// rows of the configuration database (as the core does) when it first needs a channel and again
// on each change notice (1201 added, 1202 deleted, 1203 changed, 1206 PoE); an enabled camera is
// connected and reports a vendor, model, firmware, serial number and MAC address derived from its
// channel and address, so they stay the same from one request to the next. The camera-side
// settings (streams, web parameters, extra stream, audio) are kept per channel: a set stores, the
// matching read returns what was stored.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

#include "handlers/camera/camera_messages.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

constexpr int kChannels = 64;

bool valid_channel(int32_t channel) { return channel >= 0 && channel < kChannels; }

bool channel_of(const SimRequest& request, int32_t* channel) {
  if (request.payload == nullptr || request.length < sizeof(int32_t)) return false;
  std::memcpy(channel, request.payload, sizeof *channel);
  return true;
}

template <size_t N>
void set_text(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

template <size_t N>
std::string text_of(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

void ignore_bad_payload(const SimRequest& request) {
  std::fprintf(stderr, "zvcore-sim: message %d with a payload of %u bytes ignored\n", request.id,
               request.length);
}

// FNV-1a over the channel and the camera's address: the seed of a camera's identity.
uint32_t identity_seed(int32_t channel, const CameraRecord& row) {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 16777619u;
  };
  for (int shift = 0; shift < 32; shift += 8) mix(static_cast<unsigned char>(channel >> shift));
  for (char c : text_of(row.ip_addr)) mix(static_cast<unsigned char>(c));
  return hash;
}

struct StreamState {
  int32_t video_type;
  int32_t width;
  int32_t height;
  int32_t framerate;
  int32_t bitrate;
  int32_t iframe_interval;
  int32_t bitrate_control;
  int32_t smart_stream;
  int32_t smart_stream_level;
};

// What the simulated camera of one channel keeps.
struct SimCamera {
  bool loaded = false;  // the row was read
  bool has_row = false;
  CameraRecord row{};
  int32_t poe_flag = 0;  // 1206: 1 when the camera sits on another PoE switch
  StreamState main{0, 1920, 1080, 25, 4096, 50, 0, 0, 0};
  StreamState sub{0, 704, 576, 15, 512, 30, 0, 0, 0};
  int32_t sub_enable = 1;
  int32_t video_type_enable = 1;
  ExtraStream extra{0, 0, 0, 15, 1024, 30};
  AudioConfig audio{0, 0, 0, 0, 0, 8000, 50, 0, 0, 50, 64};
  std::map<std::tuple<std::string, std::string, std::string>, std::string> web_params;

  bool connected() const { return has_row && row.enable == 1; }
};

class CameraRegistry {
 public:
  // Reads the channel's row again (after a change notice).
  void reload(int32_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (valid_channel(channel)) load_locked(channel);
  }
  void set_poe(int32_t channel, int32_t flag) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (valid_channel(channel)) camera_locked(channel).poe_flag = flag;
  }

  // One status record per configured channel (below "max_cameras") that has a camera row.
  std::vector<CameraStatusRecord> status() {
    const int channels = std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, kChannels);
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<CameraStatusRecord> records;
    for (int c = 0; c < channels; ++c) {
      const SimCamera& camera = camera_locked(c);
      if (camera.has_row) records.push_back(status_of(c, camera));
    }
    return records;
  }

  std::array<CameraListEntry, kChannels> list() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::array<CameraListEntry, kChannels> entries{};
    for (int c = 0; c < kChannels; ++c) {
      CameraListEntry& e = entries[c];
      e.chnid = c;
      const SimCamera& camera = camera_locked(c);
      if (!camera.connected()) continue;
      const CameraStatusRecord s = status_of(c, camera);
      set_text(e.ip_addr, text_of(s.ip_addr).c_str());
      set_text(e.model, text_of(s.model).c_str());
      set_text(e.fw_version, text_of(s.fw_version).c_str());
    }
    return entries;
  }

  // Simulated motion: every connected camera sees some.
  ChannelMask64 motion() {
    std::lock_guard<std::mutex> lock(mutex_);
    ChannelMask64 mask{};
    for (int c = 0; c < kChannels; ++c) {
      if (camera_locked(c).connected()) mask.set(c);
    }
    return mask;
  }

  StreamDescription stream_description(int32_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    StreamDescription d{};
    d.w[stream_word::kChannel] = channel;
    if (!valid_channel(channel) || !camera_locked(channel).connected()) {
      d.w[stream_word::kStateCode] = -1;  // no camera there
      return d;
    }
    const SimCamera& camera = camera_locked(channel);
    namespace sw = stream_word;
    static constexpr int32_t kMainSizes[][2] = {{3840, 2160}, {2560, 1440}, {1920, 1080}, {1280, 720}};
    static constexpr int32_t kSubSizes[][2] = {{704, 576}, {640, 360}, {352, 288}};
    int i = 0;
    for (const auto& size : kMainSizes) {
      d.w[sw::kMainPairs + 2 * i] = size[0];
      d.w[sw::kMainPairs + 2 * i + 1] = size[1];
      ++i;
    }
    i = 0;
    for (const auto& size : kSubSizes) {
      d.w[sw::kSubPairs + 2 * i] = size[0];
      d.w[sw::kSubPairs + 2 * i + 1] = size[1];
      ++i;
    }
    const int32_t main_ranges[4] = {30, 1, 8192, 256};
    const int32_t sub_ranges[4] = {30, 1, 2048, 64};
    std::copy(std::begin(main_ranges), std::end(main_ranges), &d.w[sw::kMainRanges]);
    std::copy(std::begin(sub_ranges), std::end(sub_ranges), &d.w[sw::kSubRanges]);
    put_stream(d, sw::kMainVideoType, sw::kMainCurrent, camera.main);
    put_stream(d, sw::kSubVideoType, sw::kSubCurrent, camera.sub);
    d.w[sw::kSubEnable] = camera.sub_enable;
    d.w[sw::kAudioEnable] = camera.audio.audio_enable;
    d.w[sw::kVideoTypeEnable] = camera.video_type_enable;
    d.w[sw::kCameraType] = camera.row.cam_protocol;
    d.w[sw::kMainStream] = 1;
    d.w[sw::kSubStream] = camera.sub_enable;
    d.w[sw::kSmartStreamSupport] = 1;
    d.w[sw::kSmartStream] = camera.main.smart_stream;
    d.w[sw::kSmartStreamLevel] = camera.main.smart_stream_level;
    d.w[sw::kSubSmartStreamSupport] = 1;
    d.w[sw::kSubSmartStream] = camera.sub.smart_stream;
    d.w[sw::kSubSmartStreamLevel] = camera.sub.smart_stream_level;
    return d;
  }

  // Applies the settings to the marked channels; the result has the bit of each connected camera
  // that took them.
  ChannelMask64 set_streams(const StreamSettings& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    ChannelMask64 done{};
    for (int c = 0; c < kChannels; ++c) {
      if (s.channels[c] != '1') continue;
      SimCamera& camera = camera_locked(c);
      if (!camera.connected()) continue;
      keep(&camera.video_type_enable, s.video_type_enable);
      keep(&camera.sub_enable, s.sub_enable);
      keep(&camera.main.video_type, s.main_video_type);
      keep(&camera.main.width, s.main_res_width);
      keep(&camera.main.height, s.main_res_height);
      keep(&camera.main.framerate, s.main_framerate);
      keep(&camera.main.bitrate, s.main_bitrate);
      keep(&camera.main.iframe_interval, s.main_iframe_interval);
      keep(&camera.main.bitrate_control, s.main_bitrate_control);
      keep(&camera.main.smart_stream, s.smart_stream);
      keep(&camera.main.smart_stream_level, s.smart_stream_level);
      keep(&camera.sub.video_type, s.sub_video_type);
      keep(&camera.sub.width, s.sub_res_width);
      keep(&camera.sub.height, s.sub_res_height);
      keep(&camera.sub.framerate, s.sub_framerate);
      keep(&camera.sub.bitrate, s.sub_bitrate);
      keep(&camera.sub.iframe_interval, s.sub_iframe_interval);
      keep(&camera.sub.bitrate_control, s.sub_bitrate_control);
      keep(&camera.sub.smart_stream, s.sub_smart_stream);
      keep(&camera.sub.smart_stream_level, s.sub_smart_stream_level);
      done.set(c);
    }
    return done;
  }

  CameraWebParamReply web_param(const CameraWebParam& p) {
    std::lock_guard<std::mutex> lock(mutex_);
    CameraWebParamReply r{};
    r.id = p.channel;
    std::memcpy(r.pagename, p.pagename, sizeof r.pagename);
    std::memcpy(r.httpname, p.httpname, sizeof r.httpname);
    std::memcpy(r.key, p.key, sizeof r.key);
    if (valid_channel(p.channel)) {
      const auto& params = camera_locked(p.channel).web_params;
      auto found = params.find(web_key(p));
      if (found != params.end()) set_text(r.value, found->second.c_str());
    }
    return r;
  }
  bool set_web_param(const CameraWebParam& p) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_channel(p.channel)) return false;
    camera_locked(p.channel).web_params[web_key(p)] = text_of(p.value);
    return true;
  }

  ExtraStream extra(int32_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    ExtraStream e{};
    if (valid_channel(channel)) e = camera_locked(channel).extra;
    e.chnid = channel;
    return e;
  }
  bool set_extra(const ExtraStream& e) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_channel(e.chnid)) return false;
    camera_locked(e.chnid).extra = e;
    camera_locked(e.chnid).extra.reserved = 0;
    return true;
  }

  void audio(int32_t channel, AudioDescription* d) {
    std::lock_guard<std::mutex> lock(mutex_);
    *d = AudioDescription{};
    if (!valid_channel(channel)) {
      d->res = -1;
      return;
    }
    d->support = 1;
    d->support_mode = 1;
    d->support_input_mode = 1;
    // G.711 A-law and mu-law at 8 kHz, AAC at 16 and 48 kHz.
    d->option_count = 3;
    d->options[0] = AudioEncodeOption{0, 1, {}};
    d->options[0].sample_rates[0] = AudioSampleRate{8000, 1, {64}};
    d->options[1] = AudioEncodeOption{1, 1, {}};
    d->options[1].sample_rates[0] = AudioSampleRate{8000, 1, {64}};
    d->options[2] = AudioEncodeOption{2, 2, {}};
    d->options[2].sample_rates[0] = AudioSampleRate{16000, 3, {32, 48, 64}};
    d->options[2].sample_rates[1] = AudioSampleRate{48000, 3, {64, 96, 128}};
    d->config = camera_locked(channel).audio;
    d->config.chnid = channel;
  }
  void set_audio(const AudioSettings& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int c = 0; c < kChannels; ++c) {
      if (s.channels.test(c)) {
        camera_locked(c).audio = s.config;
        camera_locked(c).audio.chnid = c;
      }
    }
  }

 private:
  static void keep(int32_t* value, int32_t given) {
    if (given != -1) *value = given;
  }
  static std::tuple<std::string, std::string, std::string> web_key(const CameraWebParam& p) {
    return {text_of(p.pagename), text_of(p.httpname), text_of(p.key)};
  }
  static void put_stream(StreamDescription& d, int type_word, int current_word, const StreamState& s) {
    d.w[type_word] = s.video_type;
    d.w[current_word] = s.width;
    d.w[current_word + 1] = s.height;
    d.w[current_word + 2] = s.framerate;
    d.w[current_word + 3] = s.bitrate;
    d.w[current_word + 4] = s.iframe_interval;
    d.w[current_word + 5] = s.bitrate_control;
  }

  static CameraStatusRecord status_of(int32_t channel, const SimCamera& camera) {
    const CameraRecord& row = camera.row;
    CameraStatusRecord s{};
    s.id = channel;
    s.manage_port = row.manage_port;
    s.cam_protocol = row.cam_protocol;
    s.main_rtsp_port = row.main_rtsp_port;
    set_text(s.ip_addr, text_of(row.ip_addr).c_str());
    s.poe_channel = row.poe_channel;
    s.physical_port = row.physical_port;
    s.minor_id = row.minor_id;
    set_text(s.ddns, text_of(row.ddns).c_str());
    if (!camera.connected()) return s;
    const uint32_t seed = identity_seed(channel, row);
    s.state = 1;
    s.sub_state = row.enable_sub_stream != 0 ? 1 : 0;
    s.connect_state = 1;
    set_text(s.vendor, "ZV Simulated Cameras");
    static constexpr const char* kModels[] = {"IPC-2M", "IPC-4M", "DOME-4M", "PTZ-2M"};
    set_text(s.model, kModels[seed % 4]);
    std::snprintf(s.fw_version, sizeof s.fw_version, "V5.%u.%u build 261101", (seed >> 4) % 10,
                  (seed >> 8) % 10);
    std::snprintf(s.sn_real, sizeof s.sn_real, "ZVS%02d%08X%08X", channel, seed, seed * 2654435761u);
    std::snprintf(s.sn, sizeof s.sn, "ZVS%02d%08X", channel, seed);
    std::snprintf(s.mac, sizeof s.mac, "02:5A:56:%02X:%02X:%02X", (seed >> 16) & 0xff,
                  (seed >> 8) & 0xff, seed & 0xff);
    s.alarm_in = 1;
    s.alarm_out = 1;
    return s;
  }

  void load_locked(int32_t channel) {
    SimCamera& camera = cameras_[channel];
    CameraRecord row{};
    camera.has_row = read_camera(kZvdbPath, &row, channel) == 0;
    camera.row = camera.has_row ? row : CameraRecord{};
    camera.loaded = true;
  }
  SimCamera& camera_locked(int32_t channel) {
    SimCamera& camera = cameras_[channel];
    if (!camera.loaded) load_locked(channel);
    return camera;
  }

  std::mutex mutex_;
  std::array<SimCamera, kChannels> cameras_;
};

CameraRegistry& registry() {
  static CameraRegistry cameras;
  return cameras;
}

// Reply of a user-interface command (9002): 16 bytes, then the result text.
struct UiCommandReply {
  int32_t status;
  int32_t reserved[3];
  char text[kUiCommandSize];
};
static_assert(offsetof(UiCommandReply, text) == kUiCommandReplyTextOffset);

}  // namespace

void install_camera_module(Simulator& simulator) {
  // Camera list changes: the registry reads the channel's row again; no reply.
  for (int32_t id : {kMsgCameraAdded, kMsgCameraDeleted, kMsgCameraChanged}) {
    simulator.on(id, [](Simulator&, const SimRequest& request) {
      int32_t channel = 0;
      if (!channel_of(request, &channel)) return ignore_bad_payload(request);
      registry().reload(channel);
    });
  }
  simulator.on(kMsgCameraPoe, [](Simulator&, const SimRequest& request) {
    int32_t words[2];
    if (!payload_as(request, &words)) return ignore_bad_payload(request);
    registry().set_poe(words[0], words[1]);
  });

  simulator.on(kMsgCameraStatus, [](Simulator& sim, const SimRequest& request) {
    const std::vector<CameraStatusRecord> records = registry().status();
    sim.reply(request, records.data(), static_cast<uint32_t>(records.size() * sizeof(CameraStatusRecord)));
  });
  simulator.on(kMsgCameraList, [](Simulator& sim, const SimRequest& request) {
    const auto entries = registry().list();
    sim.reply(request, entries.data(), static_cast<uint32_t>(sizeof entries));
  });
  simulator.on(kMsgMotionState, [](Simulator& sim, const SimRequest& request) {
    const ChannelMask64 mask = registry().motion();
    sim.reply(request, &mask, sizeof mask);
  });

  // Streams.
  simulator.on(kMsgStreamRead, [](Simulator& sim, const SimRequest& request) {
    int32_t channel = 0;
    if (!channel_of(request, &channel)) return ignore_bad_payload(request);
    const StreamDescription d = registry().stream_description(channel);
    sim.reply(request, &d, sizeof d);
  });
  simulator.on(kMsgStreamSet, [](Simulator& sim, const SimRequest& request) {
    StreamSettings settings;
    if (!payload_as(request, &settings)) return ignore_bad_payload(request);
    const ChannelMask64 done = registry().set_streams(settings);
    sim.reply(request, &done, sizeof done);
  });
  simulator.on(kMsgExtraStreamRead, [](Simulator& sim, const SimRequest& request) {
    int32_t channel = 0;
    if (!channel_of(request, &channel)) return ignore_bad_payload(request);
    const ExtraStream extra = registry().extra(channel);
    sim.reply(request, &extra, sizeof extra);
  });
  simulator.on(kMsgExtraStreamSet, [](Simulator& sim, const SimRequest& request) {
    ExtraStream extra;
    if (!payload_as(request, &extra)) return sim.reply_int32(request, -1);
    sim.reply_int32(request, registry().set_extra(extra) ? 0 : -1);
  });

  // The camera's own web interface.
  simulator.on(kMsgWebParamRead, [](Simulator& sim, const SimRequest& request) {
    CameraWebParam param;
    if (!payload_as(request, &param)) return ignore_bad_payload(request);
    const CameraWebParamReply r = registry().web_param(param);
    sim.reply(request, &r, sizeof r);
  });
  simulator.on(kMsgWebParamSet, [](Simulator& sim, const SimRequest& request) {
    CameraWebParam param;
    if (!payload_as(request, &param)) return sim.reply_int32(request, -1);
    sim.reply_int32(request, registry().set_web_param(param) ? 0 : -1);
  });

  // Audio.
  simulator.on(kMsgAudioRead, [](Simulator& sim, const SimRequest& request) {
    int32_t channel = 0;
    if (!channel_of(request, &channel)) return ignore_bad_payload(request);
    auto d = std::make_unique<AudioDescription>();
    registry().audio(channel, d.get());
    sim.reply(request, d.get(), sizeof *d);
  });
  simulator.on(kMsgAudioSet, [](Simulator& sim, const SimRequest& request) {
    AudioSettings settings;
    if (!payload_as(request, &settings)) return sim.reply_int32(request, -1);
    registry().set_audio(settings);
    sim.reply_int32(request, 0);
  });
  simulator.on(kMsgAudioSupport, [](Simulator& sim, const SimRequest& request) {
    int32_t channel = 0;
    if (!channel_of(request, &channel)) return ignore_bad_payload(request);
    const AudioSupport support = valid_channel(channel) ? AudioSupport{0, 1, 1, 1, 1, 0} : AudioSupport{-1, 0, 0, 0, 0, 0};
    sim.reply(request, &support, sizeof support);
  });

  // User-interface commands (also sent by the joystick daemon, which takes no reply) and the
  // chip code.
  simulator.on(kMsgUiCommand, [](Simulator& sim, const SimRequest& request) {
    UiCommandReply reply{};
    set_text(reply.text, "OK");
    sim.reply(request, &reply, sizeof reply);
  });
  simulator.on(kMsgChipCode, [](Simulator& sim, const SimRequest& request) {
    char code[64] = {};
    set_text(code, "ZV3536C-5A1E-0001");
    sim.reply(request, code, sizeof code);
  });
}
