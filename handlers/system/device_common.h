// Helpers shared by the device-settings handlers of the system module and the local settings.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "common/json_fields.h"
#include "common/messages/network.h"
#include "platform/zvdb/zvdb.h"

// The network-change notice (1702) naming what the core applies again ("hostname", "more").
inline NetworkChange network_change(const char* what) {
  NetworkChange change{};
  copy_text_field(change.what, what);
  return change;
}

// A setting kept as text and shown as a number: read into 8 bytes (the longest value such a
// setting holds) and converted as atoi does.
inline int short_text_setting(const char* key, const char* default_value) {
  char text[8];
  get_param_value(kZvdbPath, key, text, sizeof text, default_value);
  return atoi(text);
}
