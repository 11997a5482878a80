// Helpers shared by the device-settings handlers of the system module.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "common/oplog.h"
#include "platform/zvdb/zvdb.h"

// Sends an operation-log record of a device change (main type 4).
inline void log_device_change(int64_t sub_type, int32_t param_type, int32_t channel = 0) {
  op_log_change(sub_type, param_type, channel);
}

// A setting kept as text and shown as a number: read into 8 bytes (the longest value such a
// setting holds) and converted as atoi does.
inline int short_text_setting(const char* key, const char* default_value) {
  char text[8];
  get_param_value(kZvdbPath, key, text, sizeof text, default_value);
  return atoi(text);
}
