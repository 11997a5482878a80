#include "platform/zvnet/netif.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

void copy_bounded(char* dest, size_t size, const char* text) {
  if (size == 0) return;
  snprintf(dest, size, "%s", text);
}

// The IPv4 address of an ifreq's sockaddr as dotted text (at most 15 characters).
void dotted(const sockaddr& address, char* dest, size_t size) {
  if (address.sa_family != AF_INET) return;
  sockaddr_in in{};
  memcpy(&in, &address, sizeof in);
  char text[INET_ADDRSTRLEN] = "";
  if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) != nullptr) copy_bounded(dest, size, text);
}

class Socket {
 public:
  Socket() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// The first default route (destination 0) of the interface, from the routing table.
void default_gateway(const char* ifname, char* dest, size_t size) {
  FILE* routes = fopen("/proc/net/route", "re");
  if (routes == nullptr) {
    perror("fopen");
    return;
  }
  char line[256];
  bool header = true;
  while (fgets(line, sizeof line, routes) != nullptr) {
    if (header) {
      header = false;
      continue;
    }
    char name[IFNAMSIZ + 1] = "";
    unsigned long destination = 0;
    unsigned long gateway = 0;
    if (sscanf(line, "%16s %lX %lX", name, &destination, &gateway) != 3) continue;
    if (strcmp(name, ifname) != 0 || destination != 0) continue;
    // The table holds the address in memory order.
    const auto g = static_cast<uint32_t>(gateway);
    unsigned char bytes[4];
    memcpy(bytes, &g, sizeof bytes);
    snprintf(dest, size, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    break;
  }
  fclose(routes);
}

}  // namespace

int net_get_ifaddr(const char* ifname, NetIfAddress* info) {
  if (info == nullptr) return -1;
  *info = NetIfAddress{};
  if (ifname == nullptr || ifname[0] == '\0' || strlen(ifname) >= IFNAMSIZ) return -1;
  Socket s;
  if (s.fd() < 0) {
    perror("socket");
    return -1;
  }
  ifreq request{};
  auto ask = [&](unsigned long what, const char* name) {
    memset(&request, 0, sizeof request);
    memcpy(request.ifr_name, ifname, strlen(ifname));
    if (ioctl(s.fd(), what, &request) == 0) return true;
    perror(name);
    return false;
  };
  if (ask(SIOCGIFMTU, "[SIOCGIFMTU] ioctl")) info->mtu = request.ifr_mtu;
  if (ask(SIOCGIFFLAGS, "[SIOCGIFFLAGS] ioctl")) info->up = request.ifr_flags & 1;
  if (ask(SIOCGIFADDR, "[SIOCGIFADDR] ioctl")) dotted(request.ifr_addr, info->address, sizeof info->address);
  if (ask(SIOCGIFHWADDR, "[SIOCGIFHWADDR] ioctl")) {
    const auto* m = reinterpret_cast<const unsigned char*>(request.ifr_hwaddr.sa_data);
    snprintf(info->hwaddr, sizeof info->hwaddr, "%2.2x:%2.2x:%2.2x:%2.2x:%2.2x:%2.2x", m[0], m[1], m[2],
             m[3], m[4], m[5]);
  }
  if (ask(SIOCGIFNETMASK, "[SIOCGIFNETMASK] ioctl")) {
    dotted(request.ifr_netmask, info->netmask, sizeof info->netmask);
  }
  if (ask(SIOCGIFBRDADDR, "[SIOCGIFBRDADDR] ioctl")) {
    dotted(request.ifr_broadaddr, info->broadcast, sizeof info->broadcast);
  }
  default_gateway(ifname, info->gateway, sizeof info->gateway);
  return 0;
}

int net_get_ipv6_ifaddr(const char* ifname, int kind, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return -1;
  buffer[0] = '\0';
  if (ifname == nullptr || (kind != 0 && kind != 1)) return -1;
  FILE* table = fopen("/proc/net/if_inet6", "re");
  if (table == nullptr) return -1;
  // Lines: 32 hex digits, index, prefix length, scope, flags, name.
  const unsigned wanted_scope = kind == 0 ? 0x00 : 0x20;
  char line[256];
  int found = -1;
  while (found != 0 && fgets(line, sizeof line, table) != nullptr) {
    char hex[33] = "";
    char name[IFNAMSIZ + 1] = "";
    unsigned index = 0, prefix = 0, scope = 0, flags = 0;
    if (sscanf(line, "%32s %x %x %x %x %16s", hex, &index, &prefix, &scope, &flags, name) != 6) continue;
    if (strcmp(name, ifname) != 0 || scope != wanted_scope || strlen(hex) != 32) continue;
    in6_addr address{};
    for (int i = 0; i < 16; ++i) {
      unsigned byte = 0;
      if (sscanf(hex + 2 * i, "%2x", &byte) != 1) break;
      address.s6_addr[i] = static_cast<uint8_t>(byte);
    }
    char text[INET6_ADDRSTRLEN] = "";
    if (inet_ntop(AF_INET6, &address, text, sizeof text) != nullptr && strlen(text) < size) {
      copy_bounded(buffer, size, text);
      found = 0;
    }
  }
  fclose(table);
  return found;
}
