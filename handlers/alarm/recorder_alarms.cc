// The recorder's own alarm contacts: 4 outputs (name, type, enable, hold time, plan; copied to
// other outputs; switched by hand) and 16 inputs (the short form of the older pages with its
// single plan, and the full action block of the newer ones, copied to other inputs). Every set
// stores all it writes in one transaction, committed before the first message to the core.
#include <cstring>
#include <memory>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/settings_store.h"
#include "common/messages/alarm.h"
#include "common/request_table.h"
#include "handlers/video/alarm_event_kinds.h"
#include "handlers/video/event_actions.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int32_t kLogParamAlarmIn = 910;
constexpr int32_t kLogParamAlarmOut = 911;
constexpr int32_t kLegacyPlanActionType = 6;  // every range of an input's older single plan

// The short form of an input: the list prints the first six members, the single read all eight;
// the older sets check the form's members and take them over an empty (or the stored) row.
constexpr auto kInputListForm =
    ZV_FIELDS(AlarmInConfig, ZV_SCHEMA_FIELD(id), ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(name),
              ZV_SCHEMA_FIELD(type), ZV_SCHEMA_FIELD(tri_channels), ZV_SCHEMA_FIELD(tri_alarms));
constexpr auto kInputReadForm =
    ZV_FIELDS(AlarmInConfig, ZV_SCHEMA_FIELD(id), ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(name),
              ZV_SCHEMA_FIELD(type), ZV_SCHEMA_FIELD(tri_channels), ZV_SCHEMA_FIELD(tri_alarms),
              ZV_SCHEMA_FIELD(interval), ZV_SCHEMA_FIELD(tri_snapshot));
constexpr auto kInputShortForm =
    ZV_FIELDS(AlarmInConfig, ZV_SCHEMA_FIELD(id), ZV_SCHEMA_FIELD(enable), ZV_SCHEMA_FIELD(name),
              ZV_SCHEMA_FIELD(type), ZV_SCHEMA_FIELD(tri_alarms), ZV_SCHEMA_FIELD(interval),
              ZV_SCHEMA_FIELD(tri_channels));
// The rename: the input by "camId", the rest kept when absent.
constexpr auto kInputRenameForm =
    ZV_FIELDS(AlarmInConfig, ZV_FIELD(id, "camId").required().range(0, 15), ZV_SCHEMA_FIELD(name),
              ZV_FIELD(type, "type").keep_if_absent().range(0, 1),
              ZV_FIELD(enable, "enable").keep_if_absent().range(0, 2));
// What a copy gives the target inputs (their names, channels and picture settings stay).
constexpr auto kInputCopiedFields =
    ZV_FIELDS(AlarmInConfig, ZV_INTERNAL(type), ZV_INTERNAL(enable), ZV_INTERNAL(interval), ZV_INTERNAL(audio_id),
              ZV_INTERNAL(email_enable), ZV_INTERNAL(email_interval), ZV_INTERNAL(tri_snapshot),
              ZV_INTERNAL(tri_alarms), ZV_INTERNAL(ptz_interval), ZV_INTERNAL(alarmout_interval),
              ZV_INTERNAL(white_interval), ZV_INTERNAL(tri_chn_alarms));

AlarmInConfig stored_input(int id) {
  AlarmInConfig row{};
  kAlarmIns.read(kZvdbPath, &row, {id});
  row.id = id;
  return row;
}

json_object* object_of(json_object* request, const char* key) {
  json_object* member = json_object_object_get(request, key);
  return json_object_is_type(member, json_type_object) ? member : nullptr;
}

// {"alarmId": 0..max}: the id, or -1 when the request is not JSON or the member is absent or out of
// range.
int32_t request_alarm_id(const JsonPtr& request, int32_t max) {
  int32_t id = -1;
  return request && read_json_members(request.get(), {int_member("alarmId", &id).required().range(0, max)}) ? id : -1;
}

// The stored rows of a table (at most N) printed through `schema` as one JSON array.
template <class Row, int N>
void reply_stored_rows(const zvdb::Table<Row>& table, const zvrec::Schema& schema, size_t reserve) {
  auto rows = std::make_unique<Row[]>(N);
  const int count = read_stored_rows(kZvdbPath, table, rows.get(), N);
  JsonWriter w(reserve);
  w.begin_array();
  for (int i = 0; i < count; ++i) write_object(w, schema, &rows[i]);
  reply_json(w.end_array());
}

// "/6061" .. "/6064" take the input under "alarm".
json_object* alarm_object(const JsonPtr& request) { return request ? object_of(request.get(), "alarm") : nullptr; }

void set_tri_channels_mask(AlarmInConfig& row, const char* text) {
  row.tri_channels_mask = tri_channels_mask_of(text, kEventTextSize);
}

// The older short-form sets change the stored row: "/6062" also stores the single plan, "/6064"
// keeps the row's enable and stores no plan. Both keep what the short form cannot carry (the
// e-mail, PTZ, alarm-output and white-light actions of the newer page). The channel text is
// stored as given and the mask rebuilt from it, so both name the same channels and the short read
// ("/6061", "/6060") shows what was set: a page that saves back what it read keeps the channels.
void short_form_set(const char* argument, bool with_plan) {
  JsonPtr request = parse_request(argument);
  json_object* alarm = alarm_object(request);
  AlarmInConfig given{};
  if (alarm == nullptr || !read_record(alarm, kInputShortForm.schema(), &given)) return;
  auto plan = std::make_unique<Schedule>();
  const int planned = with_plan ? schedule_from_json(request.get(), "schedule", plan.get()) : -1;
  if (planned == kInvalidText) return;
  AlarmInConfig row{};
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    row = stored_input(given.id);
    const AlarmInConfig before = row;
    read_record(alarm, kInputShortForm.schema(), &row);  // checked above; an absent name stays
    if (!with_plan) row.enable = before.enable;
    set_tri_channels_mask(row, given.tri_channels);
    write.check(kAlarmIns.write(kZvdbPath, &row));
    if (planned == 0) {
      for (ScheduleDay& day : plan->days) {
        for (int r = 0; r < kScheduleWebRanges; ++r) day.ranges[r].action_type = kLegacyPlanActionType;
      }
      write.check(kAlarmInPlans.write_at(kZvdbPath, plan.get(), {row.id}));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kAlarmInChanged, row.id);
  // Logged like every other change of an input: who changed it, from where, and which input.
  log_event_change(kLogParamAlarmIn, row.id + 1);
  reply_ok();
}

}  // namespace

// ---- Outputs ------------------------------------------------------------------------------------

static void alarm_outputs_read_handler(const char* /*argument*/) {
  reply_stored_rows<AlarmOutConfig, kAlarmOutputs>(kAlarmOuts, zvrec::schema_of<AlarmOutConfig>(), 2048);
}

static void alarm_output_read_handler(const char* argument) {
  const int32_t id = request_alarm_id(parse_request(argument), kAlarmOutputs - 1);
  if (id < 0) return (void)reply_cgi_error(REPLY_JSON);
  AlarmOutConfig row{};
  kAlarmOuts.read(kZvdbPath, &row, {id});
  row.id = id;
  auto plan = std::make_unique<Schedule>();
  kAlarmOutPlans.read(kZvdbPath, plan.get(), {id});
  JsonWriter w(8192);
  w.begin_object();
  write_fields(w, row);
  write_schedule(w.key("effective"), *plan);
  w.end_object();
  reply_json(w);
}

static void alarm_output_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  const int32_t id = request_alarm_id(request, kAlarmOutputs - 1);
  if (id < 0) return (void)reply_cgi_error(REPLY_TEXT);
  AlarmOutConfig rows[kAlarmOutputs];
  bool present[kAlarmOutputs];
  ChannelMask64 copies{0, 0};
  {
    SettingsWrite write;
    if (read_rows_by_key(kZvdbPath, kAlarmOuts, rows, present) != 0) write.check(-1);
    AlarmOutConfig& row = rows[id];
    const AlarmOutConfig before = row;
    row.id = id;
    if (!read_record(request.get(), &row)) return (void)reply_cgi_error(REPLY_TEXT);
    if (std::memcmp(&before, &row, sizeof row) != 0 || !present[id]) write.check(kAlarmOuts.write(kZvdbPath, &row));
    auto plan = std::make_unique<Schedule>();
    const int planned = schedule_from_json(object_of(request.get(), "dialog"), "effective", plan.get());
    if (planned == kInvalidText) return (void)reply_cgi_error(REPLY_TEXT);
    if (planned == 0) write.check(kAlarmOutPlans.write_at(kZvdbPath, plan.get(), {id}));
    int32_t targets[64];
    const size_t n = listed_numbers(request.get(), "copyChn", "copyCnt", kAlarmOutputs, targets);
    for (size_t i = 0; i < n; ++i) {
      const int t = targets[i];
      if (t == id || !present[t]) continue;
      rows[t].enable = row.enable;
      rows[t].type = row.type;
      rows[t].duration_time = row.duration_time;
      copies.set(t);
    }
    if (!copies.empty()) {
      write.check(kAlarmOuts.write_masked(kZvdbPath, rows, kAlarmOutputs, copies.bits()));
      kAlarmOutPlans.read(kZvdbPath, plan.get(), {id});
      write.check(kAlarmOutPlans.copy_to_mask(kZvdbPath, plan.get(), copies.bits()));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kAlarmOutChanged, id);
  for (int t = 0; t < kAlarmOutputs; ++t) {
    if (copies.test(t)) core_tell(kAlarmOutChanged, t);
  }
  copies.set(id);
  log_event_change_multi(kLogParamAlarmOut, id + 1, copies);
  reply_ok();
}

static void alarm_output_trigger_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  AlarmOutTrigger trigger{};
  if (!request || !read_record(request.get(), &trigger)) return;
  core_tell(kAlarmOutTrigger, trigger);
  log_event_change(kLogParamAlarmOut, trigger.id + 1);
  reply_ok();
}

// ---- Inputs: the short form of the older pages --------------------------------------------------

static void alarm_inputs_list_handler(const char* /*argument*/) {
  reply_stored_rows<AlarmInConfig, kAlarmInputs>(kAlarmIns, kInputListForm.schema(), 4096);
}

static void alarm_input_short_read_handler(const char* argument) {
  int32_t id = -1;
  if (!parse_decimal(argument, &id) || id < 0 || id >= kAlarmInputs) return;
  const AlarmInConfig row = stored_input(id);
  auto plan = std::make_unique<Schedule>();
  kAlarmInPlans.read(kZvdbPath, plan.get(), {id});
  JsonWriter w(8192);
  w.begin_object();
  write_object(w.key("alarm"), kInputReadForm.schema(), &row);
  write_schedule(w.key("schedule"), *plan);
  w.end_object();
  reply_json(w);
}

static void alarm_input_short_set_handler(const char* argument) { short_form_set(argument, true); }
static void alarm_input_fields_set_handler(const char* argument) { short_form_set(argument, false); }

static void alarm_input_rename_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  json_object* alarm = alarm_object(request);
  int32_t id = -1;
  if (alarm == nullptr || !read_json_members(alarm, {int_member("camId", &id).required().range(0, 15)})) return;
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    AlarmInConfig row = stored_input(id);
    if (!read_record(alarm, kInputRenameForm.schema(), &row)) return;
    write.check(kAlarmIns.write(kZvdbPath, &row));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kAlarmInChanged, id);
  log_event_change(kLogParamAlarmIn, id + 1);
  reply_ok();
}

// ---- Inputs: the action block -------------------------------------------------------------------

static void alarm_input_read_handler(const char* argument) {
  const int32_t id = request_alarm_id(parse_request(argument), kAlarmInputs - 1);
  if (id < 0) return (void)reply_cgi_error(REPLY_JSON);
  const AlarmInConfig row = stored_input(id);
  JsonWriter w(16384);
  w.begin_object();
  w.key("alarmId").value(id).key("name").field(row.name).key("alarmType").value(row.type);
  write_event_action_members(w, kAlarmInEventKind, id);
  w.end_object();
  reply_json(w);
}

static void alarm_input_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t id = -1;
  int32_t type = 0;
  bool has_type = false;
  char name[kAlarmNameSize];
  bool has_name = false;
  if (!request || !read_json_members(request.get(), {int_member("alarmId", &id).required().range(0, 15),
                                                     int_member("alarmType", &type).range(0, 1).present(&has_type),
                                                     text_member("name", name).present(&has_name)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  json_object* dialog = object_of(request.get(), "dialog");
  ChannelMask64 copies{0, 0};
  {
    SettingsWrite write;
    if (has_type || has_name) {
      AlarmInConfig row = stored_input(id);
      if (has_type) row.type = type;
      if (has_name) copy_text_field(row.name, name);
      write.check(kAlarmIns.write(kZvdbPath, &row));
    }
    if (dialog != nullptr) store_event_actions_at(kAlarmInEventKind, id, dialog, write);
    int32_t targets[64];
    const size_t n = listed_numbers(request.get(), "copyChn", "copyCnt", kAlarmInputs, targets);
    if (n > 0) {
      auto rows = std::make_unique<AlarmInConfig[]>(kAlarmInputs);
      auto present = std::make_unique<bool[]>(kAlarmInputs);
      if (read_rows_by_key(kZvdbPath, zvdb::kAlarmInTable, rows.get(), present.get(), kAlarmInputs) != 0) {
        write.check(-1);
      }
      for (size_t i = 0; i < n; ++i) {
        const int t = targets[i];
        if (t == id || !present[t]) continue;
        zvrec::copy_fields(kInputCopiedFields.schema(), &rows[id], &rows[t]);
        copies.set(t);
      }
      if (!copies.empty()) {
        // The plans, LED and PTZ actions go over whole; the rows then take only the copied fields.
        copy_event_actions(kAlarmInEventKind, id, 0, copies, write);
        write.check(kAlarmIns.write_masked(kZvdbPath, rows.get(), kAlarmInputs, copies.bits()));
      }
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_JSON);
  }
  copies.set(id);
  core_tell(kAlarmInsChanged, copies);
  reply_ok();
}

ZV_REQUESTS(kRecorderAlarmsRequests, "alarm",
    {"/6020", alarm_outputs_read_handler},
    {"/6021", alarm_output_read_handler},
    {"/6022", alarm_output_set_handler},
    {"/6023", alarm_output_trigger_handler},
    {"/6026", alarm_input_read_handler},
    {"/6027", alarm_input_set_handler},
    {"/6060", alarm_inputs_list_handler},
    {"/6061", alarm_input_short_read_handler},
    {"/6062", alarm_input_short_set_handler},
    {"/6063", alarm_input_rename_handler},
    {"/6064", alarm_input_fields_set_handler});
