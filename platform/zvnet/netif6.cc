#include "platform/zvnet/netif6.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace {

void clear(char* buffer, size_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
}

// 32 hexadecimal digits of the kernel's tables as the usual IPv6 text.
bool hex_address(const char* hex, char* out, size_t size) {
  if (std::strlen(hex) != 32) return false;
  unsigned char bytes[16];
  for (int i = 0; i < 16; ++i) {
    unsigned value = 0;
    if (std::sscanf(hex + 2 * i, "%2x", &value) != 1) return false;
    bytes[i] = static_cast<unsigned char>(value);
  }
  char text[INET6_ADDRSTRLEN];
  if (inet_ntop(AF_INET6, bytes, text, sizeof text) == nullptr) return false;
  if (std::strlen(text) >= size) return false;
  std::snprintf(out, size, "%s", text);
  return true;
}

}  // namespace

int net_get_ipv6_address(int kind, const char* ifname, char* addr, size_t addr_size, char* prefix,
                         size_t prefix_size, const char* table) {
  clear(addr, addr_size);
  clear(prefix, prefix_size);
  if (ifname == nullptr || addr == nullptr || prefix == nullptr || addr_size == 0 || prefix_size == 0) return -1;
  FILE* file = std::fopen(table, "re");
  if (file == nullptr) return -1;
  const unsigned wanted_scope = kind == 1 ? 0x20 : 0x00;
  char hex[64], name[32];
  unsigned index = 0, length = 0, scope = 0, flags = 0;
  int result = -1;
  while (std::fscanf(file, "%63s %x %x %x %x %31s", hex, &index, &length, &scope, &flags, name) == 6) {
    if (std::strcmp(name, ifname) != 0 || scope != wanted_scope) continue;
    if (!hex_address(hex, addr, addr_size)) continue;
    std::snprintf(prefix, prefix_size, "%u", length);
    result = 0;
    break;
  }
  std::fclose(file);
  return result;
}

int net_get_ipv6_gateway2(int kind, const char* ifname, char* buffer, size_t size, const char* table) {
  clear(buffer, size);
  if (ifname == nullptr || buffer == nullptr || size == 0) return -1;
  FILE* file = std::fopen(table, "re");
  if (file == nullptr) return -1;
  char dest[64], source[64], hop[64], name[32];
  unsigned dest_length = 0, source_length = 0, metric = 0, refs = 0, use = 0, flags = 0;
  int result = -1;
  while (std::fscanf(file, "%63s %x %63s %x %63s %x %x %x %x %31s", dest, &dest_length, source, &source_length,
                     hop, &metric, &refs, &use, &flags, name) == 10) {
    if (std::strcmp(name, ifname) != 0 || std::strspn(hop, "0") == std::strlen(hop)) continue;
    const bool default_route = dest_length == 0 && std::strspn(dest, "0") == std::strlen(dest);
    if (kind == 0 && !default_route) continue;
    if (hex_address(hop, buffer, size)) {
      result = 0;
      break;
    }
  }
  std::fclose(file);
  return result;
}

int read_mac_conf(char* buffer, size_t size, const char* path) {
  clear(buffer, size);
  if (buffer == nullptr || size == 0) return -1;
  FILE* file = std::fopen(path, "re");
  if (file == nullptr) return -1;
  const bool read = std::fgets(buffer, static_cast<int>(size), file) != nullptr;
  std::fclose(file);
  if (!read) return clear(buffer, size), -1;
  buffer[std::strcspn(buffer, "\r\n")] = '\0';
  return 0;
}
