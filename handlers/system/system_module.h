// System administration module: login and session, users and permissions.
#pragma once

#include "front/registry.h"
#include "platform/zvsocket/zvsocket.h"

extern const RequestModule kSystemModule;

// The module's one reply callback: switches on the reply's message id.
void system_reply_callback(int unused, ZvMsgHeader* header, void* payload);

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

// Reply printer of message 8504 (redirect login), called by the module callback.
void redirect_login_reply(const void* payload, uint32_t length);
