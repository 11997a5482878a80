// The reader thread's loop: find the joystick, wait for its events, translate them, and dispatch
// the controller lines that report a change. It owns all joystick state.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "joystick/js_controller.h"
#include "joystick/js_device.h"
#include "joystick/js_dispatch.h"

namespace zvjs {

// Milliseconds of CLOCK_MONOTONIC: wall-clock changes made from the web pages do not move it.
int64_t monotonic_ms();

class JoystickReader {
 public:
  static constexpr int kRetryPauseMs = 1000;
  static constexpr int kWaitTimeoutMs = 1000;

  using Clock = std::function<int64_t()>;

  JoystickReader(InputSource& input, CommandSink& sink, std::FILE* log = stdout, Clock clock = monotonic_ms)
      : input_(input), dispatcher_(sink, log), log_(log), clock_(std::move(clock)) {}

  // One pass of the loop (find the device, or wait for and handle one event).
  void step();
  // Runs passes while `running` is true.
  void run(const std::atomic<bool>& running);

  const Dispatcher& dispatcher() const { return dispatcher_; }
  const ControllerTranslator& translator() const { return translator_; }

 private:
  // The joystick went away: forget everything about it and close its device.
  void drop_device();

  InputSource& input_;
  ControllerTranslator translator_;
  Dispatcher dispatcher_;
  std::FILE* log_;
  Clock clock_;
};

}  // namespace zvjs
