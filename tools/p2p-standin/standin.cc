#include "tools/p2p-standin/standin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/zvnet/p2p_crypt.h"

namespace {

constexpr size_t kHeaderSize = 40;
constexpr size_t kBodySize = 568;
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

const P2pKeys& service_keys() {
  static const P2pKeys keys = p2p_keys_from_hex(p2p_keys::kServiceN, p2p_keys::kServiceD, p2p_keys::kDeviceN, p2p_keys::kDeviceE);
  return keys;
}

int32_t word_at(const std::string& bytes, size_t offset) {
  int32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// Reads `size` sealed bytes and opens them.
bool read_sealed(int fd, size_t size, std::string* plain) {
  std::string sealed(size, '\0');
  return read_all(fd, sealed.data(), sealed.size()) && p2p_open(service_keys(), sealed.data(), sealed.size(), plain);
}

void write_sealed(int fd, const void* plain, size_t size) {
  std::string sealed;
  if (p2p_seal(service_keys(), plain, size, &sealed)) write_all(fd, sealed.data(), sealed.size());
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

int p2p_standin_serve_one(int listener, const P2pStandinAnswer& answer, std::string* body,
                          const std::function<void()>& on_request) {
  const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return -1;
  std::string header, bytes;
  int received = -1;
  if (read_sealed(fd, rsa_cal_ensize(kHeaderSize), &header) && header.size() == kHeaderSize &&
      word_at(header, 0) == 2 && word_at(header, 12) == 0 && word_at(header, 16) == 1 &&
      word_at(header, 8) == static_cast<int32_t>(rsa_cal_ensize(kBodySize)) &&
      read_sealed(fd, rsa_cal_ensize(kBodySize), &bytes) && bytes.size() == kBodySize) {
    received = static_cast<int>(bytes.size());
    if (body != nullptr) *body = bytes;
  }
  if (received >= 0 && on_request) on_request();
  if (received >= 0 && answer.kind != P2pStandinAnswer::kSilent) {
    unsigned char reply[kHeaderSize] = {};
    const bool text = answer.kind == P2pStandinAnswer::kText;
    const int32_t words[] = {2, 0, text ? static_cast<int32_t>(rsa_cal_ensize(kTextSize)) : 0, text ? 0 : answer.status,
                             1};
    std::memcpy(reply, words, sizeof words);
    write_sealed(fd, reply, sizeof reply);
    if (text) {
      char plain[kTextSize] = {};
      std::memcpy(plain, answer.text.data(), std::min(answer.text.size(), kTextSize));
      write_sealed(fd, plain, sizeof plain);
    }
  }
  close(fd);
  return received;
}
