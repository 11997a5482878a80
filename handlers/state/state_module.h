// Diagnostics and status module: live status pages asked from the core, and the packet capture.
#pragma once

#include <string_view>

// The checks of what "/8005" is given: an interface name of 1..7 of [A-Za-z0-9._-]; a host
// filter empty or of at most 63 of [A-Za-z0-9.:-]; a port empty or 1..65535 in decimal; the
// directory absolute, at most 127 of [A-Za-z0-9_./-], with no "..", "." or empty
// component (a final slash aside).
bool capture_interface_ok(std::string_view nic);
bool capture_host_ok(std::string_view ip);
bool capture_port_ok(std::string_view port);
bool capture_dir_ok(std::string_view dir);
