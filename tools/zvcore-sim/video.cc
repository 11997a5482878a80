// Video module: the camera-side motion grid, motion mode, overlay texts and privacy masks, kept
// per channel as a camera would (a set stores, the matching read returns what was stored), and
// the recorder-side change notices of motion and OSD settings (accepted without a reply).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "handlers/video/video_messages.h"
#include "tools/zvcore-sim/simulator.h"

namespace {

constexpr int kChannels = 64;

bool channel_of(const SimRequest& request, int32_t* channel) {
  if (request.payload == nullptr || request.length < sizeof(int32_t)) return false;
  std::memcpy(channel, request.payload, sizeof *channel);
  return true;
}

bool valid_channel(int32_t channel) { return channel >= 0 && channel < kChannels; }

template <size_t N>
void set_text(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

// What the simulated cameras keep.
class CameraStore {
 public:
  CameraMotionMap grid(int32_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_channel(channel)) {
      CameraMotionMap none{};
      none.channel = channel;
      return none;
    }
    return grid_locked(channel);
  }
  void set_grid(const CameraMotionMap& map) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_channel(map.channel)) return;
    // The grid and sensitivity change; the camera's mode (3212) and its model stay.
    CameraMotionMap& stored = grid_locked(map.channel);
    std::memcpy(stored.map, map.map, sizeof stored.map);
    stored.map[sizeof stored.map - 1] = '\0';
    stored.sensitivity = map.sensitivity;
  }
  void copy_grid(const MotionCopyRequest& copy) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int count = std::min<int32_t>(std::max<int32_t>(copy.target_count, 0), 64);
    for (int i = 0; i < count; ++i) {
      if (!valid_channel(copy.targets[i])) continue;
      CameraMotionMap& stored = grid_locked(copy.targets[i]);
      std::memcpy(stored.map, copy.motion_table, sizeof stored.map);
      stored.map[sizeof stored.map - 1] = '\0';
      stored.sensitivity = copy.sensitivity;
    }
  }
  void set_mode(const CameraMotionMode& mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (valid_channel(mode.channel)) grid_locked(mode.channel).enable = mode.enable_zv;
    const int count = std::min<int32_t>(std::max<int32_t>(mode.count, 0), 64);
    for (int i = 0; i < count; ++i) {
      if (valid_channel(mode.channels[i])) grid_locked(mode.channels[i]).enable = mode.enable_zv;
    }
  }

  CameraOsd osd(int32_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_channel(channel)) {
      CameraOsd none{};
      none.ch = -1;  // no camera on that channel
      return none;
    }
    return osd_locked(channel);
  }
  bool set_osd(const CameraOsd& osd) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_channel(osd.ch)) return false;
    osd_locked(osd.ch) = osd;
    return true;
  }

  CameraPrivacyMask masks(int32_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_channel(channel)) {
      CameraPrivacyMask none{};
      none.id = channel;
      return none;
    }
    return masks_locked(channel);
  }
  void set_masks(const PrivacyMaskSet& set) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int c = 0; c < kChannels; ++c) {
      if (set.targets[c] != '1') continue;
      CameraPrivacyMask& stored = masks_locked(c);
      stored.enable = set.enable;
      stored.num = set.num;
      stored.cgi_sdk_flag = set.cgi_sdk_flag;
      stored.area_enable = set.area_mask_enable;
      stored.mosaic_support = set.mosaic_support;
      stored.mosaic_num = set.mosaic_num;
      std::memcpy(stored.areas, set.areas, sizeof stored.areas);
    }
  }
  // Clears one area (by index); false when there is no such area.
  bool remove_area(int32_t channel, int32_t area) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_channel(channel) || area < 0 || area >= kCameraMaskAreas) return false;
    masks_locked(channel).areas[area] = CameraMaskArea{};
    return true;
  }

 private:
  CameraMotionMap& grid_locked(int32_t channel) {
    auto [it, inserted] = grids_.try_emplace(channel);
    if (inserted) {
      it->second.channel = channel;
      it->second.sensitivity = 3;
      it->second.model_type = 1;
    }
    return it->second;
  }
  CameraOsd& osd_locked(int32_t channel) {
    auto [it, inserted] = osds_.try_emplace(channel);
    if (inserted) {
      CameraOsd& o = it->second;
      o.ch = channel;
      o.enable_text = 1;
      std::snprintf(o.text_name, sizeof o.text_name, "CAM%d", channel + 1);
      o.enable_date = 1;
      o.datepos = 1;
    }
    return it->second;
  }
  CameraPrivacyMask& masks_locked(int32_t channel) {
    auto [it, inserted] = masks_.try_emplace(channel);
    if (inserted) {
      CameraPrivacyMask& m = it->second;
      m.id = channel;
      set_text(m.sdkversion, "1.0");
      m.max_ptz_zoom_ratio = 1;
      set_text(m.color_list, "black,white,gray");
      m.mosaic_support = 1;
    }
    return it->second;
  }

  std::mutex mutex_;
  std::map<int32_t, CameraMotionMap> grids_;
  std::map<int32_t, CameraOsd> osds_;
  std::map<int32_t, CameraPrivacyMask> masks_;
};

CameraStore& store() {
  static CameraStore cameras;
  return cameras;
}

void ignore_bad_payload(const SimRequest& request) {
  std::fprintf(stderr, "zvcore-sim: message %d with a payload of %u bytes ignored\n", request.id,
               request.length);
}

}  // namespace

void install_video_module(Simulator& simulator) {
  // Recorder-side changes the core rereads from the database: no reply.
  for (int32_t id : {kMsgOsdChanged, kMsgMotionChanged, kMsgMotionCopied, kMsgCameraMotionPlan,
                     kMsgCameraMotionPlanCopy}) {
    simulator.silent(id);
  }

  // Motion grid: 3207 stores, 3251 copies to the listed cameras, 3212 sets the camera-side mode,
  // 3206 returns what the camera holds.
  simulator.on(kMsgCameraGridSet, [](Simulator&, const SimRequest& request) {
    CameraMotionMap map;
    if (!payload_as(request, &map) || !valid_channel(map.channel)) return ignore_bad_payload(request);
    store().set_grid(map);
  });
  simulator.on(kMsgMotionGridCopy, [](Simulator&, const SimRequest& request) {
    MotionCopyRequest copy;
    if (!payload_as(request, &copy)) return ignore_bad_payload(request);
    store().copy_grid(copy);
  });
  simulator.on(kMsgCameraMotionMode, [](Simulator&, const SimRequest& request) {
    CameraMotionMode mode;
    if (!payload_as(request, &mode)) return ignore_bad_payload(request);
    store().set_mode(mode);
  });
  simulator.on(kMsgCameraGridRead, [](Simulator& sim, const SimRequest& request) {
    int32_t channel = 0;
    if (!channel_of(request, &channel)) return ignore_bad_payload(request);
    CameraMotionMap map = store().grid(channel);
    map.result = valid_channel(channel) ? 0 : -1;
    sim.reply(request, &map, sizeof map);
  });

  // Overlay texts: 3210 stores and answers a status (0, or -1 for a channel without camera),
  // 3211 returns them (ch -1 when no camera is there).
  simulator.on(kMsgCameraOsdSet, [](Simulator& sim, const SimRequest& request) {
    CameraOsd osd;
    if (!payload_as(request, &osd)) return sim.reply_int32(request, -2);
    sim.reply_int32(request, store().set_osd(osd) ? 0 : -1);
  });
  simulator.on(kMsgCameraOsdRead, [](Simulator& sim, const SimRequest& request) {
    int32_t channel = 0;
    if (!channel_of(request, &channel)) return ignore_bad_payload(request);
    const CameraOsd osd = store().osd(channel);
    sim.reply(request, &osd, sizeof osd);
  });

  // Privacy masks: 2509 stores on the marked cameras, 2508 clears one area, 2502 returns a
  // camera's masks, 2503 the result of the last change, 3353 removes a mask and answers 0.
  simulator.on(kMsgMaskSet, [](Simulator&, const SimRequest& request) {
    auto set = std::make_unique<PrivacyMaskSet>();
    if (!payload_as(request, set.get())) return ignore_bad_payload(request);
    store().set_masks(*set);
  });
  simulator.on(kMsgMaskAreaRemove, [](Simulator&, const SimRequest& request) {
    int32_t words[2];
    if (!payload_as(request, &words)) return ignore_bad_payload(request);
    store().remove_area(words[0], words[1]);
  });
  simulator.on(kMsgCameraMaskRead, [](Simulator& sim, const SimRequest& request) {
    int32_t channel = 0;
    if (!channel_of(request, &channel)) return ignore_bad_payload(request);
    auto masks = std::make_unique<CameraPrivacyMask>(store().masks(channel));
    sim.reply(request, masks.get(), sizeof *masks);
  });
  simulator.on(kMsgCameraMaskResult, [](Simulator& sim, const SimRequest& request) {
    int32_t channel = 0;
    if (!channel_of(request, &channel)) return ignore_bad_payload(request);
    sim.reply_int32(request, valid_channel(channel) ? 0 : -1);
  });
  simulator.on(kMsgCameraMaskRemove, [](Simulator& sim, const SimRequest& request) {
    int32_t words[2];
    if (!payload_as(request, &words)) return sim.reply_int32(request, -1);
    sim.reply_int32(request, store().remove_area(words[0], words[1]) ? 0 : -1);
  });
}
