// Database records of the administration pages: log retention, and the user rows of an OEM
// package's database ("/mnt/nand2/oem.db").
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

// Log and snapshot retention: -1, 0, 1 or an even number of months from 2 to 12.
struct DiskMaintainInfo {
  int32_t log_retention;
  int32_t photo_retention;
};
ZV_SCHEMA(DiskMaintainInfo, ZV_FIELD(log_retention, "logRetention").keep_if_absent(),
          ZV_FIELD(photo_retention, "photoRetention").keep_if_absent());
static_assert(sizeof(DiskMaintainInfo) == 8);

constexpr int kMaxOemUsers = 100;

// One user of an OEM package. The two permission words sit at 112 and 116 (unlike UserRecord).
struct OemUserRecord {
  int32_t id;
  int32_t enable;
  char name[64];
  char password[36];
  int32_t type;
  int32_t permission;
  int32_t remote_permission;
  char reserved[408];
};
ZV_SCHEMA(OemUserRecord, ZV_FIELD(id, "id"), ZV_FIELD(enable, "enable"), ZV_FIELD(name, "name"),
          ZV_FIELD(password, "password"), ZV_FIELD(type, "type"), ZV_FIELD(permission, "permission"),
          ZV_FIELD(remote_permission, "remotePermission"), ZV_RESERVED(reserved));
static_assert(sizeof(OemUserRecord) == 528);
