// People-counting groups: the four groups, each group's event, group commands to the core, and
// the counting page of a camera.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/reply.h"
#include "handlers/camera/camera_apps.h"
#include "common/messages/camera_apps.h"
#include "common/request_table.h"
#include "platform/zvdb/camera_apps_tables.h"
#include "platform/zvdb/zvdb.h"

static void counting_groups_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t action = 0;
  if (!request || !read_json_members(request.get(), {int_member("action", &action)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  CountingGroup groups[kCountingGroups];
  if (read_peoplecnt_settings(kZvdbPath, groups) != 0) return (void)reply_cgi_error(REPLY_JSON);
  JsonWriter w(action != 0 ? 65536 : 4096);
  w.begin_object().key("groups").begin_array();
  for (const CountingGroup& g : groups) {
    w.begin_object();
    write_fields(w, g);
    if (action != 0) write_event_actions(w.key("dialog"), kCountingDialogEventKind, g.groupid);
    w.end_object();
  }
  w.end_array().end_object();
  reply_json(w);
}

static void counting_groups_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  CountingGroup groups[kCountingGroups];
  {
    SettingsWrite write;
    if (!request || read_peoplecnt_settings(kZvdbPath, groups) != 0 ||
        !update_listed(request.get(), "groups", groups, kCountingGroups)) {
      return (void)reply_cgi_error(REPLY_JSON);
    }
    for (int32_t i = 0; i < kCountingGroups; ++i) groups[i].groupid = i;  // a group keeps its place
    write.check(write_peoplecnt_settings(kZvdbPath, groups, kCountingGroups));
    if (!write.commit()) return (void)reply_res(-1);
  }
  reply_core_res(core_ask(kCountingGroupsChanged, 0, REPLY_JSON));
}

static void counting_event_read_handler(const char* argument) {
  int32_t group = 0;
  if (!channel_request(argument, "groupid", kCountingGroups - 1, &group, REPLY_JSON)) return;
  JsonWriter w(16384);
  write_event_actions(w, kCountingEventKind, group);
  reply_json(w);
}

static void counting_event_set_handler(const char* argument) {
  int32_t group = 0;
  JsonPtr request = channel_request(argument, "groupid", kCountingGroups - 1, &group, REPLY_JSON);
  if (!request) return;
  {
    SettingsWrite write;
    if (!store_app_event(kCountingEventKind, group, request.get(), write)) return (void)reply_cgi_error(REPLY_JSON);
    if (!write.commit()) return (void)reply_res(-1);
  }
  reply_core_res(core_ask(kCountingEventChanged, CountingEventChange{group, -1}, REPLY_JSON));
}

static void counting_url_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  CountingUrlQuery query{};
  if (!request || !read_record(request.get(), &query)) return (void)reply_cgi_error(REPLY_JSON);
  if (query.chnid < 0 || query.chnid >= kMaxChannels) return (void)reply_cgi_error(REPLY_TEXT);
  const std::optional<CoreReply> reply = core_ask(kCountingUrl, query, REPLY_JSON);
  if (!reply) return;
  // The data runs from byte 8 to the reply's end (at most the record's text width).
  const PayloadReader payload = reply->reader();
  const size_t data_length = std::min<size_t>(payload.length() - offsetof(CountingUrlReply, data), kCountingDataSize);
  JsonWriter w(2048);
  w.begin_object().key("res").value(payload.int32_at(0)).key("chnid").value(payload.int32_at(4));
  w.key("data").field(reinterpret_cast<const char*>(payload.bytes(8, data_length)), data_length).end_object();
  reply_json(w);
}

ZV_REQUESTS(kCountingGroupsRequests, "camera",
    {"/2066", counting_groups_read_handler},
    {"/2067", counting_groups_set_handler},
    {"/2068", counting_url_handler},
    {"/2069", counting_event_read_handler},
    {"/2070", counting_event_set_handler});
