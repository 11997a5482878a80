// Action blocks of the recorder's event sources: the helpers that convert an event's action
// settings between their JSON form on the web pages and their database records, and the three
// procedures every event handler uses — apply a block, read it back, copy it to other channels —
// written once over the event-kind table (EventKind rows, handlers/video/event_kinds.h).
//
// An action block (JSON object, usually the "dialog" member of a set request) may carry:
//   "chnid" (required), the plans "effective", "audible", "email", "ptz", "white", the LED
//   actions "whiteInfo", "triChnAlarms" (two texts), the integers "enable", "triAlarms",
//   "interval", "audioId", "email_interval", "email_pic_enable", "ptz_interval",
//   "alarmout_interval", "white_interval", the texts "tri_channels_pic" and "triChannels", and the
//   PTZ keys "ptzChnId", "ptzType", "ptzParams". Which of them a kind reads is part of its row.
#pragma once

#include <json-c/json.h>

#include <cstdint>
#include <functional>
#include <span>

#include "common/array_join.h"
#include "common/exchange.h"
#include "common/json_writer.h"
#include "common/request.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvdb/records/motion_record.h"
#include "platform/zvdb/records/schedule_record.h"

// ---- Helpers ---------------------------------------------------------------------------------

// The channels of `list_key` (an array) as a set: the count comes from `count_key` (absent or
// <= 0: empty set); elements 0 .. min(count, array length) - 1 are read; an element that is not
// a number is skipped; values outside 0..63 are ignored.
ChannelMask64 channel_list_to_mask(json_object* object, const char* list_key, const char* count_key);

// Bit n set when character n of `text` is '1', for n = 0..7 only (the smart-event copy text);
// a null text gives the empty set.
ChannelMask64 copy_text_to_mask(const char* text);

// ["first", "second"] from two 65-byte record texts.
void write_tri_chn_alarms(JsonWriter& w, const char* first, const char* second);

// One "triChnAlarms" text as it is taken from a request: tagged with the event channel and its
// index (0 or 1).
struct TriChnAlarmText {
  int32_t channel;
  int32_t index;
  char text[kEventTextSize];
};
// -1 when `key` is absent (or not an array); otherwise clears both outputs, takes elements 0
// and 1 that are texts (at most 64 characters) and returns which were: bit i for element i.
int tri_chn_alarms_from_json(int channel, json_object* object, const char* key, TriChnAlarmText out[2]);

// The stored LED actions of (table, channel): one {"chnid", "mode", "time"} per entry, at most 8.
void write_white_led_info(JsonWriter& w, int channel, const char* table);
// -1 when `key` is absent (or not an array). Otherwise clears `out` and fills up to 8 entries in
// array order, owner channel = channel. The object form {"chnid", "mode", "time"} is taken when
// the serialised array contains "chnid", the array form [chnid, mode, time] otherwise; a missing
// member or element leaves its field 0; a missing (or wrongly typed) entry ends the list.
int white_led_info_from_json(int channel, WhiteLedParams* out, json_object* object, const char* key);

// The stored PTZ actions of (type, channel): one {"acto_ptz_channel", "acto_ptz_type",
// "acto_ptz_preset", "acto_ptz_patrol"} per used entry (acto_ptz_channel > 0), at most 64
// (8 for type 20).
void write_ptz_actions(JsonWriter& w, int type, int channel);
// Replaces the PTZ list of (ptz_type, ptz_chn_id) with the first min(length, 64) elements of
// `array` (8 for type 20). 0 without storing when `array` is not an array or ptz_chn_id lies
// outside 0..7; otherwise 1 when the write succeeded, -1 when it failed.
int ptz_actions_store(int ptz_chn_id, int ptz_type, json_object* array);
// The first min(length, capacity) elements of `array` as PTZ entries of `source_id`, the rest of
// `list` cleared; an element that is not an object leaves its entry empty (only the source id).
void ptz_entries_from_json(json_object* array, int source_id, size_t capacity, PtzActionList* list);

// Bit n set when alarm audio slot n is in use.
int32_t audio_id_mask();

// The action blocks of the array `key` of `object` (a request that carries several: the camera
// alarms' "dialog", the counting regions' "action"): f(i, block) for each element i below
// min(count, array length) that is an object. False, and f not called at all, when the member (of
// any type, past the count too) holds a text that is not valid UTF-8.
[[nodiscard]] bool for_each_action_block(json_object* object, const char* key, int count,
                                         const std::function<void(int index, json_object* block)>& f);

// ---- Event kinds ----------------------------------------------------------------------------

enum EventPlan : int { kPlanEffective = 0, kPlanAudible, kPlanEmail, kPlanPtz, kPlanCount };
inline constexpr const char* kPlanKeys[kPlanCount] = {"effective", "audible", "email", "ptz"};

// One member of a read-back reply, in reply order.
struct ReplyItem {
  enum Source : uint8_t {
    kChannel,      // the requested channel
    kField,        // the record's field whose JSON key is the item's key (as its schema writes it)
    kPlan,         // plan number `plan` (EventPlan), output form
    kLedPlan,      // the LED plan of the kind, output form
    kLedActions,   // the LED actions of the kind
    kTriChnAlarms, // the kind's two "triChnAlarms" texts
    kAudioIdMask,  // audio_id_mask()
    kPtzActions,   // write_ptz_actions of the kind's PTZ source type
    kSub,          // the sub index plus `plan` (a kind that numbers its subs from another base)
  };
  const char* key;
  Source source;
  int plan = 0;
};

// Runs of reply items that several kinds print in the same order (joined with join_arrays).
inline constexpr ReplyItem kActionFieldItems[] = {
    {"triAlarms", ReplyItem::kField},        {"interval", ReplyItem::kField},
    {"email_interval", ReplyItem::kField},   {"email_pic_enable", ReplyItem::kField},
    {"tri_channels_pic", ReplyItem::kField}, {"ptz_interval", ReplyItem::kField},
    {"alarmout_interval", ReplyItem::kField},
};
inline constexpr ReplyItem kPlanItems[] = {
    {"effective", ReplyItem::kPlan, kPlanEffective}, {"audible", ReplyItem::kPlan, kPlanAudible},
    {"email", ReplyItem::kPlan, kPlanEmail},         {"ptz", ReplyItem::kPlan, kPlanPtz},
};
inline constexpr ReplyItem kLedItems[] = {
    {"triChnAlarms", ReplyItem::kTriChnAlarms}, {"white", ReplyItem::kLedPlan}, {"whiteInfo", ReplyItem::kLedActions}};
inline constexpr ReplyItem kAudioItems[] = {{"audioId", ReplyItem::kField}, {"audioIdMask", ReplyItem::kAudioIdMask}};
inline constexpr ReplyItem kPtzItem[] = {{"ptzParams", ReplyItem::kPtzActions}};
// The order of the pages that put each action next to its settings (POS events; regional
// counting, which has no effective plan, prints it from the second item).
inline constexpr ReplyItem kGroupedReply[] = {
    {"effective", ReplyItem::kPlan, kPlanEffective}, {"audible", ReplyItem::kPlan, kPlanAudible},
    {"interval", ReplyItem::kField},          {"audioId", ReplyItem::kField},
    {"email", ReplyItem::kPlan, kPlanEmail},  {"email_interval", ReplyItem::kField},
    {"email_pic_enable", ReplyItem::kField},  {"tri_channels_pic", ReplyItem::kField},
    {"ptz", ReplyItem::kPlan, kPlanPtz},      {"ptz_interval", ReplyItem::kField},
    {"ptzParams", ReplyItem::kPtzActions},    {"white", ReplyItem::kLedPlan},
    {"whiteInfo", ReplyItem::kLedActions},    {"white_interval", ReplyItem::kField},
    {"alarmout_interval", ReplyItem::kField}, {"triAlarms", ReplyItem::kField},
    {"triChannels", ReplyItem::kField},       {"triChnAlarms", ReplyItem::kTriChnAlarms},
};

// The record fields an action block sets in most kinds (in any order: each is set on its own).
// The kinds whose block also switches the event add "enable"; the group events have no
// "triChannels" (the last one).
inline constexpr const char* kActionKeys[] = {
    "triAlarms",        "interval",     "audioId",           "email_interval", "email_pic_enable",
    "tri_channels_pic", "ptz_interval", "alarmout_interval", "white_interval", "triChannels",
};

// An event kind as data. Its record and plans are database tables keyed by (channel, sub index):
// key part a the channel, part b the kind's sub index (smart event kind, plate list mode; 0 for
// kinds without one). The record's fields are found by their JSON keys in the table's schema.
struct EventKind {
  const char* name;
  const zvdb::TableDesc* records;
  int sub_count;                                     // sub indexes 0 .. sub_count-1
  const zvdb::TableDesc* plans[kPlanCount];          // null: the kind has no such plan
  const char* const* led_plan_tables;                // LED plan table per sub index; null: none
  const char* const* led_action_tables;              // LED action table per sub index; null: none
  int ptz_source_base;                               // PTZ source type = base + sub; -1: none
  std::span<const char* const> action_keys;          // record fields an action block sets
  int16_t tri_chn_alarms = -1;     // offset of the two char[65] "triChnAlarms" texts; -1: none
  int16_t tri_channels_mask = -1;  // offset of the uint32 rebuilt from "triChannels"; -1: none
  const Notice<int32_t>* applied;  // told the channel after an apply (null: nothing)
  std::span<const ReplyItem> reply;
  // Called with the block and the record when an apply changed the record, before it is written
  // (fields the kind sets as a side effect of others); null: nothing.
  void (*on_change)(json_object* block, unsigned char* record) = nullptr;
};

struct ApplyOptions {
  bool with_ptz = true;  // read "ptzChnId", "ptzType", "ptzParams"
};

// Stores an action block in `write`: the plans, the LED plan and actions, the record's action
// fields (written back when any changed; a missing record starts as zeros carrying its key), the
// PTZ actions. Every write goes through write.check(). The channel, or -1 (nothing written) when
// the block's "chnid" is absent or outside 0..63, or the sub index outside the kind's.
// A block that holds a text that is not valid UTF-8 anywhere (checked first, whatever else it
// carries) writes nothing, returns kInvalidText and fails `write`: a caller that commits anyway
// stores nothing and gives its failure reply; one whose refusal differs answers on the result.
int store_event_actions(const EventKind& kind, json_object* block, SettingsWrite& write, int sub = 0,
                        const ApplyOptions& options = {});
// The same for a block of a request that names its channel (0..63) outside the block; the block's
// own "chnid" is not read. -1 (nothing written) for a channel or sub index out of range or a block
// that is not an object; kInvalidText as above.
int store_event_actions_at(const EventKind& kind, int channel, json_object* block, SettingsWrite& write,
                           int sub = 0, const ApplyOptions& options = {});
// Tells the core that the channel's settings changed (the kind's notice), after the commit.
void notify_event_actions(const EventKind& kind, int channel);

// store_event_actions in a transaction of its own, then the notice: false when the block was
// refused or the transaction failed (no notice then).
bool apply_event_actions(const EventKind& kind, json_object* block, int sub = 0,
                         const ApplyOptions& options = {});

// The read-back reply object of (channel, sub), members in the kind's reply order.
void write_event_actions(JsonWriter& w, const EventKind& kind, int channel, int sub = 0);
// The request {"chnid": 0..63} answered with the kind's read-back reply of that channel (sub 0);
// a body that is not an object, or a channel absent or out of range, gets the JSON error form.
void event_actions_read(const char* argument, const EventKind* kind);
// The same members into the object the writer has open (a reply that adds members of its own).
void write_event_action_members(JsonWriter& w, const EventKind& kind, int channel, int sub = 0);

// Copies the channel's record (after `adjust`, when given), plans, LED plan and actions and PTZ
// actions to every channel of `mask`, in `write` (every write checked). With `carried`, the block
// the request stored, a plan, the LED actions ("whiteInfo") and the PTZ list ("ptzParams") are
// copied only when the block carries them; the record always is. The caller commits and sends the
// notices.
void copy_event_actions(const EventKind& kind, int channel, int sub, ChannelMask64 mask, SettingsWrite& write,
                        const std::function<void(void* record)>& adjust = {}, json_object* carried = nullptr);

// Rebuilds the 32-bit channel mask of a '0'/'1' text: bit n for character n == '1', n < 32.
uint32_t tri_channels_mask_of(const char* text, size_t size);
