// The video-loss event of one channel (configuration database): its action fields; its plans,
// LED and PTZ actions are the shared records of schedule_record.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/motion_record.h"
#include "platform/zvrecord/schema.h"

struct VideoLossRecord {
  int32_t id;  // the channel
  int32_t enable;
  int32_t tri_alarms;
  int32_t interval;
  int32_t action_enable;  // set to 2 together with enable when an action block changed the record
  int32_t email_interval;
  char tri_chn_alarms[2][kEventTextSize];
  char pad0[2];
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t audio_id;
};
// The JSON form is the older single-channel set ("camId" .. "interval").
ZV_SCHEMA(VideoLossRecord, ZV_FIELD(id, "camId").required().range(0, 63),
          ZV_FIELD(enable, "enable").required().range(0, 2),
          ZV_FIELD(tri_alarms, "triAlarms").required().at_least(0),
          ZV_FIELD(interval, "interval").required().at_least(0), ZV_INTERNAL(action_enable),
          ZV_FIELD(email_interval, "email_interval").out_only(), ZV_INTERNAL(tri_chn_alarms), ZV_RESERVED(pad0),
          ZV_FIELD(ptz_interval, "ptz_interval").out_only(),
          ZV_FIELD(alarmout_interval, "alarmout_interval").out_only(),
          ZV_FIELD(white_interval, "white_interval").out_only(), ZV_FIELD(audio_id, "audioId").out_only());
static_assert(sizeof(VideoLossRecord) == 172);
