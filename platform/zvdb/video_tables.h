// Configuration-database tables of the event and video settings: motion records and their weekly
// plans, the white-light LED plans and actions of every event kind (keyed by LED table name and
// channel), the PTZ action lists of every event source (keyed by PTZ source type and source id),
// the alarm audio slots, OSD records and privacy masks. Plain records go through the typed tables
// at the bottom (zvdb::Table<T>); the calls here add what a table alone does not (name bounds,
// entry retagging, used-entry packing). All take the database path first and follow the library's
// conventions: 0 = done / found; -1 = not found (the buffer is left as it was), refused or failed.
#pragma once

#include <cstdint>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/audio_file_record.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvdb/records/motion_record.h"
#include "platform/zvdb/records/osd_record.h"
#include "platform/zvdb/records/schedule_record.h"

// ---- White-light LED plans and actions -----------------------------------------------------
// Plans (kLedPlans) and action lists (kLedActions) are keyed by (channel, LED table
// name): the name is cut to its stored width.
zvdb::Key led_key(int channel, const char* table);
// Replaces the actions of (table, channel) with params->count entries (0 removes them; more
// than 8 is refused).
int write_whiteled_params_all(const char* db, const WhiteLedParams* params, const char* table,
                              int channel);
// Stores the actions under (table, c) for every channel c of the mask, each entry's owner
// channel set to c; one transaction.
int copy_whiteled_params(const char* db, const char* table, const WhiteLedParams* params,
                         ChannelMask64 mask);

// ---- PTZ action lists, keyed by (PTZ source type, source id) --------------------------------
// People counting of camera groups (source type 20) keeps lists of at most 8 entries in a table of
// its own; every other type up to 64.
// Reads up to the type's most entries into list->entries (the rest cleared), their number in
// *count.
int read_ptz_params(const char* db, PtzActionList* list, int type, int channel, int* count);
// Replaces the list of (type, channel) with the used entries (acto_ptz_channel != 0) among the
// type's first most entries, in their order.
int write_ptz_params_all(const char* db, const PtzActionList* list, int type, int channel);
// Stores the list under (type, c) for every channel c of the mask, each entry's source id set to c
// (type 20: in its own table, as read_ptz_params reads it back).
int copy_ptz_params_all(const char* db, const PtzActionList* list, int type, ChannelMask64 mask);

// ---- Alarm audio slots ----------------------------------------------------------------------
// Fills the 10 slots by id (a slot that is not stored reads as zeros).
int read_alarm_audio_file(const char* db, AudioFileEntry slots[kAlarmAudioSlots]);

// ---- OSD --------------------------------------------------------------------------------------
// The channel's display name (the OSD camera name) into buffer, cut to size - 1; "" when absent.
int read_osd_name(const char* db, int channel, char* buffer, int size);

// ---- Descriptors -----------------------------------------------------------------------------
namespace zvdb {
extern const TableDesc kMotionTable;
extern const TableDesc kMotionEffectiveScheduleTable;
extern const TableDesc kMotionAudibleScheduleTable;
extern const TableDesc kMotionEmailScheduleTable;
extern const TableDesc kMotionPtzScheduleTable;
extern const TableDesc kMotionScheduleTable;
extern const TableDesc kWhiteLedScheduleTable;
extern const TableDesc kWhiteLedParamsTable;
extern const TableDesc kPtzParamsTable;
extern const TableDesc kPeopleCountPtzParamsTable;
extern const TableDesc kAlarmAudioTable;
extern const TableDesc kOsdTable;
extern const TableDesc kPrivacyMaskTable;

// The tables above, for the library's table list (inspection, and the factory rows that
// zvdb_init_defaults adds: motion records of channels 0..63, OSD records "CAM1".."CAM64").
std::span<const TableDesc* const> video_tables();
}  // namespace zvdb

// The record-per-key tables, typed: motion records, plans and OSD records keyed by channel
// (0..63), privacy masks by channel, alarm audio slots by id. Records carrying their key are
// written with write(); plans with write_at(db, plan, {channel}).
inline constexpr zvdb::Table<MotionRecord> kMotions{zvdb::kMotionTable};
inline constexpr zvdb::Table<Schedule> kMotionEffectivePlans{zvdb::kMotionEffectiveScheduleTable};
inline constexpr zvdb::Table<Schedule> kMotionAudiblePlans{zvdb::kMotionAudibleScheduleTable};
inline constexpr zvdb::Table<Schedule> kMotionEmailPlans{zvdb::kMotionEmailScheduleTable};
inline constexpr zvdb::Table<Schedule> kMotionPtzPlans{zvdb::kMotionPtzScheduleTable};
inline constexpr zvdb::Table<Schedule> kMotionPlans{zvdb::kMotionScheduleTable};  // the older single plan
inline constexpr zvdb::Table<OsdRecord> kOsds{zvdb::kOsdTable};
inline constexpr zvdb::Table<PrivacyMaskEntry> kPrivacyMasks{zvdb::kPrivacyMaskTable};
inline constexpr zvdb::Table<AudioFileEntry> kAudioSlots{zvdb::kAlarmAudioTable};
inline constexpr zvdb::Table<Schedule> kLedPlans{zvdb::kWhiteLedScheduleTable};
inline constexpr zvdb::Table<WhiteLedEntry> kLedActions{zvdb::kWhiteLedParamsTable};
