#include "handlers/video/event_actions.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/safe_text.h"
#include "common/reply.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

char* text_at(std::vector<unsigned char>& record, int offset) {
  return reinterpret_cast<char*>(record.data() + offset);
}

// The record field with JSON key `key`, or null.
const zvrec::Field* field_of(const EventKind& kind, const char* key) {
  for (const zvrec::Field& f : kind.records->fields) {
    if (f.key != nullptr && std::strcmp(f.key, key) == 0 && f.offset + f.size <= kind.records->record_size) {
      return &f;
    }
  }
  return nullptr;
}

// The LED actions of (table, channel): their number, 0 when none are stored.
int read_led_actions(int channel, const char* table, WhiteLedEntry entries[kWhiteLedMaxEntries]) {
  int count = kWhiteLedMaxEntries;
  return kLedActions.read_list(kZvdbPath, led_key(channel, table), entries, &count) == 0 ? count : 0;
}

const char* led_plan_table(const EventKind& kind, int sub) {
  return kind.led_plan_tables != nullptr ? kind.led_plan_tables[sub] : nullptr;
}

const char* led_action_table(const EventKind& kind, int sub) {
  return kind.led_action_tables != nullptr ? kind.led_action_tables[sub] : nullptr;
}

// The record of (channel, sub); a missing one is zeros carrying its key.
std::vector<unsigned char> read_kind_record(const EventKind& kind, int channel, int sub) {
  const zvdb::TableDesc& t = *kind.records;
  std::vector<unsigned char> record(t.record_size, 0);
  zvdb::read_record(kZvdbPath, t, record.data(), zvdb::Key{channel, sub});
  const int32_t parts[2] = {channel, sub};
  for (int i = 0; i < 2; ++i) {
    const int32_t offset = i == 0 ? t.key.a : t.key.b;
    if (offset >= 0) std::memcpy(record.data() + offset, &parts[i], sizeof parts[i]);
  }
  return record;
}

// The record's action fields from the block; true when any was taken.
bool take_record_fields(const EventKind& kind, json_object* block, int channel,
                        std::vector<unsigned char>& record) {
  bool changed = false;
  // Each of the two texts the list holds; an element left out (or not a text) keeps the stored one.
  TriChnAlarmText alarms[2];
  const int taken = kind.tri_chn_alarms >= 0 ? tri_chn_alarms_from_json(channel, block, "triChnAlarms", alarms) : -1;
  for (int i = 0; i < 2 && taken > 0; ++i) {
    if ((taken >> i & 1) == 0) continue;
    copy_text_field(text_at(record, kind.tri_chn_alarms + i * kEventTextSize), kEventTextSize, alarms[i].text);
    changed = true;
  }
  for (const char* key : kind.action_keys) {
    const zvrec::Field* f = field_of(kind, key);
    json_object* value = json_object_object_get(block, key);
    int32_t number = 0;
    if (f != nullptr && f->type == zvrec::Type::kInt32 && json_value_int(value, &number)) {
      std::memcpy(record.data() + f->offset, &number, sizeof number);
      changed = true;
    } else if (f != nullptr && f->type == zvrec::Type::kText &&
               json_value_text(value, text_at(record, static_cast<int>(f->offset)), f->size)) {
      if (kind.tri_channels_mask >= 0 && std::strcmp(key, "triChannels") == 0) {
        const uint32_t mask = tri_channels_mask_of(text_at(record, static_cast<int>(f->offset)), f->size);
        std::memcpy(record.data() + kind.tri_channels_mask, &mask, sizeof mask);
      }
      changed = true;
    }
  }
  return changed;
}

// False, with the transaction failed, when a text of the block is not valid UTF-8: such a text
// would be stored and printed back as JSON, so the whole request is refused.
bool block_texts_utf8(json_object* block, SettingsWrite& write) {
  if (json_texts_utf8(block)) return true;
  write.check(-1);
  return false;
}

}  // namespace

// ---- Helpers ---------------------------------------------------------------------------------

ChannelMask64 channel_list_to_mask(json_object* object, const char* list_key, const char* count_key) {
  ChannelMask64 mask{0, 0};
  int32_t count = 0;
  if (!json_value_int(json_object_object_get(object, count_key), &count) || count <= 0) return mask;
  json_object* list = json_array_of(object, list_key);
  const size_t n = std::min(static_cast<size_t>(count), json_array_size(list));
  for (size_t i = 0; i < n; ++i) {
    int32_t channel = -1;
    if (json_value_int(json_array_at(list, i), &channel)) mask.set(channel);
  }
  return mask;
}

ChannelMask64 copy_text_to_mask(const char* text) { return ChannelMask64::from_u64(mask_of_text(text, 8)); }

uint32_t tri_channels_mask_of(const char* text, size_t size) {
  return static_cast<uint32_t>(mask_of_text(text, static_cast<int>(std::min<size_t>(size, 32))));
}

void write_tri_chn_alarms(JsonWriter& w, const char* first, const char* second) {
  w.begin_array().field(first, kEventTextSize).field(second, kEventTextSize).end_array();
}

int tri_chn_alarms_from_json(int channel, json_object* object, const char* key, TriChnAlarmText out[2]) {
  json_object* array = json_array_of(object, key);
  if (array == nullptr || out == nullptr) return -1;
  int taken = 0;
  for (int i = 0; i < 2; ++i) {
    out[i] = TriChnAlarmText{};
    out[i].channel = channel;
    out[i].index = i;
    if (json_value_text(json_array_at(array, static_cast<size_t>(i)), out[i].text, sizeof out[i].text)) taken |= 1 << i;
  }
  return taken;
}

void write_white_led_info(JsonWriter& w, int channel, const char* table) {
  WhiteLedEntry entries[kWhiteLedMaxEntries] = {};
  const int count = read_led_actions(channel, table, entries);
  w.begin_array();
  for (int i = 0; i < count && i < kWhiteLedMaxEntries; ++i) write_object(w, entries[i]);
  w.end_array();
}

int white_led_info_from_json(int channel, WhiteLedParams* out, json_object* object, const char* key) {
  json_object* array = json_array_of(object, key);
  if (array == nullptr || out == nullptr) return -1;
  *out = WhiteLedParams{};
  // The pages send either objects or positional arrays; the whole list uses one form.
  const char* serialised = json_object_to_json_string_ext(array, JSON_C_TO_STRING_PLAIN);
  const bool object_form = serialised != nullptr && std::strstr(serialised, "chnid") != nullptr;
  const size_t n = std::min<size_t>(json_array_size(array), kWhiteLedMaxEntries);
  for (size_t i = 0; i < n; ++i) {
    json_object* element = json_array_at(array, i);
    if (element == nullptr ||
        !json_object_is_type(element, object_form ? json_type_object : json_type_array)) {
      break;
    }
    WhiteLedEntry& e = out->entries[out->count++];
    e.owner_channel = channel;
    if (object_form) {
      json_value_int(json_object_object_get(element, "chnid"), &e.chnid);
      json_value_int(json_object_object_get(element, "mode"), &e.mode);
      json_value_int(json_object_object_get(element, "time"), &e.time);
    } else {
      json_value_int(json_array_at(element, 0), &e.chnid);
      json_value_int(json_array_at(element, 1), &e.mode);
      json_value_int(json_array_at(element, 2), &e.time);
    }
  }
  return 0;
}

void write_ptz_actions(JsonWriter& w, int type, int channel) {
  PtzActionList list{};
  int count = 0;
  if (read_ptz_params(kZvdbPath, &list, type, channel, &count) != 0) count = 0;
  w.begin_array();
  for (int i = 0; i < count; ++i) {
    if (list.entries[i].acto_ptz_channel > 0) write_object(w, list.entries[i]);  // the pattern is in_only
  }
  w.end_array();
}

int ptz_actions_store(int ptz_chn_id, int ptz_type, json_object* array) {
  if (array == nullptr || !json_object_is_type(array, json_type_array)) return 0;
  if (ptz_chn_id < 0 || ptz_chn_id > 7) return 0;
  PtzActionList list;  // type 20 stores only the first 8
  ptz_entries_from_json(array, ptz_chn_id, kPtzActionMaxEntries, &list);
  return write_ptz_params_all(kZvdbPath, &list, ptz_type, ptz_chn_id) == 0 ? 1 : -1;
}

void ptz_entries_from_json(json_object* array, int source_id, size_t capacity, PtzActionList* list) {
  *list = PtzActionList{};
  for (size_t i = 0; i < std::min({json_array_size(array), capacity, std::size(list->entries)}); ++i) {
    json_object* element = json_array_at(array, i);
    PtzActionEntry& e = list->entries[i];
    e.source_id = source_id;
    if (!json_object_is_type(element, json_type_object)) continue;
    json_value_int(json_object_object_get(element, "acto_ptz_channel"), &e.acto_ptz_channel);
    json_value_int(json_object_object_get(element, "acto_ptz_type"), &e.acto_ptz_type);
    json_value_int(json_object_object_get(element, "acto_ptz_preset"), &e.acto_ptz_preset);
    json_value_int(json_object_object_get(element, "acto_ptz_patrol"), &e.acto_ptz_patrol);
    json_value_int(json_object_object_get(element, "acto_ptz_pattern"), &e.acto_ptz_pattern);
  }
}

int32_t audio_id_mask() {
  AudioFileEntry slots[kAlarmAudioSlots] = {};
  if (read_alarm_audio_file(kZvdbPath, slots) != 0) return 0;
  int32_t mask = 0;
  for (int n = 0; n < kAlarmAudioSlots; ++n) {
    if (slots[n].enable == 1) mask |= 1 << n;
  }
  return mask;
}

bool for_each_action_block(json_object* object, const char* key, int count,
                           const std::function<void(int index, json_object* block)>& f) {
  if (!json_texts_utf8(json_object_object_get(object, key))) return false;
  json_object* list = json_array_of(object, key);
  const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), json_array_size(list));
  for (size_t i = 0; i < n; ++i) {
    json_object* block = json_array_at(list, i);
    if (json_object_is_type(block, json_type_object)) f(static_cast<int>(i), block);
  }
  return true;
}

// ---- Procedures ------------------------------------------------------------------------------

int store_event_actions(const EventKind& kind, json_object* block, SettingsWrite& write, int sub,
                        const ApplyOptions& options) {
  if (!block_texts_utf8(block, write)) return kInvalidText;
  int32_t channel = -1;
  if (!json_value_int(json_object_object_get(block, "chnid"), &channel)) return -1;
  return store_event_actions_at(kind, channel, block, write, sub, options);
}

int store_event_actions_at(const EventKind& kind, int channel, json_object* block, SettingsWrite& write,
                           int sub, const ApplyOptions& options) {
  if (!block_texts_utf8(block, write)) return kInvalidText;
  if (!json_object_is_type(block, json_type_object)) return -1;
  if (channel < 0 || channel >= kMaxChannels || sub < 0 || sub >= kind.sub_count) return -1;
  // Plans are written as soon as each parses, before the record. The record's read-change-write
  // runs under the request lock the write scope holds, so two requests changing different fields
  // of the same record at once do not undo each other.
  Schedule schedule;
  for (int p = 0; p < kPlanCount; ++p) {
    if (kind.plans[p] != nullptr && schedule_from_json(block, kPlanKeys[p], &schedule) == 0) {
      write.check(zvdb::write_record_at(kZvdbPath, *kind.plans[p], &schedule, zvdb::Key{channel, sub}));
    }
  }
  if (const char* table = led_plan_table(kind, sub); table != nullptr) {
    if (schedule_from_json(block, "white", &schedule) == 0) {
      write.check(kLedPlans.write_at(kZvdbPath, &schedule, led_key(channel, table)));
    }
  }
  if (const char* table = led_action_table(kind, sub); table != nullptr) {
    WhiteLedParams params;
    if (white_led_info_from_json(channel, &params, block, "whiteInfo") == 0) {
      write.check(write_whiteled_params_all(kZvdbPath, &params, table, channel));
    }
  }
  std::vector<unsigned char> record = read_kind_record(kind, channel, sub);
  bool changed = take_record_fields(kind, block, channel, record);
  if (options.with_ptz && kind.ptz_source_base >= 0) {
    int32_t ptz_chn_id = 0;
    int32_t ptz_type = 0;
    json_value_int(json_object_object_get(block, "ptzChnId"), &ptz_chn_id);
    json_value_int(json_object_object_get(block, "ptzType"), &ptz_type);
    const int stored = ptz_actions_store(ptz_chn_id, ptz_type, json_array_of(block, "ptzParams"));
    if (stored != 0) changed = write.check(stored == 1 ? 0 : -1) || changed;
  }
  if (changed && kind.on_change != nullptr) kind.on_change(block, record.data());
  if (changed) write.check(zvdb::write_record(kZvdbPath, *kind.records, record.data()));
  return channel;
}

void notify_event_actions(const EventKind& kind, int channel) {
  if (kind.applied != nullptr) core_tell(*kind.applied, channel);
}

bool apply_event_actions(const EventKind& kind, json_object* block, int sub, const ApplyOptions& options) {
  int channel = -1;
  {
    SettingsWrite write;
    channel = store_event_actions(kind, block, write, sub, options);
    if (channel < 0 || !write.commit()) return false;
  }
  notify_event_actions(kind, channel);
  return true;
}

void write_event_actions(JsonWriter& w, const EventKind& kind, int channel, int sub) {
  w.begin_object();
  write_event_action_members(w, kind, channel, sub);
  w.end_object();
}

void event_actions_read(const char* argument, const EventKind* kind) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request || !read_json_members(request.get(), {int_member("chnid", &channel).required().range(0, 63)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  JsonWriter w(16384);
  write_event_actions(w, *kind, channel);
  reply_json(w);
}

void write_event_action_members(JsonWriter& w, const EventKind& kind, int channel, int sub) {
  if (sub < 0 || sub >= kind.sub_count) return;
  std::vector<unsigned char> record(kind.records->record_size, 0);
  zvdb::read_record(kZvdbPath, *kind.records, record.data(), zvdb::Key{channel, sub});
  for (const ReplyItem& item : kind.reply) {
    Schedule schedule{};
    switch (item.source) {
      case ReplyItem::kChannel:
        w.key(item.key).value(channel);
        break;
      case ReplyItem::kField:
        if (const zvrec::Field* f = field_of(kind, item.key); f != nullptr) {
          write_fields(w, zvrec::Schema{kind.name, kind.records->record_size, {f, 1}}, record.data());
        }
        break;
      case ReplyItem::kPlan:
        if (const zvdb::TableDesc* t = kind.plans[item.plan]; t != nullptr) {
          zvdb::read_record(kZvdbPath, *t, &schedule, zvdb::Key{channel, sub});
        }
        write_schedule(w.key(item.key), schedule);
        break;
      case ReplyItem::kLedPlan:
        if (const char* table = led_plan_table(kind, sub); table != nullptr) {
          kLedPlans.read(kZvdbPath, &schedule, led_key(channel, table));
        }
        write_schedule(w.key(item.key), schedule);
        break;
      case ReplyItem::kLedActions:
        if (const char* table = led_action_table(kind, sub); table != nullptr) {
          write_white_led_info(w.key(item.key), channel, table);
        } else {
          w.key(item.key).begin_array().end_array();
        }
        break;
      case ReplyItem::kTriChnAlarms:
        if (kind.tri_chn_alarms >= 0) {
          write_tri_chn_alarms(w.key(item.key), text_at(record, kind.tri_chn_alarms),
                               text_at(record, kind.tri_chn_alarms + kEventTextSize));
        }
        break;
      case ReplyItem::kAudioIdMask:
        w.key(item.key).value(audio_id_mask());
        break;
      case ReplyItem::kPtzActions:
        if (kind.ptz_source_base >= 0) {
          write_ptz_actions(w.key(item.key), kind.ptz_source_base + sub, channel);
        } else {
          w.key(item.key).begin_array().end_array();
        }
        break;
      case ReplyItem::kSub:
        w.key(item.key).value(sub + item.plan);
        break;
    }
  }
}

void copy_event_actions(const EventKind& kind, int channel, int sub, ChannelMask64 mask, SettingsWrite& write,
                        const std::function<void(void* record)>& adjust, json_object* carried) {
  if (sub < 0 || sub >= kind.sub_count) return;
  auto copies = [carried](const char* key) { return carried == nullptr || json_array_of(carried, key) != nullptr; };
  const zvdb::Key base{0, sub};
  std::vector<unsigned char> record(kind.records->record_size, 0);
  zvdb::read_record(kZvdbPath, *kind.records, record.data(), zvdb::Key{channel, sub});
  if (adjust) adjust(record.data());
  write.check(zvdb::copy_record_to_mask(kZvdbPath, *kind.records, record.data(), mask.bits(), base));
  for (int p = 0; p < kPlanCount; ++p) {
    const zvdb::TableDesc* t = kind.plans[p];
    if (t == nullptr || !copies(kPlanKeys[p])) continue;
    Schedule schedule{};
    zvdb::read_record(kZvdbPath, *t, &schedule, zvdb::Key{channel, sub});
    write.check(zvdb::copy_record_to_mask(kZvdbPath, *t, &schedule, mask.bits(), base));
  }
  if (const char* table = led_plan_table(kind, sub); table != nullptr && copies("white")) {
    Schedule schedule{};
    kLedPlans.read(kZvdbPath, &schedule, led_key(channel, table));
    write.check(kLedPlans.copy_to_mask(kZvdbPath, &schedule, mask.bits(), led_key(0, table)));
  }
  if (const char* table = led_action_table(kind, sub); table != nullptr && copies("whiteInfo")) {
    WhiteLedParams params{};
    params.count = read_led_actions(channel, table, params.entries);
    write.check(copy_whiteled_params(kZvdbPath, table, &params, mask));
  }
  if (kind.ptz_source_base >= 0 && copies("ptzParams")) {
    PtzActionList list{};
    int count = 0;
    read_ptz_params(kZvdbPath, &list, kind.ptz_source_base + sub, channel, &count);
    write.check(copy_ptz_params_all(kZvdbPath, &list, kind.ptz_source_base + sub, mask));
  }
}
