#include "handlers/camera/camera_module.h"

#include <iterator>

#include "common/json_fields.h"
#include "common/request.h"
#include "handlers/camera/camera_apps.h"
#include "handlers/camera/camera_messages.h"
#include "handlers/camera/camera_requests.h"
#include "handlers/camera/camera_setup_messages.h"

JsonPtr numbered_request(const char* argument, const char* key, int32_t max, int32_t* value) {
  JsonPtr request = parse_request(argument);
  if (request && read_json_members(request.get(), {int_member(key, value).required().range(0, max)})) {
    return request;
  }
  reply_cgi_error(REPLY_JSON);
  return nullptr;
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
    {"/2065", chnid_record_read<kAudioSupport>},
    {"/2066", counting_groups_read_handler},
    {"/2067", counting_groups_set_handler},
    {"/2068", counting_url_handler},
    {"/2069", counting_event_read_handler},
    {"/2070", counting_event_set_handler},
    {"/2071", group_command<kCountingGroupReset>},
    {"/2072", group_command<kCountingGroupStaying>},
    {"/2073", pos_read_handler},
    {"/2074", pos_set_handler},
    {"/2075", counting_reports_read_handler},
    {"/2076", counting_reports_set_handler},
    {"/2077", face_capture_set_handler},
    {"/2078", firmware_check_handler},
    {"/2079", firmware_progress_handler},
    {"/2080", firmware_start_handler},
    {"/2081", firmware_stop_handler},
    {"/2006", camera_search_handler},
    {"/2011", camera_address_change_handler},
    {"/2014", camera_login_test_handler},
    {"/2015", camera_login_test_alt_handler},
    {"/2032", camera_address_change_batch_handler},
    {"/2033", camera_address_change_results_handler},
    {"/2019", channel_settings_read<kImageRead, &ImageSettingsReply::settings>},
    {"/2020", camera_image_set_handler},
    {"/2021", channel_settings_read<kImageExtensionRead, &ImageExtensionRecord::extension>},
    {"/2022", camera_image_extension_set_handler},
    {"/2037", day_night_profiles_read_handler},
    {"/2038", day_night_profile_set_handler},
    {"/2039", day_night_areas_read_handler},
    {"/2040", day_night_areas_set_handler},
    {"/2041", camera_plan_read<kPlanARead>},
    {"/2042", camera_plan_set<kPlanASet>},
    {"/2043", camera_plan_read<kPlanBRead>},
    {"/2044", camera_plan_set<kPlanBSet>},
    {"/2045", camera_plan_read<kPlanCRead>},
    {"/2046", camera_plan_set<kPlanCSet>},
    {"/2047", day_night_profiles_set_multi_handler},
    {"/2048", camera_exposure_set_handler},
    {"/2049", camera_exposure_read_handler},
    {"/2050", day_night_area_delete_handler},
    {"/2062", camera_night_mode_handler},
    {"/2051", camera_heat_map_read_handler},
    {"/2052", camera_heat_map_set_handler},
    {"/2053", camera_heat_map_data_handler},
    {"/2054", auto_tracking_read_handler},
    {"/2055", auto_tracking_set_handler},
    {"/2056", auto_tracking_support_handler},
    {"/2057", chnid_record_read<kCameraIdentity>},
    {"/2058", chnid_record_read<kWatermarkRead>},
    {"/2059", camera_watermark_set_handler},
    {"/2034", ipv6_present_handler},
    {"/2035", effective_plans_read_handler},
    {"/2036", effective_plans_set_handler},
};
}  // namespace

const RequestModule kCameraModule = {"camera", kCameraRequests, static_cast<int>(std::size(kCameraRequests))};
