// Messages of the alarm pages: the change notices of the recorder's alarm outputs and of the
// cameras' alarms, the cameras' live alarm state, and the payloads that carry camera alarm
// settings. (The alarm-input notices 1404 and 1415 are shared with the video pages:
// common/messages/alarm_event.h.)
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "common/messages/alarm_event.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvrecord/schema.h"

// A recorder alarm output switched by hand (1409).
struct AlarmOutTrigger {
  int32_t id;
  int32_t enable;
};
ZV_SCHEMA(AlarmOutTrigger, ZV_FIELD(id, "id").required().range(0, 3), ZV_FIELD(enable, "enable").required());

// Live state of a camera's alarm inputs (reply 8298).
struct CameraAlarmInState {
  int32_t channel;
  int32_t enable[2];
  int32_t type[2];
  int32_t status[2];
  int32_t count;  // alarm inputs the camera has
};
ZV_SCHEMA(CameraAlarmInState, ZV_INTERNAL(channel), ZV_INTERNAL(enable), ZV_INTERNAL(type), ZV_INTERNAL(status),
          ZV_INTERNAL(count));
static_assert(sizeof(CameraAlarmInState) == 32);

// Live state of a camera's alarm outputs (reply 8296).
struct CameraAlarmOutState {
  int32_t channel;
  int32_t type[2];
  int32_t status[2];
  int32_t count;
};
ZV_SCHEMA(CameraAlarmOutState, ZV_INTERNAL(channel), ZV_INTERNAL(type), ZV_INTERNAL(status), ZV_INTERNAL(count));
static_assert(sizeof(CameraAlarmOutState) == 24);

// Camera alarm-input settings for the camera and its copies (3325): alarm k's enable, index and
// type at 4 + 16k, 8 + 16k and 12 + 16k.
struct CameraAlarmInSet {
  int32_t zero;
  int32_t enable0;
  int32_t index0;
  int32_t type0;
  int32_t spare0;
  int32_t enable1;
  int32_t index1;
  int32_t type1;
  int32_t count;
  int32_t spare1;
  ChannelMask64 mask;  // the copy targets and the channel itself
};
ZV_SCHEMA(CameraAlarmInSet, ZV_RESERVED(zero), ZV_INTERNAL(enable0), ZV_INTERNAL(index0), ZV_INTERNAL(type0),
          ZV_RESERVED(spare0), ZV_INTERNAL(enable1), ZV_INTERNAL(index1), ZV_INTERNAL(type1), ZV_INTERNAL(count),
          ZV_RESERVED(spare1), ZV_INTERNAL(mask));
static_assert(sizeof(CameraAlarmInSet) == 48);

// Camera alarm-output settings for the camera and its copies (3324): alarm k's index and type at
// 4 + 12k and 8 + 12k.
struct CameraAlarmOutSet {
  int32_t zero;
  int32_t index0;
  int32_t type0;
  int32_t spare0;
  int32_t index1;
  int32_t type1;
  int32_t count;
  int32_t spare1;
  ChannelMask64 mask;
};
ZV_SCHEMA(CameraAlarmOutSet, ZV_RESERVED(zero), ZV_INTERNAL(index0), ZV_INTERNAL(type0), ZV_RESERVED(spare0),
          ZV_INTERNAL(index1), ZV_INTERNAL(type1), ZV_INTERNAL(count), ZV_RESERVED(spare1), ZV_INTERNAL(mask));
static_assert(sizeof(CameraAlarmOutSet) == 40);

// A camera alarm state given by hand (3352).
struct CameraAlarmStateSet {
  int32_t channel;
  int32_t alarm_index;
  int32_t state;
};
ZV_SCHEMA(CameraAlarmStateSet, ZV_FIELD(channel, "chnid").required().range(0, 63),
          ZV_FIELD(alarm_index, "alarmId").required().range(0, 1), ZV_FIELD(state, "state").required());

// ---- Messages (the core answers N with N + 5000) ----
inline constexpr Notice<int32_t> kAlarmOutChanged{1405, "alarm output changed"};
inline constexpr Notice<AlarmOutTrigger> kAlarmOutTrigger{1409, "alarm output trigger"};
inline constexpr Notice<ChannelMask64> kCameraAlarmInsChanged{1417, "camera alarm inputs changed"};
inline constexpr Notice<ChannelMask64> kCameraAlarmOutsChanged{1418, "camera alarm outputs changed"};
inline constexpr Exchange<int32_t, CameraAlarmOutState> kCameraAlarmOutRead{3296, 8296, "camera alarm outputs"};
inline constexpr Exchange<int32_t, CameraAlarmInState> kCameraAlarmInRead{3298, 8298, "camera alarm inputs"};
inline constexpr Notice<CameraAlarmOutSet> kCameraAlarmOutSet{3324, "camera alarm outputs set"};
inline constexpr Notice<CameraAlarmInSet> kCameraAlarmInSet{3325, "camera alarm inputs set"};
inline constexpr Notice<CameraAlarmStateSet> kCameraAlarmStateSet{3352, "camera alarm state"};
