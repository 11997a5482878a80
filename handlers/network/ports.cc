// The service ports (refused when the new port is taken), the push-message settings, the channel
// access switch, the P2P switch and status, the network tests and the SNMP agent.
#include <algorithm>
#include <iterator>
#include <optional>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/safe_text.h"
#include "common/settings_store.h"
#include "common/request_table.h"
#include "common/messages/network_services.h"
#include "handlers/network/port_check.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int kMaxPushChannels = 64;
constexpr int kPushNvrChars = 64;
// A port a service listens on: 0 names none (a web server told to listen there is unreachable).
constexpr int32_t kMaxPort = 65535;

const char* const kP2pResults[] = {"ERR_OK",      "ERR_UNKNOWN",     "ERR_NOTFOUND", "ERR_NETWORK",
                                   "ERR_UNKNOWN", "ERR_MAC_FORMAT", "ERR_AUTH_FAILED", "ERR_NO_UUID"};

constexpr auto kPortReply =
    ZV_FIELDS(PortConfig, ZV_FIELD(enable_ssh, "enableSsh"), ZV_FIELD(ssh_port, "sshPort"),
              ZV_FIELD(http_port, "httpPort"), ZV_FIELD(https_port, "httpsPort"), ZV_FIELD(rtsp_port, "rtspPort"),
              ZV_FIELD(service_port, "servicePort"), ZV_FIELD(pos_port, "posPort"));
constexpr auto kSnmpPorts = ZV_FIELDS(PortConfig, ZV_FIELD(ssh_port, "sshPort"), ZV_FIELD(http_port, "httpPort"),
                                      ZV_FIELD(rtsp_port, "rtspPort"), ZV_FIELD(https_port, "httpsPort"));

// "0" for a reply of 0, "-1" for any other; nothing for an empty reply.
void reply_test_result(const std::optional<CoreReply>& reply) {
  int32_t result = 0;
  if (!reply || !reply->first(&result)) return;
  reply_text(result == 0 ? "0" : "-1");
}

}  // namespace

static void ports_read_handler(const char* /*argument*/) {
  PortConfig ports{};
  kPorts.read(kZvdbPath, &ports, kNetworkRow);
  const int cameras = std::clamp(get_param_int(kZvdbPath, "max_cameras", 0), 0, kMaxPushChannels);
  PushEvent events[kMaxPushChannels] = {};
  int count = kMaxPushChannels;
  kPushEvents.read_all(kZvdbPath, events, &count);
  int32_t types[kMaxPushChannels] = {};
  for (int i = 0; i < count; ++i) {
    if (events[i].channel >= 0 && events[i].channel < kMaxPushChannels) types[events[i].channel] = events[i].type;
  }
  char nvr_event[kPushNvrChars + 1];
  get_param_value(kZvdbPath, "pushmsg_nvr_event", nvr_event, sizeof nvr_event, "");
  JsonWriter w(1024);
  w.begin_object();
  write_fields(w, kPortReply.schema(), &ports);
  w.key("enable_access").value(get_param_int(kZvdbPath, "ch_access", 0));
  w.key("PushTypeArr").begin_array();
  for (int i = 0; i < cameras; ++i) w.value(types[i]);
  w.end_array();
  w.key("PushNvrAlarmInType").value(get_param_int(kZvdbPath, "pushmsg_alarmin_type", 65535));
  w.key("enableMsg").value(std::clamp(get_param_int(kZvdbPath, "enable_push_msg", 0), 0, 1));
  w.key("push_stream").value(get_param_int(kZvdbPath, "video_push_stream", 0));
  w.key("pushNvrPos").value(nvr_event).end_object();
  reply_json(w);
}

static void ports_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request) return;
  // The stored row and settings are read and rewritten in one transaction: a request storing the
  // port row meanwhile (the e-mail host name) cannot be undone by this one.
  SettingsWrite write;
  PortConfig stored{};
  kPorts.read(kZvdbPath, &stored, kNetworkRow);
  PortConfig ports = stored;
  // The push members and the access switch that the request leaves out keep their stored values.
  const int32_t stored_access = get_param_int(kZvdbPath, "ch_access", 0);
  int32_t service_port = 0, enable_access = stored_access, need_reboot = 0, channel_num = 0;
  int32_t push_type = get_param_int(kZvdbPath, "push_type", 0);
  int32_t alarm_in_type = get_param_int(kZvdbPath, "pushmsg_alarmin_type", 65535), enable_msg = 0;
  int32_t video_stream = get_param_int(kZvdbPath, "video_push_stream", 0);
  char nvr_event[kPushNvrChars + 1];
  get_param_value(kZvdbPath, "pushmsg_nvr_event", nvr_event, sizeof nvr_event, "");
  json_object* push_types = nullptr;
  if (!read_json_members(
          request.get(),
          {int_member("enableSsh", &ports.enable_ssh).required().range(0, 1),
           int_member("sshPort", &ports.ssh_port).required().range(1, kMaxPort),
           int_member("httpPort", &ports.http_port).required().range(1, kMaxPort),
           int_member("rtspPort", &ports.rtsp_port).required().range(1, kMaxPort),
           int_member("servicePort", &service_port).required().range(1, kMaxPort),
           int_member("posPort", &ports.pos_port).keep_if_absent().range(1, kMaxPort),
           int_member("httpsPort", &ports.https_port).keep_if_absent().range(1, kMaxPort),
           int_member("enableAccess", &enable_access).keep_if_absent(), int_member("needReboot", &need_reboot),
           int_member("channel_num", &channel_num), int_member("pushType", &push_type).keep_if_absent(),
           int_member("PushTypeNvrAlarmIn", &alarm_in_type).keep_if_absent(),
           array_member("pushTypeArr", &push_types), int_member("enableMsg", &enable_msg).required().min(0),
           text_member("pushNvrPos", nvr_event).keep_if_absent().max_chars(kPushNvrChars),
           int_member("pushVideoStream", &video_stream).keep_if_absent()})) {
    return;
  }
  // Element i is channel i's push type: one that is not a number leaves that channel's as stored.
  const size_t type_count =
      std::min({static_cast<size_t>(std::max(channel_num, 0)), json_array_size(push_types), size_t{kMaxPushChannels}});
  const bool access_changed = enable_access != stored_access;
  const char* refusal = nullptr;
  if (port_conflicts(ports.ssh_port, stored.ssh_port) || port_conflicts(ports.http_port, stored.http_port) ||
      port_conflicts(ports.https_port, stored.https_port)) {
    refusal = "POE_Port_Error";
  } else if (port_conflicts(ports.pos_port, stored.pos_port)) {
    refusal = "POS_Port_Error";
  }
  if (enable_msg > 1) enable_msg = 0;
  {
    // The push settings and the access switch are kept even when a port is refused.
    write.check(set_param_int(kZvdbPath, "push_type", push_type));
    write.check(set_param_int(kZvdbPath, "pushmsg_alarmin_type", alarm_in_type));
    for (size_t i = 0; i < type_count; ++i) {
      PushEvent event{static_cast<int32_t>(i), 0};
      if (json_value_int(json_array_at(push_types, i), &event.type)) write.check(kPushEvents.write(kZvdbPath, &event));
    }
    if (access_changed) write.check(set_param_int(kZvdbPath, "ch_access", enable_access));
    if (refusal == nullptr) {
      write.check(kPorts.write_at(kZvdbPath, &ports, kNetworkRow));
      write.check(set_param_value(kZvdbPath, "enable_push_msg", enable_msg == 1 ? "1" : "0"));
      write.check(set_param_value(kZvdbPath, "pushmsg_nvr_event", nvr_event));
      write.check(set_param_int(kZvdbPath, "video_push_stream", video_stream));
    }
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  if (access_changed) core_tell(kChannelAccess, enable_access);
  if (refusal != nullptr) return reply_text(refusal);
  if (ports.pos_port != stored.pos_port) core_tell(kPosPortChanged, ports.pos_port);
  core_tell(kPushSwitch, PushSwitch{{enable_msg == 1 ? '1' : '0'}});
  op_log_change(204, 918);
  reply_ok();
  core_tell(kServicesChanged, NetworkChange{"more"});
  if (need_reboot != 0) {
    op_log_change(200, 900);
    core_tell_bare(kServicesReboot);
  }
}

static void p2p_status_handler(const char* /*argument*/) {
  reply_core_record<P2pStatus>(core_ask(kP2pStatusRead, REPLY_JSON));
}

static void p2p_switch_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t enable = 0;
  if (!request || !read_json_members(request.get(), {int_member("enableP2P", &enable).required()})) return;
  if (enable != 0) {
    P2pInfo on{};
    on.enable = enable;
    std::optional<CoreReply> reply = core_ask(kP2pEnable, on, REPLY_TEXT);
    int32_t result = 0;
    if (!reply || !reply->first(&result)) return;
    const bool known = result >= 0 && static_cast<size_t>(result) < std::size(kP2pResults);
    return reply_text(known ? kP2pResults[result] : "ERR_UNKNOWN");
  }
  P2pInfo info{};
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    kP2p.read(kZvdbPath, &info, kNetworkRow);
    info.enable = 0;
    write.check(kP2p.write_at(kZvdbPath, &info, kNetworkRow));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  reply_status_words(core_ask(kP2pDisable, info, REPLY_TEXT), "OK", "ERR");
}

static void ping_test_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  PingTarget target{};
  if (!request || !json_texts_shell_safe(request.get()) ||
      !read_json_members(request.get(), {text_member("ip", target.ip).whole().required()})) {
    return;
  }
  reply_test_result(core_ask(kPingTest, target, REPLY_TEXT));
}

static void route_test_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  RouteTarget target{};
  if (!request || !json_texts_shell_safe(request.get()) ||
      !read_json_members(request.get(), {text_member("dev", target.dev).whole().required(),
                                         text_member("ip", target.ip).whole().required()})) {
    return;
  }
  reply_test_result(core_ask(kRouteTest, target, REPLY_TEXT));
}

static void channel_access_handler(const char* /*argument*/) {
  reply_int_member("access", get_param_int(kZvdbPath, "ch_access", 0));
}

static void network_status_handler(const char* /*argument*/) {
  reply_int_member("status", core_ask(kNetworkStatus, REPLY_JSON));
}

static void service_restart_handler(const char* /*argument*/) {
  if (!core_ask(kServiceRestart, REPLY_JSON)) return;
  reply_res(0);
}

static void snmp_read_handler(const char* /*argument*/) {
  SnmpConfig snmp{};
  kSnmp.read(kZvdbPath, &snmp, kNetworkRow);
  PortConfig ports{};
  kPorts.read(kZvdbPath, &ports, kNetworkRow);
  reply_fields({{zvrec::schema_of<SnmpConfig>(), &snmp}, {kSnmpPorts.schema(), &ports}}, 2048);
}

static void snmp_set_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  if (!request || !json_texts_shell_safe(request.get())) return;
  {
    SettingsWrite write;  // the stored row is read and rewritten in one transaction
    SnmpConfig snmp{};
    kSnmp.read(kZvdbPath, &snmp, kNetworkRow);
    const int32_t stored_port = snmp.port;
    if (!read_record(request.get(), &snmp)) return;
    if (port_conflicts(snmp.port, stored_port)) return reply_text("POE_Port_Error");
    write.check(kSnmp.write_at(kZvdbPath, &snmp, kNetworkRow));
    if (!write.commit()) return (void)reply_cgi_error(REPLY_TEXT);
  }
  core_tell(kServicesChanged, NetworkChange{"snmp"});
  reply_ok();
}

static void poe_count_handler(const char* /*argument*/) {
  reply_int_member("max_poe_num", get_param_int(kZvdbPath, "max_poe_num", 0));
}

ZV_REQUESTS(kPortsRequests, "network",
    {"/7050", ports_read_handler},
    {"/7051", ports_set_handler},
    {"/7060", p2p_status_handler},
    {"/7061", p2p_switch_handler},
    {"/7070", ping_test_handler},
    {"/7071", route_test_handler},
    {"/7092", channel_access_handler},
    {"/7094", network_status_handler},
    {"/7095", service_restart_handler},
    {"/7090", snmp_read_handler},
    {"/7091", snmp_set_handler},
    {"/7093", poe_count_handler});
