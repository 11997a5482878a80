// Small helpers shared by the video module's handlers.
#pragma once

#include <cstdint>
#include <type_traits>

#include "common/core_client.h"
#include "common/exchange.h"
#include "common/request.h"

// Sends a message to the core without waiting. Kept for the camera handlers until their messages
// are declared as Notice (common/exchange.h); the video handlers use core_tell.
template <class T>
void notify_core(int32_t msg_id, const T& payload) {
  static_assert(std::is_trivially_copyable_v<T>);
  core_tell(msg_id, &payload, sizeof payload);
}
