#include "tools/p2p-standin/standin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 40;
constexpr size_t kMaxBody = 4096;
constexpr size_t kTextSize = 128;

bool read_all(int fd, void* data, size_t length) {
  auto* p = static_cast<char*>(data);
  while (length > 0) {
    const ssize_t got = recv(fd, p, length, 0);
    if (got <= 0) return false;
    p += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

void write_all(int fd, const void* data, size_t length) {
  const auto* p = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t sent = send(fd, p, length, MSG_NOSIGNAL);
    if (sent <= 0) return;
    p += sent;
    length -= static_cast<size_t>(sent);
  }
}

}  // namespace

int p2p_standin_listen(int port, int* bound) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  if (bound != nullptr) *bound = ntohs(address.sin_port);
  return fd;
}

int p2p_standin_serve_one(int listener, const P2pStandinAnswer& answer, std::string* body) {
  const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return -1;
  unsigned char header[kHeaderSize];
  int received = -1;
  int32_t body_size = 0;
  if (read_all(fd, header, sizeof header)) {
    std::memcpy(&body_size, header + 8, sizeof body_size);
    if (body_size >= 0 && static_cast<size_t>(body_size) <= kMaxBody) {
      std::string bytes(static_cast<size_t>(body_size), '\0');
      if (read_all(fd, bytes.data(), bytes.size())) {
        received = body_size;
        if (body != nullptr) *body = bytes;
      }
    }
  }
  if (received >= 0 && answer.kind != P2pStandinAnswer::kSilent) {
    unsigned char reply[kHeaderSize] = {};
    const int32_t words[] = {2, 0, answer.kind == P2pStandinAnswer::kText ? static_cast<int32_t>(kTextSize) : 0,
                             answer.kind == P2pStandinAnswer::kText ? 0 : answer.status, 1};
    std::memcpy(reply, words, sizeof words);
    write_all(fd, reply, sizeof reply);
    if (answer.kind == P2pStandinAnswer::kText) {
      char text[kTextSize] = {};
      std::memcpy(text, answer.text.data(), std::min(answer.text.size(), kTextSize));
      write_all(fd, text, sizeof text);
    }
  }
  close(fd);
  return received;
}
