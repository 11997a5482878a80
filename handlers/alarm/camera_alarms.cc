// The cameras' own alarms: two inputs and two outputs per channel. Their live state comes from
// the core; their action blocks, names and plans are recorder settings, copied to other channels
// on request; the camera takes their enable and type through the core. Also the name lists of
// every alarm the recorder knows.
#include <algorithm>
#include <initializer_list>
#include <memory>
#include <optional>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/record_json.h"
#include "common/safe_text.h"
#include "common/reply.h"
#include "common/messages/alarm.h"
#include "common/request_table.h"
#include "handlers/video/alarm_event_kinds.h"
#include "handlers/video/event_actions.h"
#include "handlers/video/schedule_json.h"
#include "platform/zvdb/alarm_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

// {"chnid": 0..63, ...}: the channel, or -1 when the request is not JSON or the member is absent
// or out of range (more members may be required with `count`).
int32_t request_channel(const JsonPtr& request, int32_t* count = nullptr) {
  int32_t channel = -1;
  const JsonMember members[] = {int_member("chnid", &channel).required().range(0, 63),
                                int_member("alarmCnt", count).required()};
  const std::span<const JsonMember> read(members, count != nullptr ? 2 : 1);
  return request && read_json_members(request.get(), read) ? channel : -1;
}

template <class T>
T camera_alarm_row(const zvdb::Table<T>& table, int channel, int index) {
  T row{};
  table.read(kZvdbPath, &row, {channel, index});
  row.channel = channel;
  row.alarm_index = index;
  return row;
}

// Entries k < min(count, 2) of an array member that are objects, with k: false as soon as one
// does not read (f returns false), so that a refused entry refuses the request.
template <class F>
bool for_each_entry(json_object* request, const char* key, int32_t count, F&& f) {
  json_object* array = json_array_of(request, key);
  const int n = std::clamp(count, 0, kCameraAlarms);
  for (int k = 0; k < n; ++k) {
    json_object* entry = json_array_at(array, static_cast<size_t>(k));
    if (json_object_is_type(entry, json_type_object) && !f(k, entry)) return false;
  }
  return true;
}

// The "alarmId" (0 or 1) of a dialog entry, or -1.
int dialog_alarm(json_object* entry) {
  int32_t alarm = -1;
  return json_value_int(json_object_object_get(entry, "alarmId"), &alarm) && alarm >= 0 && alarm < kCameraAlarms
             ? alarm
             : -1;
}

// The name lists: recorder names in row order, then two names for each of the 64 channels (whatever
// number of cameras the device has: a page indexes the list by channel).
template <class Recorder, class Camera>
void reply_names(const zvdb::Table<Recorder>& recorder, int recorder_count, const zvdb::Table<Camera>& camera) {
  auto rows = std::make_unique<Recorder[]>(static_cast<size_t>(recorder_count));
  const int count = read_stored_rows(kZvdbPath, recorder, rows.get(), recorder_count);
  const auto by_key = camera_alarm_rows(kZvdbPath, camera);
  JsonWriter w(8192);
  w.begin_object().key("nvr").begin_array();
  for (int i = 0; i < count; ++i) w.field(rows[i].name);
  w.end_array().key("camera").begin_array();
  for (int c = 0; c < kMaxChannels; ++c) {
    w.begin_array().field(by_key[c * kCameraAlarms].name).field(by_key[c * kCameraAlarms + 1].name).end_array();
  }
  w.end_array().end_object();
  reply_json(w);
}

// What both camera alarm reads do around their entries: the channel, the camera's live state of
// its alarms from the core, then {"chnid", "alarmCnt", "alarm": [the entries `entries` writes]}.
template <class State, class Entries>
void reply_camera_alarms(const char* argument, const Exchange<int32_t, State>& ask, Entries&& entries) {
  const int32_t channel = request_channel(parse_request(argument));
  if (channel < 0) return (void)reply_cgi_error(REPLY_JSON);
  std::optional<CoreReply> reply = core_ask(ask, channel, REPLY_JSON);
  State state{};
  if (!reply || !reply->first(&state)) return;
  JsonWriter w(32768);
  w.begin_object().key("chnid").value(channel).key("alarmCnt").value(state.count).key("alarm").begin_array();
  entries(w, channel, state);
  w.end_array().end_object();
  reply_json(w);
}

// The camera's own state of its alarms when one of the first `count` "alarm" entries leaves out a
// member of `keys` (or is no object), so that what an entry leaves out keeps the camera's value;
// nothing is asked when every entry is whole. False, with the JSON error form, when the camera's
// state could not be had.
template <class State>
bool camera_alarm_values(json_object* request, int channel, int count, const Exchange<int32_t, State>& read,
                         std::initializer_list<const char*> keys, State* state) {
  json_object* entries = json_array_of(request, "alarm");
  bool whole = true;
  for (int k = 0; k < count; ++k) {
    for (const char* key : keys) whole = whole && json_int_of(json_array_at(entries, static_cast<size_t>(k)), key);
  }
  return whole || ask_camera_record(read, channel, state, REPLY_JSON);
}

// What both camera alarm sets do around their own entries: the channel and "alarmCnt", the copy
// set, the camera's values for what the entries leave out (`keep(request, channel, set)`; false:
// the error form is written), one transaction for what `store(request, channel, copies, set,
// write)` writes (false: the request is refused), then the camera's set (for the channel and its
// copies) and the change notice.
template <class Set, class Keep, class Store>
void camera_alarm_set(const char* argument, const Notice<Set>& set_notice, const Notice<ChannelMask64>& changed,
                      Keep&& keep, Store&& store) {
  JsonPtr request = parse_request(argument);
  int32_t count = 0;
  const int32_t channel = request_channel(request, &count);
  // A text that is not UTF-8 anywhere refuses the request before the camera is asked.
  if (channel < 0 || !json_texts_utf8(request.get())) return (void)reply_cgi_error(REPLY_JSON);
  ChannelMask64 copies = channel_list_to_mask(request.get(), "copyChn", "copyCnt");
  Set set{};
  set.count = std::clamp(count, 0, kCameraAlarms);
  if (set.count > 1) set.index1 = 1;
  if (!keep(request.get(), channel, set)) return;
  {
    SettingsWrite write;
    if (!store(request.get(), channel, copies, set, write) || !write.commit()) {
      return (void)reply_cgi_error(REPLY_JSON);
    }
  }
  copies.set(channel);
  set.mask = copies;
  core_tell(set_notice, set);
  core_tell(changed, copies);
  reply_ok();
}

// The inputs' action blocks (with their copies), enable, type and names.
bool store_inputs(json_object* request, int channel, ChannelMask64 copies, CameraAlarmInSet& set,
                  SettingsWrite& write) {
  const bool texts_valid = for_each_action_block(request, "dialog", set.count, [&](int, json_object* entry) {
    const int alarm = dialog_alarm(entry);
    if (alarm < 0) return;
    store_event_actions_at(kCameraAlarmInEventKind, channel, entry, write, alarm);
    if (!copies.empty()) copy_event_actions(kCameraAlarmInEventKind, channel, alarm, copies, write);
  });
  if (!texts_valid) return false;
  return for_each_entry(request, "alarm", set.count, [&](int k, json_object* entry) {
    CameraAlarmInName name = camera_alarm_row(kCameraAlarmInNames, channel, k);
    if (!read_json_members(entry, {int_member("alarmEnable", k == 0 ? &set.enable0 : &set.enable1).keep_if_absent(),
                                   int_member("alarmType", k == 0 ? &set.type0 : &set.type1).keep_if_absent()}) ||
        !read_record(entry, &name)) {
      return false;
    }
    write.check(kCameraAlarmInNames.write(kZvdbPath, &name));
    return true;
  });
}

// The outputs' plans (with their copies), type, names and delay (the delay copied too).
bool store_outputs(json_object* request, int channel, ChannelMask64 copies, CameraAlarmOutSet& set,
                   SettingsWrite& write) {
  auto plan = std::make_unique<Schedule>();
  const bool texts_valid = for_each_action_block(request, "dialog", set.count, [&](int, json_object* entry) {
    const int alarm = dialog_alarm(entry);
    if (alarm < 0 || schedule_from_json(entry, "effective", plan.get()) != 0) return;
    write.check(kCameraAlarmOutPlans.write_at(kZvdbPath, plan.get(), {channel, alarm}));
    if (!copies.empty()) write.check(kCameraAlarmOutPlans.copy_to_mask(kZvdbPath, plan.get(), copies.bits(), {0, alarm}));
  });
  if (!texts_valid) return false;
  return for_each_entry(request, "alarm", set.count, [&](int k, json_object* entry) {
    CameraAlarmOutName name = camera_alarm_row(kCameraAlarmOutNames, channel, k);
    if (!read_json_members(entry, {int_member("alarmType", k == 0 ? &set.type0 : &set.type1).keep_if_absent()}) ||
        !read_record(entry, &name)) {
      return false;
    }
    write.check(kCameraAlarmOutNames.write(kZvdbPath, &name));
    for (int c = 0; c < kMaxChannels; ++c) {
      if (!copies.test(c) || c == channel) continue;
      CameraAlarmOutName target = camera_alarm_row(kCameraAlarmOutNames, c, k);
      target.delay_time = name.delay_time;
      write.check(kCameraAlarmOutNames.write(kZvdbPath, &target));
    }
    return true;
  });
}

}  // namespace

static void camera_alarm_inputs_read_handler(const char* argument) {
  reply_camera_alarms(argument, kCameraAlarmInRead, [](JsonWriter& w, int channel, const CameraAlarmInState& state) {
    for (int k = 0; k < std::clamp(state.count, 0, kCameraAlarms); ++k) {
      const CameraAlarmInName name = camera_alarm_row(kCameraAlarmInNames, channel, k);
      w.begin_object();
      w.key("alarmEnable").value(state.enable[k]).key("alarmType").value(state.type[k]);
      w.key("alarmStatus").value(state.status[k]).key("alarmName").field(name.name);
      write_event_action_members(w, kCameraAlarmInEventKind, channel, k);
      w.end_object();
    }
  });
}

static void camera_alarm_outputs_read_handler(const char* argument) {
  reply_camera_alarms(argument, kCameraAlarmOutRead, [](JsonWriter& w, int channel, const CameraAlarmOutState& state) {
    auto plan = std::make_unique<Schedule>();
    for (int k = 0; k < kCameraAlarms; ++k) {
      const CameraAlarmOutName name = camera_alarm_row(kCameraAlarmOutNames, channel, k);
      *plan = Schedule{};
      kCameraAlarmOutPlans.read(kZvdbPath, plan.get(), {channel, k});
      w.begin_object();
      w.key("alarmType").value(state.type[k]).key("alarmStatus").value(state.status[k]);
      w.key("alarmName").field(name.name).key("delayTime").value(name.delay_time);
      write_schedule(w.key("effective"), *plan);
      w.end_object();
    }
  });
}

static void camera_alarm_inputs_set_handler(const char* argument) {
  const auto keep = [](json_object* request, int channel, CameraAlarmInSet& set) {
    CameraAlarmInState camera{};
    if (!camera_alarm_values(request, channel, set.count, kCameraAlarmInRead, {"alarmEnable", "alarmType"}, &camera)) {
      return false;
    }
    if (set.count > 0) set.enable0 = camera.enable[0], set.type0 = camera.type[0];
    if (set.count > 1) set.enable1 = camera.enable[1], set.type1 = camera.type[1];
    return true;
  };
  camera_alarm_set(argument, kCameraAlarmInSet, kCameraAlarmInsChanged, keep, store_inputs);
}

static void camera_alarm_outputs_set_handler(const char* argument) {
  const auto keep = [](json_object* request, int channel, CameraAlarmOutSet& set) {
    CameraAlarmOutState camera{};
    if (!camera_alarm_values(request, channel, set.count, kCameraAlarmOutRead, {"alarmType"}, &camera)) return false;
    if (set.count > 0) set.type0 = camera.type[0];
    if (set.count > 1) set.type1 = camera.type[1];
    return true;
  };
  camera_alarm_set(argument, kCameraAlarmOutSet, kCameraAlarmOutsChanged, keep, store_outputs);
}

static void camera_alarm_state_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  CameraAlarmStateSet state{};
  if (!request || !read_record(request.get(), &state)) return (void)reply_cgi_error(REPLY_TEXT);
  core_tell(kCameraAlarmStateSet, state);
  reply_ok();
}

static void alarm_output_names_handler(const char* /*argument*/) {
  reply_names(kAlarmOuts, kAlarmOutputs, kCameraAlarmOutNames);
}

static void alarm_input_names_handler(const char* /*argument*/) {
  reply_names(kAlarmIns, kAlarmInputs, kCameraAlarmInNames);
}

ZV_REQUESTS(kCameraAlarmsRequests, "alarm",
    {"/6024", camera_alarm_inputs_read_handler},
    {"/6025", camera_alarm_inputs_set_handler},
    {"/6028", camera_alarm_outputs_read_handler},
    {"/6029", camera_alarm_outputs_set_handler},
    {"/6032", alarm_output_names_handler},
    {"/6033", camera_alarm_state_handler},
    {"/6034", alarm_input_names_handler});
