// Small helpers shared by the video module's handlers.
#pragma once

#include <json-c/json.h>

#include <cstdint>
#include <memory>
#include <type_traits>

#include "common/core_client.h"

struct JsonDeleter {
  void operator()(json_object* object) const { json_object_put(object); }
};
using JsonPtr = std::unique_ptr<json_object, JsonDeleter>;

// Parses the request text; null when it is missing or not JSON.
JsonPtr parse_request(const char* argument);

// Writes `object` as the JSON reply of the request.
void reply_json(json_object* object);
// Writes "OK" as a text reply.
void reply_ok();

// A channel number given as plain text: a decimal integer as atoi reads it ("7" -> 7, "x" -> 0);
// values beyond the int range are clamped.
int decimal_argument(const char* argument);

// The number of privacy-mask areas a request or a camera record describes (num + mosaicNum):
// each term clamped to 0..28, the sum capped at 28.
int privacy_mask_area_count(int32_t num, int32_t mosaic_num);

// Sends a message to the core without waiting.
template <class T>
void notify_core(int32_t msg_id, const T& payload) {
  static_assert(std::is_trivially_copyable_v<T>);
  core_notify(msg_id, sizeof payload, &payload);
}
