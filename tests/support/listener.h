// A TCP socket of the test that listens on a port the system picked, on `address` (loopback by
// default; INADDR_ANY for all addresses), until it is destroyed or its fd is closed by the test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace zvtest {

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

}  // namespace zvtest
