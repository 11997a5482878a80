// Whether a service port may be taken: not reserved for the PoE cameras, and no socket of the
// device listening on it (the kernel's TCP and UDP tables, IPv4 and IPv6).
#pragma once

#include <cstdint>

// The PoE cameras' ports: 23001 .. 23000 + N for N = "max_poe_num" of 4, 8 or 16, none otherwise.
bool port_reserved_for_poe(int32_t port, int32_t max_poe_num);

// True when a TCP socket listens on `port`, or a UDP socket is bound to it, on any local address.
// `tables` replaces /proc/net/tcp, tcp6, udp and udp6 in tests (null-terminated list; a table whose
// file name starts with "udp" is read as a UDP table).
bool port_has_listener(int32_t port, const char* const* tables = nullptr);

// The conflict test of a changed port: reserved for the PoE cameras or in use. An unchanged port
// never conflicts (and is not looked up).
bool port_conflicts(int32_t port, int32_t stored);
