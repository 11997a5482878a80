#include "common/exchange.h"

#include <atomic>

#include "common/core_client.h"

namespace {

// The reply the current request waits for. Published before the message is sent and withdrawn
// after core_request returned (the connection is closed by then, so no callback still runs).
struct AwaitedReply {
  int32_t reply_id = 0;
  size_t min_length = 0;
  std::vector<unsigned char> bytes;
};
std::atomic<AwaitedReply*> g_awaited{nullptr};

// Runs on the socket library's reader thread: copies the awaited reply and claims the request's
// reply. Never writes anything itself.
void keep_awaited_reply(int /*unused*/, ZvMsgHeader* header, void* payload) {
  if (header == nullptr || payload == nullptr) return;
  AwaitedReply* awaited = g_awaited.load(std::memory_order_acquire);
  if (awaited == nullptr || header->msg_id != awaited->reply_id || header->length < awaited->min_length) {
    return;
  }
  if (!reply_claim()) return;  // the handler already answered (its wait ran out)
  const auto* bytes = static_cast<const unsigned char*>(payload);
  awaited->bytes.assign(bytes, bytes + header->length);
  reply_flag_set(1);
}

}  // namespace

std::optional<CoreReply> core_ask(int32_t id, const void* payload, uint32_t length, int32_t reply_id,
                                  size_t min_reply, int error_kind) {
  AwaitedReply awaited;
  awaited.reply_id = reply_id;
  awaited.min_length = min_reply;
  g_awaited.store(&awaited, std::memory_order_release);
  const int32_t flag = core_request(keep_awaited_reply, id, length, payload, error_kind);
  g_awaited.store(nullptr, std::memory_order_release);
  if (flag == 0) return std::nullopt;
  return CoreReply(std::move(awaited.bytes));
}

void core_tell(int32_t id, const void* payload, uint32_t length) { core_notify(id, length, payload); }
