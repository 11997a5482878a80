#include "tools/zvcore-sim/message_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

MessageLog::~MessageLog() {
  if (fd_ >= 0) close(fd_);
}

bool MessageLog::open(const std::string& path, std::string* error) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0 && error != nullptr) *error = "cannot open " + path + ": " + strerror(errno);
  return fd_ >= 0;
}

std::string MessageLog::format(int64_t unix_ms, int32_t client, int32_t id, const unsigned char* payload,
                               uint32_t length) {
  static const char kHex[] = "0123456789abcdef";
  char head[128];
  snprintf(head, sizeof head, "{\"t\": %lld, \"client\": %d, \"id\": %d, \"len\": %u, \"payload\": \"",
           static_cast<long long>(unix_ms), client, id, length);
  std::string line(head);
  line.reserve(line.size() + 2u * length + 2);
  for (uint32_t i = 0; payload != nullptr && i < length; ++i) {
    line.push_back(kHex[payload[i] >> 4]);
    line.push_back(kHex[payload[i] & 15]);
  }
  line += "\"}";
  return line;
}

void MessageLog::write(int64_t unix_ms, int32_t client, int32_t id, const unsigned char* payload,
                       uint32_t length) {
  if (fd_ < 0) return;
  std::string line = format(unix_ms, client, id, payload, length);
  line.push_back('\n');
  const char* data = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      fprintf(stderr, "zvcore-sim: message log write failed: %s\n", strerror(errno));
      return;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  count_.fetch_add(1, std::memory_order_relaxed);
}
