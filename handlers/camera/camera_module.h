// Camera management module: the camera list and live status, camera streams, the camera's own
// web parameters and audio, and a few small camera queries.
#pragma once

#include <cstdint>

#include "common/request.h"
#include "common/request_table.h"
#include "platform/zvsocket/zvsocket.h"

extern const RequestModule kCameraModule;

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

// Search, connection test and address change (camera_search.cc).
void camera_search_handler(const char* argument);                  // "/2006"
void camera_address_change_handler(const char* argument);          // "/2011"
void camera_login_test_handler(const char* argument);              // "/2014"
void camera_login_test_alt_handler(const char* argument);          // "/2015"
void camera_address_change_batch_handler(const char* argument);    // "/2032"
void camera_address_change_results_handler(const char* argument);  // "/2033"

// Image settings, day/night profiles, areas and plans, exposure table (camera_image.cc).
void camera_image_set_handler(const char* argument);               // "/2020"
void camera_image_extension_set_handler(const char* argument);     // "/2022"
void day_night_profiles_read_handler(const char* argument);        // "/2037"
void day_night_profile_set_handler(const char* argument);          // "/2038"
void day_night_areas_read_handler(const char* argument);           // "/2039"
void day_night_areas_set_handler(const char* argument);            // "/2040"
void day_night_profiles_set_multi_handler(const char* argument);   // "/2047"
void camera_exposure_set_handler(const char* argument);            // "/2048"
void camera_exposure_read_handler(const char* argument);           // "/2049"
void day_night_area_delete_handler(const char* argument);          // "/2050"
void camera_night_mode_handler(const char* argument);              // "/2062"

// Heat map, auto tracking, watermark (camera_features.cc).
void camera_heat_map_read_handler(const char* argument);           // "/2051"
void camera_heat_map_set_handler(const char* argument);            // "/2052"
void camera_heat_map_data_handler(const char* argument);           // "/2053"
void auto_tracking_read_handler(const char* argument);             // "/2054"
void auto_tracking_set_handler(const char* argument);              // "/2055"
void auto_tracking_support_handler(const char* argument);          // "/2056"
void camera_watermark_set_handler(const char* argument);           // "/2059"

// Effective plans of every event kind of a channel, IPv6 presence (effective_plans.cc).
void ipv6_present_handler(const char* argument);                   // "/2034"
void effective_plans_read_handler(const char* argument);           // "/2035"
void effective_plans_set_handler(const char* argument);            // "/2036"
