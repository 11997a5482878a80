// The recorder's alarm contacts and the cameras' own alarms (configuration database): the rows
// that the alarm pages write and the video-loss, status and event pages read.
//
// How many recorder alarm inputs there are: 16, numbered 0..15. The input table holds exactly
// these rows (keys outside 0..15 are refused by the database), every read-all call takes the
// capacity of the caller's array, and every request that names inputs (one number or a list)
// skips or refuses numbers outside 0..15, so a list entry 16..63 can never address a row that
// does not exist. Outputs: 4, numbered 0..3. Camera channels 0..63 bring 2 alarm inputs and 2
// alarm outputs each (alarm index 0 and 1).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/motion_record.h"
#include "platform/zvrecord/schema.h"

constexpr int kAlarmInputs = 16;
constexpr int kAlarmOutputs = 4;
constexpr int kCameraAlarms = 2;  // alarm inputs (and outputs) per camera channel
constexpr int kAlarmNameSize = 256;
constexpr int kCameraAlarmNameSize = 64;

// One recorder alarm output.
struct AlarmOutConfig {
  int32_t id;
  char name[kAlarmNameSize];
  int32_t type;
  int32_t enable;
  int32_t duration_time;
};
ZV_SCHEMA(AlarmOutConfig, ZV_FIELD(id, "id").out_only(), ZV_FIELD(name, "name").keep_if_absent(),
          ZV_FIELD(type, "type").keep_if_absent(), ZV_FIELD(enable, "enable").keep_if_absent().range(0, 2),
          ZV_FIELD(duration_time, "durationTime").keep_if_absent().at_least(0));
static_assert(sizeof(AlarmOutConfig) == 272);

// One recorder alarm input with its action block. The JSON form is the short form of the input
// pages ("id" .. "interval"); the action fields carry the keys of the action block.
struct AlarmInConfig {
  int32_t id;
  int32_t enable;  // 0, 1 or 2 (2: set by an action block that carried an interval)
  char name[kAlarmNameSize];
  int32_t type;                    // 0 or 1
  uint32_t tri_channels_mask;      // bit n = character n of tri_channels is '1' (n < 32)
  int32_t tri_alarms;
  int32_t interval;
  char tri_channels[kEventTextSize];
  char pad0[3];
  int32_t email_enable;            // the e-mail mode: 2 once an e-mail interval was set
  int32_t email_interval;
  char tri_snapshot[kEventTextSize];
  char tri_chn_alarms[2][kEventTextSize];
  char pad1[1];
  int32_t reserved;
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t email_pic_enable;
  char tri_channels_pic[kEventTextSize];
  char pad2[3];
  int32_t audio_id;
};
ZV_SCHEMA(AlarmInConfig, ZV_FIELD(id, "id").required().range(0, 15),
          ZV_FIELD(enable, "enable").required().range(0, 2), ZV_FIELD(name, "name").keep_if_absent(),
          ZV_FIELD(type, "type").required().range(0, 1), ZV_INTERNAL(tri_channels_mask),
          ZV_FIELD(tri_alarms, "triAlarms").required().at_least(0),
          ZV_FIELD(interval, "interval").required().at_least(0),
          ZV_FIELD(tri_channels, "triChannels").required(), ZV_RESERVED(pad0),
          ZV_FIELD(email_enable, "email_enable").out_only(),
          ZV_FIELD(email_interval, "email_interval").out_only(),
          ZV_FIELD(tri_snapshot, "triSnapshot").out_only(),
          ZV_INTERNAL(tri_chn_alarms),  // "triChnAlarms": two texts, read and printed by the handler
          ZV_RESERVED(pad1), ZV_RESERVED(reserved),
          ZV_FIELD(ptz_interval, "ptz_interval").out_only(),
          ZV_FIELD(alarmout_interval, "alarmout_interval").out_only(),
          ZV_FIELD(white_interval, "white_interval").out_only(),
          ZV_FIELD(email_pic_enable, "email_pic_enable").out_only(),
          ZV_FIELD(tri_channels_pic, "tri_channels_pic").out_only(), ZV_RESERVED(pad2),
          ZV_FIELD(audio_id, "audioId").out_only());
static_assert(sizeof(AlarmInConfig) == 644);

// The action block of a camera's alarm input (channel, alarm index).
struct CameraAlarmInEvent {
  int32_t channel;
  int32_t alarm_index;
  int32_t enable;  // 2 once an action block carried an interval
  uint32_t tri_channels_mask;
  int32_t tri_alarms;
  int32_t interval;
  int32_t audio_id;
  int32_t email_interval;
  int32_t email_pic_enable;
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  char tri_channels[kEventTextSize];
  char tri_channels_pic[kEventTextSize];
  char tri_chn_alarms[2][kEventTextSize];
};
ZV_SCHEMA(CameraAlarmInEvent, ZV_INTERNAL(channel), ZV_INTERNAL(alarm_index), ZV_INTERNAL(enable),
          ZV_INTERNAL(tri_channels_mask), ZV_FIELD(tri_alarms, "triAlarms"), ZV_FIELD(interval, "interval"),
          ZV_FIELD(audio_id, "audioId"), ZV_FIELD(email_interval, "email_interval"),
          ZV_FIELD(email_pic_enable, "email_pic_enable"), ZV_FIELD(ptz_interval, "ptz_interval"),
          ZV_FIELD(alarmout_interval, "alarmout_interval"), ZV_FIELD(white_interval, "white_interval"),
          ZV_FIELD(tri_channels, "triChannels"), ZV_FIELD(tri_channels_pic, "tri_channels_pic"),
          ZV_INTERNAL(tri_chn_alarms));
static_assert(sizeof(CameraAlarmInEvent) == 308);

// The name of a camera's alarm input (channel, alarm index).
struct CameraAlarmInName {
  int32_t channel;
  int32_t alarm_index;
  char name[kCameraAlarmNameSize];
};
ZV_SCHEMA(CameraAlarmInName, ZV_INTERNAL(channel), ZV_INTERNAL(alarm_index),
          ZV_FIELD(name, "alarmName").keep_if_absent());
static_assert(sizeof(CameraAlarmInName) == 72);

// The name and hold time of a camera's alarm output (channel, alarm index).
struct CameraAlarmOutName {
  int32_t channel;
  int32_t alarm_index;
  int32_t delay_time;
  char name[kCameraAlarmNameSize];
};
ZV_SCHEMA(CameraAlarmOutName, ZV_INTERNAL(channel), ZV_INTERNAL(alarm_index),
          ZV_FIELD(delay_time, "delayTime").keep_if_absent().at_least(0),
          ZV_FIELD(name, "alarmName").keep_if_absent());
static_assert(sizeof(CameraAlarmOutName) == 76);
