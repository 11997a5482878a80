// Local settings module: SSH access, automatic local login, one recording mode for all channels,
// the first-start wizard, and a quick edit of one camera. Every message it sends is a notice: no
// reply of the core is waited for or used.
#pragma once

#include "common/request_table.h"

extern const RequestModule kLocalModule;

// Handlers, one per request identifier (see the table in local_module.cc).
void ssh_enable_handler(const char* argument);         // "/3300"
void auto_login_handler(const char* argument);         // "/3301"
void record_mode_all_handler(const char* argument);    // "/3302"
void wizard_enable_handler(const char* argument);      // "/3303"
void camera_quick_edit_handler(const char* argument);  // "/3304"
