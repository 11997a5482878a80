// System administration module: login and session, users and permissions.
#pragma once

#include "common/request_table.h"

extern const RequestModule kSystemModule;

// Handlers, one per request identifier (see the table in system_module.cc).
void login_handler(const char* argument);            // "/1000"
void logout_log_handler(const char* argument);       // "/1014"
void redirect_login_handler(const char* argument);   // "/1018"
void user_list_handler(const char* argument);        // "/6070"
void user_add_handler(const char* argument);         // "/6071"
void user_edit_handler(const char* argument);        // "/6072"
void user_delete_handler(const char* argument);      // "/6073"
void users_changed_handler(const char* argument);    // "/6077"
void permission_update_handler(const char* argument);  // "/1024"

// Display, device name, automatic reboot, port mapping (device_settings.cc).
void display_read_handler(const char* argument);            // "/6080"
void display_set_handler(const char* argument);             // "/6081"
void device_name_set_handler(const char* argument);         // "/1012"
void port_mapping_read_handler(const char* argument);       // "/1030"
void port_mapping_set_handler(const char* argument);        // "/1031"
void auto_reboot_read_handler(const char* argument);        // "/1032"
void auto_reboot_set_handler(const char* argument);         // "/1033"
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
