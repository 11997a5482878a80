// Commands for the core: user-interface texts sent as message 4002, a 100-byte NUL-padded text.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zvjs {

constexpr int32_t kMsgUiCommand = 4002;
constexpr uint32_t kUiCommandSize = 100;
constexpr int kCoreDestination = 1;

using UiCommandPayload = std::array<char, kUiCommandSize>;

// The payload of message 4002: the text, cut to 99 bytes, NUL-terminated and zero-padded.
UiCommandPayload make_ui_command(std::string_view text);

// Where the dispatch logic sends its command texts.
class CommandSink {
 public:
  virtual ~CommandSink() = default;
  virtual void send(std::string_view text) = 0;
};

// Sends command texts to the core as message 4002 through a send call with the signature of
// zv_sock_send_msg (the connection is opened once by the program). A message the library does not
// accept is tried again at once a few times (the library reconnects on a later attempt after the
// core restarted); a joystick command is worth nothing late, so it is never queued.
class CoreCommandSender : public CommandSink {
 public:
  using SendFn = int (*)(int dest, int32_t msg_id, const void* payload, uint32_t length, uint64_t reserved);
  static constexpr int kAttempts = 3;
  static constexpr int kRetryPauseMs = 10;

  explicit CoreCommandSender(SendFn send_fn) : send_fn_(send_fn) {}
  void send(std::string_view text) override;
  uint64_t failed() const { return failed_; }

 private:
  SendFn send_fn_;
  uint64_t failed_ = 0;
};

}  // namespace zvjs
