#include "common/request.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <strings.h>

#include "common/json_fields.h"
#include "common/reply.h"
#include "platform/zvdb/zvdb.h"

JsonPtr parse_request(const char* argument) {
  JsonPtr request(parse_json_text(argument));
  if (request != nullptr && !json_object_is_type(request.get(), json_type_object)) request.reset();
  return request;
}

bool read_request(const char* argument, const zvrec::Schema& schema, void* record) {
  JsonPtr request = parse_request(argument);
  return request && read_record(request.get(), schema, record);
}

int decimal_argument(const char* argument) {
  if (argument == nullptr) return 0;
  errno = 0;
  const long value = std::strtol(argument, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool request_is_upload() {
  const char* method = getenv("REQUEST_METHOD");
  const char* type = getenv("CONTENT_TYPE");
  constexpr char kMultipart[] = "multipart/form-data";
  return method != nullptr && strcasecmp(method, "POST") == 0 && type != nullptr &&
         strncasecmp(type, kMultipart, sizeof kMultipart - 1) == 0;
}

bool parse_decimal(const char* text, int32_t* out) {
  if (text == nullptr) return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
  if (*end != '\0') return false;
  *out = static_cast<int32_t>(value);
  return true;
}

size_t read_int_list(json_object* array, size_t count, int32_t* out, size_t capacity) {
  const size_t n = std::min({count, json_array_size(array), capacity});
  size_t stored = 0;
  for (size_t i = 0; i < n; ++i) {
    if (json_value_int(json_array_at(array, i), &out[stored])) ++stored;
  }
  return stored;
}

size_t read_int_prefix(json_object* array, size_t count, int32_t* out, size_t capacity) {
  const size_t n = std::min({count, json_array_size(array), capacity});
  size_t stored = 0;
  while (stored < n && json_value_int(json_array_at(array, stored), &out[stored])) ++stored;
  return stored;
}

namespace {

enum class ChannelRead { kRead, kMissing, kOutOfRange };

ChannelRead read_channel_value(json_object* request, const char* key, int32_t last, int32_t* value) {
  int32_t v = -1;
  if (request == nullptr || !read_json_members(request, {int_member(key, &v).required()})) return ChannelRead::kMissing;
  if (v < 0 || v > last) return ChannelRead::kOutOfRange;
  *value = v;
  return ChannelRead::kRead;
}

}  // namespace

bool read_channel_member(json_object* request, const char* key, int32_t last, int32_t* value) {
  return read_channel_value(request, key, last, value) == ChannelRead::kRead;
}

bool read_channel_member(json_object* request, const char* key, int32_t last, int32_t* value,
                         ChannelRefusal refusal) {
  switch (read_channel_value(request, key, last, value)) {
    case ChannelRead::kRead:
      return true;
    case ChannelRead::kMissing:
      reply_cgi_error(refusal.missing);
      return false;
    case ChannelRead::kOutOfRange:
      reply_cgi_error(refusal.out_of_range);
      return false;
  }
  return false;
}

JsonPtr channel_request(const char* argument, const char* key, int32_t last, int32_t* value,
                        ChannelRefusal refusal) {
  JsonPtr request = parse_request(argument);
  if (!read_channel_member(request.get(), key, last, value, refusal)) request.reset();
  return request;
}

void mask_text(uint64_t mask, int bits, char* out) {
  const int n = std::clamp(bits, 0, 64);
  for (int i = 0; i < n; ++i) out[i] = ((mask >> i) & 1u) != 0 ? '1' : '0';
  out[n] = '\0';
}

uint64_t mask_of_text(const char* text, int bits) {
  if (text == nullptr) return 0;
  const int n = std::clamp(bits, 0, 64);
  uint64_t mask = 0;
  for (int i = 0; i < n && text[i] != '\0'; ++i) {
    if (text[i] == '1') mask |= channel_bit64(i);
  }
  return mask;
}

void reply_json(json_object* object) { write_reply(REPLY_JSON, json_object_to_json_string(object)); }
void reply_json(const JsonWriter& writer) { write_reply(REPLY_JSON, writer.c_str()); }
void reply_record(const zvrec::Schema& schema, const void* record) {
  JsonWriter w(512);
  write_object(w, schema, record);
  reply_json(w);
}

void reply_ok() { write_reply(REPLY_TEXT, "OK"); }
void reply_text(const char* text) { write_reply(REPLY_TEXT, text); }

SettingsWrite::SettingsWrite(const char* path)
    : batch_(std::make_unique<zvdb::WriteBatch>(path != nullptr ? path : kZvdbPath)) {
  if (!lock_.locked() || !batch_->ok()) failed_ = true;
}

SettingsWrite::~SettingsWrite() {
  if (!done_) batch_->rollback();
}

// The request lock goes with the commit: the notices a handler sends afterwards may wait on a busy
// core for minutes, and every other settings save would wait with them.
bool SettingsWrite::commit() {
  if (done_) return false;
  done_ = true;
  bool stored = false;
  if (failed_) {
    batch_->rollback();
  } else {
    stored = batch_->commit() == 0;
  }
  lock_.release();
  return stored;
}
