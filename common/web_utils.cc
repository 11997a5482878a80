#include "common/web_utils.h"

#include <fcntl.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "platform/zvstd/zvstd.h"

namespace {

constexpr size_t kUserNameMax = 63;

void copy_text(char* buffer, size_t size, std::string_view text) {
  size_t length = text.size() < size - 1 ? text.size() : size - 1;
  memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace

bool write_new_file(const char* path, const void* data, size_t length, unsigned mode) {
  unlink(path);
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) return false;
  const bool written = write_all(fd, data, length);
  if (close(fd) == 0 && written) return true;
  unlink(path);
  return false;
}

bool write_all(int fd, const void* data, size_t length) {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t written = write(fd, bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

int cookie_user_name(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return -1;
  buffer[0] = '\0';
  const char* cookie = getenv("HTTP_COOKIE");
  if (cookie == nullptr) return -1;
  std::string_view text(cookie);
  size_t found = text.find("userName");
  if (found == std::string_view::npos) return -1;
  std::string_view value = text.substr(found + 8);
  if (!value.empty()) value.remove_prefix(1);  // the '=' (only when something follows the name)
  value = value.substr(0, value.find(';'));
  size_t equals = value.find('=');
  if (equals != std::string_view::npos) value.remove_prefix(equals + 1);
  if (value.size() > kUserNameMax) value = value.substr(0, kUserNameMax);
  copy_text(buffer, size, value);
  return 0;
}

int run_command(const char* command) {
  int status = zv_system(command);
  if (status == -1) return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return 0;
}

namespace {
// lockf locks belong to the process: a second lock of a file this process holds succeeds at once,
// and unlocking or closing any descriptor of the file drops the lock. A lock taken again inside
// one already held (a settings write inside another) therefore shares the outer descriptor, and
// only the outermost release unlocks.
struct HeldLock {
  char path[64];
  int fd;
  int depth;  // 0: the slot is free
  pid_t pid;  // a child forked while the lock is held holds nothing (lockf locks are not inherited)
};
HeldLock held_locks[4];
}  // namespace

int lock_file_acquire(const char* path) {
  if (path == nullptr) return -1;
  const bool trackable = strnlen(path, sizeof HeldLock::path) < sizeof HeldLock::path;
  for (HeldLock& h : held_locks) {
    if (h.depth > 0 && h.pid != getpid()) h.depth = 0;  // the parent's, before a fork
    if (trackable && h.depth > 0 && std::strcmp(h.path, path) == 0) {
      ++h.depth;
      return h.fd;
    }
  }
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return fd;
  int rc;
  do {
    rc = lockf(fd, F_LOCK, 0);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {  // no lock held: the caller must not go on as if it had one
    close(fd);
    return -1;
  }
  for (HeldLock& h : held_locks) {
    if (trackable && h.depth == 0) {
      std::snprintf(h.path, sizeof h.path, "%s", path);
      h.fd = fd;
      h.depth = 1;
      h.pid = getpid();
      break;
    }
  }
  return fd;
}

void lock_file_release(int fd) {
  if (fd < 0) return;
  for (HeldLock& h : held_locks) {
    if (h.depth > 0 && h.fd == fd && h.pid == getpid()) {
      if (--h.depth > 0) return;  // an outer holder still has it
      break;
    }
  }
  lockf(fd, F_ULOCK, 0);
  close(fd);
}

json_object* parse_json_text(const char* text) {
  if (text == nullptr) return nullptr;
  return json_tokener_parse(text);
}

int json_text_get_int(const char* text, const char* key, int* out) {
  if (text == nullptr || key == nullptr || out == nullptr) return -1;
  std::unique_ptr<json_object, decltype(&json_object_put)> object(parse_json_text(text), json_object_put);
  if (!object) return -1;
  return json_get_int(object.get(), key, out);
}

int json_get_int(json_object* object, const char* key, int* out) {
  if (object == nullptr || key == nullptr || out == nullptr) return -1;
  json_object* member = nullptr;
  if (!json_object_object_get_ex(object, key, &member) || member == nullptr) return -1;
  *out = json_object_get_int(member);
  return 0;
}

int json_get_text(json_object* object, const char* key, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return -1;
  buffer[0] = '\0';
  if (object == nullptr || key == nullptr) return -1;
  json_object* member = nullptr;
  if (!json_object_object_get_ex(object, key, &member) || member == nullptr) return -1;
  const char* text = json_object_get_string(member);
  copy_text(buffer, size, text != nullptr ? text : "");
  return 0;
}

void* read_whole_file(const char* path, size_t* length) {
  if (length != nullptr) *length = 0;
  if (path == nullptr) return nullptr;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  // Read to the end whatever the size says (files under /proc report 0).
  std::string data;
  char chunk[65536];
  // A file larger than the memory left is a failed read, not the end of the process.
  try {
    for (;;) {
      ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0) {
        if (errno == EINTR) continue;
        close(fd);
        return nullptr;
      }
      if (got == 0) break;
      data.append(chunk, static_cast<size_t>(got));
    }
  } catch (const std::bad_alloc&) {
    close(fd);
    return nullptr;
  }
  close(fd);
  auto* buffer = static_cast<char*>(__zv_malloc(data.size() + 1, "web_utils", __LINE__));
  if (buffer == nullptr) return nullptr;
  memcpy(buffer, data.data(), data.size());
  buffer[data.size()] = '\0';
  if (length != nullptr) *length = data.size();
  return buffer;
}

int write_whole_file(const char* path, const void* data, size_t length) {
  if (path == nullptr || (data == nullptr && length > 0)) return -1;
  const char* bytes = static_cast<const char*>(data);
  struct stat st{};
  bool exists = lstat(path, &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {  // a device, a fifo or a link: written where it points
    int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return -1;
    bool ok = write_all(fd, bytes, length);
    return close(fd) == 0 && ok ? 0 : -1;
  }
  // A new file gets the mode fopen(path, "w") would give (0666 less the umask, applied by the
  // kernel); a replaced file keeps its mode.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = std::string(path) + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(attempt);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return -1;
  }
  if (fd < 0) return -1;
  bool ok = (!exists || fchmod(fd, st.st_mode & 07777) == 0) && write_all(fd, bytes, length) &&
            fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temporary.c_str(), path) != 0) {
    unlink(temporary.c_str());
    return -1;
  }
  return 0;
}

int interface_mac_address(const char* interface_name, char out[18], const char* fallback) {
  if (out == nullptr) return -1;
  copy_text(out, 18, fallback != nullptr ? fallback : "");
  if (interface_name == nullptr || strlen(interface_name) >= IFNAMSIZ) return -1;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    perror("create socket fail\n");
    return -1;
  }
  ifreq request{};
  memcpy(request.ifr_name, interface_name, strlen(interface_name));
  int rc = ioctl(fd, SIOCGIFHWADDR, &request);
  close(fd);
  if (rc != 0) return -1;
  const auto* a = reinterpret_cast<const unsigned char*>(request.ifr_hwaddr.sa_data);
  snprintf(out, 18, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
  return 0;
}

int get_mac_addresses(char eth0[18], char eth1[18]) {
  if (eth0 == nullptr || eth1 == nullptr) return -1;
  interface_mac_address("eth0", eth0, kDefaultMacEth0);
  interface_mac_address("eth1", eth1, kDefaultMacEth1);
  return 0;
}
