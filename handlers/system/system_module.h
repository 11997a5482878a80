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
