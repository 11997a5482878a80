// Event and video configuration module: motion detection, OSD and privacy masks, and the shared
// action-block machinery of every event kind (event_actions.h).
#pragma once

#include "common/request_table.h"

extern const RequestModule kVideoModule;

// Motion detection. The older "camId" sets are rows of one generic (motion.cc): "/6013", "/6113",
// "/6114", "/6118", "/6119", "/6152", "/6159".
enum MotionSetRow : int {
  kMotionPlanSet, kMotionFieldsPlanSet, kMotionFieldsSet, kMotionEmailSet, kMotionTriggerSet,
  kMotionEffectivePlanSet, kMotionPtzPlanSet,
};
void motion_set(const char* argument, MotionSetRow row);
void motion_full_set_handler(const char* argument);          // "/6012"
void camera_grid_read_handler(const char* argument);         // "/6098"
void motion_settings_set_handler(const char* argument);      // "/6112"
void motion_actions_set_handler(const char* argument);       // "/6117"

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
