// Recording module: holidays, the weekly recording plans and modes of the channels, the record
// settings (pre-/post-recording, audio, expiry, stream and "anr") and the core's recording facts.
#pragma once

#include "common/request_table.h"

extern const RequestModule kRecordModule;

void holidays_read_handler(const char* argument);        // "/6030"
void holiday_set_handler(const char* argument);          // "/6031"
void record_plan_read_handler(const char* argument);     // "/6040"
void record_plan_set_handler(const char* argument);      // "/6041"
void record_modes_read_handler(const char* argument);    // "/6042"
void record_modes_set_handler(const char* argument);     // "/6043"
void record_settings_read_handler(const char* argument); // "/6044"
void record_settings_set_handler(const char* argument);  // "/6045"
void record_support_handler(const char* argument);       // "/6046"
void record_streams_handler(const char* argument);       // "/6047"
