// Scheduled snapshots of a channel, the cameras' own alarm-input and audio-level alarms, and the
// recorder's trigger-alarm values (configuration database).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/motion_record.h"
#include "platform/zvrecord/schema.h"

// How a channel stores still pictures. The words without a JSON key are kept 0.
struct SnapshotRecord {
  int32_t id;  // the channel
  int32_t reserved0;
  int32_t quality;
  int32_t interval;
  int32_t interval_unit;
  int32_t reserved1;
  int32_t reserved2;
  int32_t expiration_date;
  int32_t resolution;
};
ZV_SCHEMA(SnapshotRecord, ZV_INTERNAL(id), ZV_RESERVED(reserved0),
          ZV_FIELD(quality, "quality").keep_if_absent().at_least(0),
          ZV_FIELD(interval, "interval").keep_if_absent().at_least(0),
          ZV_FIELD(interval_unit, "interval_unit").keep_if_absent().at_least(0), ZV_RESERVED(reserved1),
          ZV_RESERVED(reserved2), ZV_FIELD(expiration_date, "expiration_date").keep_if_absent().at_least(0),
          ZV_FIELD(resolution, "resolution").keep_if_absent().at_least(0));
static_assert(sizeof(SnapshotRecord) == 36);

// A camera's alarm-input event ("cameraio") and audio-level alarm ("volumedetect"): the actions
// the recorder takes when the camera reports it.
struct CameraIoAlarm {
  int32_t cam_id;
  int32_t enable;
  uint32_t tri_channels_mask;  // bit n = character n of tri_channels is '1' (n < 32)
  int32_t tri_actions;
  char tri_channels[kEventTextSize];
  char pad[3];
};
ZV_SCHEMA(CameraIoAlarm, ZV_FIELD(cam_id, "camId").required().range(0, 63),
          ZV_FIELD(enable, "enable").required().range(0, 1), ZV_INTERNAL(tri_channels_mask),
          ZV_FIELD(tri_actions, "triActions").required().at_least(0),
          ZV_FIELD(tri_channels, "triChannels").required(), ZV_RESERVED(pad));
static_assert(sizeof(CameraIoAlarm) == 84);

struct AudioAlarm {
  int32_t cam_id;
  int32_t enable;
  uint32_t tri_channels_mask;
  int32_t tri_actions;
  char tri_channels[kEventTextSize];
  char pad[3];
};
ZV_SCHEMA(AudioAlarm, ZV_FIELD(cam_id, "camId").required().range(0, 63),
          ZV_FIELD(enable, "enable").required().range(0, 1), ZV_INTERNAL(tri_channels_mask),
          ZV_FIELD(tri_actions, "triActions").required().at_least(0),
          ZV_FIELD(tri_channels, "triChannels").required(), ZV_RESERVED(pad));
static_assert(sizeof(AudioAlarm) == 84);

// The recorder's seven trigger-alarm values, "0" .. "6" on the pages (one row).
constexpr int kTriggerAlarmValues = 7;
struct TriggerAlarms {
  int32_t values[kTriggerAlarmValues];
};
ZV_SCHEMA(TriggerAlarms, ZV_INTERNAL(values));
static_assert(sizeof(TriggerAlarms) == 28);
