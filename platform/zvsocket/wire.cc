#include "platform/zvsocket/wire.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zvsock {

ZvMsgHeader make_header(int32_t client, int32_t msg_id, int32_t dest, uint32_t length) {
  ZvMsgHeader header{};
  header.magic = kZvMsgMagic;
  header.version = kZvMsgVersion;
  header.flags = 0;
  header.client = client;
  header.msg_id = msg_id;
  header.dest = dest;
  header.length = length;
  return header;
}

bool header_valid(const ZvMsgHeader& header) {
  return header.magic == kZvMsgMagic && header.version == kZvMsgVersion &&
         header.length <= kZvMsgMaxPayload;
}

bool send_all(int fd, const void* first, size_t first_size, const void* second, size_t second_size) {
  iovec parts[2] = {{const_cast<void*>(first), first_size}, {const_cast<void*>(second), second_size}};
  int index = 0;
  int count = second_size > 0 ? 2 : 1;
  while (index < count) {
    msghdr message{};
    message.msg_iov = &parts[index];
    message.msg_iovlen = static_cast<size_t>(count - index);
    ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    auto left = static_cast<size_t>(sent);
    while (index < count && left >= parts[index].iov_len) {
      left -= parts[index].iov_len;
      ++index;
    }
    if (index < count) {
      parts[index].iov_base = static_cast<char*>(parts[index].iov_base) + left;
      parts[index].iov_len -= left;
    }
  }
  return true;
}

bool recv_all(int fd, void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    ssize_t got = recv(fd, out + done, size - done, 0);
    if (got == 0) return false;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

int connect_unix(const char* path, int send_timeout_seconds) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  size_t length = strlen(path);
  if (length == 0 || length >= sizeof address.sun_path) return -1;
  memcpy(address.sun_path, path, length + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // Set before connecting: a connect to a full queue waits as long as a send would.
  const timeval timeout{send_timeout_seconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  int rc;
  do {
    rc = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace zvsock
