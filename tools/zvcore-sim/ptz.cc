// PTZ module: a simulated PTZ head per channel (and per fisheye view). The head's position moves
// while a move command is active, at the command's speed, and stops on stop; presets store and
// recall the position; a running tour steps through its key points, staying at each for its time;
// the status block is kept per channel.
//
// The simulated head's action codes (the device's core defines its own):
//   1251 move: 1 up, 2 down, 3 left, 4 right, 5 up-left, 6 up-right, 7 down-left, 8 down-right,
//              9 zoom tele, 10 zoom wide; 0 and 21 stop; other codes (12 autofocus) move nothing.
//   1253 preset: 22 save the position (and name), 23 go to the preset, 24 delete it.
//   1254 tour: 21 start tour `tourid`, 26 stop it; 1260 starts and 1261 stops the named tour.
// Control: `ptz position <channel>` answers "pan=<deg> tilt=<deg> zoom=<x> moving=<0|1> tour=<n>"
// (tour 0: none running).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "common/request.h"
#include "common/messages/ptz.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/cameras.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"

namespace {

using Clock = std::chrono::steady_clock;

bool valid_channel(int64_t channel) { return channel >= 0 && channel < 64; }

struct Position {
  double pan = 0;   // degrees, 0..360
  double tilt = 0;  // degrees, -90..90
  double zoom = 1;  // 1..30
};

struct Preset {
  bool enabled = false;
  char name[kPtzPresetNameSize] = {};
  Position at;
};

struct Head {
  Position at;  // where the head was at `since`
  int dpan = 0, dtilt = 0, dzoom = 0;
  double speed = 1;  // degrees (zoom steps) per second
  Clock::time_point since = Clock::now();
  Preset presets[kPtzPresetMax + 1];
  PtzTourArrays tours[kPtzTours] = {};
  int tour = -1;  // the running tour, -1 none
  Clock::time_point tour_since;
};

Position normalised(Position p) {
  p.pan = std::fmod(p.pan, 360.0);
  if (p.pan < 0) p.pan += 360.0;
  p.tilt = std::clamp(p.tilt, -90.0, 90.0);
  p.zoom = std::clamp(p.zoom, 1.0, 30.0);
  return p;
}

// The key points of a tour up to its first empty one, and the point being visited `elapsed`
// seconds after the start (each point held for its time, at least one second).
int tour_point(const PtzTourArrays& tour, double elapsed) {
  double cycle = 0;
  int points = 0;
  while (points < kPtzTourPoints && tour.presets[points] >= 1) cycle += std::max(tour.times[points++], 1);
  if (points == 0) return -1;
  double t = std::fmod(elapsed, cycle);
  for (int i = 0; i < points; ++i) {
    t -= std::max(tour.times[i], 1);
    if (t < 0) return i;
  }
  return points - 1;
}

PtzStatusBlock factory_status(int64_t channel) {
  PtzStatusBlock s{};
  s.chn_id = static_cast<int32_t>(channel);
  s.preset_speed = 5;
  s.manual_speed = 5;
  s.patrol_recovery_time = 30;
  s.resume_time = 60;
  return s;
}

class PtzSim : public SimModule {
 public:
  const char* name() const override { return "ptz"; }

  void rules(SimRules& r) override {
    r.notice(kPtzPortChanged);
    r.answer(kPtzMove, [this](const SimRequest& q, SimAnswer&) {
      PtzCommand c;
      // A fisheye view's command moves the view's own head.
      if (payload_as(q, &c)) move(view_key(c.channel_id, c.fisheye_type, c.stream_id), c.action, c.pan_speed);
    });
    r.answer(kPtzZoom, [this](const SimRequest& q, SimAnswer&) {
      PtzZoom z;
      if (payload_as(q, &z)) move(view_key(z.cam_id, 0, 0), z.zoom > 0 ? 9 : z.zoom < 0 ? 10 : 0, z.zoom_speed);
    });
    r.notice(kPtzFocus);
    r.answer(kPtzPreset, [this](const SimRequest& q, SimAnswer&) {
      PtzCommand c;
      if (!payload_as(q, &c) || !valid_channel(c.channel_id) || c.preset_id < 0 || c.preset_id > kPtzPresetMax) return;
      std::lock_guard<std::mutex> lock(mutex_);
      Head& h = head(view_key(c.channel_id, c.fisheye_type, c.stream_id));
      Preset& p = h.presets[c.preset_id];
      if (c.action == kPtzActionSavePreset) {
        p.enabled = true;
        std::memcpy(p.name, c.name, sizeof p.name);
        p.at = position(h);
      } else if (c.action == 23 && p.enabled) {
        stop(h);
        h.tour = -1;
        h.at = p.at;
      } else if (c.action == 24) {
        p = Preset{};
      }
    });
    r.answer(kPtzTourRun, [this](const SimRequest& q, SimAnswer&) {
      PtzTourAction a;
      if (payload_as(q, &a) && (a.code == 21 || a.code == 26)) run_tour(view_key(a.chn, 0, 0), a.tourid, a.code == 21);
    });
    r.answer(kPtzTourStart, [this](const SimRequest& q, SimAnswer&) {
      PtzTourRef t;
      if (payload_as(q, &t)) run_tour(view_key(t.chn, t.fisheye_type, t.stream_id), t.tourid, true);
    });
    r.answer(kPtzTourStop, [this](const SimRequest& q, SimAnswer&) {
      PtzTourRef t;
      if (payload_as(q, &t)) run_tour(view_key(t.chn, t.fisheye_type, t.stream_id), t.tourid, false);
    });
    r.answer(kPtzTourClear, [this](const SimRequest& q, SimAnswer&) {
      PtzTourRef t;
      if (payload_as(q, &t)) set_tour(view_key(t.chn, t.fisheye_type, t.stream_id), t.tourid - 1, PtzTourArrays{});
    });
    r.answer(kPtzTourSaved, [this](const SimRequest& q, SimAnswer&) {
      auto s = std::make_unique<PtzTourSave>();
      if (payload_as(q, s.get())) set_tour(view_key(s->chn, 0, 0), s->tourid - 1, tour_arrays(s->tour));
    });
    r.answer(kPtzFisheyeTourSaved, [this](const SimRequest& q, SimAnswer&) {
      auto s = std::make_unique<PtzFisheyeTourSave>();
      if (payload_as(q, s.get()) && s->tour_index >= 0 && s->tour_index < kPtzTours) {
        set_tour(view_key(s->chn, 1, s->stream_id), s->tour_index, s->tours[s->tour_index]);
      }
    });
    r.answer(kPtzListing, [this](const SimRequest& q, SimAnswer& a) {
      int32_t channel = 0;
      if (payload_as(q, &channel) && valid_channel(channel)) listing(view_key(channel, 0, 0), a);
    });
    r.answer(kPtzViewListing, [this](const SimRequest& q, SimAnswer& a) {
      PtzViewQuery v;
      if (payload_as(q, &v) && valid_channel(v.chn)) listing(view_key(v.chn, 1, v.stream_id), a);
    });
    // The channel's camera and its head: 1 for an enabled camera, -1 without one (the PTZ page's
    // port check and the camera page's tracking support ask this).
    r.answer(kPtzPortCheck, [](const SimRequest& q, SimAnswer& a) {
      int32_t channel = -1;
      CameraRecord row{};
      a.int32(payload_as(q, &channel) && valid_channel(channel) && read_camera(kZvdbPath, &row, channel) == 0 &&
                      row.enable == 1
                  ? 1
                  : -1);
    });
    r.answer(kPtzStatusRead, [this](const SimRequest& q, SimAnswer& a) {
      int32_t channel = -1;
      if (payload_as(q, &channel) && valid_channel(channel)) a.record(status_.get(channel));
    });
    r.answer(kPtzStatusSet, [this](const SimRequest& q, SimAnswer& a) {
      PtzStatusWrite w;
      if (!payload_as(q, &w)) return a.int32(-1);
      // The cameras of the mask take it; -1 when none of them has a camera.
      const uint64_t mask = mask_of_text(w.channel_mask, 64);
      bool taken = false;
      for (int c = 0; c < 64; ++c) {
        if ((mask >> c & 1) == 0 || !sim_camera_present(c)) continue;
        PtzStatusBlock block = w.block;
        block.chn_id = c;
        status_.put(c, block);
        taken = true;
      }
      a.int32(taken ? 0 : -1);
    });
    // The camera takes a command of a valid channel (0) and refuses any other (-1).
    r.answer(kPtzCameraCommand, [](const SimRequest& q, SimAnswer& a) {
      PtzCameraCommand c;
      a.int32(payload_as(q, &c) && valid_channel(c.chnid) ? 0 : -1);
    });
    r.answer(kPtzCameraState, [this](const SimRequest& q, SimAnswer& a) {
      int32_t channel = -1;
      if (!payload_as(q, &channel)) return;
      std::lock_guard<std::mutex> lock(mutex_);
      const bool busy = valid_channel(channel) && busy_head(head(view_key(channel, 0, 0)));
      a.record(PtzCameraState{channel, valid_channel(channel) ? (busy ? 1 : 0) : -1});
    });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.empty() || words[0] != "position") return false;
    char* end = nullptr;
    const long channel = words.size() == 2 ? std::strtol(words[1].c_str(), &end, 10) : -1;
    if (words.size() != 2 || end == nullptr || *end != '\0' || !valid_channel(channel)) {
      *answer = "error usage: position <channel 0..63>";
      return true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Head& h = head(view_key(channel, 0, 0));
    const Position p = position(h);
    char text[128];
    std::snprintf(text, sizeof text, "pan=%.1f tilt=%.1f zoom=%.1f moving=%d tour=%d", p.pan, p.tilt, p.zoom,
                  moving(h) ? 1 : 0, h.tour + 1);
    *answer = text;
    return true;
  }

 private:
  // Heads of the cameras (key = channel) and of fisheye views (64 + channel * 16 + stream); -1 for
  // a channel outside 0..63, whose key would be another channel's or another view's.
  static int64_t view_key(int32_t channel, int32_t fisheye, int32_t stream) {
    if (!valid_channel(channel)) return -1;
    return fisheye == 0 ? channel : 64 + int64_t{channel} * 16 + std::clamp(stream, 0, 15);
  }
  static bool moving(const Head& h) { return h.dpan != 0 || h.dtilt != 0 || h.dzoom != 0; }
  static bool busy_head(const Head& h) { return moving(h) || h.tour >= 0; }

  // Callers hold mutex_.
  Head& head(int64_t key) {
    auto it = heads_.find(key);
    if (it == heads_.end()) it = heads_.emplace(key, std::make_unique<Head>()).first;
    return *it->second;
  }
  Position position(const Head& h) const {
    const double seconds = std::chrono::duration<double>(Clock::now() - h.since).count();
    if (h.tour >= 0) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - h.tour_since).count();
      const int point = tour_point(h.tours[h.tour], elapsed);
      const int preset = point >= 0 ? h.tours[h.tour].presets[point] : 0;
      if (preset >= 1 && preset <= kPtzPresetMax && h.presets[preset].enabled) return h.presets[preset].at;
      return h.at;
    }
    Position p = h.at;
    p.pan += h.dpan * h.speed * seconds;
    p.tilt += h.dtilt * h.speed * seconds;
    p.zoom += h.dzoom * h.speed * seconds / 10.0;
    return normalised(p);
  }
  void stop(Head& h) {
    h.at = position(h);
    h.dpan = h.dtilt = h.dzoom = 0;
    h.since = Clock::now();
  }

  // Moves the head of `key` (a camera or a fisheye view; -1: none).
  void move(int64_t key, int32_t action, int32_t speed) {
    if (key < 0) return;
    static constexpr int kDirections[11][3] = {{0, 0, 0},  {0, 1, 0},  {0, -1, 0}, {-1, 0, 0},
                                               {1, 0, 0},  {-1, 1, 0}, {1, 1, 0},  {-1, -1, 0},
                                               {1, -1, 0}, {0, 0, 1},  {0, 0, -1}};
    std::lock_guard<std::mutex> lock(mutex_);
    Head& h = head(key);
    if (action == 21) action = 0;
    if (action < 0 || action > 10) return;
    stop(h);
    h.tour = -1;
    h.dpan = kDirections[action][0];
    h.dtilt = kDirections[action][1];
    h.dzoom = kDirections[action][2];
    h.speed = std::max(speed, 1) * 10.0;
  }

  // Starts or stops tour `tourid` of the head of `key` (a camera or a fisheye view; -1: none).
  void run_tour(int64_t key, int32_t tourid, bool start) {
    if (key < 0 || tourid < 1 || tourid > kPtzTours) return;
    std::lock_guard<std::mutex> lock(mutex_);
    Head& h = head(key);
    stop(h);
    if (start) {
      h.tour = tourid - 1;
      h.tour_since = Clock::now();
    } else if (h.tour == tourid - 1) {
      h.tour = -1;
    }
  }

  void set_tour(int64_t key, int index, const PtzTourArrays& tour) {
    if (index < 0 || index >= kPtzTours || key < 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    Head& h = head(key);
    if (h.tour == index) {
      h.at = position(h);
      h.tour = -1;
    }
    h.tours[index] = tour;
  }

  // Presets 1..300 in list order, the tours, and per tour: running (row 0), the key point being
  // visited (row 1).
  void listing(int64_t key, SimAnswer& a) {
    auto l = std::make_unique<PtzListing>();
    *l = PtzListing{};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Head& h = head(key);
      for (int i = 0; i < kPtzListedPresets; ++i) {
        l->presets[i].enable = h.presets[i + 1].enabled ? 1 : 0;
        std::memcpy(l->presets[i].name, h.presets[i + 1].name, sizeof l->presets[i].name);
      }
      std::memcpy(l->tours, h.tours, sizeof l->tours);
      if (h.tour >= 0) {
        l->tour_status[0][h.tour] = 1;
        const double elapsed = std::chrono::duration<double>(Clock::now() - h.tour_since).count();
        l->tour_status[1][h.tour] = std::max(tour_point(h.tours[h.tour], elapsed), 0);
      }
    }
    a.record(*l);
  }

  std::mutex mutex_;
  std::map<int64_t, std::unique_ptr<Head>> heads_;
  KeyedStore<PtzStatusBlock> status_{factory_status};
};

}  // namespace

std::unique_ptr<SimModule> make_ptz_sim() { return std::make_unique<PtzSim>(); }
