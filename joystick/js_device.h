// The input devices as the reader thread sees them: is a joystick plugged in, what is its name,
// open its event device, wait for and read one event. LinuxInputSource is the device; tests put a
// scripted source in its place.
#pragma once

#include <string>

#include "joystick/js_controller.h"

namespace zvjs {

enum class NameStatus { kOk, kOpenFailed, kQueryFailed };
enum class WaitStatus { kReady, kTimeout, kGone };
enum class ReadStatus { kEvent, kRetry, kGone };

class InputSource {
 public:
  virtual ~InputSource() = default;
  // Whether the joystick node exists.
  virtual bool joystick_present() = 0;
  // Reads the joystick's name; nothing stays open afterwards.
  virtual NameStatus joystick_name(std::string& name) = 0;
  // Opens the event device whose name is `name` (the first of them); false when there is none.
  virtual bool open_event_device(const std::string& name) = 0;
  virtual bool is_open() const = 0;
  virtual void close_device() = 0;
  // Waits up to `timeout_ms` for the open device to have an event.
  virtual WaitStatus wait(int timeout_ms) = 0;
  // Reads one event from the open device.
  virtual ReadStatus read_event(RawInputEvent& event) = 0;
  // Pause between retries while there is no device.
  virtual void pause(int ms) = 0;
};

// A file descriptor closed when it goes out of scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// The Linux input layer: "/dev/input/js0" and "/dev/input/event0".."event5".
class LinuxInputSource : public InputSource {
 public:
  static constexpr const char* kJoystickPath = "/dev/input/js0";
  static constexpr const char* kEventPathFormat = "/dev/input/event%d";
  static constexpr int kEventDevices = 6;
  static constexpr int kNameSize = 64;

  bool joystick_present() override;
  NameStatus joystick_name(std::string& name) override;
  bool open_event_device(const std::string& name) override;
  bool is_open() const override { return device_.valid(); }
  void close_device() override { device_.reset(); }
  WaitStatus wait(int timeout_ms) override;
  ReadStatus read_event(RawInputEvent& event) override;
  void pause(int ms) override;

 private:
  UniqueFd device_;
};

}  // namespace zvjs
