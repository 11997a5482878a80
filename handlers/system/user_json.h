// JSON keys of the user record's rights, in the order the web pages list them.
#pragma once

#include "platform/zvdb/records/user_record.h"

inline constexpr const char* kLocalRightKeys[kUserRightsCount] = {
    "localLiveView", "localPlayback", "localRetrieve", "localSmartAnalysis", "localEvent",
    "localCamera",   "localStorage",  "localSettings", "localStatus",        "localShutdown"};
inline constexpr const char* kRemoteRightKeys[kUserRightsCount] = {
    "remoteLiveView", "remotePlayback", "remoteRetrieve", "remoteSmartAnalysis", "remoteEvent",
    "remoteCamera",   "remoteStorage",  "remoteSettings", "remoteStatus",        "remoteShutdown"};
