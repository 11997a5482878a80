// Video module: the camera-side motion grid, motion mode, overlay texts and privacy masks, kept
// per channel as a camera would (a set stores, the matching read returns what was stored), and
// the recorder-side change notices of motion and OSD settings (accepted without a reply).
// Channels outside 0..63 have no camera: their reads answer an empty record.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/messages/video.h"
#include "tools/zvcore-sim/cameras.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"

namespace {

bool valid_channel(int64_t channel) { return channel >= 0 && channel < 64; }

// Factory values of the simulated cameras.
CameraMotionMap factory_grid(int64_t channel) {
  CameraMotionMap map{};
  map.channel = static_cast<int32_t>(channel);
  if (valid_channel(channel)) {
    map.sensitivity = 3;
    map.model_type = 1;
  }
  return map;
}

CameraOsd factory_osd(int64_t channel) {
  CameraOsd o{};
  o.ch = valid_channel(channel) ? static_cast<int32_t>(channel) : -1;  // -1: no camera there
  if (!valid_channel(channel)) return o;
  o.enable_text = 1;
  std::snprintf(o.text_name, sizeof o.text_name, "CAM%d", static_cast<int>(channel) + 1);
  o.enable_date = 1;
  o.datepos = 1;
  return o;
}

CameraPrivacyMask factory_masks(int64_t channel) {
  CameraPrivacyMask m{};
  m.id = static_cast<int32_t>(channel);
  if (!valid_channel(channel)) return m;
  std::snprintf(m.sdkversion, sizeof m.sdkversion, "1.0");
  m.max_ptz_zoom_ratio = 1;
  std::snprintf(m.color_list, sizeof m.color_list, "black,white,gray");
  m.mosaic_support = 1;
  return m;
}

void ignore_bad_payload(const SimRequest& request) {
  std::fprintf(stderr, "zvcore-sim: message %d with a payload of %u bytes ignored\n", request.id,
               request.length);
}

// A new grid (terminated within its width) and sensitivity; the camera's mode and model stay.
void take_grid(CameraMotionMap& stored, const char* map, int32_t sensitivity) {
  std::memcpy(stored.map, map, sizeof stored.map);
  stored.map[sizeof stored.map - 1] = '\0';
  stored.sensitivity = sensitivity;
}

class VideoSim : public SimModule {
 public:
  const char* name() const override { return "video"; }

  void rules(SimRules& r) override {
    // Recorder-side changes the core rereads from the database.
    r.notice(kOsdChanged);
    r.notice(kMotionChanged);
    r.notice(kMotionCopied);
    r.notice(kCameraMotionPlan);
    r.notice(kCameraMotionPlanCopy);

    // Overlay texts: a set answers 0, or -1 for a channel without camera.
    r.store(osd_, kCameraOsdSet, kCameraOsdRead, [](const CameraOsd& o) -> int64_t { return o.ch; },
            [](const int32_t& channel) -> int64_t { return channel; }, sim_camera_present);

    // Motion grid: 3207 stores, 3251 sets the source camera's grid and copies it to the listed
    // cameras, 3212 sets the camera-side mode, 3206 returns what the camera holds. A channel
    // without a camera keeps nothing.
    r.answer(kCameraGridSet, [this](const SimRequest& q, SimAnswer&) {
      CameraMotionMap map;
      if (!payload_as(q, &map) || !valid_channel(map.channel)) return ignore_bad_payload(q);
      if (!sim_camera_present(map.channel)) return;
      grids_.update(map.channel, [&map](CameraMotionMap& g) { take_grid(g, map.map, map.sensitivity); });
    });
    r.answer(kMotionGridCopy, [this](const SimRequest& q, SimAnswer&) {
      MotionCopyRequest copy;
      if (!payload_as(q, &copy)) return ignore_bad_payload(q);
      auto take = [&copy](CameraMotionMap& g) { take_grid(g, copy.motion_table, copy.sensitivity); };
      // The motion settings page saves its own camera's grid with this message too.
      if (sim_camera_present(copy.channel)) grids_.update(copy.channel, take);
      for (int i = 0; i < std::clamp<int32_t>(copy.target_count, 0, 64); ++i) {
        if (sim_camera_present(copy.targets[i])) grids_.update(copy.targets[i], take);
      }
    });
    r.answer(kCameraMotionMode, [this](const SimRequest& q, SimAnswer&) {
      CameraMotionMode mode;
      if (!payload_as(q, &mode)) return ignore_bad_payload(q);
      auto set_enable = [&](int32_t channel) {
        if (sim_camera_present(channel)) grids_.update(channel, [&mode](CameraMotionMap& g) { g.enable = mode.enable_zv; });
      };
      set_enable(mode.channel);
      for (int i = 0; i < std::clamp<int32_t>(mode.count, 0, 64); ++i) set_enable(mode.channels[i]);
    });
    r.answer(kCameraGridRead, [this](const SimRequest& q, SimAnswer& a) {
      int32_t channel = 0;
      if (!payload_as(q, &channel, true)) return ignore_bad_payload(q);
      CameraMotionMap map = valid_channel(channel) ? grids_.get(channel) : factory_grid(channel);
      map.result = valid_channel(channel) ? 0 : -1;
      a.record(map);
    });

    // Privacy masks: 2509 stores on the marked cameras, 2508 clears one area, 2502 returns a
    // camera's masks, 2503 the result of the last change, 3353 removes a mask and answers 0.
    r.answer(kMaskSet, [this](const SimRequest& q, SimAnswer&) {
      auto set = std::make_unique<PrivacyMaskSet>();
      if (!payload_as(q, set.get())) return ignore_bad_payload(q);
      for (int c = 0; c < 64; ++c) {
        if (set->targets[c] != '1') continue;
        masks_.update(c, [&set](CameraPrivacyMask& m) {
          m.enable = set->enable;
          m.num = set->num;
          m.cgi_sdk_flag = set->cgi_sdk_flag;
          m.area_enable = set->area_mask_enable;
          m.mosaic_support = set->mosaic_support;
          m.mosaic_num = set->mosaic_num;
          std::memcpy(m.areas, set->areas, sizeof m.areas);
        });
      }
    });
    r.answer(kMaskAreaRemove, [this](const SimRequest& q, SimAnswer&) {
      MaskAreaRemoval removal;
      if (!payload_as(q, &removal)) return ignore_bad_payload(q);
      remove_area(removal.channel, removal.area);
    });
    r.answer(kCameraMaskRead, [this](const SimRequest& q, SimAnswer& a) {
      int32_t channel = 0;
      if (!payload_as(q, &channel, true)) return ignore_bad_payload(q);
      auto masks = std::make_unique<CameraPrivacyMask>(valid_channel(channel) ? masks_.get(channel)
                                                                              : factory_masks(channel));
      a.record(*masks);
    });
    r.answer(kCameraMaskResult, [](const SimRequest& q, SimAnswer& a) {
      int32_t channel = 0;
      if (!payload_as(q, &channel, true)) return ignore_bad_payload(q);
      a.int32(valid_channel(channel) ? 0 : -1);
    });
    r.answer(kCameraMaskRemove, [this](const SimRequest& q, SimAnswer& a) {
      CameraMaskRemoval removal;
      a.int32(payload_as(q, &removal) && remove_mask(removal.channel, removal.mask_id) ? 0 : -1);
    });
  }

 private:
  // Removes the camera's mask whose id is `mask_id` from its list (the masks, then the mosaics):
  // the ones after it close up and the count of its part drops by one. False when the camera has
  // no such mask.
  bool remove_mask(int32_t channel, int32_t mask_id) {
    if (!valid_channel(channel)) return false;
    bool removed = false;
    masks_.update(channel, [mask_id, &removed](CameraPrivacyMask& m) {
      const int masks = std::clamp(m.num, 0, kCameraMaskAreas);
      const int listed = std::min(masks + std::clamp(m.mosaic_num, 0, kCameraMaskAreas), kCameraMaskAreas);
      for (int i = 0; i < listed && !removed; ++i) {
        if (m.areas[i].area_id != mask_id) continue;
        std::copy(m.areas + i + 1, m.areas + listed, m.areas + i);
        m.areas[listed - 1] = CameraMaskArea{};
        --(i < masks ? m.num : m.mosaic_num);
        removed = true;
      }
    });
    return removed;
  }

  // Clears one area (by index); false when there is no such area.
  bool remove_area(int32_t channel, int32_t area) {
    if (!valid_channel(channel) || area < 0 || area >= kCameraMaskAreas) return false;
    masks_.update(channel, [area](CameraPrivacyMask& m) { m.areas[area] = CameraMaskArea{}; });
    return true;
  }

  KeyedStore<CameraMotionMap> grids_{factory_grid};
  KeyedStore<CameraOsd> osd_{factory_osd};
  KeyedStore<CameraPrivacyMask> masks_{factory_masks};
};

}  // namespace

std::unique_ptr<SimModule> make_video_sim() { return std::make_unique<VideoSim>(); }
