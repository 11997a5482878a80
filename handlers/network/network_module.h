// Network and services module: date, time and NTP.
#pragma once

#include "common/request_table.h"

extern const RequestModule kNetworkModule;

// Handlers, one per request identifier (see the table in network_module.cc).
void time_read_handler(const char* argument);  // "/7000"
void time_set_handler(const char* argument);   // "/7001"
