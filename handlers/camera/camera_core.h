// How the camera handlers wait for the core, and small JSON helpers they share.
//
// A waiting handler names the reply it expects; the module's callback keeps that reply's payload
// (claiming the request's reply, core_client.h) and the handler prints it once core_request has
// returned. Replies of other ids, and replies shorter than the handler's minimum, are ignored, so
// the handler runs out its budget and answers with its error reply.
#pragma once

#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

#include "common/payload_reader.h"
#include "platform/zvsocket/zvsocket.h"

using ReplyBytes = std::vector<unsigned char>;

// Sends `msg_id` with `length` bytes of `payload` and waits for the reply `reply_id` carrying at
// least `min_length` bytes (and never a null payload). Returns its payload; nullopt when it did
// not come, in which case reply_cgi_error(error_kind) has been written.
std::optional<ReplyBytes> ask_core(int32_t msg_id, const void* payload, uint32_t length,
                                   int32_t reply_id, size_t min_length, int error_kind);
template <class T>
std::optional<ReplyBytes> ask_core(int32_t msg_id, const T& payload, int32_t reply_id,
                                   size_t min_length, int error_kind) {
  static_assert(std::is_trivially_copyable_v<T>);
  return ask_core(msg_id, &payload, sizeof payload, reply_id, min_length, error_kind);
}

// The module callback's work: keeps the awaited reply (see above).
void keep_awaited_reply(const ZvMsgHeader* header, const void* payload);

inline PayloadReader reader_of(const ReplyBytes& bytes) { return PayloadReader(bytes.data(), bytes.size()); }

void add_int(json_object* object, const char* key, int32_t value);
// A fixed-width text field (bounded by its width, up to the first NUL).
template <size_t N>
void add_text(json_object* object, const char* key, const char (&field)[N]);
void add_text(json_object* object, const char* key, const char* field, size_t width);

template <size_t N>
void add_text(json_object* object, const char* key, const char (&field)[N]) {
  add_text(object, key, field, N);
}

// Reads the {"<key>": channel} member of a request that serves channels 0..max; false when the
// argument is not JSON or the member is absent, of another type or out of range.
bool read_channel_member(const char* argument, const char* key, int32_t max, int32_t* channel);

// A '0'/'1' text of the 64 bits of a mask, character i for bit i, into a 65-byte buffer.
void mask_text(uint64_t mask, char out[65]);
