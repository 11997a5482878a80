#include "handlers/ptz/ptz_module.h"

#include <iterator>

#include "common/oplog.h"

void send_ptz_log(int32_t channel, int32_t param_type) { op_log_change(206, param_type, channel + 1); }

namespace {
const WebReqEntry kPtzRequests[] = {
    {"/5000", ptz_move_handler},
    {"/5001", ptz_preset_handler},
    {"/5002", ptz_tour_start_handler},
    {"/5003", ptz_tour_stop_handler},
    {"/5004", ptz_tour_action_handler},
    {"/5005", ptz_listing_handler},
    {"/5006", ptz_focus_handler},
    {"/5007", ptz_zoom_handler},
    {"/5008", ptz_speed_handler},
    {"/5009", ptz_camera_command_handler},
    {"/5010", ptz_camera_state_handler},
    {"/5011", ptz_status_read_handler},
    {"/5012", ptz_status_set_handler},
    {"/6050", ptz_port_read_handler},
    {"/6051", ptz_port_set_handler},
    {"/6052", ptz_port_check_handler},
    {"/6053", ptz_speeds_read_handler},
    {"/6054", ptz_speeds_set_handler},
    {"/6055", ptz_tour_save_handler},
    {"/6056", ptz_fisheye_tour_handler},
    {"/6057", ptz_tour_clear_handler},
};
}  // namespace

const RequestModule kPtzModule = {"ptz", kPtzRequests, static_cast<int>(std::size(kPtzRequests))};
