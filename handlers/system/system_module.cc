#include "handlers/system/system_module.h"

#include <iterator>

#include "common/row_handlers.h"
#include "common/messages/device.h"
#include "platform/zvdb/admin_tables.h"
#include "platform/zvdb/device_tables.h"

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
    {"/1002", log_search_handler},
    {"/1021", log_detail_handler},
    {"/1003", log_export_handler},
    {"/1022", log_export_running_handler},
    {"/1015", log_types_handler},
    {"/1016", row_read_handler<kDiskMaintain>},
    {"/1017", log_retention_set_handler},
    {"/1004", reboot_handler},
    {"/1005", core_ready_handler},
    {"/1006", factory_reset_handler},
    {"/1007", config_export_handler},
    {"/1008", config_import_handler},
    {"/1009", device_info_handler},
    {"/1020", device_info_handler},
    {"/1010", upgrade_upload_handler},
    {"/1011", recorder_image_absent_handler},
    {"/1013", config_download_handler},
    {"/1019", upload_discard_handler},
    {"/1023", db_upgrade_clear_handler},
    {"/6082", camera_image_present_handler},
    {"/6083", camera_upgrade_handler},
    {"/6084", camera_image_drop_handler},
    {"/6085", upgrade_download_handler},
    {"/6086", upgrade_cancel_handler},
    {"/6087", upgrade_check_handler},
    {"/6088", upgrade_download_install_handler},
    {"/6089", camera_upgrade_check_handler},
    {"/vb.htm", command_page_handler},
    {"/json", language_page_handler},
    {"/1001", language_list_handler},
    {"/oem", oem_upload_handler},
    {"/6074", oem_users_handler},
    {"/6080", display_read_handler},
    {"/6081", display_set_handler},
    {"/1012", device_name_set_handler},
    {"/1030", port_mapping_read_handler},
    {"/1031", port_mapping_set_handler},
    {"/1032", row_read_handler<kAutoReboot>},
    {"/1033", row_set_handler<kAutoReboot, kAutoRebootChanged>},
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
