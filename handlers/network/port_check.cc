#include "handlers/network/port_check.h"

#include <cstdio>
#include <cstring>

#include "platform/zvdb/zvdb.h"

namespace {
constexpr int32_t kPoeFirstPort = 23001;
constexpr unsigned kTcpListen = 0x0A;
const char* const kSocketTables[] = {"/proc/net/tcp", "/proc/net/tcp6", "/proc/net/udp", "/proc/net/udp6", nullptr};

// A UDP table holds bound sockets in any state: every row of the port counts. A TCP table counts
// only its listening sockets (a connection's local port is not a service).
bool is_udp_table(const char* path) {
  const char* name = std::strrchr(path, '/');
  return std::strncmp(name != nullptr ? name + 1 : path, "udp", 3) == 0;
}
}  // namespace

bool port_reserved_for_poe(int32_t port, int32_t max_poe_num) {
  if (max_poe_num != 4 && max_poe_num != 8 && max_poe_num != 16) return false;
  return port >= kPoeFirstPort && port < kPoeFirstPort + max_poe_num;
}

bool port_has_listener(int32_t port, const char* const* tables) {
  for (const char* const* table = tables != nullptr ? tables : kSocketTables; *table != nullptr; ++table) {
    FILE* file = std::fopen(*table, "re");
    if (file == nullptr) continue;
    const bool udp = is_udp_table(*table);
    char line[512];
    bool found = false;
    std::fgets(line, sizeof line, file);  // the column titles
    while (!found && std::fgets(line, sizeof line, file) != nullptr) {
      unsigned local_port = 0, state = 0;
      // "  0: 0100007F:1F90 00000000:0000 0A ..." (tcp6 has 32 address digits)
      if (std::sscanf(line, " %*d: %*[0-9A-Fa-f]:%x %*[0-9A-Fa-f]:%*x %x", &local_port, &state) == 2) {
        found = (udp || state == kTcpListen) && local_port == static_cast<unsigned>(port);
      }
    }
    std::fclose(file);
    if (found) return true;
  }
  return false;
}

bool port_conflicts(int32_t port, int32_t stored) {
  if (port == stored) return false;
  return port_reserved_for_poe(port, get_param_int(kZvdbPath, "max_poe_num", 0)) || port_has_listener(port);
}
