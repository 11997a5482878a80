// Video loss of each channel and the older partial sets of the recorder's alarm inputs: the whole
// action block (read, set, copy), and the requests that set one part of it - a plan, the enable
// flag and interval, the triggered alarm outputs or channels, the PTZ list - for one channel or a
// list of channels (or inputs) at once. Every set stores all it writes in one transaction,
// committed before the first message to the core.
#include <cstring>
#include <memory>
#include <vector>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "handlers/video/alarm_event_handlers.h"
#include "handlers/video/alarm_event_kinds.h"
#include "common/messages/alarm_event.h"
#include "handlers/video/event_actions.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

// The records of one kind that the multi-channel sets change.
struct RowKind {
  const zvdb::TableDesc* table;
  int keys;  // 64 channels or 16 inputs
  size_t enable;
  size_t interval;
  int tri_snapshot = -1;  // offset of the snapshot text (alarm inputs)
  const Notice<ChannelMask64>* notice;
};

namespace {

constexpr int32_t kLogParamVideoLoss = 908;
constexpr int32_t kLogParamEventCopy = 909;

constexpr auto kVideoLossReadForm =
    ZV_FIELDS(VideoLossRecord, ZV_SCHEMA_FIELD(id), ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(tri_alarms),
              ZV_SCHEMA_FIELD(interval));
constexpr auto kVideoLossPlanForm =
    ZV_FIELDS(VideoLossRecord, ZV_SCHEMA_FIELD(id), ZV_FIELD(enable, "enable").keep_if_absent().range(0, 2));

// The plain-text channel (or input) of a plan read: -1 when absent, or outside 0..limit-1 for the
// reads that check it (limit 0: not checked, any number reads a plan, an unknown one empty).
int plain_number(const char* argument, int limit) {
  if (argument == nullptr) return -1;
  const int n = decimal_argument(argument);
  return limit == 0 || (n >= 0 && n < limit) ? n : -1;
}

struct Rows {
  std::vector<unsigned char> bytes;
  bool present[kMaxChannels] = {};
  const RowKind& kind;
  explicit Rows(const RowKind& k) : bytes(static_cast<size_t>(k.keys) * k.table->record_size), kind(k) {}
  unsigned char* row(int n) { return bytes.data() + static_cast<size_t>(n) * kind.table->record_size; }
  int read() { return read_rows_by_key(kZvdbPath, *kind.table, bytes.data(), present, kind.keys); }
  int write(ChannelMask64 mask) {
    return zvdb::write_records_masked(kZvdbPath, *kind.table, bytes.data(), kind.keys, kind.table->record_size,
                                      mask.bits());
  }
};

int32_t int_at(const unsigned char* row, size_t offset) {
  int32_t v;
  std::memcpy(&v, row + offset, sizeof v);
  return v;
}
void set_int_at(unsigned char* row, size_t offset, int32_t v) { std::memcpy(row + offset, &v, sizeof v); }

}  // namespace

const RowKind kVideoLossRows{&zvdb::kVideoLossTable, kMaxChannels, offsetof(VideoLossRecord, enable),
                             offsetof(VideoLossRecord, interval), -1, &kVideoLossesChanged};
const RowKind kAlarmInRows{&zvdb::kAlarmInTable, kAlarmInputs, offsetof(AlarmInConfig, enable),
                           offsetof(AlarmInConfig, interval), static_cast<int>(offsetof(AlarmInConfig, tri_snapshot)),
                           &kAlarmInsChanged};

void event_plan_read(const char* argument, const zvdb::TableDesc* plans, int limit) {
  const int n = plain_number(argument, limit);
  if (n >= 0 || (limit == 0 && argument != nullptr)) reply_plan(*plans, n);
}

// A plan, the enable flag and interval (and for alarm inputs the snapshot text) for a list of
// channels or inputs; members the request does not carry stay as stored.
void multi_plan_set(const char* argument, const RowKind* row_kind, const zvdb::TableDesc* plans,
                    bool with_snapshot) {
  const RowKind& kind = *row_kind;
  JsonPtr request = parse_request(argument);
  int32_t enable = 0;
  int32_t interval = 0;
  char snapshot[kEventTextSize];
  bool has_enable = false;
  bool has_interval = false;
  bool has_snapshot = false;
  if (!request || !read_json_members(request.get(), {int_member("enable", &enable).range(0, 2).present(&has_enable),
                                                     int_member("interval", &interval).min(0).present(&has_interval),
                                                     text_member("triSnapshot", snapshot).present(&has_snapshot)})) {
    return;
  }
  auto plan = std::make_unique<Schedule>();
  const int planned = schedule_from_json(request.get(), "schedule", plan.get());
  if (planned == kInvalidText) return;
  has_snapshot = has_snapshot && with_snapshot;
  int32_t numbers[64];
  const size_t n = listed_numbers(request.get(), "chnid", "cnt", kind.keys, numbers);
  const ChannelMask64 listed = mask_of(numbers, n);
  ChannelMask64 changed{0, 0};
  {
    SettingsWrite write;
    Rows rows(kind);
    if (rows.read() != 0) write.check(-1);
    for (size_t i = 0; i < n; ++i) {
      unsigned char* row = rows.row(numbers[i]);
      if (!rows.present[numbers[i]]) continue;
      const std::vector<unsigned char> before(row, row + kind.table->record_size);
      if (has_enable) set_int_at(row, kind.enable, enable);
      if (has_interval) set_int_at(row, kind.interval, interval);
      if (has_snapshot) copy_text_field(reinterpret_cast<char*>(row + kind.tri_snapshot), kEventTextSize, snapshot);
      if (std::memcmp(before.data(), row, before.size()) != 0) changed.set(numbers[i]);
    }
    if (!changed.empty()) write.check(rows.write(changed));
    if (!listed.empty() && planned == 0) {
      write.check(zvdb::copy_record_to_mask(kZvdbPath, *plans, plan.get(), listed.bits()));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(*kind.notice, listed);
  reply_ok();
}

// Source `camId`'s PTZ list given to a list of channels (or inputs), and the request's PTZ plan.
void ptz_list_copy(const char* argument, int ptz_type, int keys, const zvdb::TableDesc* plans,
                   const Notice<ChannelMask64>* notice) {
  JsonPtr request = parse_request(argument);
  if (!request) return;  // not JSON: no reply
  int32_t source = -1;
  if (!read_json_members(request.get(), {int_member("camId", &source).required().range(0, keys - 1)})) {
    return (void)reply_cgi_error(REPLY_TEXT);
  }
  auto plan = std::make_unique<Schedule>();
  const int planned = schedule_from_json(request.get(), "schedule", plan.get());
  if (planned == kInvalidText) return;
  int32_t numbers[64];
  const size_t n = listed_numbers(request.get(), "chnid", "cnt", keys, numbers);
  const ChannelMask64 targets = mask_of(numbers, n);
  {
    SettingsWrite write;
    auto list = std::make_unique<PtzActionList>();
    int count = 0;
    read_ptz_params(kZvdbPath, list.get(), ptz_type, source, &count);
    for (int t = 0; t < keys; ++t) {
      if (!targets.test(t) || t == source) continue;
      for (PtzActionEntry& e : list->entries) {
        if (e.acto_ptz_channel > 0) e.source_id = t;
      }
      write.check(write_ptz_params_all(kZvdbPath, list.get(), ptz_type, t));
    }
    if (!targets.empty() && planned == 0) {
      write.check(zvdb::copy_record_to_mask(kZvdbPath, *plans, plan.get(), targets.bits()));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(*notice, targets);
  reply_ok();
}

// ---- Video loss: single channel -----------------------------------------------------------------

static void video_loss_read_handler(const char* argument) {
  const int channel = plain_number(argument, kMaxChannels);
  if (channel < 0) return;
  VideoLossRecord row{};
  kVideoLosses.read(kZvdbPath, &row, {channel});
  row.id = channel;
  reply_record(kVideoLossReadForm.schema(), &row);
}

static void video_loss_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  VideoLossRecord given{};
  if (!request || !read_record(request.get(), &given)) return;
  {
    SettingsWrite write;
    VideoLossRecord row{};
    kVideoLosses.read(kZvdbPath, &row, {given.id});
    row.id = given.id;
    row.tri_alarms = given.tri_alarms;  // the enable flag is checked, not stored
    row.interval = given.interval;
    write.check(kVideoLosses.write(kZvdbPath, &row));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kVideoLossChanged, given.id);
  log_event_change(kLogParamVideoLoss, given.id + 1);
  reply_ok();
}

static void video_loss_plan_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  auto plan = std::make_unique<Schedule>();
  if (!request || !read_json_members(request.get(), {int_member("camId", &channel).required().range(0, 63)})) return;
  const int planned = schedule_from_json(request.get(), "schedule", plan.get());
  if (planned == kInvalidText) return;
  {
    SettingsWrite write;
    VideoLossRecord row{};
    kVideoLosses.read(kZvdbPath, &row, {channel});
    row.id = channel;
    if (!read_record(request.get(), kVideoLossPlanForm.schema(), &row)) return;
    write.check(kVideoLosses.write(kZvdbPath, &row));
    if (planned == 0) write.check(kVideoLossPlans.write_at(kZvdbPath, plan.get(), {channel}));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kVideoLossChanged, channel);
  reply_ok();
}

// ---- Video loss: the action block ---------------------------------------------------------------

static void video_loss_actions_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = -1;
  if (!request || !read_json_members(request.get(), {int_member("chnid", &channel).required().range(0, 63)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  json_object* dialog = json_object_object_get(request.get(), "dialog");
  ChannelMask64 copies = channel_list_to_mask(request.get(), "copyChn", "copyCnt");
  copies = ChannelMask64::from_u64(copies.bits() & ~channel_bit64(channel));
  {
    SettingsWrite write;
    // A block that is not an object stores nothing; a refused one fails the commit.
    if (dialog != nullptr) store_event_actions_at(kVideoLossEventKind, channel, dialog, write);
    if (!copies.empty()) copy_event_actions(kVideoLossEventKind, channel, 0, copies, write);
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  copies.set(channel);
  core_tell(kVideoLossesChanged, copies);
  reply_ok();
}

// ---- Lists of channels and inputs ---------------------------------------------------------------

static void video_loss_alarms_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t tri_alarms = 0;
  if (!request || !read_json_members(request.get(), {int_member("triAlarms", &tri_alarms).required().min(0)})) return;
  int32_t numbers[64];
  const size_t n = listed_numbers(request.get(), "chnid", "cnt", kMaxChannels, numbers);
  const ChannelMask64 listed = mask_of(numbers, n);
  ChannelMask64 changed{0, 0};
  {
    SettingsWrite write;
    Rows rows(kVideoLossRows);
    if (rows.read() != 0) write.check(-1);
    for (size_t i = 0; i < n; ++i) {
      if (rows.present[numbers[i]] &&
          int_at(rows.row(numbers[i]), offsetof(VideoLossRecord, tri_alarms)) != tri_alarms) {
        changed.set(numbers[i]);
      }
    }
    if (!changed.empty()) {
      write.check(copy_table_column_int(kZvdbPath, zvdb::kVideoLossTable.name, "tri_alarms", tri_alarms, changed.low,
                                        changed.high, "id"));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kVideoLossesChanged, changed);
  op_log_change_multi(204, kLogParamEventCopy, 0, listed);
  reply_ok();
}

static void alarm_in_trigger_copy_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;  // not JSON: no reply
  int32_t source = -1;
  if (!read_json_members(request.get(), {int_member("camId", &source).required().range(0, 15)})) {
    return (void)reply_cgi_error(REPLY_TEXT);
  }
  // "type" 0 sets the channels to trigger, any other the alarm outputs; the member it names must
  // be there (an absent one would clear every listed input).
  int32_t type = 0;
  int32_t tri_alarms = 0;
  char tri_channels[kEventTextSize];
  if (!read_json_members(request.get(), {int_member("type", &type)})) return;
  if (type != 0 ? !read_json_members(request.get(), {int_member("triAlarms", &tri_alarms).required().min(0)})
                : !read_json_members(request.get(), {text_member("triChannels", tri_channels).required()})) {
    return;
  }
  int32_t numbers[64];
  const size_t n = listed_numbers(request.get(), "chnid", "cnt", kAlarmInputs, numbers);
  const ChannelMask64 listed = mask_of(numbers, n);
  {
    SettingsWrite write;
    auto rows = std::make_unique<AlarmInConfig[]>(kAlarmInputs);
    bool present[kAlarmInputs];
    if (read_rows_by_key(kZvdbPath, zvdb::kAlarmInTable, rows.get(), present, kAlarmInputs) != 0) write.check(-1);
    ChannelMask64 stored{0, 0};
    for (size_t i = 0; i < n; ++i) {
      AlarmInConfig& row = rows[numbers[i]];
      if (!present[numbers[i]]) continue;
      if (type != 0) {
        row.tri_alarms = tri_alarms;
      } else {
        copy_text_field(row.tri_channels, tri_channels);
        row.tri_channels_mask = tri_channels_mask_of(row.tri_channels, sizeof row.tri_channels);
      }
      stored.set(numbers[i]);
    }
    auto plan = std::make_unique<Schedule>();
    kAlarmInEffectivePlans.read(kZvdbPath, plan.get(), {source});
    if (!listed.empty()) write.check(kAlarmInEffectivePlans.copy_to_mask(kZvdbPath, plan.get(), listed.bits()));
    if (!stored.empty()) write.check(kAlarmIns.write_masked(kZvdbPath, rows.get(), kAlarmInputs, stored.bits()));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kAlarmInsChanged, listed);
  op_log_change_multi(204, kLogParamEventCopy, 0, listed);
  reply_ok();
}

static void alarm_in_effective_plan_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t input = -1;
  auto plan = std::make_unique<Schedule>();
  if (!request || !read_json_members(request.get(), {int_member("camId", &input).required().range(0, 15)}) ||
      schedule_from_json(request.get(), "schedule", plan.get()) != 0) {
    return;
  }
  {
    SettingsWrite write;
    write.check(kAlarmInEffectivePlans.write_at(kZvdbPath, plan.get(), {input}));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kAlarmInChanged, input);
  reply_ok();
}

ZV_REQUESTS(kVideoLossRequests, "video",
    {"/6014", video_loss_read_handler},
    {"/6016", video_loss_set_handler},
    {"/6017", video_loss_plan_set_handler},
    {"/6095", video_loss_actions_set_handler},
    {"/6123", video_loss_alarms_set_handler},
    {"/6127", alarm_in_trigger_copy_handler},
    {"/6170", alarm_in_effective_plan_set_handler});
