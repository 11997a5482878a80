// What every handler uses to read its request, write its reply, tell the core and store settings:
// one contract each.
#pragma once

#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/exchange.h"
#include "common/record_json.h"
#include "common/json_writer.h"
#include "common/web_utils.h"
#include "platform/zvdb/engine.h"

// ---- Requests -------------------------------------------------------------------------------

struct JsonDeleter {
  void operator()(json_object* object) const { json_object_put(object); }
};
using JsonPtr = std::unique_ptr<json_object, JsonDeleter>;

// The request's JSON object; null when the argument is absent, not JSON, or JSON that is not an
// object (a handler refuses all three alike).
JsonPtr parse_request(const char* argument);

// The request's JSON object read into `record` through its schema (or the form `schema`): false,
// with the record untouched, when the argument is not a JSON object or the read refuses it.
bool read_request(const char* argument, const zvrec::Schema& schema, void* record);
template <class T>
bool read_request(const char* argument, T* record) {
  return read_request(argument, zvrec::schema_of<T>(), record);
}

// A channel number given as plain text: a decimal integer as atoi reads it ("7" -> 7, "x" -> 0);
// values beyond the int range are clamped.
int decimal_argument(const char* argument);

// True when the request came as a multipart upload (POST, multipart/form-data): only such a
// request can hand a handler a file path; a query or a JSON body never names a file.
bool request_is_upload();

// A decimal integer argument ("3", " 3 "): blanks around it allowed, nothing else. False when the
// text is null, empty, not a number or outside int32.
bool parse_decimal(const char* text, int32_t* out);

// Reads the integer elements of `array` into out[0..]: min(count, array length, capacity)
// elements are looked at; an element that is not an integer (absent, of another type, out of
// int32) is skipped. Returns how many were stored (packed from out[0]).
size_t read_int_list(json_object* array, size_t count, int32_t* out, size_t capacity);
// The same, but the first element that is not an integer ends the list (lists whose entries pair
// up by position: session ids, speeds, channels).
size_t read_int_prefix(json_object* array, size_t count, int32_t* out, size_t capacity);

// ---- Channel members ------------------------------------------------------------------------
// One reader for the member that names a request's channel (or another numbered item: a profile,
// a counting group, a POS terminal). Its contract: the number 0..last under `key`; false, with
// *value untouched, when the request is null or not an object, the member is absent, of another
// type or not a whole int32, or the number is outside 0..last. An absent channel is refused,
// never read as channel 0.

// What a handler answers when the reader refuses: a reply_cgi_error kind (REPLY_TEXT, REPLY_JSON
// or kNoReply) for a member that is missing (absent, another type, no request) and for one out of
// 0..last. Most handlers answer both alike; one kind converts to that.
inline constexpr int kNoReply = -1;
struct ChannelRefusal {
  constexpr ChannelRefusal(int kind) : missing(kind), out_of_range(kind) {}
  constexpr ChannelRefusal(int missing_kind, int out_of_range_kind)
      : missing(missing_kind), out_of_range(out_of_range_kind) {}
  int missing;
  int out_of_range;
};

// The reader alone: writes nothing, the caller answers.
bool read_channel_member(json_object* request, const char* key, int32_t last, int32_t* value);
// The reader with the handler's refusal, written when it returns false.
bool read_channel_member(json_object* request, const char* key, int32_t last, int32_t* value,
                         ChannelRefusal refusal);
// The request of `argument` when it names a channel (read_channel_member with `refusal`); null,
// with the refusal written, when it does not (an argument that is not a JSON object is missing).
JsonPtr channel_request(const char* argument, const char* key, int32_t last, int32_t* value,
                        ChannelRefusal refusal);

// ---- Channel masks --------------------------------------------------------------------------
// Bit n is channel n. Shifts are checked: a channel outside the mask's width sets nothing and
// tests false.

constexpr uint64_t channel_bit64(int channel) {
  return channel >= 0 && channel < 64 ? uint64_t{1} << channel : 0;
}
constexpr uint32_t channel_bit32(int channel) {
  return channel >= 0 && channel < 32 ? uint32_t{1} << channel : 0;
}
// The '0'/'1' text of a mask: character i is bit i; `bits` characters, NUL-terminated
// (out holds bits + 1 bytes).
void mask_text(uint64_t mask, int bits, char* out);
// The mask a '0'/'1' text gives: character i == '1' sets bit i, for i < bits; the text ends at its
// NUL or after `bits` characters.
uint64_t mask_of_text(const char* text, int bits);

// ---- Replies --------------------------------------------------------------------------------

// The JSON reply: the JSON header, then the text.
void reply_json(json_object* object);
void reply_json(const JsonWriter& writer);
// A record printed through its schema (or the form `schema`) as the JSON reply.
void reply_record(const zvrec::Schema& schema, const void* record);
template <class T>
void reply_record(const T& record) {
  reply_record(zvrec::schema_of<T>(), &record);
}
// "OK" as a text reply.
void reply_ok();
// `text` as a text reply.
void reply_text(const char* text);

// ---- Settings writes ------------------------------------------------------------------------
// Everything one request stores, as one transaction: the request lock (/tmp/cgilockfile) and
// one database write batch for the scope's life. Each write's result goes through check();
// commit() is true only when every checked write succeeded and the batch was stored durably.
// A handler commits before its first notice to the core; when commit() is false it answers with
// its failure reply and sends no notice and no operation-log record.
//
//   SettingsWrite write;
//   write.check(zvdb::kOsd.write(kZvdbPath, &osd));
//   if (!write.commit()) return reply_failed();
//   core_tell(kOsdChanged, notice);
class SettingsWrite {
 public:
  explicit SettingsWrite(const char* path = nullptr);
  ~SettingsWrite();
  SettingsWrite(const SettingsWrite&) = delete;
  SettingsWrite& operator=(const SettingsWrite&) = delete;

  // Notes the result of one write (0 = stored). Returns true when it succeeded.
  bool check(int result) {
    if (result != 0) failed_ = true;
    return result == 0;
  }
  bool failed() const { return failed_; }
  // Stores everything, or nothing when a write failed (rolled back). True when stored.
  bool commit();

 private:
  LockFile lock_;
  std::unique_ptr<zvdb::WriteBatch> batch_;
  bool failed_ = false;
  bool done_ = false;
};
