// Messages of the video-loss, alarm-input, snapshot and camera-side alarm pages: payload records
// with their schemas and every message declared once (the handlers, the core simulator and the
// tests share them). Little-endian, the same bytes on the device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvdb/records/motion_record.h"
#include "platform/zvrecord/schema.h"

// The channels a snapshot change concerns, in request order (1311, 1312).
struct ChannelList64 {
  int32_t channels[64];
  int32_t count;
};
ZV_SCHEMA(ChannelList64, ZV_INTERNAL(channels), ZV_INTERNAL(count));
static_assert(sizeof(ChannelList64) == 260);

// Manual snapshots started (action 1) or stopped (action 0) on the flagged channels (1313).
struct SnapshotControl {
  int32_t action;
  int32_t flag[64];
};
ZV_SCHEMA(SnapshotControl, ZV_INTERNAL(action), ZV_INTERNAL(flag));
static_assert(sizeof(SnapshotControl) == 260);

// A camera's alarm-input event as the camera reports it (reply 8213).
struct CameraIoAlarmState {
  int32_t cam_id;
  int32_t enable;
  int32_t type;
  int32_t tri_actions;
  char tri_channels[kEventTextSize];
  char pad[3];
};
ZV_SCHEMA(CameraIoAlarmState, ZV_FIELD(cam_id, "camId"), ZV_FIELD(enable, "enable"), ZV_FIELD(type, "type"),
          ZV_FIELD(tri_actions, "triActions"), ZV_FIELD(tri_channels, "triChannels"), ZV_RESERVED(pad));
static_assert(sizeof(CameraIoAlarmState) == 84);

// What the camera takes of its alarm-input event (3214); read from the set request.
struct CameraIoAlarmSet {
  int32_t cam_id;
  int32_t enable;
  int32_t type;
};
ZV_SCHEMA(CameraIoAlarmSet, ZV_FIELD(cam_id, "camId").required().range(0, 63),
          ZV_FIELD(enable, "enable").required().range(0, 1), ZV_FIELD(type, "type").required().at_least(0));

// A camera's audio-level alarm as the camera reports it (reply 8215).
struct AudioAlarmState {
  int32_t cam_id;
  int32_t enable;
  int32_t type;
  int32_t volume;
  int32_t duration;
  int32_t on_event;
  int32_t off_event;
  int32_t ongoing_event;
  int32_t tri_actions;
  char tri_channels[kEventTextSize];
  char pad[3];
};
ZV_SCHEMA(AudioAlarmState, ZV_FIELD(cam_id, "camId"), ZV_FIELD(enable, "enable"), ZV_FIELD(type, "type"),
          ZV_FIELD(volume, "volume"), ZV_FIELD(duration, "duration"), ZV_FIELD(on_event, "onEvent"),
          ZV_FIELD(off_event, "offEvent"), ZV_FIELD(ongoing_event, "ongoingEvent"),
          ZV_FIELD(tri_actions, "triActions"), ZV_FIELD(tri_channels, "triChannels"), ZV_RESERVED(pad));
static_assert(sizeof(AudioAlarmState) == 104);

// What the camera takes of its audio-level alarm (3216); read from the set request.
struct AudioAlarmSet {
  int32_t cam_id;
  int32_t enable;
  int32_t type;
  int32_t volume;
  int32_t duration;
  int32_t on_event;
  int32_t off_event;
  int32_t ongoing_event;
};
ZV_SCHEMA(AudioAlarmSet, ZV_FIELD(cam_id, "camId").required().range(0, 63),
          ZV_FIELD(enable, "enable").required().range(0, 1), ZV_FIELD(type, "type").required().at_least(0),
          ZV_FIELD(volume, "volume").required().at_least(0), ZV_FIELD(duration, "duration").required().at_least(0),
          ZV_FIELD(on_event, "onEvent").required().at_least(0), ZV_FIELD(off_event, "offEvent").required().at_least(0),
          ZV_FIELD(ongoing_event, "ongoingEvent").required().at_least(0));
static_assert(sizeof(AudioAlarmSet) == 32);

// ---- Messages (the core answers N with N + 5000) ----
inline constexpr Notice<ChannelList64> kSnapshotSettingsChanged{1311, "snapshot settings changed"};
inline constexpr Notice<ChannelList64> kSnapshotPlanChanged{1312, "snapshot plan changed"};
inline constexpr Notice<SnapshotControl> kSnapshotControl{1313, "manual snapshot"};
inline constexpr Notice<int32_t> kVideoLossChanged{1402, "video loss changed"};
inline constexpr Notice<int32_t> kAlarmInChanged{1404, "alarm input changed"};
inline constexpr Notice<ChannelMask64> kVideoLossesChanged{1414, "video losses changed"};
inline constexpr Notice<ChannelMask64> kAlarmInsChanged{1415, "alarm inputs changed"};
inline constexpr Notice<NoPayload> kTriggerAlarmsChanged{2104, "trigger alarms changed"};
inline constexpr Exchange<int32_t, CameraIoAlarmState> kCameraIoAlarmRead{3213, 8213, "camera io alarm"};
inline constexpr Notice<CameraIoAlarmSet> kCameraIoAlarmSet{3214, "camera io alarm set"};
inline constexpr Exchange<int32_t, AudioAlarmState> kAudioAlarmRead{3215, 8215, "camera audio alarm"};
inline constexpr Notice<AudioAlarmSet> kAudioAlarmSet{3216, "camera audio alarm set"};
