// The manual exposure table of a camera channel: pairs of shutter time and gain the day/night
// pages offer, kept by the recorder (the camera keeps the rest of its image settings).
#pragma once

#include <cstdint>

#include "platform/zvrecord/schema.h"

constexpr int kExposureEntries = 140;  // entries per channel

struct ExposureEntry {
  int32_t exposure_time;
  int32_t gain_level;
};
ZV_SCHEMA(ExposureEntry, ZV_FIELD(exposure_time, "exposureTime"), ZV_FIELD(gain_level, "gainLevel"));
static_assert(sizeof(ExposureEntry) == 8);
