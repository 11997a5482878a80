// Settings of the recorder itself: display outputs and audio, host name and device id, automatic
// reboot, UPnP port mapping, and two plain core requests.
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/settings_store.h"
#include "handlers/system/device_common.h"
#include "common/messages/device.h"
#include "common/messages/system.h"
#include "common/request_table.h"
#include "platform/zvdb/device_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvdb/network_tables.h"

namespace {

constexpr int kRefreshWaitUs = 500 * 1000;  // the port mapping refresh is given half a second

// Stores the host name (cut to 127 characters) in the network record; the rest stays.
void store_host_name(SettingsWrite& write, const char* host_name) {
  NetworkConfig network{};
  kNetwork.read(kZvdbPath, &network, kNetworkRow);
  std::memset(network.host_name, 0, sizeof network.host_name);
  copy_text_field(network.host_name, host_name, kHostNameChars);
  write.check(kNetwork.write(kZvdbPath, &network));
}

// The port mapping page: the mapping and its statuses, then the device's own ports.
constexpr auto kUpnpReply = ZV_FIELDS(UpnpConfig, ZV_FIELD(enable, "enable"), ZV_FIELD(type, "type"),
                                      ZV_FIELD(external_http_port, "external_http_port"),
                                      ZV_FIELD(http_status, "http_status"),
                                      ZV_FIELD(external_rtsp_port, "external_rtsp_port"),
                                      ZV_FIELD(rtsp_status, "rtsp_status"));
constexpr auto kPortReply =
    ZV_FIELDS(PortConfig, ZV_FIELD(http_port, "http_port"), ZV_FIELD(rtsp_port, "rtsp_port"));

}  // namespace

static void display_read_handler(const char* /*argument*/) {
  DisplayConfig display{};
  kDisplay.read(kZvdbPath, &display, kDeviceRow);
  NetworkConfig network{};
  kNetwork.read(kZvdbPath, &network, kNetworkRow);
  JsonWriter w(512);
  w.begin_object();
  w.key("displayMode").value(short_text_setting("display_mode", "0"));
  w.key("hdmihotplug").value(short_text_setting("hdmihotplug", "1"));
  w.key("mainResolution").value(display.main_resolution);
  w.key("hdmiAudioOn").value(display.hdmi_audio_on);
  w.key("homologous").value(get_param_int(kZvdbPath, "homologous", 1));
  w.key("curControl").value(display.cur_control);
  w.key("subEnable").value(display.sub_enable);
  w.key("subResolution").value(display.sub_resolution);
  w.key("audioOutputOn").value(display.audio_output_on);
  w.key("audioVolume").value(display.audio_volume);
  w.key("deviceId").value(short_text_setting("deviceid", "255"));
  w.key("hostname").field(network.host_name);
  w.key("wizardEnable").value(short_text_setting("wizard_enable", "0"));
  w.end_object();
  reply_json(w);
}

static void display_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  DisplayConfig display{};
  DisplayConfig before{};
  int32_t sub_enable = 0, wizard = 0, device_id = 0, display_mode = 0, homologous_changed = 0;
  bool reboot_due = false;
  {
    // Everything the request keeps is read inside its write scope: a change another request stores
    // meanwhile is never written back over.
    SettingsWrite write;
    kDisplay.read(kZvdbPath, &display, kDeviceRow);
    before = display;
    int32_t homologous = get_param_int(kZvdbPath, "homologous", 1);
    int32_t hotplug = get_param_int(kZvdbPath, "hdmihotplug", 1);
    int32_t stream_info = get_param_int(kZvdbPath, "stream_information", 0);
    char host_name[kHostNameChars + 1];
    if (!read_json_members(request.get(), {
            int_member("mainResolution", &display.main_resolution).required(),
            int_member("audioOutputOn", &display.audio_output_on).required().range(0, 1),
            int_member("audioVolume", &display.audio_volume).required().range(0, 100),
            int_member("hdmiAudioOn", &display.hdmi_audio_on).required().range(0, 1),
            int_member("subResolution", &display.sub_resolution).required(),
            int_member("wizardEnable", &wizard).required().range(0, 1),
            text_member("hostname", host_name).required(),
            int_member("deviceId", &device_id).required().range(0, 256),
            int_member("displayMode", &display_mode).required().range(0, 1),
            int_member("subEnable", &sub_enable).required().range(0, 1),
            int_member("audioStereo", &display.audio_stereo).keep_if_absent(),
            int_member("homologous", &homologous).keep_if_absent().range(0, 1),
            int_member("isHomologousChanged", &homologous_changed),
            int_member("hdmihotplug", &hotplug).keep_if_absent(),
            int_member("streamInfo", &stream_info).keep_if_absent(),
        }) ||
        display.audio_volume % 10 != 0) {
      return;
    }
    reboot_due = homologous_changed != 0;
    if (reboot_due) {
      display.sub_enable = homologous == 0 ? 1 : 0;
      write.check(set_param_int(kZvdbPath, "homologous", homologous));
      write.check(set_param_value(kZvdbPath, "quick_screen", display.sub_enable != 0 ? "1" : "0"));
    }
    write.check(kDisplay.write(kZvdbPath, &display));
    store_host_name(write, host_name);
    write.check(set_param_int(kZvdbPath, "deviceid", device_id));
    write.check(set_param_int(kZvdbPath, "wizard_enable", wizard));
    write.check(set_param_int(kZvdbPath, "display_mode", display_mode));
    write.check(set_param_int(kZvdbPath, "hdmihotplug", hotplug));
    write.check(set_param_int(kZvdbPath, "stream_information", stream_info));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  if (display.sub_enable != sub_enable && before.cur_control == 0 && !reboot_due) {
    core_tell(kSecondOutput, sub_enable);
  }
  core_tell(kDeviceId, device_id);
  core_tell(kNetworkChanged, network_change("hostname"));
  if (display.main_resolution != before.main_resolution || display.sub_resolution != before.sub_resolution) {
    core_tell(kOutputResolution, OutputResolution{0, display.main_resolution});
    core_tell(kOutputResolution, OutputResolution{1, display.sub_resolution});
    core_tell(kOutputsApply);
  }
  core_tell(kAudioOutputs, AudioOutputs{display.hdmi_audio_on, display.audio_output_on, display.audio_volume});
  op_log_change(204, 913);
  reply_text(before.cur_control != 0 ? "SUB" : "OK");
  if (reboot_due) core_tell_bare(kReboot);
}

static void device_name_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  char host_name[kHostNameChars + 1];
  int32_t device_id = 0;
  if (!read_json_members(request.get(), {
          text_member("hostName", host_name).required(),
          int_member("deviceId", &device_id).required().range(1, 255),
      }) ||
      host_name[0] == '\0') {
    return;
  }
  {
    SettingsWrite write;
    store_host_name(write, host_name);
    write.check(set_param_int(kZvdbPath, "deviceid", device_id));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kDeviceId, device_id);
  core_tell(kNetworkChanged, network_change("hostname"));
  reply_ok();
}

static void port_mapping_read_handler(const char* /*argument*/) {
  UpnpConfig upnp{};
  kUpnp.read(kZvdbPath, &upnp, kDeviceRow);
  PortConfig ports{};
  kPorts.read(kZvdbPath, &ports, kNetworkRow);
  reply_fields({{kUpnpReply.schema(), &upnp}, {kPortReply.schema(), &ports}}, 256);
}

// The mapping is the core's to store: it applies the record and keeps it with the statuses.
static void port_mapping_set_handler(const char* argument) {
  UpnpConfig upnp{};
  kUpnp.read(kZvdbPath, &upnp, kDeviceRow);
  if (!read_request(argument, &upnp)) return;
  core_tell(kUpnpSet, upnp);
  reply_ok();
}

static void port_mapping_refresh_handler(const char* /*argument*/) {
  core_tell(kUpnpRefresh);
  usleep(kRefreshWaitUs);
  reply_res(0);
}

static void core_value_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kCoreValue, REPLY_JSON);
  int32_t value = 0;
  if (!reply || !reply->first(&value)) return;
  reply_text(std::to_string(value).c_str());
}

static void core_action_handler(const char* /*argument*/) {
  core_tell(kCoreAction);
  reply_ok();
}

ZV_REQUESTS(kDeviceSettingsRequests, "system",
    {"/6080", display_read_handler},
    {"/6081", display_set_handler},
    {"/1012", device_name_set_handler},
    {"/1030", port_mapping_read_handler},
    {"/1031", port_mapping_set_handler},
    {"/1034", port_mapping_refresh_handler},
    {"/6075", core_value_handler},
    {"/6076", core_action_handler});
