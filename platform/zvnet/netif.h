// The device's network interface queries: an interface's IPv4 facts (socket ioctls and the
// routing table) and its IPv6 addresses (/proc/net/if_inet6). Every text is bounded by its field.
#pragma once

#include <cstddef>

// One interface's IPv4 facts. Texts are "" when their query failed.
struct NetIfAddress {
  char address[24];    // dotted IPv4 address
  char hwaddr[24];     // "xx:xx:xx:xx:xx:xx"
  char gateway[24];    // the interface's default route, dotted
  char netmask[24];
  char broadcast[24];
  int up;              // bit 0 of the interface flags
  int mtu;
};

// Fills *info for `ifname` (at most 15 characters). Each failing query is reported with perror
// ("[SIOCGIFADDR] ioctl" ...) and leaves its field empty. Returns 0, or -1 when the name is
// empty or too long, or no socket could be opened (then *info is all empty).
int net_get_ifaddr(const char* ifname, NetIfAddress* info);

// The interface's IPv6 address of `kind` (0: global scope, 1: link-local) as text into
// buffer (size bytes; at most 39 characters are needed). Returns 0, or -1 when the interface has
// no such address (buffer then holds "").
int net_get_ipv6_ifaddr(const char* ifname, int kind, char* buffer, size_t size);
