// Small helpers shared by the video module's handlers.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

#include "common/core_client.h"

#include "common/request.h"

// The number of privacy-mask areas a request or a camera record describes (num + mosaicNum):
// each term clamped to 0..28, the sum capped at 28.
int privacy_mask_area_count(int32_t num, int32_t mosaic_num);

// Sends a message to the core without waiting.
template <class T>
void notify_core(int32_t msg_id, const T& payload) {
  static_assert(std::is_trivially_copyable_v<T>);
  core_notify(msg_id, sizeof payload, &payload);
}
