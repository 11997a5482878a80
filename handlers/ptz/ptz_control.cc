// PTZ control: moves and presets sent to the core, the camera's PTZ speed through its web
// parameters, and the camera's PTZ status block.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/messages/camera.h"
#include "common/messages/ptz.h"
#include "handlers/ptz/ptz_module.h"
#include "platform/zvdb/zvdb.h"
#include "common/request_table.h"

namespace {

constexpr size_t kPresetNameChars = 30;

// "/5000": the channel and action required, speeds and view optional; no preset, no name.
constexpr auto kPtzMoveForm =
    ZV_FIELDS(PtzCommand, ZV_SCHEMA_FIELD(channel_id), ZV_SCHEMA_FIELD(action),
              ZV_FIELD(pan_speed, "panSpeed"), ZV_FIELD(tilt_speed, "tiltSpeed"),
              ZV_FIELD(zoom_speed, "zoomSpeed"), ZV_FIELD(focus_speed, "focusSpeed"),
              ZV_SCHEMA_FIELD(fisheye_type), ZV_SCHEMA_FIELD(stream_id));

int max_cameras() { return std::clamp(get_param_int(kZvdbPath, "max_cameras", 32), 0, 64); }

// The camera's speed setting counts from 0, the pages from 1.
int32_t camera_speed_value(int32_t speed) { return speed >= 1 ? speed - 1 : 1; }

// Sets one PTZ key of the camera's own web settings (3226) and answers "OK" when the camera took
// it, "ERROR" when it refused, "CGI ERROR" when the core did not answer. True only when the camera
// took it.
bool set_camera_ptz_param(int32_t channel, const char* key, const char* value) {
  CameraWebParam param{};
  param.channel = channel;
  copy_text_field(param.httpname, "vsetting.html");
  copy_text_field(param.key, key);
  copy_text_field(param.value, value);
  const std::optional<CoreReply> reply = core_ask(kWebParamSet, param, REPLY_TEXT);
  reply_status_words(reply, "OK", "ERROR");
  int32_t status = -1;
  return reply && reply->first(&status) && status == 0;
}

bool set_camera_ptz_speed(int32_t channel, int32_t speed) {
  char value[16];
  std::snprintf(value, sizeof value, "%d", camera_speed_value(speed));
  return set_camera_ptz_param(channel, "ptzspeed", value);
}

// The preset name of a save: at most 30 characters, none of them CR, LF or NUL (the camera's
// fisheye preset setting is one "stream:preset:name" line). False when the name is unusable.
bool read_preset_name(json_object* request, char (&name)[kPtzPresetNameSize]) {
  std::memset(name, 0, sizeof name);
  json_object* member = nullptr;
  if (!json_object_object_get_ex(request, "name", &member) || !json_object_is_type(member, json_type_string)) {
    return true;  // no name: an unnamed preset
  }
  const char* text = json_object_get_string(member);
  const size_t length = static_cast<size_t>(json_object_get_string_len(member));
  if (std::memchr(text, '\0', length) != nullptr || std::memchr(text, '\r', length) != nullptr ||
      std::memchr(text, '\n', length) != nullptr || !valid_request_text(text, length)) {
    return false;
  }
  copy_text_field(name, text, kPresetNameChars);
  return true;
}


// The core's record of the channel named by `key`, printed; the JSON error form when refused.
template <class R>
void reply_channel_record(const char* argument, const char* key, const Exchange<int32_t, R>& ask) {
  int32_t channel = 0;
  if (!channel_request(argument, key, 63, &channel, REPLY_JSON)) return;
  reply_core_record<R>(core_ask(ask, channel, REPLY_JSON));
}

}  // namespace

static void ptz_move_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  PtzCommand command{};
  int32_t autofocus = 0;
  if (!request || !read_record(request.get(), kPtzMoveForm.schema(), &command) ||
      !read_json_members(request.get(), {int_member("isAutoFocus", &autofocus)}) ||
      command.channel_id >= max_cameras()) {
    return;
  }
  core_tell(kPtzMove, command);
  if (command.action == kPtzActionMoveEnd && autofocus == 1) {
    command.action = kPtzActionAutofocus;
    core_tell(kPtzMove, command);
  }
  set_camera_ptz_speed(command.channel_id, command.pan_speed);
  send_ptz_log(command.channel_id, kPtzLogControl);
}

static void ptz_preset_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  PtzCommand command{};
  if (!request || !read_record(request.get(), &command) || command.channel_id >= max_cameras()) return;
  const bool save = command.action == kPtzActionSavePreset;
  if (save && !read_preset_name(request.get(), command.name)) return;
  core_tell(kPtzPreset, command);
  if (save && command.fisheye_type == 1) {
    char value[sizeof CameraWebParam::value];
    std::snprintf(value, sizeof value, "%d:%d:%s", command.stream_id, command.preset_id, command.name);
    set_camera_ptz_param(command.channel_id, "ipncptz=setfishpreset", value);
  } else {
    reply_ok();
  }
  send_ptz_log(command.channel_id, kPtzLogSettings);
}

static void ptz_focus_handler(const char* argument) {
  PtzChannelAction action{};
  if (!read_request(argument, &action)) return;
  tell_ok_and_log(kPtzFocus, action, action.channel_id, kPtzLogControl);
}

static void ptz_zoom_handler(const char* argument) {
  PtzZoom zoom{};
  if (!read_request(argument, &zoom)) return;
  tell_ok_and_log(kPtzZoom, zoom, zoom.cam_id, kPtzLogControl);
}

static void ptz_speed_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = 0;
  int32_t speed = 0;
  if (!request || !read_json_members(request.get(), {int_member("chn", &channel).required().range(0, 63),
                                                     int_member("Speed", &speed).required()})) {
    return;
  }
  // The speed is the whole change: a speed the camera refused or never answered is not logged.
  if (set_camera_ptz_speed(channel, speed)) send_ptz_log(channel, kPtzLogSettings);
}

static void ptz_camera_command_handler(const char* argument) {
  PtzCameraCommand command{};
  if (!read_request(argument, &command)) return (void)reply_cgi_error(REPLY_JSON);
  const std::optional<CoreReply> reply = core_ask(kPtzCameraCommand, command, REPLY_JSON);
  if (!reply) return;
  reply_int_member("res", reply->reader().int32_at(0));
  send_ptz_log(command.chnid, kPtzLogSettings);
}

static void ptz_camera_state_handler(const char* argument) {
  reply_channel_record(argument, "chnid", kPtzCameraState);
}
static void ptz_status_read_handler(const char* argument) {
  reply_channel_record(argument, "chnId", kPtzStatusRead);
}

// The camera's current block with the request's keys over it, applied to the channels of
// "channelMask" ('0'/'1' per channel, at most 64; only the named channel when absent).
static void ptz_status_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t channel = 0;
  PtzStatusWrite write{};
  char mask[kPtzChannelMaskSize] = {};
  bool mask_given = false;
  if (!read_channel_member(request.get(), "chnId", 63, &channel) ||
      !read_json_members(request.get(), {text_member("channelMask", mask).present(&mask_given)}) ||
      !read_record(request.get(), &write.block)) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  const size_t mask_length = strnlen(mask, sizeof mask);
  if (mask_given && (mask_length > 64 || std::strspn(mask, "01") != mask_length)) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  const std::optional<CoreReply> current = core_ask(kPtzStatusRead, channel, REPLY_JSON);
  if (!current) return;
  current->first(&write.block);
  read_record(request.get(), &write.block);
  write.block.status = 0;
  write.block.chn_id = channel;
  if (mask_given) {
    std::memcpy(write.channel_mask, mask, mask_length);
  } else {
    mask_text(uint64_t{1} << channel, channel + 1, write.channel_mask);
  }
  const std::optional<CoreReply> reply = core_ask(kPtzStatusSet, write, REPLY_JSON);
  if (!reply) return;
  reply_int_member("status", reply->reader().int32_at(0));
  send_ptz_log(channel, kPtzLogSettings);
}

ZV_REQUESTS(kPtzControlRequests, "ptz",
    {"/5000", ptz_move_handler},
    {"/5001", ptz_preset_handler},
    {"/5006", ptz_focus_handler},
    {"/5007", ptz_zoom_handler},
    {"/5008", ptz_speed_handler},
    {"/5009", ptz_camera_command_handler},
    {"/5010", ptz_camera_state_handler},
    {"/5011", ptz_status_read_handler},
    {"/5012", ptz_status_set_handler});
