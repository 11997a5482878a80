// IPv6 facts of an interface from the kernel's tables (/proc/net/if_inet6, /proc/net/ipv6_route)
// and the configured MAC text. Every text is bounded by its buffer and always NUL-terminated.
#pragma once

#include <cstddef>

// The interface's IPv6 address of `kind` (0: global scope, 1: link-local) into addr (addr_size
// bytes) and its prefix length as decimal text into prefix (prefix_size bytes). Returns 0, or -1
// when there is none (both buffers then hold ""). `table` replaces /proc/net/if_inet6 in tests.
int net_get_ipv6_address(int kind, const char* ifname, char* addr, size_t addr_size, char* prefix,
                         size_t prefix_size, const char* table = "/proc/net/if_inet6");

// The interface's IPv6 gateway: kind 0 the next hop of its default route (::/0), kind 1 the next
// hop of any route through it. Returns 0, or -1 (buffer "") when there is none.
int net_get_ipv6_gateway2(int kind, const char* ifname, char* buffer, size_t size,
                          const char* table = "/proc/net/ipv6_route");

// The configured MAC address (hexadecimal digits, as the factory wrote them) from `path`: the
// first line, at most size - 1 characters. Returns 0, or -1 (buffer "") when it cannot be read.
inline constexpr const char* kMacConfPath = "/mnt/nand/mac.conf";
int read_mac_conf(char* buffer, size_t size, const char* path = kMacConfPath);
