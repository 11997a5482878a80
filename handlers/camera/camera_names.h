// The display names of the channels (the OSD camera names), read in one pass.
#pragma once

#include <cstdint>

#include "platform/zvdb/records/motion_record.h"
#include "platform/zvdb/records/osd_record.h"

class ChannelNames {
 public:
  // Reads the OSD name of every channel 0..63 from the configuration database.
  ChannelNames();
  // The name of `channel`; "" for a channel without an OSD record or outside 0..63.
  const char* name(int32_t channel) const;

 private:
  char names_[kMaxChannels][kOsdNameSize] = {};
};
