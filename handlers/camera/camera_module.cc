#include "handlers/camera/camera_module.h"

#include <iterator>

#include "common/json_fields.h"
#include "common/request.h"
#include "handlers/camera/camera_apps.h"

bool read_channel_request(const char* argument, const char* key, int32_t max, int32_t* channel) {
  JsonPtr request = parse_request(argument);
  return request && read_json_members(request.get(), {int_member(key, channel).required().range(0, max)});
}

namespace {
const WebReqEntry kCameraRequests[] = {
    {"/2000", camera_read_handler},
    {"/2001", camera_status_handler},
    {"/2003", camera_edit_handler},
    {"/2004", camera_add_handler},
    {"/2005", camera_delete_handler},
    {"/2007", camera_status_handler},
    {"/2008", camera_protocols_handler},
    {"/2009", stream_read_handler},
    {"/2010", stream_set_handler},
    {"/2012", camera_names_handler},
    {"/2016", poe_password_handler},
    {"/2017", camera_login_set_handler},
    {"/2018", poe_port_count_handler},
    {"/2023", web_param_read_handler},
    {"/2024", web_param_set_handler},
    {"/2025", camera_type_handler},
    {"/2026", ui_command_handler},
    {"/2027", chip_code_handler},
    {"/2028", motion_state_handler},
    {"/2029", camera_list_handler},
    {"/2030", stream_set_multi_handler},
    {"/2031", camera_transport_set_handler},
    {"/2060", extra_stream_read_handler},
    {"/2061", extra_stream_set_handler},
    {"/2063", audio_read_handler},
    {"/2064", audio_set_handler},
    {"/2065", audio_support_handler},
    {"/2066", counting_groups_read_handler},
    {"/2067", counting_groups_set_handler},
    {"/2068", counting_url_handler},
    {"/2069", counting_event_read_handler},
    {"/2070", counting_event_set_handler},
    {"/2071", counting_group_reset_handler},
    {"/2072", counting_group_staying_handler},
    {"/2073", pos_read_handler},
    {"/2074", pos_set_handler},
    {"/2075", counting_reports_read_handler},
    {"/2076", counting_reports_set_handler},
    {"/2077", face_capture_set_handler},
    {"/2078", firmware_check_handler},
    {"/2079", firmware_progress_handler},
    {"/2080", firmware_start_handler},
    {"/2081", firmware_stop_handler},
};
}  // namespace

const RequestModule kCameraModule = {"camera", kCameraRequests, static_cast<int>(std::size(kCameraRequests))};
