// Diagnostics and status module: live status pages asked from the core, and the packet capture.
#pragma once

#include <string_view>

#include "common/request_table.h"

extern const RequestModule kStateModule;

// Status pages (status.cc).
void camera_stream_status_handler(const char* argument);  // "/8002"
void netif_status_handler(const char* argument);          // "/8000"
void netif_speed_handler(const char* argument);           // "/8001"
void event_alarm_status_handler(const char* argument);    // "/8003"
void status_unused_handler(const char* argument);         // "/8004"
void memory_status_handler(const char* argument);         // "/8008"
void channel_support_handler(const char* argument);       // "/8009"
void online_users_handler(const char* argument);          // "/8011"

// Packet capture (capture.cc).
void capture_start_handler(const char* argument);     // "/8005"
void capture_stop_handler(const char* argument);      // "/8006"
void capture_download_handler(const char* argument);  // "/8007"

// The checks of what "/8005" is given: an interface name of 1..7 of [A-Za-z0-9._-]; a host
// filter empty or of at most 63 of [A-Za-z0-9.:-]; a port empty or 1..65535 in decimal; the
// directory absolute, at most 127 of [A-Za-z0-9_./-], with no ".." component.
bool capture_interface_ok(std::string_view nic);
bool capture_host_ok(std::string_view ip);
bool capture_port_ok(std::string_view port);
bool capture_dir_ok(std::string_view dir);
