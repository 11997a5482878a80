// A streaming JSON writer for large replies. It appends the text of a document straight to a
// growing buffer, in the exact layout the JSON library prints a tree with its default flags:
//
//   { "id": 2, "name": "CAM3", "IPC": [ { "id": 1 }, 7 ], "empty": { }, "none": [ ] }
//
// Building a tree first costs an allocation per key and value and a hash table per object; the
// writer makes the same bytes with one growing buffer, which matters for replies of thousands of
// members printed by a process that lives for one request.
//
//   JsonWriter w;
//   w.begin_object();
//   w.key("IPC").begin_array();
//   w.begin_object().key("id").value(record.id).key("ipAddr").field(record.ip_addr).end_object();
//   w.end_array();
//   w.key("maxIPCNums").value(32);
//   w.end_object();
//   write_reply(REPLY_JSON, w.c_str());
//
// Texts (keys and values) are escaped as the library does: \b \n \r \t \f \" \\ and "/" as "\/",
// other bytes below 0x20 as \u00XX (lowercase hex), every other byte as it is. The caller keeps the
// structure well formed (a key before each member value, keys unique within an object, every
// begin matched by its end); the writer does not reorder or check it.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

class JsonWriter {
 public:
  // `reserve`: bytes to reserve for the text up front (an estimate of the reply size).
  explicit JsonWriter(size_t reserve = 0);

  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();

  // The key of the next member of the current object. Keys are C strings for the library, so a
  // key ends at its first NUL byte.
  JsonWriter& key(std::string_view key);
  // The same for a key that needs no escaping (a schema's keys, checked when compiling): copied
  // as it is.
  JsonWriter& plain_key(std::string_view key);

  // Integers of any type that fits int64 (unsigned 64-bit values do not).
  template <std::integral T>
    requires(!std::same_as<T, bool> && (std::is_signed_v<T> || sizeof(T) < sizeof(int64_t)))
  JsonWriter& value(T number) {
    return integer(static_cast<int64_t>(number));
  }
  JsonWriter& value(bool flag);
  // A number printed as the JSON library prints a double: "%.17g", with ".0" added to a whole
  // number ("1.0"), and NaN / Infinity / -Infinity as their names.
  JsonWriter& value(double number);
  JsonWriter& value(std::string_view text);
  // A null pointer writes null.
  JsonWriter& value(const char* text);
  JsonWriter& value(std::nullptr_t) { return null(); }
  JsonWriter& null();

  // A text kept in a fixed field that may lack its terminator (records from the database or the
  // core): at most `width` bytes, up to the first NUL; a null field writes "".
  JsonWriter& field(const char* text, size_t width);
  template <size_t N>
  JsonWriter& field(const char (&text)[N]) {
    return field(text, N);
  }

  // The text written so far; a whole document once every begin has met its end.
  std::string_view text() const { return {buffer_.get(), size_}; }
  // The same text, NUL-terminated (valid until the next write).
  const char* c_str() const;
  // True when no object or array is left open.
  bool complete() const { return open_.empty(); }

 private:
  enum class Open : uint8_t { kObjectEmpty, kObject, kArrayEmpty, kArray };

  JsonWriter& integer(int64_t number);
  // Writes what goes before a key (the separator and the opening quote), with room after it for
  // `key_room` bytes of key and the closing quote and colon; returns where the key goes.
  char* begin_key(size_t key_room);
  // Writes what goes before a value: in an array the separator of the element; in an object
  // nothing (key() wrote it).
  void before_value();
  // Room for `n` more bytes (and the terminator c_str() adds); returns where they go.
  char* room(size_t n) {
    if (capacity_ - size_ <= n) grow(n);
    return buffer_.get() + size_;
  }
  void grow(size_t n);
  // Writes the punctuation `text` (a literal: its length is known when compiling).
  template <size_t N>
  void put(const char (&text)[N]) {
    std::memcpy(room(N - 1), text, N - 1);
    size_ += N - 1;
  }
  // Writes `text` escaped; a key stops at its first NUL byte.
  void put_escaped(std::string_view text, bool key);

  std::unique_ptr<char[]> buffer_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  std::vector<Open> open_;  // the containers open at this point, innermost last
};
