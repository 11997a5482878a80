// Whether the device has an IPv6 address it can be reached at from outside its own link.
#pragma once

// 1 when the kernel's address list (/proc/net/if_inet6, or `path`) holds an address of global
// scope on any interface, 0 when it holds none or cannot be read. Loopback and link-local
// addresses do not count: every interface has one.
int net_is_haveipv6(const char* path = "/proc/net/if_inet6");
