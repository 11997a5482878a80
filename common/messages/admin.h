// Messages of the administration pages (device log, maintenance, firmware upgrade, command page)
// to the core, each declared once with its payload records. The reboot notice (1703) is declared
// with the login messages (system.h); the log entry is the operation-log record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/exchange.h"
#include "common/messages/device.h"
#include "platform/zvfs/log_record.h"
#include "platform/zvrecord/schema.h"

// ---- Device log -------------------------------------------------------------------------------
constexpr int kLogSubTypesMax = 100;
constexpr int kLogPageEntries = 100;

// A search or an export of the device log (3495, 3494).
struct LogQuery {
  int32_t start_time;  // seconds, local time
  int32_t end_time;
  int32_t main_type;
  int32_t reserved0;
  int64_t sub_types[kLogSubTypesMax];
  int32_t sub_type_count;
  int32_t page;          // 1-based; 1 for an export
  uint64_t channel_mask; // bit i = channel i + 1
  int32_t no_channel;    // "searchNoChn" / "na"
  int32_t reserved1;
};
ZV_SCHEMA(LogQuery, ZV_INTERNAL(start_time), ZV_INTERNAL(end_time), ZV_INTERNAL(main_type),
          ZV_RESERVED(reserved0), ZV_INTERNAL(sub_types), ZV_INTERNAL(sub_type_count),
          ZV_INTERNAL(page), ZV_INTERNAL(channel_mask), ZV_INTERNAL(no_channel), ZV_RESERVED(reserved1));
static_assert(sizeof(LogQuery) == 840);

// One page of search results (8495): the total, the entries of this page, then the entries. The
// core may send only the used entries.
struct LogPage {
  int32_t total;
  int32_t count;
  OpLogRecord entries[kLogPageEntries];
};
ZV_SCHEMA(LogPage, ZV_INTERNAL(total), ZV_INTERNAL(count), ZV_RECORDS(entries, nullptr));
static_assert(sizeof(LogPage) == 67208);

// The core's answer to an export (8494): a status, then the path of the file it wrote. The file
// holds an int32 entry count, then per entry the log entry and a 4096-byte detail text.
struct LogExportReply {
  int32_t status;
  char path[64];
};
ZV_SCHEMA(LogExportReply, ZV_INTERNAL(status), ZV_INTERNAL(path));
static_assert(sizeof(LogExportReply) == 68);
constexpr size_t kLogExportDetailBytes = 4096;

// The core's text for one entry (8488); the reply may be shorter or empty.
struct LogDetailText {
  char text[1024];
};
ZV_SCHEMA(LogDetailText, ZV_INTERNAL(text));

inline constexpr Exchange<LogQuery, LogPage> kLogSearch{3495, 8495, "log search", 8};
inline constexpr Exchange<LogQuery, LogExportReply> kLogExport{3494, 8494, "log export"};
inline constexpr Exchange<OpLogRecord, LogDetailText> kLogDetail{3488, 8488, "log entry detail", 0};
inline constexpr Notice<NoPayload> kRetentionChanged{2102, "log retention changed"};

// ---- Maintenance and upgrade ---------------------------------------------------------------
struct FactoryKeep {
  int32_t keep_ip;
  int32_t keep_user;
};
ZV_SCHEMA(FactoryKeep, ZV_FIELD(keep_ip, "keepIp"), ZV_FIELD(keep_user, "keepUser"));
static_assert(sizeof(FactoryKeep) == 8);

// The device facts (8400).
struct DeviceInfo {
  int32_t device_id;
  int32_t max_cameras;
  int32_t reserved0[2];
  int32_t max_sensors;
  int32_t max_alarm_outputs;
  int32_t reserved1;
  int32_t max_audio_outputs;
  int32_t display_count;
  int32_t reserved2[2];
  int32_t rs485_ports;
  int32_t reserved3;
  int32_t network_ports;
  int32_t reserved4;
  int32_t oem_version;
  int32_t reserved5;
  int32_t ddns;
  char serial[65];
  char serial_prefix[16];
  char device_name[32];
  char software_version[32];
  char hardware_version[64];
  char reserved6[128];
  char mac[43];
  int32_t talk;
  char reserved7[128];
};
ZV_SCHEMA(DeviceInfo, ZV_INTERNAL(device_id), ZV_INTERNAL(max_cameras), ZV_RESERVED(reserved0),
          ZV_INTERNAL(max_sensors), ZV_INTERNAL(max_alarm_outputs), ZV_RESERVED(reserved1),
          ZV_INTERNAL(max_audio_outputs), ZV_INTERNAL(display_count), ZV_RESERVED(reserved2),
          ZV_INTERNAL(rs485_ports), ZV_RESERVED(reserved3), ZV_INTERNAL(network_ports),
          ZV_RESERVED(reserved4), ZV_INTERNAL(oem_version), ZV_RESERVED(reserved5), ZV_INTERNAL(ddns),
          ZV_INTERNAL(serial), ZV_INTERNAL(serial_prefix), ZV_INTERNAL(device_name),
          ZV_INTERNAL(software_version), ZV_INTERNAL(hardware_version), ZV_RESERVED(reserved6),
          ZV_INTERNAL(mac), ZV_INTERNAL(talk), ZV_RESERVED(reserved7));
static_assert(sizeof(DeviceInfo) == 584);

// One online-upgrade check (6715; 64 of them in 8365).
struct UpgradeCheck {
  int32_t state;
  int32_t file_size;
  char softversion[64];
  char url[128];
  char description[128];
};
ZV_SCHEMA(UpgradeCheck, ZV_FIELD(state, "state"), ZV_FIELD(file_size, "fileSize"),
          ZV_FIELD(softversion, "softversion"), ZV_FIELD(url, "url"), ZV_FIELD(description, "description"));
static_assert(sizeof(UpgradeCheck) == 328);

constexpr const char kRecorderImage[] = "/dev/shm/updateFM.bin";
constexpr const char kCameraImage[] = "/dev/shm/updateIPCFM.bin";

struct CameraUpgradeRequest {
  int32_t chnid;  // the camera's channel, 0..63
  int32_t reset;
  char path[256];
};
ZV_SCHEMA(CameraUpgradeRequest, ZV_FIELD(chnid, "chnid").required().range(0, 63), ZV_FIELD(reset, "reset"),
          ZV_INTERNAL(path));
static_assert(sizeof(CameraUpgradeRequest) == 264);

struct CameraUpgradeStatus {
  int32_t chnid;
  int32_t status;
};
ZV_SCHEMA(CameraUpgradeStatus, ZV_FIELD(chnid, "chnid"), ZV_FIELD(status, "status"));
static_assert(sizeof(CameraUpgradeStatus) == 8);

struct UpgradeDownload {
  char url[128];
  char path[128];
};
ZV_SCHEMA(UpgradeDownload, ZV_INTERNAL(url), ZV_INTERNAL(path));
static_assert(sizeof(UpgradeDownload) == 256);

struct CameraUpgradeChecks {
  UpgradeCheck checks[64];
};
ZV_SCHEMA(CameraUpgradeChecks, ZV_RECORDS(checks, nullptr));
static_assert(sizeof(CameraUpgradeChecks) == 20992);

inline constexpr Notice<FactoryKeep> kFactoryKeep{3311, "factory reset keeps"};
inline constexpr Notice<NoPayload> kFactoryReset{3410, "factory reset"};
// reset int32: 1 = restore the settings after the upgrade. The reply int32 is the status.
inline constexpr Exchange<int32_t, int32_t> kUpgrade{1713, 6713, "firmware upgrade"};
// Before an upgrade from the download: the same message as the port-mapping refresh (1721, no
// payload), declared with the device settings; the core settles its network state on it.
inline constexpr const auto& kUpgradePrepare = kUpnpRefresh;
inline constexpr Exchange<NoPayload, DeviceInfo> kDeviceInfo{3400, 8400, "device information", 0};
inline constexpr Exchange<CameraUpgradeRequest, CameraUpgradeStatus> kCameraUpgrade{
    3350, 8350, "camera upgrade", 0};
inline constexpr Notice<NoPayload> kCameraImageDropped{3351, "camera image dropped"};
inline constexpr Exchange<UpgradeDownload, int32_t> kUpgradeDownload{1716, 6716, "upgrade download"};
inline constexpr Exchange<NoPayload, int32_t> kUpgradeCancel{1717, 6717, "upgrade cancel"};
inline constexpr Exchange<NoPayload, UpgradeCheck> kUpgradeCheck{1715, 6715, "upgrade check", 0};
inline constexpr Exchange<uint64_t, CameraUpgradeChecks> kCameraUpgradeCheck{
    3365, 8365, "camera upgrade check", 0};


// ---- Command page -----------------------------------------------------------------------------
// The local interface's language (the value as an int32).
inline constexpr Notice<int32_t> kLanguageSet{4000, "language set"};
