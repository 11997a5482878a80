// Storage module: disks and RAID arrays, network disks and the eSATA port, quotas, disk groups and
// the automatic backup. The core owns the devices; these handlers ask it for their state, forward
// commands and keep the storage rows of the configuration database in step.
#pragma once

#include "common/request_table.h"

extern const RequestModule kStorageModule;

// Disks and RAID.
void disk_list_handler(const char* argument);          // "/6100"
void disk_property_handler(const char* argument);      // "/6101"
void disk_format_handler(const char* argument);        // "/6102"
void disk_check_handler(const char* argument);         // "/6103"
void raid_create_handler(const char* argument);        // "/6104"
void raid_delete_handler(const char* argument);        // "/6105"
void hot_spare_handler(const char* argument);          // "/6106"
void raid_rebuild_handler(const char* argument);       // "/6107"
void raid_mode_read_handler(const char* argument);     // "/6108"
void raid_mode_set_handler(const char* argument);      // "/6109"
void self_evaluation_handler(const char* argument);    // "/6206"
void device_remove_handler(const char* argument);      // "/6207"

// Network disks and eSATA.
void nas_remove_handler(const char* argument);         // "/6200"
void nas_add_handler(const char* argument);            // "/6201"
void share_search_handler(const char* argument);       // "/6202"
void nas_edit_handler(const char* argument);           // "/6203"
void esata_mode_set_handler(const char* argument);     // "/6204"
void esata_mode_read_handler(const char* argument);    // "/6205"

// Quotas, disk groups and automatic backup.
void quota_read_handler(const char* argument);         // "/6208"
void quota_set_handler(const char* argument);          // "/6209"
void groups_set_handler(const char* argument);         // "/6210"
void groups_read_handler(const char* argument);        // "/8010"
void auto_backup_read_handler(const char* argument);   // "/6220"
void auto_backup_set_handler(const char* argument);    // "/6221"
void auto_backup_progress_handler(const char* argument);  // "/6222"
void backup_device_handler(const char* argument);      // "/6223"
void device_backup_start_handler(const char* argument);   // "/6224"
void device_backup_status_handler(const char* argument);  // "/6225"
void device_backup_stop_handler(const char* argument);    // "/6226"
void device_backup_progress_handler(const char* argument);  // "/6227"
