// Sockets of the tests: a listening TCP port and datagrams sent to a local port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

namespace zvtest {

// A TCP socket of the test that listens on a port the system picked, on `address` (loopback by
// default; INADDR_ANY for all addresses), until it is destroyed or its fd is closed by the test.

struct Listener {
  explicit Listener(uint32_t address = INADDR_LOOPBACK) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    socklen_t length = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, 1);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
  }
  ~Listener() {
    if (fd >= 0) close(fd);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  int fd = -1;
  int port = 0;
};

// Sends `text` `times` times as a UDP datagram to `port` on loopback. False when no socket could
// be opened.
inline bool send_loopback_datagrams(int port, std::string_view text, int times) {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int i = 0; i < times; ++i) {
    sendto(s, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  close(s);
  return true;
}

}  // namespace zvtest
