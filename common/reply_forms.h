// Small reply forms that many handlers answer with, each written once with one contract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>

#include "common/exchange.h"
#include "common/reply.h"
#include "common/request.h"
#include "platform/zvrecord/schema.h"

// {"<key>": value} as the JSON reply.
void reply_int_member(const char* key, int32_t value);
// {"<key>": "<text>"} as the JSON reply: the one-member answers of the status kind
// ({"status": "OK"}, {"resultString": "Succeed"}).
void reply_text_member(const char* key, const char* text);
// {"<key>": <the int32 the core answered>}; nothing when there is no reply (core_ask has written
// the error form) or when the reply holds no whole int32. True when the reply was written.
bool reply_int_member(const char* key, const std::optional<CoreReply>& reply);
// {"res": res} as the JSON reply.
void reply_res(int32_t res);
// {"res": <the int32 the core answered>}, as reply_int_member.
void reply_core_res(const std::optional<CoreReply>& reply);
// The first record of the core's reply, of type T, printed through its schema as the JSON reply.
// No reply: nothing (core_ask has written the error form); a reply without a whole record:
// reply_cgi_error(short_kind), which writes nothing for the default -1.
template <class T>
void reply_core_record(const std::optional<CoreReply>& reply, int short_kind = -1) {
  T record{};
  if (!reply) return;
  if (!reply->first(&record)) return (void)reply_cgi_error(short_kind);
  reply_record(record);
}
// The core's int32 status as a text reply: `ok` for 0, `failed` for any other status and for a
// reply without a whole int32; nothing when there is no reply (the error form was written).
void reply_status_words(const std::optional<CoreReply>& reply, const char* ok, const char* failed);

// One part of a reply object: the fields of `record` printed through `schema` (its own or a form).
struct FieldsPart {
  zvrec::Schema schema;
  const void* record;
};
// The fields of every part, in order, as one JSON object reply (`reserve`: the expected size).
void reply_fields(std::initializer_list<FieldsPart> parts, size_t reserve = 512);
