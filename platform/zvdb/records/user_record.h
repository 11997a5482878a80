// The user account record of the configuration database (528 bytes). Read by login, managed by
// the user handlers; the same bytes on the 32-bit device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

constexpr int kMaxUsers = 100;         // ids 0..99
constexpr int kUserRightsCount = 10;   // live view, playback, retrieve, smart analysis, event,
                                       // camera, storage, settings, status, shutdown

struct UserRecord {
  int32_t id;                    // 0..99
  int32_t enable;                // 1 = the account exists
  char name[64];
  char password[36];             // MD5 digest of the password, 32 hexadecimal characters
  int32_t type;                  // 0..3; type 3 cannot log in
  char local_liveview[65];       // per-channel '0'/'1' strings, character n = channel n
  char local_playback[65];
  char remote_liveview[65];
  char remote_playback[65];
  char reserved1[33];
  char added_flag[2];            // "0" when the account was added from the web pages
  char reserved2[17];
  int32_t local_rights[kUserRightsCount];
  int32_t remote_rights[kUserRightsCount];
  int32_t permission;            // >= 0, or -1
  int32_t remote_permission;     // >= 0, or -1
  uint32_t local_liveview_mask;  // bit i = character i of the string is '1' (channels 0..31)
  uint32_t local_playback_mask;
  uint32_t remote_liveview_mask;
  uint32_t remote_playback_mask;
};

// The table's fields, with the JSON keys of the members the user pages read and print under their
// own name. The rights arrays are printed element by element (the user forms, handlers/system).
ZV_SCHEMA(UserRecord,
          ZV_FIELD(id, "id").range(0, kMaxUsers - 1),
          ZV_FIELD(enable, "enable"),
          ZV_FIELD(name, "name"),
          ZV_FIELD(password, "password"),
          ZV_FIELD(type, "type").range(0, 3),
          ZV_FIELD(local_liveview, "localliveview"),
          ZV_FIELD(local_playback, "localplayback"),
          ZV_FIELD(remote_liveview, "remoteliveview"),
          ZV_FIELD(remote_playback, "remoteplayback"),
          ZV_RESERVED(reserved1),
          ZV_INTERNAL(added_flag),
          ZV_RESERVED(reserved2),
          ZV_INTERNAL(local_rights),
          ZV_INTERNAL(remote_rights),
          ZV_FIELD(permission, "permission").at_least(-1),
          ZV_FIELD(remote_permission, "remotePermission").at_least(-1),
          ZV_INTERNAL(local_liveview_mask),
          ZV_INTERNAL(local_playback_mask),
          ZV_INTERNAL(remote_liveview_mask),
          ZV_INTERNAL(remote_playback_mask));

static_assert(sizeof(UserRecord) == 528);
