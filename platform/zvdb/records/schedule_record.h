// Weekly time plans, white-light LED actions and PTZ action lists: the records that every event
// source of the recorder (motion, video loss, alarm inputs, analytics, plate lists, counting, POS,
// face) stores in the configuration database in the same form. Same bytes on the 32-bit device and
// on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvrecord/schema.h"

constexpr int kScheduleDays = 8;           // day blocks 0..7
constexpr int kScheduleRangesPerDay = 48;  // slots per day in the record
constexpr int kScheduleWebRanges = 12;     // slots per day the web pages read and write
constexpr int kScheduleTimeSize = 32;      // "HH:MM" texts, at most 31 characters kept

struct ScheduleRange {
  char start_time[kScheduleTimeSize];
  char end_time[kScheduleTimeSize];
  int32_t action_type;  // carried through unchanged; its meaning belongs to the core
};

struct ScheduleDay {
  ScheduleRange ranges[kScheduleRangesPerDay];
  int32_t day_flag;  // 1 = set through the flagged input form (recording plans: whole-day enable)
  int32_t day_word;  // left 0 by the event handlers (recording plans: whole-day action type)
};

struct Schedule {
  ScheduleDay days[kScheduleDays];
};

// A range prints as {"startTime", "endTime", "actionType"}; the web pages see 12 ranges a day.
ZV_SCHEMA(ScheduleRange, ZV_FIELD(start_time, "startTime"), ZV_FIELD(end_time, "endTime"),
          ZV_FIELD(action_type, "actionType"));
ZV_SCHEMA(ScheduleDay, ZV_RECORDS(ranges, nullptr), ZV_INTERNAL(day_flag), ZV_INTERNAL(day_word));
ZV_SCHEMA(Schedule, ZV_RECORDS(days, nullptr));

static_assert(sizeof(ScheduleRange) == 68);
static_assert(sizeof(ScheduleDay) == 3272);
static_assert(sizeof(Schedule) == 26176);

// White-light LED action: which channel's LED to switch, and how. At most 8 per event channel and
// LED parameter table; the database keeps them per (table name, owner channel).
constexpr int kWhiteLedMaxEntries = 8;
constexpr int kLedTableNameSize = 64;

struct WhiteLedEntry {
  int32_t owner_channel;  // the event's channel
  int32_t chnid;          // the channel whose LED is switched
  int32_t mode;
  int32_t time;
};

// Printed and read as {"chnid", "mode", "time"}.
ZV_SCHEMA(WhiteLedEntry, ZV_INTERNAL(owner_channel), ZV_FIELD(chnid, "chnid"), ZV_FIELD(mode, "mode"),
          ZV_FIELD(time, "time"));
static_assert(sizeof(WhiteLedEntry) == 16);

// The LED actions of one event channel as the write and copy calls take them.
struct WhiteLedParams {
  int32_t count;  // entries used, 0..8
  WhiteLedEntry entries[kWhiteLedMaxEntries];
};

ZV_SCHEMA(WhiteLedParams, ZV_INTERNAL(count), ZV_RECORDS(entries, nullptr));
static_assert(sizeof(WhiteLedParams) == 4 + 8 * 16);

// Key of an LED schedule: the event channel and the LED schedule table name.
struct WhiteLedKey {
  int32_t channel;
  char table_name[kLedTableNameSize];
};

ZV_SCHEMA(WhiteLedKey, ZV_INTERNAL(channel), ZV_INTERNAL(table_name));
static_assert(sizeof(WhiteLedKey) == 68);

// PTZ actions of one event source, keyed in the database by (PTZ source type, source id).
constexpr int kPtzActionMaxEntries = 64;
constexpr int kPeopleCountPtzMaxEntries = 8;  // people counting of camera groups (source type 20)
constexpr int kPtzSourcePeopleCount = 20;

struct PtzActionEntry {
  int32_t source_id;         // the request's "ptzChnId"
  int32_t acto_ptz_channel;  // the PTZ camera to move; 0 = empty entry
  int32_t spare;             // left 0
  int32_t acto_ptz_type;     // 1 = go to preset, 2 = run patrol, 3 = run pattern
  int32_t acto_ptz_preset;
  int32_t acto_ptz_patrol;
  int32_t acto_ptz_pattern;
};

// Read with every "acto_ptz_*" key; the pattern is not printed.
ZV_SCHEMA(PtzActionEntry, ZV_INTERNAL(source_id), ZV_FIELD(acto_ptz_channel, "acto_ptz_channel"),
          ZV_RESERVED(spare), ZV_FIELD(acto_ptz_type, "acto_ptz_type"),
          ZV_FIELD(acto_ptz_preset, "acto_ptz_preset"), ZV_FIELD(acto_ptz_patrol, "acto_ptz_patrol"),
          ZV_FIELD(acto_ptz_pattern, "acto_ptz_pattern").in_only());
static_assert(sizeof(PtzActionEntry) == 28);

struct PtzActionList {
  PtzActionEntry entries[kPtzActionMaxEntries];
};

ZV_SCHEMA(PtzActionList, ZV_RECORDS(entries, nullptr));
static_assert(sizeof(PtzActionList) == 64 * 28);
