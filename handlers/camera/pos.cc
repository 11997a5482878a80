// POS terminals: their connection and overlay settings, and each terminal's event.
#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/reply.h"
#include "handlers/camera/camera_apps.h"
#include "common/messages/camera_apps.h"
#include "common/request_table.h"
#include "platform/zvdb/camera_apps_tables.h"
#include "platform/zvdb/zvdb.h"

static void pos_read_handler(const char* argument) {
  int32_t id = 0;
  if (!channel_request(argument, "id", kPosDevices - 1, &id, REPLY_JSON)) return;
  PosRecord terminals[kPosDevices];
  if (read_pos_settings(kZvdbPath, terminals) != 0) return (void)reply_cgi_error(REPLY_JSON);
  JsonWriter w(16384);
  w.begin_object().key("pos").begin_array();
  for (const PosRecord& p : terminals) write_object(w, p);
  w.end_array();
  write_event_actions(w.key("action"), kPosEventKind, id);
  w.end_object();
  reply_json(w);
}

static void pos_set_handler(const char* argument) {
  int32_t id = 0;
  JsonPtr request = channel_request(argument, "id", kPosDevices - 1, &id, REPLY_JSON);
  if (!request) return;
  json_object* action = nullptr;
  read_json_members(request.get(), {object_member("action", &action)});
  {
    SettingsWrite write;
    PosRecord terminal{};
    read_pos_setting(kZvdbPath, &terminal, id);
    if (!read_record_update(request.get(), &terminal) ||
        (action != nullptr && !store_app_event(kPosEventKind, id, action, write))) {
      return (void)reply_cgi_error(REPLY_JSON);
    }
    write.check(write_pos_setting(kZvdbPath, &terminal));
    if (!write.commit()) return (void)reply_res(-1);
  }
  reply_core_res(core_ask(kPosChanged, id, REPLY_JSON));
}

ZV_REQUESTS(kPosRequests, "camera",
    {"/2073", pos_read_handler},
    {"/2074", pos_set_handler});
