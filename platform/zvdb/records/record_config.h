// Recording settings the configuration database keeps: the record row of each channel (mode,
// pre-/post-recording, audio, expiry), the weekly recording plan of each channel and the holiday
// list. The same bytes on the 32-bit device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/schedule_record.h"
#include "platform/zvrecord/schema.h"

constexpr int kRecordChannels = 64;   // record rows and plans of channels 0..63
constexpr int kHolidays = 32;         // holiday ids 0..31
constexpr int kRecordModeMax = 2;     // recording modes 0..2 (their meaning is the core's)
constexpr int kHolidayNameSize = 256;

// One channel's record row (72 bytes). The mode is the int32 at offset 4, which the local
// settings' "one recording mode for all channels" writes too. The words after the expiry date are
// the core's; every handler keeps them as read.
struct RecordConfig {
  int32_t id;  // the channel
  int32_t mode;
  int32_t audio_enable;
  int32_t prev_record_on;
  int32_t prev_record_duration;
  int32_t post_record_on;
  int32_t post_record_duration;
  int32_t record_exp_date;
  int32_t core_words[10];
};
// The JSON form is the record settings request ("/6045"): a member it does not carry keeps the
// channel's stored value.
ZV_SCHEMA(RecordConfig, ZV_FIELD(id, "id").out_only(), ZV_FIELD(mode, "mode").out_only(),
          ZV_FIELD(audio_enable, "audioEnable").keep_if_absent().range(0, 1),
          ZV_FIELD(prev_record_on, "prevRecordOn").keep_if_absent().range(0, 1),
          ZV_FIELD(prev_record_duration, "prevRecordDuration").keep_if_absent().at_least(0),
          ZV_FIELD(post_record_on, "postRecordOn").keep_if_absent().range(0, 1),
          ZV_FIELD(post_record_duration, "postRecordDuration").required().at_least(0),
          ZV_FIELD(record_exp_date, "recordExpDate").keep_if_absent(), ZV_RESERVED(core_words));
static_assert(sizeof(RecordConfig) == 72);

// The weekly recording plan of a channel: all 48 ranges of a day are used; the day flag is
// "wholedayEnable" and the day word "wholedayActionType". The trailing word is kept 0.
struct RecordSchedule {
  Schedule plan;
  int32_t spare;
};
ZV_SCHEMA(RecordSchedule, ZV_INTERNAL(plan), ZV_RESERVED(spare));
static_assert(sizeof(RecordSchedule) == 26180);

// One holiday. The JSON keys are the field names; a write that does not carry a member keeps the
// stored value.
struct HolidayConfig {
  int32_t id;
  char name[kHolidayNameSize];
  int32_t enable;
  int32_t type;
  int32_t start_year;
  int32_t start_mon;
  int32_t start_mday;
  int32_t start_mweek;
  int32_t start_wday;
  int32_t end_year;
  int32_t end_mon;
  int32_t end_mday;
  int32_t end_mweek;
  int32_t end_wday;
};
ZV_SCHEMA(HolidayConfig, ZV_FIELD(id, "id").required().range(0, kHolidays - 1),
          ZV_FIELD(name, "name").keep_if_absent(), ZV_FIELD(enable, "enable").required().range(0, 1),
          ZV_FIELD(type, "type").required().at_least(0),
          ZV_FIELD(start_year, "startYear").keep_if_absent(), ZV_FIELD(start_mon, "startMon").keep_if_absent(),
          ZV_FIELD(start_mday, "startMDay").keep_if_absent(), ZV_FIELD(start_mweek, "startMWeek").keep_if_absent(),
          ZV_FIELD(start_wday, "startWDay").keep_if_absent(), ZV_FIELD(end_year, "endYear").keep_if_absent(),
          ZV_FIELD(end_mon, "endMon").keep_if_absent(), ZV_FIELD(end_mday, "endMDay").keep_if_absent(),
          ZV_FIELD(end_mweek, "endMWeek").keep_if_absent(), ZV_FIELD(end_wday, "endWDay").keep_if_absent());
static_assert(sizeof(HolidayConfig) == 308);
