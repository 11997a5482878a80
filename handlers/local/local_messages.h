// The local module's messages to the core (common/exchange.h). It sends the record row change
// (handlers/record/record_messages.h), the network change (handlers/network/network_messages.h)
// and the camera list changes (handlers/camera/camera_messages.h); it declares none of its own.
#pragma once

#include "handlers/record/record_messages.h"

// One channel's recording settings changed: the core reads its record row again (1407).
inline constexpr const auto& kRecordChanged = kRecordModeChanged;
