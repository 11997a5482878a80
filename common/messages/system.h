// The system module's messages to the core, each declared once (common/exchange.h), with their
// payload records. The operation-log messages sit beside their record in common/oplog.h.
#pragma once

#include <cstdint>

#include "common/exchange.h"
#include "platform/zvrecord/schema.h"

// "/1018": the request's argument, cut to 255 characters, for the core to decide on.
struct RedirectLoginRequest {
  char argument[256];
};
ZV_SCHEMA(RedirectLoginRequest, ZV_INTERNAL(argument));
static_assert(sizeof(RedirectLoginRequest) == 256);

// The core's decision (int32): 0 lets the client in as the temporary user, anything else sends
// it to the home page.
inline constexpr Exchange<RedirectLoginRequest, int32_t> kRedirectLogin{3504, 8504, "redirect login"};
// The user table changed: the int32 id of one user, or no payload at all (the whole table,
// core_tell_bare).
inline constexpr Notice<int32_t> kUsersChanged{3505, "users changed"};
// The device restarts; sent without payload (core_tell_bare). The core goes down and comes back.
inline constexpr Notice<int32_t> kReboot{1703, "reboot"};
