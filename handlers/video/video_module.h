// Event and video configuration module: motion detection, OSD and privacy masks, and the shared
// action-block machinery of every event kind (event_actions.h).
#pragma once

#include "common/request_table.h"
#include "platform/zvsocket/zvsocket.h"

extern const RequestModule kVideoModule;

// Motion detection.
void motion_settings_read_handler(const char* argument);     // "/6010"
void motion_audible_plan_read_handler(const char* argument); // "/6011"
void motion_full_set_handler(const char* argument);          // "/6012"
void motion_plan_set_handler(const char* argument);          // "/6013"
void camera_grid_read_handler(const char* argument);         // "/6098"
void motion_settings_set_handler(const char* argument);      // "/6112"
void motion_fields_plan_set_handler(const char* argument);   // "/6113"
void motion_fields_set_handler(const char* argument);        // "/6114"
void motion_actions_set_handler(const char* argument);       // "/6117"
void motion_email_set_handler(const char* argument);         // "/6118"
void motion_trigger_set_handler(const char* argument);       // "/6119"
void motion_email_plan_read_handler(const char* argument);   // "/6120"
void motion_effective_plan_set_handler(const char* argument);  // "/6152"
void motion_effective_plan_read_handler(const char* argument); // "/6153"
void motion_ptz_plan_read_handler(const char* argument);     // "/6158"
void motion_ptz_plan_set_handler(const char* argument);      // "/6159"

// OSD and privacy masks.
void osd_read_handler(const char* argument);                 // "/6000"
void osd_set_handler(const char* argument);                  // "/6001"
void camera_name_set_handler(const char* argument);          // "/6002"
void camera_osd_set_handler(const char* argument);           // "/6996"
void camera_osd_read_handler(const char* argument);          // "/6997"
void privacy_masks_read_handler(const char* argument);       // "/6018"
void privacy_masks_set_handler(const char* argument);        // "/6019"
void camera_masks_read_handler(const char* argument);        // "/6115"
void camera_mask_result_handler(const char* argument);       // "/6116"
void mask_area_remove_handler(const char* argument);         // "/6173"
void camera_mask_remove_handler(const char* argument);       // "/6198"
