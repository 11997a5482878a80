#include "joystick/js_reader.h"

#include <time.h>

#include <string>

namespace zvjs {

int64_t monotonic_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void JoystickReader::drop_device() {
  dispatcher_.reset();
  translator_.reset();
  input_.close_device();
}

void JoystickReader::step() {
  if (!input_.joystick_present()) {
    if (input_.is_open()) drop_device();
    input_.pause(kRetryPauseMs);
    return;
  }
  if (!input_.is_open()) {
    std::string name;
    const NameStatus status = input_.joystick_name(name);
    if (status == NameStatus::kOpenFailed) {
      std::fputs("==fd open error==\n", log_);
    } else if (status == NameStatus::kQueryFailed) {
      std::fputs("==iotcl error==\n", log_);
    }
    if (status != NameStatus::kOk || !input_.open_event_device(name)) {
      input_.pause(kRetryPauseMs);
      return;
    }
    // A new device starts from the start-up state.
    dispatcher_.reset();
    translator_.reset();
  }
  switch (input_.wait(kWaitTimeoutMs)) {
    case WaitStatus::kTimeout:
      return;
    case WaitStatus::kGone:
      drop_device();
      input_.pause(kRetryPauseMs);  // a failing device must not turn the loop into a busy loop
      return;
    case WaitStatus::kReady:
      break;
  }
  RawInputEvent event;
  switch (input_.read_event(event)) {
    case ReadStatus::kRetry:
      return;
    case ReadStatus::kGone:
      drop_device();
      input_.pause(kRetryPauseMs);
      return;
    case ReadStatus::kEvent:
      break;
  }
  if (event.type == kEvSyn && event.code == kSynDropped) {
    // Where the stick and the lever are now is unknown (their return may be among the lost
    // events): what they set moving is stopped, and they count as centred until they report.
    dispatcher_.stop_motion();
    translator_.reset();
    return;
  }
  if (!translator_.apply(event)) return;
  const std::string line = encode_controller_line(translator_.state());
  if (!line.empty()) dispatcher_.dispatch(line.c_str(), clock_());
}

void JoystickReader::run(const std::atomic<bool>& running) {
  while (running.load()) step();
  dispatcher_.stop_motion();  // the daemon stops: nothing it started keeps moving
}

}  // namespace zvjs
