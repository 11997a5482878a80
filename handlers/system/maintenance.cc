// Maintenance: reboot, readiness, factory reset, configuration export and import, device
// information, and firmware upgrades of the recorder and its cameras.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common/json_fields.h"
#include "common/path_check.h"
#include "common/record_json.h"
#include "common/reply.h"
#include "common/reply_forms.h"
#include "common/request.h"
#include "common/settings_store.h"
#include "common/tool_runner.h"
#include "handlers/system/admin_common.h"
#include "common/messages/admin.h"
#include "common/messages/system.h"
#include "common/request_table.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr const char kExportPathFile[] = "/tmp/.export_down_file";
constexpr const char kCoreReadyFile[] = "/tmp/zvcore";
constexpr int kProfileTimeLimitMs = 120000;

// The device information reply's members from the core's record, in the page's order.
constexpr auto kInfoProduct = ZV_FIELDS(
    DeviceInfo, ZV_FIELD(device_name, "deviceName"), ZV_FIELD(device_id, "deviceId"),
    ZV_FIELD(device_name, "product"), ZV_FIELD(hardware_version, "hwver"),
    ZV_FIELD(software_version, "software"), ZV_FIELD(oem_version, "oemversion"), ZV_FIELD(serial, "sn"),
    ZV_FIELD(serial_prefix, "prefix"));
constexpr auto kInfoAddress = ZV_FIELDS(DeviceInfo, ZV_FIELD(mac, "macAddress"), ZV_FIELD(ddns, "zvddns"));
constexpr auto kInfoResource = ZV_FIELDS(
    DeviceInfo, ZV_FIELD(display_count, "displayNum"), ZV_FIELD(max_audio_outputs, "maxAudioOut"),
    ZV_FIELD(network_ports, "maxNetworkLan"), ZV_FIELD(max_sensors, "maxSensor"),
    ZV_FIELD(max_alarm_outputs, "maxAlarm"), ZV_FIELD(max_cameras, "maxCameras"), ZV_FIELD(rs485_ports, "masRs485"));

enum LogSub : int64_t { kLogReboot = 200, kLogUpgrade = 203, kLogExportConfig = 213, kLogImportConfig = 214,
                        kLogFactoryReset = 215 };

// Reads at most `limit` bytes of a small file (not following a link); "" when it cannot.
std::string read_small_file(const char* path, size_t limit) {
  const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text(limit, '\0');
  size_t got = 0;
  while (got < limit) {
    const ssize_t n = read(fd, text.data() + got, limit - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  text.resize(strnlen(text.c_str(), got));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

bool file_exists(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0;
}

// Logs the upgrade and has the core install the stored image (`reset` 1: factory settings after).
// `answer` is given 6713's status as the reply flag would hold it (1 for success, a status of 0);
// after a success the recorder reboots. No reply: "CGI ERROR" was written, nothing more is done.
void install_upgrade(int32_t reset, void (*answer)(int32_t status)) {
  admin_log(kLogUpgrade);
  const std::optional<CoreReply> reply = core_ask(kUpgrade, reset, REPLY_TEXT);
  int32_t status = 0;
  if (!reply || !reply->first(&status)) return;
  if (status == 0) status = 1;
  answer(status);
  if (status != 1) return;
  admin_log(kLogReboot);
  core_tell_bare(kReboot);
}

// Exports are named "/tmp/zvconfig_<time>.db" and only the one named in kExportPathFile can be
// downloaded (the download removes it). Every other one is a leftover of an export that was never
// downloaded, or of one that another export replaced, and would fill /tmp (RAM) one database copy
// at a time: removed, regular files only, except `keep`.
void remove_stale_exports(const std::string& keep) {
  DIR* dir = opendir("/tmp");
  if (dir == nullptr) return;
  constexpr std::string_view kPrefix = "zvconfig_";
  constexpr std::string_view kSuffix = ".db";
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
      continue;
    }
    const std::string path = "/tmp/" + std::string(name);
    if (path == keep || check_own_tmp_path(path, kPrefix, FileNeed::kRegularFile) != PathVerdict::kAccepted) continue;
    unlink_regular(path.c_str());
  }
  closedir(dir);
}

}  // namespace

static void reboot_handler(const char* /*argument*/) {
  admin_log(kLogReboot);
  core_tell_bare(kReboot);
  reply_ok();
}

static void core_ready_handler(const char* /*argument*/) {
  // Motion record 0 with an interval of 0 would make the core send events without pause: both
  // intervals get their factory value 20 when one of them is 0.
  // The record is read again inside the write scope: a motion set stored meanwhile is kept.
  const auto needs_repair = [](const MotionRecord& m) { return m.interval == 0 || m.email_interval == 0; };
  MotionRecord motion{};
  if (kMotions.read(kZvdbPath, &motion, {0}) == 0 && needs_repair(motion)) {
    SettingsWrite write;
    if (kMotions.read(kZvdbPath, &motion, {0}) == 0 && needs_repair(motion)) {
      if (motion.interval == 0) motion.interval = 20;
      if (motion.email_interval == 0) motion.email_interval = 20;
      write.check(kMotions.write(kZvdbPath, &motion));
      write.commit();
    }
  }
  reply_text(access(kCoreReadyFile, R_OK) == 0 ? "OK" : "NO OK");
}

static void factory_reset_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  FactoryKeep keep{};
  if (!request || !read_record(request.get(), &keep)) return;
  reply_ok();
  core_tell(kFactoryKeep, keep);
  core_tell(kFactoryReset);
  admin_log(kLogFactoryReset);
  core_tell_bare(kReboot);
}

static void config_export_handler(const char* /*argument*/) {
  ToolOptions options;
  options.time_limit_ms = kProfileTimeLimitMs;
  // The export still named for download stays until this one has replaced it.
  remove_stale_exports(read_small_file(kExportPathFile, 256));
  if (!run_tool({"zvprofile", "-e", "/tmp"}, options).succeeded()) return (void)reply_text("CGI ERROR");
  const std::string path = read_small_file(kExportPathFile, 256);
  remove_stale_exports(path);
  admin_log(kLogExportConfig);
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return reply_ok();
  write_reply(REPLY_TEXT, ("OK filename=" + path.substr(slash + 1) + "\r\n").c_str());
}

static void config_download_handler(const char* /*argument*/) {
  const std::string path = read_small_file(kExportPathFile, 1168);
  if (check_own_tmp_path(path, "zvconfig_", FileNeed::kRegularFile) != PathVerdict::kAccepted) return;
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  print_attachment_headers(path.substr(path.rfind('/') + 1));
  copy_to_stdout(fd);
  close(fd);
  unlink_regular(path.c_str());
}

static void config_import_handler(const char* argument) {
  const std::string path = upload_path_of(argument, kTmpNameMax + 5);
  if (!request_is_upload() || check_tmp_path(path, FileNeed::kRegularFile) != PathVerdict::kAccepted) {
    return (void)reply_text("CGI ERROR");
  }
  ToolOptions options;
  options.time_limit_ms = kProfileTimeLimitMs;
  const bool imported = run_tool({"zvprofile", "-i", path.c_str()}, options).succeeded();
  const bool removed = unlink_regular(path.c_str());
  if (!imported || !removed) return (void)reply_text("CGI ERROR");
  reply_ok();
  admin_log(kLogImportConfig);
}

static void device_info_handler(const char* /*argument*/) {
  std::optional<CoreReply> reply = core_ask(kDeviceInfo, REPLY_JSON);
  if (!reply) return;
  auto info = std::make_unique<DeviceInfo>();
  if (!reply->first(info.get())) return (void)reply_cgi_error(REPLY_JSON);

  // "uptime": its first 63 bytes, cut 5 characters before "users" (or 2 before the first 'l').
  ToolOptions options;
  options.capture_output = true;
  options.output_limit = 63;
  options.time_limit_ms = 2000;
  options.discard_errors = true;
  std::string uptime = run_tool({"uptime"}, options).output.substr(0, 63);
  if (size_t at = uptime.find("users"); at != std::string::npos && at >= 5) {
    uptime.resize(at - 5);
  } else if (size_t l = uptime.find('l'); at == std::string::npos && l != std::string::npos && l >= 2) {
    uptime.resize(l - 2);
  }
  while (!uptime.empty() && (uptime.back() == '\n' || uptime.back() == '\r')) uptime.pop_back();

  char plugin[64], mplugin[64], company[64];
  get_param_value(kZvdbPath, "plugin_version", plugin, sizeof plugin, "1.0");
  get_param_value(kZvdbPath, "mplugin_version", mplugin, sizeof mplugin, "1.0");
  get_param_value(kZvdbPath, "company", company, sizeof company, "Zarvonite");

  JsonWriter w(2048);
  w.begin_object();
  w.key("hostName").value("");
  write_fields(w, kInfoProduct.schema(), info.get());
  w.key("pluginVersion").value(plugin).key("mpluginVersion").value(mplugin);
  write_fields(w, kInfoAddress.schema(), info.get());
  w.key("uptime").value(uptime).key("sncode").field(info->serial);
  w.key("resource");
  write_object(w, kInfoResource.schema(), info.get());
  w.key("zvfsDbup").value(get_param_int(kZvdbPath, "zvfs_dbup", 0));
  w.key("transProtocol").value(get_param_int(kZvdbPath, "transport_protocol", 0));
  w.key("streamInfo").value(get_param_int(kZvdbPath, "stream_information", 0));
  w.key("oemonlineupdate").value(get_param_int(kZvdbPath, "oemupdateonline", 0));
  w.key("company").value(company);
  w.key("isSupportTalk").value(info->talk);
  w.end_object();
  reply_json(w);
}

static void upgrade_upload_handler(const char* argument) {
  if (argument == nullptr) return;
  const char* query = strstr(argument, " & ");
  const int32_t reset = query != nullptr && strstr(query + 3, "reset") != nullptr ? 1 : 0;
  install_upgrade(reset, [](int32_t status) {
    status == 1 ? reply_ok() : (void)write_reply(REPLY_TEXT, std::to_string(status).c_str());
  });
}

static void recorder_image_absent_handler(const char* /*argument*/) {
  reply_text(file_exists(kRecorderImage) ? "Error" : "OK");
}

static void upload_discard_handler(const char* /*argument*/) {
  // The front end removes the upload when the request ends; nothing else is done with it.
}

static void db_upgrade_clear_handler(const char* /*argument*/) {
  if (!store_settings([&](SettingsWrite& write) { write.check(set_param_int(kZvdbPath, "zvfs_dbup", 0)); })) return;
  reply_ok();
}

static void camera_image_present_handler(const char* /*argument*/) {
  reply_text(file_exists(kCameraImage) ? "OK" : "Error");
}

static void camera_upgrade_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  CameraUpgradeRequest upgrade{};
  if (!request || !read_record(request.get(), &upgrade)) return (void)reply_cgi_error(REPLY_JSON);
  copy_text_field(upgrade.path, kCameraImage);
  reply_core_record<CameraUpgradeStatus>(core_ask(kCameraUpgrade, upgrade, REPLY_TEXT), REPLY_JSON);
}

static void camera_image_drop_handler(const char* /*argument*/) {
  unlink_regular(kCameraImage);
  core_tell(kCameraImageDropped);
  reply_ok();
}

static void upgrade_download_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t type = -1;
  UpgradeDownload download{};
  if (!request || !read_json_members(request.get(), {int_member("type", &type).required().range(0, 1),
                                                     text_member("url", download.url).absent_text("").whole()})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  copy_text_field(download.path, type == 0 ? kRecorderImage : kCameraImage);
  reply_core_res(core_ask(kUpgradeDownload, download, REPLY_TEXT));
}

static void upgrade_cancel_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  int32_t type = -1;
  if (!request || !read_json_members(request.get(), {int_member("type", &type).required().range(0, 1)})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  if (type == 0) {
    unlink_regular(kRecorderImage);
    return reply_res(0);
  }
  reply_core_res(core_ask(kUpgradeCancel, REPLY_TEXT));
}

static void upgrade_check_handler(const char* /*argument*/) {
  reply_core_record<UpgradeCheck>(core_ask(kUpgradeCheck, REPLY_TEXT), REPLY_JSON);
}

static void upgrade_download_install_handler(const char* /*argument*/) {
  core_tell(kUpgradePrepare);
  install_upgrade(0, [](int32_t status) { reply_res(status == 1 ? 0 : status); });
}

static void camera_upgrade_check_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  char channels[65] = "";
  if (!request || !read_json_members(request.get(), {text_member("ch", channels).absent_text("")})) {
    return (void)reply_cgi_error(REPLY_JSON);
  }
  uint64_t mask = 0;
  for (int i = 0; i < 64 && (channels[i] == '0' || channels[i] == '1'); ++i) {
    if (channels[i] == '1') mask |= uint64_t{1} << i;
  }
  std::optional<CoreReply> reply = core_ask(kCameraUpgradeCheck, mask, REPLY_TEXT);
  if (!reply) return;
  const PayloadReader payload = reply->reader();
  const size_t count = payload.record_count<UpgradeCheck>(64);
  if (count == 0) return (void)reply_cgi_error(REPLY_JSON);
  JsonWriter w(count * 512 + 64);
  w.begin_object().key("check").begin_array();
  UpgradeCheck check{};
  for (size_t i = 0; i < count; ++i) {
    if (payload.record(i, &check)) write_object(w, check);
  }
  w.end_array().end_object();
  reply_json(w);
}

ZV_REQUESTS(kMaintenanceRequests, "system",
    {"/1004", reboot_handler},
    {"/1005", core_ready_handler},
    {"/1006", factory_reset_handler},
    {"/1007", config_export_handler},
    {"/1008", config_import_handler},
    {"/1009", device_info_handler},
    {"/1020", device_info_handler},
    {"/1010", upgrade_upload_handler},
    {"/1011", recorder_image_absent_handler},
    {"/1013", config_download_handler},
    {"/1019", upload_discard_handler},
    {"/1023", db_upgrade_clear_handler},
    {"/6082", camera_image_present_handler},
    {"/6083", camera_upgrade_handler},
    {"/6084", camera_image_drop_handler},
    {"/6085", upgrade_download_handler},
    {"/6086", upgrade_cancel_handler},
    {"/6087", upgrade_check_handler},
    {"/6088", upgrade_download_install_handler},
    {"/6089", camera_upgrade_check_handler});
