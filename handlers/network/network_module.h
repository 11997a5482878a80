// Network and services module: date, time and NTP.
#pragma once

#include "common/request_table.h"

extern const RequestModule kNetworkModule;

// Handlers, one per request identifier (see the table in network_module.cc).
void time_read_handler(const char* argument);  // "/7000"
void time_set_handler(const char* argument);   // "/7001"
void cert_create_handler(const char* argument);             // "/7080"
void cert_show_handler(const char* argument);               // "/7081"
void cert_request_download_handler(const char* argument);   // "/7082"
void cert_request_notice_handler(const char* argument);     // "/7083"
void cert_install_handler(const char* argument);            // "/7084"
void cert_delete_handler(const char* argument);             // "/7085"
void https_switch_handler(const char* argument);            // "/7086"
void https_read_handler(const char* argument);              // "/7087"
void cert_request_show_handler(const char* argument);       // "/7089"
