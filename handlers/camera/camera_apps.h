// Camera applications of the camera module: people-counting groups and their events, the
// counting page of a camera, camera firmware upgrade, POS terminals and their events, automatic
// counting reports and face capture. The group, POS and face events are event kinds of the
// action-block procedures (handlers/video/event_actions.h).
#pragma once

#include <json-c/json.h>

#include <algorithm>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/messages/camera_apps.h"
#include "common/request_table.h"
#include "handlers/video/event_actions.h"
#include "platform/zvdb/records/camera_apps_record.h"

// Event kinds: group events keyed by group (0..3), POS events by terminal (0..3), face events by
// channel (0..7); each kind's PTZ actions are stored under its own PTZ source type.
constexpr int kPtzSourcePos = 21;
constexpr int kPtzSourceFace = 26;
extern const EventKind kCountingEventKind;         // the block of /2069 (no "ptzParams")
extern const EventKind kCountingDialogEventKind;   // the "dialog" of /2066 (with "ptzParams")
extern const EventKind kPosEventKind;
extern const EventKind kFaceEventKind;

// Stores the action block `block` as the event of `id` of `kind` in `write`: its plans, LED plan
// and actions, record fields and PTZ actions (the kind's PTZ source type, source id `id`). False,
// with nothing stored, when a text of the block is not valid UTF-8.
bool store_app_event(const EventKind& kind, int id, json_object* block, SettingsWrite& write);

// The objects among the first n elements of the array member `key` of `request` read over
// records[0..n-1] as partial updates; other elements leave their record as stored. False when the
// member is absent or not an array, or an element is refused.
template <class T>
bool update_listed(json_object* request, const char* key, T* records, size_t n) {
  json_object* list = nullptr;
  if (!read_json_members(request, {array_member(key, &list).required()})) return false;
  for (size_t i = 0; i < std::min(json_array_size(list), n); ++i) {
    json_object* entry = json_array_at(list, i);
    if (json_object_is_type(entry, json_type_object) && !read_record_update(entry, &records[i])) return false;
  }
  return true;
}

// A group command ("/2071" reset, "/2072" staying count): the group id to the core, its "res" back.
template <const auto& kCommand>
void group_command(const char* argument) {
  int32_t group = 0;
  if (!channel_request(argument, "groupid", kCountingGroups - 1, &group, REPLY_JSON)) return;
  reply_core_res(core_ask(kCommand, group, REPLY_JSON));
}
