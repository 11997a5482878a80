// One channel's recording settings (configuration database, table "record", one row per channel).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

struct RecordConfig {
  int32_t id;                    // the channel, 0..63
  int32_t mode;                  // recording mode 0..2
  int32_t audio_enable;
  int32_t prev_record_on;
  int32_t prev_record_duration;
  int32_t post_record_on;
  int32_t post_record_duration;
  int32_t record_exp_date;
  int32_t reserved[10];
};
ZV_SCHEMA(RecordConfig, ZV_FIELD(id, "id").required().range(0, 63), ZV_FIELD(mode, "mode").range(0, 2),
          ZV_FIELD(audio_enable, "audioEnable").range(0, 1), ZV_FIELD(prev_record_on, "prevRecordOn").range(0, 1),
          ZV_FIELD(prev_record_duration, "prevRecordDuration").at_least(0),
          ZV_FIELD(post_record_on, "postRecordOn").range(0, 1),
          ZV_FIELD(post_record_duration, "postRecordDuration"), ZV_FIELD(record_exp_date, "recordExpDate"),
          ZV_RESERVED(reserved));
static_assert(sizeof(RecordConfig) == 72);
static_assert(offsetof(RecordConfig, mode) == 4);
