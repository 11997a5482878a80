// PTZ control module: moving a channel's camera, presets, speeds and the PTZ status block
// (ptz_control.cc), and the serial PTZ ports, stored speeds, tours and the preset and tour
// listing (ptz_settings.cc).
#pragma once

#include <cstdint>

#include "common/exchange.h"
#include "common/request.h"
#include "common/request_table.h"

extern const RequestModule kPtzModule;

// Shared by the two halves: the operation-log record of a PTZ change (sub type 206), channel
// 0-based (logged 1-based).
void send_ptz_log(int32_t channel, int32_t param_type);
constexpr int32_t kPtzLogControl = 900;
constexpr int32_t kPtzLogSettings = 904;
// The end of a request the core is only told of: the notice, "OK", then the log record.
template <class P>
void tell_ok_and_log(const Notice<P>& notice, const P& payload, int32_t channel, int32_t param_type) {
  core_tell(notice, payload);
  reply_ok();
  send_ptz_log(channel, param_type);
}

// Control (ptz_control.cc).
void ptz_move_handler(const char* argument);            // "/5000"
void ptz_preset_handler(const char* argument);          // "/5001"
void ptz_focus_handler(const char* argument);           // "/5006"
void ptz_zoom_handler(const char* argument);            // "/5007"
void ptz_speed_handler(const char* argument);           // "/5008"
void ptz_camera_command_handler(const char* argument);  // "/5009"
void ptz_camera_state_handler(const char* argument);    // "/5010"
void ptz_status_read_handler(const char* argument);     // "/5011"
void ptz_status_set_handler(const char* argument);      // "/5012"

// Ports, speeds, presets and tours (ptz_settings.cc).
void ptz_port_read_handler(const char* argument);       // "/6050"
void ptz_port_set_handler(const char* argument);        // "/6051"
void ptz_port_check_handler(const char* argument);      // "/6052"
void ptz_speeds_read_handler(const char* argument);     // "/6053"
void ptz_speeds_set_handler(const char* argument);      // "/6054"
void ptz_tour_save_handler(const char* argument);       // "/6055"
void ptz_fisheye_tour_handler(const char* argument);    // "/6056"
void ptz_tour_clear_handler(const char* argument);      // "/6057"
void ptz_tour_start_handler(const char* argument);      // "/5002"
void ptz_tour_stop_handler(const char* argument);       // "/5003"
void ptz_tour_action_handler(const char* argument);     // "/5004"
void ptz_listing_handler(const char* argument);         // "/5005"
