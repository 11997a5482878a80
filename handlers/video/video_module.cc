#include "handlers/video/video_module.h"

#include <iterator>

namespace {
const WebReqEntry kVideoRequests[] = {
    {"/6000", osd_read_handler},
    {"/6001", osd_set_handler},
    {"/6002", camera_name_set_handler},
    {"/6010", motion_settings_read_handler},
    {"/6011", motion_audible_plan_read_handler},
    {"/6012", motion_full_set_handler},
    {"/6013", motion_plan_set_handler},
    {"/6018", privacy_masks_read_handler},
    {"/6019", privacy_masks_set_handler},
    {"/6098", camera_grid_read_handler},
    {"/6112", motion_settings_set_handler},
    {"/6113", motion_fields_plan_set_handler},
    {"/6114", motion_fields_set_handler},
    {"/6115", camera_masks_read_handler},
    {"/6116", camera_mask_result_handler},
    {"/6117", motion_actions_set_handler},
    {"/6118", motion_email_set_handler},
    {"/6119", motion_trigger_set_handler},
    {"/6120", motion_email_plan_read_handler},
    {"/6152", motion_effective_plan_set_handler},
    {"/6153", motion_effective_plan_read_handler},
    {"/6158", motion_ptz_plan_read_handler},
    {"/6159", motion_ptz_plan_set_handler},
    {"/6173", mask_area_remove_handler},
    {"/6198", camera_mask_remove_handler},
    {"/6996", camera_osd_set_handler},
    {"/6997", camera_osd_read_handler},
};
}  // namespace

const RequestModule kVideoModule = {"video", kVideoRequests, static_cast<int>(std::size(kVideoRequests))};
