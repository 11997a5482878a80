#include "handlers/system/system_module.h"

#include <iterator>

namespace {
const WebReqEntry kSystemRequests[] = {
    {"/1000", login_handler},
    {"/1014", logout_log_handler},
    {"/1018", redirect_login_handler},
    {"/1024", permission_update_handler},
    {"/6070", user_list_handler},
    {"/6071", user_add_handler},
    {"/6072", user_edit_handler},
    {"/6073", user_delete_handler},
    {"/6077", users_changed_handler},
    {"/6080", display_read_handler},
    {"/6081", display_set_handler},
    {"/1012", device_name_set_handler},
    {"/1030", port_mapping_read_handler},
    {"/1031", port_mapping_set_handler},
    {"/1032", auto_reboot_read_handler},
    {"/1033", auto_reboot_set_handler},
    {"/1034", port_mapping_refresh_handler},
    {"/6075", core_value_handler},
    {"/6076", core_action_handler},
    {"/6300", access_filter_read_handler},
    {"/6301", access_filter_set_handler},
    {"/6320", audio_list_handler},
    {"/6321", audio_upload_handler},
    {"/6322", audio_add_handler},
    {"/6323", audio_delete_handler},
    {"/6324", audio_rename_handler},
    {"/6325", audio_play_handler},
    {"/6310", diagnostics_export_handler},
    {"/6311", diagnostics_download_handler},
    {"/ipc", camera_addresses_handler},
    {"/dw.cgi", download_entry_handler},
};
}  // namespace

const RequestModule kSystemModule = {"system", kSystemRequests,
                                     static_cast<int>(std::size(kSystemRequests))};
