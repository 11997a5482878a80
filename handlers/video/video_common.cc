#include "handlers/video/video_common.h"

#include <algorithm>

#include "handlers/video/video_messages.h"

int privacy_mask_area_count(int32_t num, int32_t mosaic_num) {
  const int sum = std::clamp(num, 0, kCameraMaskAreas) + std::clamp(mosaic_num, 0, kCameraMaskAreas);
  return std::min(sum, kCameraMaskAreas);
}
