// Alarm module: the live alarm state of the simulated device. The recorder's 16 alarm inputs and
// the cameras' alarm inputs are raised and cleared by control commands (the contacts a test
// closes by hand); alarm outputs are switched by the manual trigger (1409) and the camera alarm
// state message (3352); the cameras keep the enable and type of their alarms (3325, 3324) and
// their own alarm-input and audio-level settings (3214, 3216), returned by their reads; manual
// snapshots run per channel between their start and stop (1313). Recorder-side changes (video
// loss, alarm inputs and outputs, snapshots, trigger alarms) are notices the core rereads.
//
// Control commands (zvcore-sim ctl alarm ...):
//   raise in <0..15> | clear in <0..15>              a recorder alarm input
//   raise camera <0..63> <0|1> | clear camera ...     a camera's alarm input
//   state                                             "inputs <16 x 0/1> outputs <4 x 0/1>
//                                                     snapshots <channels or ->"
//   masks                                             the live state as numbers (the status
//                                                     module's event and alarm state): input
//                                                     bits, output bits, then per alarm index
//                                                     0 and 1 the camera input state, output
//                                                     state, input type and output type masks
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "common/request.h"
#include "common/messages/alarm.h"
#include "common/messages/alarm_event.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/zvdb.h"
#include "tools/zvcore-sim/cameras.h"
#include "tools/zvcore-sim/modules.h"
#include "tools/zvcore-sim/rules.h"

namespace {

bool valid_channel(int64_t channel) { return channel >= 0 && channel < 64; }

void ignore_bad_payload(const SimRequest& request) {
  std::fprintf(stderr, "zvcore-sim: message %d with a payload of %u bytes ignored\n", request.id, request.length);
}

// A camera's alarms: two inputs and two outputs.
struct CameraAlarms {
  CameraAlarmInState in{};
  CameraAlarmOutState out{};
};
CameraAlarms factory_camera_alarms(int64_t channel) {
  CameraAlarms a;
  a.in.channel = a.out.channel = static_cast<int32_t>(channel);
  a.in.count = a.out.count = kCameraAlarms;
  return a;
}

CameraIoAlarmSet factory_io(int64_t channel) { return CameraIoAlarmSet{static_cast<int32_t>(channel), 0, 0}; }
AudioAlarmSet factory_audio(int64_t channel) {
  AudioAlarmSet a{};
  a.cam_id = static_cast<int32_t>(channel);
  return a;
}

// Keeps a camera-side alarm setting (enable and type, audio levels) of a valid channel.
template <class Set>
void keep_camera_setting(const SimRequest& q, KeyedStore<Set>& kept) {
  Set s;
  if (!payload_as(q, &s) || !valid_channel(s.cam_id)) return ignore_bad_payload(q);
  if (sim_camera_present(s.cam_id)) kept.put(s.cam_id, s);
}

// The channels of a mask that have a camera (a set reaches no other), with the message's own values.
template <class F>
void for_each_camera(ChannelMask64 mask, F&& f) {
  for (int c = 0; c < 64; ++c) {
    if (mask.test(c) && sim_camera_present(c)) f(c);
  }
}

// A camera's alarm state as the read of a channel answers it: the members of the last set (the
// state begins with them, in the set's layout) and the triggers of the channel's action block.
template <class State, class Row, class Set, class Blocks>
void answer_alarm_state(const SimRequest& q, SimAnswer& a, KeyedStore<Set>& sets, const Blocks& blocks) {
  static_assert(offsetof(State, tri_actions) == sizeof(Set));
  int32_t channel = 0;
  if (!payload_as(q, &channel, true)) return ignore_bad_payload(q);
  State state{};
  if (valid_channel(channel)) {
    const Set kept = sets.get(channel);
    std::memcpy(&state, &kept, sizeof kept);
    Row row{};
    blocks.read(kZvdbPath, &row, {channel});
    state.tri_actions = row.tri_actions;
    std::memcpy(state.tri_channels, row.tri_channels, sizeof state.tri_channels);
  }
  state.cam_id = channel;
  a.record(state);
}

class AlarmSim : public SimModule {
 public:
  const char* name() const override { return "alarm"; }

  void rules(SimRules& r) override {
    for (const auto* n : {&kVideoLossChanged, &kAlarmInChanged, &kAlarmOutChanged}) r.notice(*n);
    for (const auto* n : {&kVideoLossesChanged, &kAlarmInsChanged, &kCameraAlarmInsChanged, &kCameraAlarmOutsChanged}) {
      r.notice(*n);
    }
    r.notice(kSnapshotSettingsChanged);
    r.notice(kSnapshotPlanChanged);
    r.notice(kTriggerAlarmsChanged);

    r.answer(kAlarmOutTrigger, [this](const SimRequest& q, SimAnswer&) {
      AlarmOutTrigger t;
      if (!payload_as(q, &t) || t.id < 0 || t.id >= kAlarmOutputs) return ignore_bad_payload(q);
      std::lock_guard<std::mutex> lock(mutex_);
      outputs_[t.id] = t.enable != 0;
    });
    r.answer(kSnapshotControl, [this](const SimRequest& q, SimAnswer&) {
      SnapshotControl c;
      if (!payload_as(q, &c)) return ignore_bad_payload(q);
      std::lock_guard<std::mutex> lock(mutex_);
      for (int ch = 0; ch < 64; ++ch) {
        if (c.flag[ch] == 1) snapshots_[ch] = c.action == 1;
      }
    });

    // Camera alarms: settings for the masked cameras, live state per camera.
    r.answer(kCameraAlarmInSet, [this](const SimRequest& q, SimAnswer&) {
      CameraAlarmInSet s;
      if (!payload_as(q, &s)) return ignore_bad_payload(q);
      for_each_camera(s.mask, [&](int c) {
        cameras_.update(c, [&](CameraAlarms& a) {
          if (s.count > 0) a.in.enable[0] = s.enable0, a.in.type[0] = s.type0;
          if (s.count > 1) a.in.enable[1] = s.enable1, a.in.type[1] = s.type1;
        });
      });
    });
    r.answer(kCameraAlarmOutSet, [this](const SimRequest& q, SimAnswer&) {
      CameraAlarmOutSet s;
      if (!payload_as(q, &s)) return ignore_bad_payload(q);
      for_each_camera(s.mask, [&](int c) {
        cameras_.update(c, [&](CameraAlarms& a) {
          if (s.count > 0) a.out.type[0] = s.type0;
          if (s.count > 1) a.out.type[1] = s.type1;
        });
      });
    });
    r.answer(kCameraAlarmStateSet, [this](const SimRequest& q, SimAnswer&) {
      CameraAlarmStateSet s;
      if (!payload_as(q, &s) || !valid_channel(s.channel) || s.alarm_index < 0 || s.alarm_index >= kCameraAlarms) {
        return ignore_bad_payload(q);
      }
      cameras_.update(s.channel, [&](CameraAlarms& a) { a.out.status[s.alarm_index] = s.state; });
    });
    r.answer(kCameraAlarmInRead, [this](const SimRequest& q, SimAnswer& a) { camera_state(q, a, &CameraAlarms::in); });
    r.answer(kCameraAlarmOutRead,
             [this](const SimRequest& q, SimAnswer& a) { camera_state(q, a, &CameraAlarms::out); });

    // Camera-side alarm settings: the camera keeps enable and type (and the audio levels); the
    // actions are the recorder's rows of the same database.
    r.answer(kCameraIoAlarmSet, [this](const SimRequest& q, SimAnswer&) { keep_camera_setting(q, io_); });
    r.answer(kAudioAlarmSet, [this](const SimRequest& q, SimAnswer&) { keep_camera_setting(q, audio_); });
    r.answer(kCameraIoAlarmRead, [this](const SimRequest& q, SimAnswer& a) {
      answer_alarm_state<CameraIoAlarmState, CameraIoAlarm>(q, a, io_, kCameraIoAlarms);
    });
    r.answer(kAudioAlarmRead, [this](const SimRequest& q, SimAnswer& a) {
      answer_alarm_state<AudioAlarmState, AudioAlarm>(q, a, audio_, kAudioAlarms);
    });
  }

  bool control(const std::vector<std::string>& words, std::string* answer) override {
    if (words.size() == 1 && words[0] == "state") {
      *answer = state_line();
      return true;
    }
    if (words.size() == 1 && words[0] == "masks") {
      *answer = masks_line();
      return true;
    }
    if (words.empty() || (words[0] != "raise" && words[0] != "clear")) return false;
    const bool raise = words[0] == "raise";
    int32_t n = -1;
    int32_t k = -1;
    if (words.size() == 3 && words[1] == "in" && parse_decimal(words[2].c_str(), &n) && n >= 0 && n < kAlarmInputs) {
      std::lock_guard<std::mutex> lock(mutex_);
      inputs_[n] = raise;
      *answer = "input " + std::to_string(n) + (raise ? " raised" : " cleared");
      return true;
    }
    if (words.size() == 4 && words[1] == "camera" && parse_decimal(words[2].c_str(), &n) && valid_channel(n) &&
        parse_decimal(words[3].c_str(), &k) && k >= 0 && k < kCameraAlarms) {
      cameras_.update(n, [&](CameraAlarms& a) { a.in.status[k] = raise ? 1 : 0; });
      *answer = "camera " + std::to_string(n) + " input " + std::to_string(k) + (raise ? " raised" : " cleared");
      return true;
    }
    *answer = "error usage: " + words[0] + " in <0..15> | " + words[0] + " camera <0..63> <0|1>";
    return true;
  }

 private:
  // A camera's live alarm inputs or outputs as the read of a channel answers them.
  template <class State>
  void camera_state(const SimRequest& q, SimAnswer& a, State CameraAlarms::*part) {
    int32_t channel = 0;
    if (!payload_as(q, &channel, true)) return ignore_bad_payload(q);
    State state{};
    state.channel = channel;
    if (valid_channel(channel)) state = cameras_.get(channel).*part;
    a.record(state);
  }

  std::string state_line() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string line = "inputs ";
    for (bool on : inputs_) line += on ? '1' : '0';
    line += " outputs ";
    for (bool on : outputs_) line += on ? '1' : '0';
    line += " snapshots";
    bool any = false;
    for (int c = 0; c < 64; ++c) {
      if (!snapshots_[c]) continue;
      line += (any ? "," : " ") + std::to_string(c);
      any = true;
    }
    return any ? line : line + " -";
  }

  std::string masks_line() {
    uint32_t in_bits = 0;
    uint32_t out_bits = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int n = 0; n < kAlarmInputs; ++n) in_bits |= inputs_[n] ? 1U << n : 0U;
      for (int n = 0; n < kAlarmOutputs; ++n) out_bits |= outputs_[n] ? 1U << n : 0U;
    }
    // [k]: input state, output state, input type, output type of alarm index k.
    uint64_t masks[4][kCameraAlarms] = {};
    for (int c = 0; c < 64; ++c) {
      if (!cameras_.contains(c)) continue;
      const CameraAlarms a = cameras_.get(c);
      for (int k = 0; k < kCameraAlarms; ++k) {
        const uint64_t bit = uint64_t{1} << c;
        if (a.in.status[k] != 0) masks[0][k] |= bit;
        if (a.out.status[k] != 0) masks[1][k] |= bit;
        if (a.in.type[k] != 0) masks[2][k] |= bit;
        if (a.out.type[k] != 0) masks[3][k] |= bit;
      }
    }
    std::string line = std::to_string(in_bits) + " " + std::to_string(out_bits);
    for (const auto& kind : masks) {
      for (uint64_t m : kind) line += " " + std::to_string(m);
    }
    return line;
  }

  std::mutex mutex_;  // guards inputs_, outputs_, snapshots_
  bool inputs_[kAlarmInputs] = {};
  bool outputs_[kAlarmOutputs] = {};
  bool snapshots_[64] = {};
  KeyedStore<CameraAlarms> cameras_{factory_camera_alarms};
  KeyedStore<CameraIoAlarmSet> io_{factory_io};
  KeyedStore<AudioAlarmSet> audio_{factory_audio};
};

}  // namespace

std::unique_ptr<SimModule> make_alarm_sim() { return std::make_unique<AlarmSim>(); }
