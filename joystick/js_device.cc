#include "joystick/js_device.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/joystick.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

namespace zvjs {

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

namespace {

// The name a device reports, NUL-terminated even when the device fills the whole buffer.
bool query_name(int fd, unsigned long request, std::string& name) {
  char buffer[LinuxInputSource::kNameSize + 1] = {};
  if (::ioctl(fd, request, buffer) < 0) return false;
  name.assign(buffer);
  return true;
}

}  // namespace

bool LinuxInputSource::joystick_present() { return ::access(kJoystickPath, F_OK) == 0; }

NameStatus LinuxInputSource::joystick_name(std::string& name) {
  UniqueFd fd(::open(kJoystickPath, O_RDWR | O_CLOEXEC));
  if (!fd.valid()) return NameStatus::kOpenFailed;
  if (!query_name(fd.get(), JSIOCGNAME(kNameSize), name)) return NameStatus::kQueryFailed;
  return NameStatus::kOk;
}

bool LinuxInputSource::open_event_device(const std::string& name) {
  for (int i = 0; i < kEventDevices; ++i) {
    char path[32];
    std::snprintf(path, sizeof path, kEventPathFormat, i);
    std::string device_name;
    {
      UniqueFd probe(::open(path, O_RDONLY | O_CLOEXEC));
      if (!probe.valid() || !query_name(probe.get(), EVIOCGNAME(kNameSize), device_name)) continue;
    }
    if (device_name != name) continue;
    UniqueFd device(::open(path, O_RDWR | O_CLOEXEC));
    if (!device.valid()) return false;
    device_ = std::move(device);
    return true;
  }
  return false;
}

WaitStatus LinuxInputSource::wait(int timeout_ms) {
  pollfd entry{device_.get(), POLLIN, 0};
  const int ready = ::poll(&entry, 1, timeout_ms);
  if (ready < 0) return errno == EINTR ? WaitStatus::kTimeout : WaitStatus::kGone;
  if (ready == 0) return WaitStatus::kTimeout;
  if (entry.revents & POLLIN) return WaitStatus::kReady;
  return WaitStatus::kGone;  // POLLERR, POLLHUP or POLLNVAL: the device was removed
}

ReadStatus LinuxInputSource::read_event(RawInputEvent& event) {
  input_event raw{};
  const ssize_t got = ::read(device_.get(), &raw, sizeof raw);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return ReadStatus::kRetry;
  if (got != static_cast<ssize_t>(sizeof raw)) return ReadStatus::kGone;  // error, end or short read
  event.type = raw.type;
  event.code = raw.code;
  event.value = raw.value;
  return ReadStatus::kEvent;
}

void LinuxInputSource::pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace zvjs
