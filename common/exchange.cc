#include "common/exchange.h"

#include <atomic>

#include "common/core_client.h"
#include "common/reply.h"

namespace {

// The reply the current request waits for. Published before the message is sent and withdrawn
// after the connection is closed (so no callback still runs).
struct AwaitedReply {
  int32_t reply_id = 0;
  int32_t alt_reply_id = 0;
  size_t min_length = 0;
  std::vector<unsigned char> bytes;
  const CoreStream::Sink* sink = nullptr;  // a stream: every message goes here
  std::atomic<bool> claimed{false};        // a stream: its first message claimed the reply
};
std::atomic<AwaitedReply*> g_awaited{nullptr};

// Runs on the socket library's reader thread: copies the awaited reply (or hands a stream's message
// to its sink) and claims the request's reply once. Never writes anything itself.
void keep_awaited_reply(int /*unused*/, ZvMsgHeader* header, void* payload) {
  if (header == nullptr || (payload == nullptr && header->length > 0)) return;
  AwaitedReply* awaited = g_awaited.load(std::memory_order_acquire);
  if (awaited == nullptr || header->length < awaited->min_length) return;
  if (header->msg_id != awaited->reply_id &&
      (awaited->alt_reply_id == 0 || header->msg_id != awaited->alt_reply_id)) {
    return;
  }
  const auto* bytes = static_cast<const unsigned char*>(payload);
  if (awaited->sink != nullptr) {
    if (!awaited->claimed.load()) {
      if (!reply_claim()) return;  // the reply is another writer's
      // The first message reaches the sink before the stream counts as started: the handler,
      // woken by the flag, then sees what that message said (a refusal, say), never the state
      // from before it.
      (*awaited->sink)(bytes, header->length);
      awaited->claimed.store(true);
      reply_flag_set(1);
      return;
    }
    (*awaited->sink)(bytes, header->length);
    return;
  }
  if (!reply_claim()) return;  // the handler already answered (its wait ran out)
  if (header->length > 0) awaited->bytes.assign(bytes, bytes + header->length);
  reply_flag_set(1);
}

}  // namespace

std::optional<CoreReply> core_ask(int32_t id, const void* payload, uint32_t length, int32_t reply_id,
                                  size_t min_reply, int error_kind, int32_t alt_reply_id) {
  AwaitedReply awaited;
  awaited.reply_id = reply_id;
  awaited.alt_reply_id = alt_reply_id;
  awaited.min_length = min_reply;
  g_awaited.store(&awaited, std::memory_order_release);
  const int32_t flag = core_request(keep_awaited_reply, id, length, payload, error_kind);
  g_awaited.store(nullptr, std::memory_order_release);
  if (flag == 0) return std::nullopt;
  return CoreReply(std::move(awaited.bytes));
}

void core_tell(int32_t id, const void* payload, uint32_t length) { core_notify(id, length, payload); }

struct CoreStream::State {
  Sink sink;
  AwaitedReply awaited;
};

CoreStream::CoreStream(int32_t id, const void* payload, uint32_t length, int32_t reply_id, size_t min_reply,
                       Sink sink)
    : state_(std::make_unique<State>()) {
  state_->sink = std::move(sink);
  state_->awaited.reply_id = reply_id;
  state_->awaited.min_length = min_reply;
  state_->awaited.sink = &state_->sink;
  g_awaited.store(&state_->awaited, std::memory_order_release);
  send_result_ = core_send(keep_awaited_reply, id, length, payload, 0);
}

CoreStream::~CoreStream() { close(); }

bool CoreStream::started() const { return state_->awaited.claimed.load(); }

bool CoreStream::fail(int error_kind) {
  if (!reply_claim()) return false;
  reply_cgi_error(error_kind);
  return true;
}

bool CoreStream::tell(int32_t id, const void* payload, uint32_t length) {
  return open_ && zv_sock_send_msg(kZvDestCore, id, payload, length, 0) == 0;
}

void CoreStream::close() {
  if (!open_) return;
  open_ = false;
  core_close(send_result_);
  g_awaited.store(nullptr, std::memory_order_release);
}
