// The recorder's motion event of one channel (configuration database). The core reads the same
// record; interval and email_interval sit at bytes 388 and 468.
#pragma once

#include <cstddef>
#include <cstdint>

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

static_assert(sizeof(MotionRecord) == 692);
static_assert(offsetof(MotionRecord, enable) == 4);
static_assert(offsetof(MotionRecord, sensitivity) == 8);
static_assert(offsetof(MotionRecord, tri_channels_mask) == 12);
static_assert(offsetof(MotionRecord, tri_alarms) == 16);
static_assert(offsetof(MotionRecord, motion_table) == 20);
static_assert(offsetof(MotionRecord, interval) == 388);
static_assert(offsetof(MotionRecord, enable_zv) == 392);
static_assert(offsetof(MotionRecord, tri_channels) == 396);
static_assert(offsetof(MotionRecord, email_enable) == 464);
static_assert(offsetof(MotionRecord, email_interval) == 468);
static_assert(offsetof(MotionRecord, tri_chn_alarms) == 472);
static_assert(offsetof(MotionRecord, ptz_interval) == 604);
static_assert(offsetof(MotionRecord, alarmout_interval) == 608);
static_assert(offsetof(MotionRecord, white_interval) == 612);
static_assert(offsetof(MotionRecord, email_pic_enable) == 616);
static_assert(offsetof(MotionRecord, tri_channels_pic) == 620);
static_assert(offsetof(MotionRecord, audio_id) == 688);
