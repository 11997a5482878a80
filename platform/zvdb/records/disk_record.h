// Storage rows of the configuration database: the configuration of each storage position (local,
// eSATA and network disks), the disk groups and the automatic-backup settings. Same bytes on the
// 32-bit device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

constexpr int kDiskPositions = 36;     // storage positions, ports 1..36
constexpr int kDiskKeyLimit = 37;      // stored keys 0..36 (the property page may name port 0)
constexpr int kDiskGroups = 16;
constexpr int kDiskGroupChannelSize = 65;  // '0'/'1' per channel, 64 channels

// One storage position. A network disk is a row with enable 1, property 1 and type 3 (NFS) or 10
// (SMB/CIFS); user name and password are stored percent-decoded.
struct DiskConfig {
  int32_t port;
  int32_t enable;  // 1: the row describes a configured device
  char vendor[64];
  char address[64];
  char directory[128];
  int32_t type;  // the disk list's "hddType"
  int32_t group;
  int32_t property;
  int32_t reserved0;
  char user_name[33];
  char password[33];
  char reserved1[2];
};
ZV_SCHEMA(DiskConfig, ZV_FIELD(port, "port").required().range(0, 36), ZV_FIELD(enable, "enable"),
          ZV_FIELD(vendor, "vendor"), ZV_FIELD(address, "address"), ZV_FIELD(directory, "directory"),
          ZV_FIELD(type, "hddType"), ZV_FIELD(group, "group"), ZV_FIELD(property, "property"),
          ZV_RESERVED(reserved0), ZV_FIELD(user_name, "userName"), ZV_FIELD(password, "password"),
          ZV_RESERVED(reserved1));
static_assert(sizeof(DiskConfig) == 348);

// A disk group: the channels ('0'/'1' text, character n = channel n) that record onto the disks
// of the group. The core writes these rows.
struct DiskGroup {
  int32_t id;  // 0..15
  char channels[kDiskGroupChannelSize];
  char reserved[67];
};
ZV_SCHEMA(DiskGroup, ZV_FIELD(id, "id").required().range(0, 15), ZV_FIELD(channels, "channel"),
          ZV_RESERVED(reserved));
static_assert(sizeof(DiskGroup) == 136);

// The automatic backup of recordings onto the external device: one row (key 0). A set keeps the
// stored value of a member it does not carry.
struct AutoBackupConfig {
  int32_t enable;
  int32_t reserved0;  // written 0
  char backup_time[32];
  int32_t stream_type;
  int32_t file_type;
  int32_t recycle;
  char channel[65];
  char reserved1[3];
  int32_t device;
  int32_t port;
};
ZV_SCHEMA(AutoBackupConfig, ZV_FIELD(enable, "enable").keep_if_absent(), ZV_RESERVED(reserved0),
          ZV_FIELD(backup_time, "backupTime").whole().keep_if_absent(),
          ZV_FIELD(stream_type, "streamType").keep_if_absent(),
          ZV_FIELD(file_type, "fileType").keep_if_absent(), ZV_FIELD(recycle, "recycle").keep_if_absent(),
          ZV_FIELD(channel, "channel").keep_if_absent(), ZV_RESERVED(reserved1),
          ZV_FIELD(device, "device").keep_if_absent(), ZV_FIELD(port, "port").keep_if_absent());
static_assert(sizeof(AutoBackupConfig) == 128);
