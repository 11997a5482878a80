// Registration of the device with the P2P remote-access service: one TCP exchange of a header and
// a body, both sealed for the service, whose answer (sealed for the device) is handed on to the
// core. The device's keys come from a key file of mode 600 that lives only while the exchange does.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/json_fields.h"
#include "common/request.h"
#include "common/web_utils.h"
#include "common/request_table.h"
#include "common/messages/network_services.h"
#include "platform/zvdb/network_tables.h"
#include "platform/zvdb/zvdb.h"
#include "platform/zvnet/p2p_crypt.h"

namespace {

// The service's address: settings "p2p_server" and "p2p_port" (defaults below).
constexpr const char* kDefaultP2pServer = "p2p.zvcloud.net";
constexpr int kDefaultP2pPort = 9999;
constexpr int kTimeoutMs = 5000;

constexpr int kNoNetwork = 3;
constexpr int kNoKeys = 4;
// The answer body: a 128-byte text, sealed; anything larger than a few blocks is refused.
constexpr size_t kMaxAnswerBody = 4 * 256;

// The key file of one exchange, removed when the exchange ends.
class KeyFile {
 public:
  KeyFile() { created_ = p2p_create_keyfile(path_) == 0; }
  ~KeyFile() {
    if (created_) unlink(path_);
  }
  KeyFile(const KeyFile&) = delete;
  KeyFile& operator=(const KeyFile&) = delete;
  const char* path() const { return created_ ? path_ : nullptr; }

 private:
  char path_[32] = "/tmp/p2pkeyXXXXXX";
  bool created_ = false;
};

class Socket {
 public:
  Socket() = default;
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Connects to host:port within the timeout; false on any failure.
  bool connect_to(const char* host, int port) {
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, service, &hints, &found) != 0) return false;
    bool connected = false;
    for (addrinfo* a = found; a != nullptr && !connected; a = a->ai_next) {
      if (fd_ >= 0) close(fd_);
      fd_ = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
      if (fd_ < 0) continue;
      if (connect(fd_, a->ai_addr, a->ai_addrlen) == 0) {
        connected = true;
      } else if (errno == EINPROGRESS) {
        pollfd p{fd_, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        connected = poll(&p, 1, kTimeoutMs) == 1 && getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                    error == 0;
      }
    }
    freeaddrinfo(found);
    if (!connected) return false;
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    timeval timeout{kTimeoutMs / 1000, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return true;
  }

  bool send_all(const void* data, size_t length) {
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
      const ssize_t sent = send(fd_, p, length, MSG_NOSIGNAL);
      if (sent <= 0) return false;
      p += sent;
      length -= static_cast<size_t>(sent);
    }
    return true;
  }

  // Exactly `length` bytes, or false.
  bool receive_all(void* data, size_t length) {
    auto* p = static_cast<char*>(data);
    while (length > 0) {
      const ssize_t got = recv(fd_, p, length, 0);
      if (got <= 0) return false;
      p += got;
      length -= static_cast<size_t>(got);
    }
    return true;
  }

 private:
  int fd_ = -1;
};

template <size_t N, size_t M>
void copy_text(char (&to)[N], const char (&from)[M]) {
  std::snprintf(to, N, "%.*s", static_cast<int>(std::min(N, M) - 1), from);
}

// Seals `size` bytes for the service and sends them.
bool send_sealed(Socket& s, const P2pKeys& keys, const void* plain, size_t size) {
  std::string sealed;
  return p2p_seal(keys, plain, size, &sealed) && s.send_all(sealed.data(), sealed.size());
}

// Receives `size` sealed bytes and opens them into *plain.
bool receive_sealed(Socket& s, const P2pKeys& keys, size_t size, std::string* plain) {
  std::string sealed(size, '\0');
  return s.receive_all(sealed.data(), sealed.size()) && p2p_open(keys, sealed.data(), sealed.size(), plain);
}

int register_device(const P2pWireBody& body) {
  char host[128];
  get_param_value(kZvdbPath, "p2p_server", host, sizeof host, kDefaultP2pServer);
  const int port = get_param_int(kZvdbPath, "p2p_port", kDefaultP2pPort);
  Socket s;
  if (!s.connect_to(host, port)) return kNoNetwork;
  KeyFile key_file;
  const P2pKeys keys = key_file.path() != nullptr ? p2p_cli_switch_keyfile(key_file.path()) : P2pKeys{};
  if (!keys.ready()) return kNoKeys;
  P2pWireHeader header{};
  header.version = 2;
  header.body_size = static_cast<int32_t>(rsa_cal_ensize(sizeof body));
  header.kind = 1;
  if (!send_sealed(s, keys, &header, sizeof header) || !send_sealed(s, keys, &body, sizeof body)) return kNoNetwork;
  std::string plain;
  if (!receive_sealed(s, keys, rsa_cal_ensize(sizeof(P2pWireHeader)), &plain) || plain.size() != sizeof(P2pWireHeader)) {
    return kNoNetwork;
  }
  P2pWireHeader answer{};
  std::memcpy(&answer, plain.data(), sizeof answer);
  if (answer.status == 2) return 2;
  // Any other status than 0 and 2 is the service's refusal, reported as it is.
  if (answer.status != 0) return answer.status;
  const size_t body_size = answer.body_size > 0 ? static_cast<size_t>(answer.body_size) : 0;
  if (body_size == 0 || body_size > kMaxAnswerBody || !receive_sealed(s, keys, body_size, &plain)) return kNoNetwork;
  P2pAnswerText text{};
  std::memcpy(text.text, plain.data(), std::min(plain.size(), sizeof text.text - 1));
  text.text[sizeof text.text - 1] = '\0';
  core_tell(kP2pRegistered, text);
  return 0;
}

}  // namespace

static void p2p_register_handler(const char* argument) {
  JsonPtr request = parse_request(argument);
  P2pWireBody body{};
  if (request) {
    read_json_members(request.get(), {text_member("sn", body.sn).absent_text(""),
                                      text_member("deviceName", body.device_name).absent_text("")});
  }
  P2pInfo info{};
  kP2p.read(kZvdbPath, &info, kNetworkRow);
  char mac0[18], mac1[18];
  get_mac_addresses(mac0, mac1);
  std::snprintf(body.mac, sizeof body.mac, "%s", mac0);
  copy_text(body.text1, info.text1);
  copy_text(body.text2, info.text2);
  copy_text(body.text3, info.text3);
  copy_text(body.text4, info.text4);
  char result[16];
  std::snprintf(result, sizeof result, "%d", register_device(body));
  reply_text(result);
}

ZV_REQUESTS(kP2pRegisterRequests, "network",
    {"/7062", p2p_register_handler});
