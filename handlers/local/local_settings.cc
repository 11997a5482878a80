// The switches of the local set-up pages. Each stores its value and tells the core without
// waiting; a failed write answers "CGI ERROR" and tells the core nothing.
#include <cstring>
#include <initializer_list>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/request.h"
#include "common/settings_store.h"
#include "common/messages/camera.h"
#include "common/messages/local.h"
#include "common/request_table.h"
#include "handlers/system/device_common.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/record_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr size_t kCameraTextChars = 63;

// The camera quick edit: the address and port are required, the credentials keep their stored
// values when absent and are refused when longer than their fields (cut, the camera login would
// use a password nobody chose); the protocol word is cleared (the camera is reached as an ONVIF one).
constexpr auto kQuickEditForm =
    ZV_FIELDS(CameraRecord, ZV_FIELD(id, "id").required().range(0, kCameraKeyLimit - 1),
              ZV_FIELD(enable, "enable").required().range(0, 1),
              ZV_FIELD(ip_addr, "ipAddr").required().chars(kCameraTextChars).whole(),
              ZV_FIELD(manage_port, "managePort").required().range(0, 65535),
              ZV_FIELD(user_name, "userName").keep_if_absent().chars(kCameraTextChars).whole(),
              ZV_FIELD(password, "password").keep_if_absent().chars(kCameraTextChars).whole());

// Reads one integer member into `value` (which keeps its stored value when the member is absent);
// false when the argument is not JSON or the value is out of range.
bool read_switch(const char* argument, const char* key, int32_t* value, int32_t max) {
  JsonPtr request = parse_request(argument);
  return request && read_json_members(request.get(), {int_member(key, value).keep_if_absent().range(0, max)});
}

// Stores one integer setting taken from the request; "OK", or "CGI ERROR" when it was not stored.
// The stored value is read inside the write scope, so a change another request stores meanwhile
// is never written back over.
void setting_switch(const char* argument, const char* json_key, const char* setting) {
  {
    SettingsWrite write;
    int32_t value = get_param_int(kZvdbPath, setting, 0);
    if (!read_switch(argument, json_key, &value, 1)) return;
    write.check(set_param_int(kZvdbPath, setting, value));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
}

}  // namespace

static void ssh_enable_handler(const char* argument) {
  {
    // The port row is read inside the write scope: the other ports stay as the last writer left them.
    SettingsWrite write;
    PortConfig ports{};
    kPorts.read(kZvdbPath, &ports, kNetworkRow);
    if (!read_switch(argument, "sshEnable", &ports.enable_ssh, 1)) return;
    write.check(kPorts.write(kZvdbPath, &ports));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kNetworkChanged, network_change("more"));
  reply_ok();
}

static void auto_login_handler(const char* argument) {
  setting_switch(argument, "autoLoginEnable", "local_auth_enable");
}

static void wizard_enable_handler(const char* argument) {
  setting_switch(argument, "wizardEnable", "wizard_enable");
}

static void record_mode_all_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t mode = 0;
  if (!request || !read_json_members(request.get(), {int_member("recordMode", &mode).required().range(0, 2)})) {
    return;
  }
  {
    SettingsWrite write;
    for (int channel = 0; channel < kRecordChannels; ++channel) {
      RecordConfig record{};
      if (kRecordConfigs.read(kZvdbPath, &record, {channel}) != 0) record.id = channel;
      record.mode = mode;
      write.check(kRecordConfigs.write(kZvdbPath, &record));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_ok();
  for (int32_t channel = 0; channel < kRecordChannels; ++channel) core_tell(kRecordChanged, channel);
}

static void camera_quick_edit_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  CameraRecord form{};
  if (!read_record(request.get(), kQuickEditForm.schema(), &form)) return;
  {
    // The id is known now: read the stored camera (inside the write scope, so that no change
    // stored meanwhile is written back over) and apply the form to it.
    SettingsWrite write;
    CameraRecord camera{};
    if (read_camera(kZvdbPath, &camera, form.id) != 0) camera.id = form.id;
    form = camera;
    if (!read_record(request.get(), kQuickEditForm.schema(), &form) || form.ip_addr[0] == '\0') return;
    form.cam_protocol = 0;
    write.check(write_camera(kZvdbPath, &form));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(form.enable == 1 ? kCameraAdded : kCameraDeleted, form.id);
  reply_ok();
}

ZV_REQUESTS(kLocalSettingsRequests, "local",
    {"/3300", ssh_enable_handler},
    {"/3301", auto_login_handler},
    {"/3302", record_mode_all_handler},
    {"/3303", wizard_enable_handler},
    {"/3304", camera_quick_edit_handler});
