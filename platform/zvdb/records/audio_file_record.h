// One slot of the device's alarm audio files (10 slots). Also the payload of message 4015 and the
// record of reply 9012.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

constexpr int kAlarmAudioSlots = 10;
constexpr int kAudioFileNameSize = 128;

struct AudioFileEntry {
  int32_t id;
  int32_t enable;                  // 1 = slot in use
  char name[kAudioFileNameSize];   // URL-safe Base64 of the display name
};

ZV_SCHEMA(AudioFileEntry, ZV_FIELD(id, "id"), ZV_FIELD(enable, "enable"),
          ZV_FIELD(name, "name"));
static_assert(sizeof(AudioFileEntry) == 136);
