// POS terminals: their connection and overlay settings, and each terminal's event.
#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/reply.h"
#include "handlers/camera/camera_apps.h"
#include "handlers/camera/camera_apps_messages.h"
#include "platform/zvdb/camera_apps_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

// {"id": 0..3} of a request; false when absent, not JSON or out of range.
bool terminal_of(json_object* request, int32_t* id) {
  return request != nullptr &&
         read_json_members(request, {int_member("id", id).required().range(0, kPosDevices - 1)});
}

}  // namespace

void pos_read_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t id = 0;
  if (!terminal_of(request.get(), &id)) return (void)reply_cgi_error(REPLY_JSON);
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

void pos_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t id = 0;
  if (!terminal_of(request.get(), &id)) return (void)reply_cgi_error(REPLY_JSON);
  json_object* action = nullptr;
  read_json_members(request.get(), {object_member("action", &action)});
  {
    SettingsWrite write;
    PosRecord terminal{};
    kPosDevicesTable.read(kZvdbPath, &terminal, zvdb::Key{id});
    if (!read_record_update(request.get(), &terminal) ||
        (action != nullptr && !store_app_event(kPosEventKind, id, action, write))) {
      return (void)reply_cgi_error(REPLY_JSON);
    }
    write.check(kPosDevicesTable.write(kZvdbPath, &terminal));
    if (!write.commit()) return (void)reply_res(-1);
  }
  reply_core_res(core_ask(kPosChanged, id, REPLY_JSON));
}
