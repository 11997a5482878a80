// Helpers of the joystick tests: a sink that records command texts, a memory stream for printed
// messages, and a scripted input source that stands in for the Linux input layer.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "joystick/js_command.h"
#include "joystick/js_device.h"

namespace zvjs::test {

class RecordingSink : public CommandSink {
 public:
  void send(std::string_view text) override { texts.emplace_back(text); }
  std::vector<std::string> texts;
};

// A FILE* whose bytes the test reads back.
class MemoryLog {
 public:
  MemoryLog() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryLog() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(data_);
  }
  MemoryLog(const MemoryLog&) = delete;
  MemoryLog& operator=(const MemoryLog&) = delete;

  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

// One step of a scripted device session.
struct Step {
  enum Type { kEvent, kUnplug, kPlug, kShortRead, kPollError, kReadRetry };
  Type type = kEvent;
  RawInputEvent event;
  int delay_ms = 0;  // how long after the previous step the event arrives
};

inline Step key(int code, int value, int delay_ms = 0) {
  return {Step::kEvent, {1, static_cast<uint16_t>(code), value}, delay_ms};
}
inline Step axis(int code, int value, int delay_ms = 0) {
  return {Step::kEvent, {3, static_cast<uint16_t>(code), value}, delay_ms};
}
inline Step other(int type, int code, int value) {
  return {Step::kEvent, {static_cast<uint16_t>(type), static_cast<uint16_t>(code), value}, 0};
}
inline Step unplug() { return {Step::kUnplug, {}, 0}; }
inline Step plug() { return {Step::kPlug, {}, 0}; }
inline Step short_read() { return {Step::kShortRead, {}, 0}; }
inline Step poll_error() { return {Step::kPollError, {}, 0}; }
inline Step read_retry() { return {Step::kReadRetry, {}, 0}; }  // an interrupted read

// A press and release of a button.
inline std::vector<Step> tap(int code, int delay_ms = 0) { return {key(code, 1, delay_ms), key(code, 0)}; }

// Plays a script of steps as the input layer would deliver them. The clock (milliseconds) moves
// by each event's delay and by every retry pause.
class ScriptedInput : public InputSource {
 public:
  explicit ScriptedInput(std::vector<Step> steps, std::string name = "Test Pad")
      : steps_(steps.begin(), steps.end()), name_(std::move(name)), event_name_(name_) {}

  bool joystick_present() override {
    // One plug or unplug per look, as a device node appears or disappears between two looks.
    if (!steps_.empty() && (steps_.front().type == Step::kPlug || steps_.front().type == Step::kUnplug)) {
      present = steps_.front().type == Step::kPlug;
      steps_.pop_front();
    }
    return present;
  }
  NameStatus joystick_name(std::string& name) override {
    ++name_queries;
    if (name_status != NameStatus::kOk) return name_status;
    name = name_;
    return NameStatus::kOk;
  }
  bool open_event_device(const std::string& name) override {
    if (name != event_name_) return false;
    open_ = true;
    ++opens;
    return true;
  }
  bool is_open() const override { return open_; }
  void close_device() override {
    if (open_) ++closes;
    open_ = false;
  }
  WaitStatus wait(int) override {
    if (!steps_.empty() && steps_.front().type == Step::kPollError) {
      steps_.pop_front();
      return WaitStatus::kGone;
    }
    if (!steps_.empty() && (steps_.front().type == Step::kEvent || steps_.front().type == Step::kShortRead ||
                             steps_.front().type == Step::kReadRetry)) {
      return WaitStatus::kReady;
    }
    clock_ms += 1000;
    return WaitStatus::kTimeout;
  }
  ReadStatus read_event(RawInputEvent& event) override {
    const Step step = steps_.front();
    steps_.pop_front();
    if (step.type == Step::kShortRead) return ReadStatus::kGone;
    if (step.type == Step::kReadRetry) return ReadStatus::kRetry;
    clock_ms += step.delay_ms;
    event = step.event;
    return ReadStatus::kEvent;
  }
  void pause(int ms) override {
    ++pauses;
    clock_ms += ms;
  }

  bool done() const { return steps_.empty(); }
  void set_event_name(std::string name) { event_name_ = std::move(name); }

  bool present = true;
  NameStatus name_status = NameStatus::kOk;
  int64_t clock_ms = 1000000;
  int name_queries = 0;
  int opens = 0;
  int closes = 0;
  int pauses = 0;

 private:
  std::deque<Step> steps_;
  std::string name_;
  std::string event_name_;
  bool open_ = false;
};

}  // namespace zvjs::test
