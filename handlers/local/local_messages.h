// The local module's messages to the core, each declared once (common/exchange.h). It also sends
// the network change (handlers/network/network_messages.h) and the camera list changes
// (handlers/camera/camera_messages.h).
#pragma once

#include <cstdint>

#include "common/exchange.h"

// One channel's recording settings changed: the core reads its record row again.
inline constexpr Notice<int32_t> kRecordChanged{1407, "record changed"};

inline constexpr MessageInfo kLocalMessages[] = {
    info(kRecordChanged),
};
