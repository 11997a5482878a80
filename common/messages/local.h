// The local module's messages to the core (common/exchange.h). It sends the record row change
// (common/messages/record.h), the network change (common/messages/network.h)
// and the camera list changes (common/messages/camera.h); it declares none of its own.
#pragma once

#include "common/messages/record.h"

// One channel's recording settings changed: the core reads its record row again (1407).
inline constexpr const auto& kRecordChanged = kRecordModeChanged;
