// Camera management module: the camera list and live status, camera streams, the camera's own
// web parameters and audio, and a few small camera queries.
#pragma once

#include <cstdint>

#include "common/request_table.h"
#include "platform/zvsocket/zvsocket.h"

extern const RequestModule kCameraModule;

// Reads the {"<key>": channel} request of a handler that serves channels 0..max; false when the
// argument is not a JSON object or the member is absent, of another type or out of range.
bool read_channel_request(const char* argument, const char* key, int32_t max, int32_t* channel);

// Camera list (camera_list.cc).
void camera_read_handler(const char* argument);          // "/2000"
void camera_status_handler(const char* argument);        // "/2001", "/2007"
void camera_edit_handler(const char* argument);          // "/2003"
void camera_add_handler(const char* argument);           // "/2004"
void camera_delete_handler(const char* argument);        // "/2005"
void camera_protocols_handler(const char* argument);     // "/2008"
void camera_names_handler(const char* argument);         // "/2012"
void poe_password_handler(const char* argument);         // "/2016"
void camera_login_set_handler(const char* argument);     // "/2017"
void poe_port_count_handler(const char* argument);       // "/2018"
void camera_transport_set_handler(const char* argument); // "/2031"

// Streams, web parameters, audio and camera queries (camera_streams.cc).
void stream_read_handler(const char* argument);          // "/2009"
void stream_set_handler(const char* argument);           // "/2010"
void stream_set_multi_handler(const char* argument);     // "/2030"
void web_param_read_handler(const char* argument);       // "/2023"
void web_param_set_handler(const char* argument);        // "/2024"
void camera_type_handler(const char* argument);          // "/2025"
void ui_command_handler(const char* argument);           // "/2026"
void chip_code_handler(const char* argument);            // "/2027"
void motion_state_handler(const char* argument);         // "/2028"
void camera_list_handler(const char* argument);          // "/2029"
void extra_stream_read_handler(const char* argument);    // "/2060"
void extra_stream_set_handler(const char* argument);     // "/2061"
void audio_read_handler(const char* argument);           // "/2063"
void audio_set_handler(const char* argument);            // "/2064"
void audio_support_handler(const char* argument);        // "/2065"
