// The recorder's motion event of one channel (configuration database). The core reads the same
// record; interval and email_interval sit at bytes 388 and 468.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

constexpr int kMotionTableSize = 368;    // the motion grid text as the camera defines it
constexpr int kEventTextSize = 65;       // 64 characters and the terminator
constexpr int kMaxChannels = 64;

struct MotionRecord {
  int32_t channel;
  int32_t enable;
  int32_t sensitivity;
  uint32_t tri_channels_mask;            // bit n = character n of tri_channels is '1' (n < 32)
  int32_t tri_alarms;
  char motion_table[kMotionTableSize];
  int32_t interval;
  int32_t enable_zv;                     // 1 = the camera runs its own motion detection
  char tri_channels[kEventTextSize];     // '0'/'1' per channel
  char pad0[3];
  int32_t email_enable;
  int32_t email_interval;
  char tri_chn_alarms[2][kEventTextSize];
  char pad1[2];
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t email_pic_enable;
  char tri_channels_pic[kEventTextSize];
  char pad2[3];
  int32_t audio_id;
};

// The JSON form is the whole-record set ("camId" ... "enableZV", every member required); the
// other action fields carry the keys of the read-back reply and of the action block.
ZV_SCHEMA(MotionRecord,
          ZV_FIELD(channel, "camId").required().range(0, 63),
          ZV_FIELD(enable, "enable").required().range(0, 2),
          ZV_FIELD(sensitivity, "sensitivity").required().at_least(0),
          ZV_INTERNAL(tri_channels_mask),
          ZV_FIELD(tri_alarms, "triAlarms").required().at_least(0),
          ZV_FIELD(motion_table, "motionTable").required(),
          ZV_FIELD(interval, "interval").required().at_least(0),
          ZV_FIELD(enable_zv, "enableZV").required(),
          ZV_FIELD(tri_channels, "triChannels").required(),
          ZV_RESERVED(pad0),
          ZV_FIELD(email_enable, "email_enable").out_only(),
          ZV_FIELD(email_interval, "email_interval").out_only(),
          ZV_INTERNAL(tri_chn_alarms),  // "triChnAlarms": two texts, read and printed by the handler
          ZV_RESERVED(pad1),
          ZV_FIELD(ptz_interval, "ptz_interval").out_only(),
          ZV_FIELD(alarmout_interval, "alarmout_interval").out_only(),
          ZV_FIELD(white_interval, "white_interval").out_only(),
          ZV_FIELD(email_pic_enable, "email_pic_enable").out_only(),
          ZV_FIELD(tri_channels_pic, "tri_channels_pic").out_only(),
          ZV_RESERVED(pad2),
          ZV_FIELD(audio_id, "audioId").out_only());

static_assert(sizeof(MotionRecord) == 692);
