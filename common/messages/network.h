// The network module's messages to the core, each declared once (common/exchange.h), with their
// payload records.
#pragma once

#include <cstdint>

#include "common/exchange.h"
#include "platform/zvrecord/schema.h"

// What changed among the network-side settings (1702): a NUL-padded word such as "hostname",
// "more" (the service ports) or "network"; the core applies the stored settings it names.
struct NetworkChange {
  char what[32];
};
ZV_SCHEMA(NetworkChange, ZV_INTERNAL(what));
static_assert(sizeof(NetworkChange) == 32);

// The manual time to apply (1701): the time in double quotes, or 32 zero bytes when the clock is
// not to be set by hand.
struct ManualTime {
  char quoted[32];
};
ZV_SCHEMA(ManualTime, ZV_INTERNAL(quoted));
static_assert(sizeof(ManualTime) == 32);

inline constexpr Notice<NetworkChange> kNetworkChanged{1702, "network changed"};
// The clock settings were stored: the core applies them (and the manual time, when given) and
// answers 6701, whose payload says nothing the web side uses.
inline constexpr Exchange<ManualTime, int32_t> kTimeSet{1701, 6701, "time set", 0};
// Sent once the core has answered 1701: the clock is set.
inline constexpr Notice<NoPayload> kTimeApplied{1711, "time applied"};
