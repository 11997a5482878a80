// Weekly time plans, white-light LED actions and PTZ action lists: the records that every event
// source of the recorder (motion, video loss, alarm inputs, analytics, plate lists, counting, POS,
// face) stores in the configuration database in the same form. Same bytes on the 32-bit device and
// on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/channel_mask.h"

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

static_assert(sizeof(ScheduleRange) == 68);
static_assert(offsetof(ScheduleRange, end_time) == 32);
static_assert(offsetof(ScheduleRange, action_type) == 64);
static_assert(sizeof(ScheduleDay) == 3272);
static_assert(offsetof(ScheduleDay, day_flag) == 3264);
static_assert(offsetof(ScheduleDay, day_word) == 3268);
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

static_assert(sizeof(WhiteLedEntry) == 16);
static_assert(offsetof(WhiteLedEntry, chnid) == 4);
static_assert(offsetof(WhiteLedEntry, mode) == 8);
static_assert(offsetof(WhiteLedEntry, time) == 12);

// The LED actions of one event channel as the write and copy calls take them.
struct WhiteLedParams {
  int32_t count;  // entries used, 0..8
  WhiteLedEntry entries[kWhiteLedMaxEntries];
};

static_assert(sizeof(WhiteLedParams) == 4 + 8 * 16);

// Key of an LED schedule: the event channel and the LED schedule table name.
struct WhiteLedKey {
  int32_t channel;
  char table_name[kLedTableNameSize];
};

static_assert(sizeof(WhiteLedKey) == 68);
static_assert(offsetof(WhiteLedKey, table_name) == 4);

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

static_assert(sizeof(PtzActionEntry) == 28);
static_assert(offsetof(PtzActionEntry, acto_ptz_channel) == 4);
static_assert(offsetof(PtzActionEntry, acto_ptz_type) == 12);
static_assert(offsetof(PtzActionEntry, acto_ptz_preset) == 16);
static_assert(offsetof(PtzActionEntry, acto_ptz_patrol) == 20);
static_assert(offsetof(PtzActionEntry, acto_ptz_pattern) == 24);

struct PtzActionList {
  PtzActionEntry entries[kPtzActionMaxEntries];
};

static_assert(sizeof(PtzActionList) == 64 * 28);
