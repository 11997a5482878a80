// JSON keys of the user record's rights, in the order the web pages list them.
#pragma once

#include "common/json_writer.h"
#include "platform/zvdb/records/user_record.h"

inline constexpr const char* kLocalRightKeys[kUserRightsCount] = {
    "localLiveView", "localPlayback", "localRetrieve", "localSmartAnalysis", "localEvent",
    "localCamera",   "localStorage",  "localSettings", "localStatus",        "localShutdown"};
inline constexpr const char* kRemoteRightKeys[kUserRightsCount] = {
    "remoteLiveView", "remotePlayback", "remoteRetrieve", "remoteSmartAnalysis", "remoteEvent",
    "remoteCamera",   "remoteStorage",  "remoteSettings", "remoteStatus",        "remoteShutdown"};

// The permission and rights members that the login reply and the user list share, in this
// order. The login reply spells the remote permission key "remotePermisson", the list
// "remotePermission".
inline void write_user_rights(JsonWriter& w, const UserRecord& user, const char* remote_permission_key) {
  w.key("permission").value(user.permission);
  for (int i = 0; i < kUserRightsCount; ++i) w.key(kLocalRightKeys[i]).value(user.local_rights[i]);
  w.key("localliveview").field(user.local_liveview);
  w.key("localplayback").field(user.local_playback);
  w.key(remote_permission_key).value(user.remote_permission);
  for (int i = 0; i < kUserRightsCount; ++i) w.key(kRemoteRightKeys[i]).value(user.remote_rights[i]);
  w.key("remoteliveview").field(user.remote_liveview);
  w.key("remoteplayback").field(user.remote_playback);
}
