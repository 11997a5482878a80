// System administration module: login and session, users and permissions.
#pragma once

#include "common/request_table.h"

extern const RequestModule kSystemModule;

// Handlers, one per request identifier (see the table in system_module.cc; a few rows name a
// generic handler of common/row_handlers.h there).
void login_handler(const char* argument);            // "/1000"
void logout_log_handler(const char* argument);       // "/1014"
void redirect_login_handler(const char* argument);   // "/1018"
void user_list_handler(const char* argument);        // "/6070"
void user_add_handler(const char* argument);         // "/6071"
void user_edit_handler(const char* argument);        // "/6072"
void user_delete_handler(const char* argument);      // "/6073"
void users_changed_handler(const char* argument);    // "/6077"
void permission_update_handler(const char* argument);  // "/1024"

// Device log (logs.cc).
void log_search_handler(const char* argument);          // "/1002"
void log_detail_handler(const char* argument);          // "/1021"
void log_export_handler(const char* argument);          // "/1003"
void log_export_running_handler(const char* argument);  // "/1022"
void log_types_handler(const char* argument);           // "/1015"
void log_retention_set_handler(const char* argument);   // "/1017"
// Maintenance and firmware upgrade (maintenance.cc).
void reboot_handler(const char* argument);                    // "/1004"
void core_ready_handler(const char* argument);                // "/1005"
void factory_reset_handler(const char* argument);             // "/1006"
void config_export_handler(const char* argument);             // "/1007"
void config_import_handler(const char* argument);             // "/1008"
void device_info_handler(const char* argument);               // "/1009", "/1020"
void upgrade_upload_handler(const char* argument);            // "/1010"
void recorder_image_absent_handler(const char* argument);     // "/1011"
void config_download_handler(const char* argument);           // "/1013"
void upload_discard_handler(const char* argument);            // "/1019"
void db_upgrade_clear_handler(const char* argument);          // "/1023"
void camera_image_present_handler(const char* argument);      // "/6082"
void camera_upgrade_handler(const char* argument);            // "/6083"
void camera_image_drop_handler(const char* argument);         // "/6084"
void upgrade_download_handler(const char* argument);          // "/6085"
void upgrade_cancel_handler(const char* argument);            // "/6086"
void upgrade_check_handler(const char* argument);             // "/6087"
void upgrade_download_install_handler(const char* argument);  // "/6088"
void camera_upgrade_check_handler(const char* argument);      // "/6089"
// Command page and language pages (command_page.cc).
void command_page_handler(const char* argument);   // "/vb.htm"
void language_page_handler(const char* argument);  // "/json"
void language_list_handler(const char* argument);  // "/1001"
// OEM package (oem.cc).
void oem_upload_handler(const char* argument);  // "/oem"
void oem_users_handler(const char* argument);   // "/6074"
// Display, device name, automatic reboot, port mapping (device_settings.cc).
void display_read_handler(const char* argument);            // "/6080"
void display_set_handler(const char* argument);             // "/6081"
void device_name_set_handler(const char* argument);         // "/1012"
void port_mapping_read_handler(const char* argument);       // "/1030"
void port_mapping_set_handler(const char* argument);        // "/1031"
void port_mapping_refresh_handler(const char* argument);    // "/1034"
void core_value_handler(const char* argument);              // "/6075"
void core_action_handler(const char* argument);             // "/6076"

// Access filter (access_filter.cc), alarm audio files (audio_files.cc), diagnostics export and
// factory entries (diagnostics.cc).
void access_filter_read_handler(const char* argument);      // "/6300"
void access_filter_set_handler(const char* argument);       // "/6301"
void audio_list_handler(const char* argument);              // "/6320"
void audio_upload_handler(const char* argument);            // "/6321"
void audio_add_handler(const char* argument);               // "/6322"
void audio_delete_handler(const char* argument);            // "/6323"
void audio_rename_handler(const char* argument);            // "/6324"
void audio_play_handler(const char* argument);              // "/6325"
void diagnostics_export_handler(const char* argument);      // "/6310"
void diagnostics_download_handler(const char* argument);    // "/6311"
void camera_addresses_handler(const char* argument);        // "/ipc"
void download_entry_handler(const char* argument);          // "/dw.cgi"
