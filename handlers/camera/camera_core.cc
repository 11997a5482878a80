#include "handlers/camera/camera_core.h"

#include <atomic>

#include "common/core_client.h"
#include "common/json_fields.h"
#include "handlers/camera/camera_module.h"
#include "handlers/video/video_common.h"

namespace {

// The reply the current request waits for. Published before the message is sent and withdrawn
// after core_request returned (the connection is closed by then, so no callback still runs).
struct AwaitedReply {
  int32_t reply_id = 0;
  size_t min_length = 0;
  ReplyBytes bytes;
};
std::atomic<AwaitedReply*> g_awaited{nullptr};

}  // namespace

void keep_awaited_reply(const ZvMsgHeader* header, const void* payload) {
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

std::optional<ReplyBytes> ask_core(int32_t msg_id, const void* payload, uint32_t length,
                                   int32_t reply_id, size_t min_length, int error_kind) {
  AwaitedReply awaited;
  awaited.reply_id = reply_id;
  awaited.min_length = min_length;
  g_awaited.store(&awaited, std::memory_order_release);
  const int32_t flag = core_request(camera_reply_callback, msg_id, length, payload, error_kind);
  g_awaited.store(nullptr, std::memory_order_release);
  if (flag == 0) return std::nullopt;
  return std::move(awaited.bytes);
}

void add_int(json_object* object, const char* key, int32_t value) {
  json_object_object_add(object, key, json_object_new_int(value));
}

void add_text(json_object* object, const char* key, const char* field, size_t width) {
  json_object_object_add(object, key, json_text_field(field, width));
}

bool read_channel_member(const char* argument, const char* key, int32_t max, int32_t* channel) {
  JsonPtr request = parse_request(argument);
  return request && read_json_members(request.get(), {int_member(key, channel).required().range(0, max)});
}

void mask_text(uint64_t mask, char out[65]) {
  for (int i = 0; i < 64; ++i) out[i] = ((mask >> i) & 1u) != 0 ? '1' : '0';
  out[64] = '\0';
}
