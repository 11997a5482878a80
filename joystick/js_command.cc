#include "joystick/js_command.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace zvjs {

UiCommandPayload make_ui_command(std::string_view text) {
  UiCommandPayload payload{};
  const size_t length = std::min<size_t>(text.size(), payload.size() - 1);
  std::copy_n(text.data(), length, payload.data());
  return payload;
}

void CoreCommandSender::send(std::string_view text) {
  if (send_fn_ == nullptr) return;
  const UiCommandPayload payload = make_ui_command(text);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
    if (send_fn_(kCoreDestination, kMsgUiCommand, payload.data(), kUiCommandSize, 0) == 0) return;
  }
  ++failed_;
}

}  // namespace zvjs
