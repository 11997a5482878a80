#include "handlers/video/video_common.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/reply.h"
#include "common/web_utils.h"
#include "handlers/video/video_messages.h"

JsonPtr parse_request(const char* argument) { return JsonPtr(parse_json_text(argument)); }

void reply_json(json_object* object) {
  write_reply(REPLY_JSON, json_object_to_json_string(object));
}

void reply_ok() { write_reply(REPLY_TEXT, "OK"); }

int decimal_argument(const char* argument) {
  if (argument == nullptr) return 0;
  errno = 0;
  const long value = std::strtol(argument, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int privacy_mask_area_count(int32_t num, int32_t mosaic_num) {
  const int sum = std::clamp(num, 0, kCameraMaskAreas) + std::clamp(mosaic_num, 0, kCameraMaskAreas);
  return std::min(sum, kCameraMaskAreas);
}
