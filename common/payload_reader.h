// A bounded, typed view of a reply payload. Reply callbacks never trust the core: every read
// checks that the bytes lie inside the payload, record counts are clamped to what the payload
// holds and to the caller's capacity, and fixed-width texts are read with a bound of their width
// (a text without its NUL stops at the field's end). Reads copy with memcpy, so the payload's
// alignment does not matter.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/zvsocket/zvsocket.h"

class PayloadReader {
 public:
  // `payload` may be null (then the reader is empty whatever `length` says).
  PayloadReader(const void* payload, size_t length)
      : data_(static_cast<const unsigned char*>(payload)), length_(payload != nullptr ? length : 0) {}
  // The view a reply callback gets: length from the header, payload as delivered.
  PayloadReader(const ZvMsgHeader* header, const void* payload)
      : PayloadReader(payload, header != nullptr ? header->length : 0) {}

  size_t length() const { return length_; }
  bool empty() const { return length_ == 0; }
  bool holds(size_t offset, size_t size) const { return offset <= length_ && size <= length_ - offset; }

  // Pointer to `size` bytes at `offset`, or null when they are not all inside the payload.
  const unsigned char* bytes(size_t offset, size_t size) const {
    return holds(offset, size) ? data_ + offset : nullptr;
  }

  // Copies a trivially copyable value at `offset`; false (out untouched) when not all inside.
  template <class T>
  bool read(size_t offset, T* out) const {
    static_assert(std::is_trivially_copyable_v<T>);
    if (out == nullptr || !holds(offset, sizeof(T))) return false;
    memcpy(out, data_ + offset, sizeof(T));
    return true;
  }

  // The int32 at `offset`, or `fallback` when the payload is too short.
  int32_t int32_at(size_t offset, int32_t fallback = 0) const {
    int32_t value = fallback;
    read(offset, &value);
    return value;
  }

  // Number of whole records of `record_size` bytes, at most `capacity`.
  size_t record_count(size_t record_size, size_t capacity = SIZE_MAX) const {
    if (record_size == 0) return 0;
    return std::min(length_ / record_size, capacity);
  }
  template <class T>
  size_t record_count(size_t capacity = SIZE_MAX) const {
    return record_count(sizeof(T), capacity);
  }

  // Copies record `index` (records of sizeof(T) bytes from offset 0) when all of it is inside.
  template <class T>
  bool record(size_t index, T* out) const {
    if (index >= record_count<T>()) return false;
    return read(index * sizeof(T), out);
  }

  // Copies the first min(record count, capacity) records into `out`; returns how many.
  template <class T>
  size_t copy_records(T* out, size_t capacity) const {
    static_assert(std::is_trivially_copyable_v<T>);
    if (out == nullptr) return 0;
    size_t count = record_count<T>(capacity);
    if (count > 0) memcpy(out, data_, count * sizeof(T));
    return count;
  }

  // A fixed-width text field of `width` bytes at `offset`: the bytes up to the first NUL or the
  // field's end. Empty when the field is not wholly inside the payload.
  std::string_view text(size_t offset, size_t width) const {
    if (width == 0 || !holds(offset, width)) return {};  // (an empty payload has no data pointer)
    const char* start = reinterpret_cast<const char*>(data_ + offset);
    return std::string_view(start, strnlen(start, width));
  }

  // The same text copied into buffer (NUL-terminated, cut to size - 1). Returns false (buffer "")
  // when the field is not wholly inside the payload.
  bool read_text(size_t offset, size_t width, char* buffer, size_t size) const {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    if (!holds(offset, width)) return false;
    std::string_view value = text(offset, width);
    size_t n = std::min(value.size(), size - 1);
    memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return true;
  }

 private:
  const unsigned char* data_;
  size_t length_;
};

// The text of a fixed-width char field of a record already copied out of a payload: up to the
// first NUL or the field's end.
template <size_t N>
std::string_view field_text(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

// Copies a fixed-width field's text into buffer, NUL-terminated and cut to size - 1.
template <size_t N>
void copy_field_text(char* buffer, size_t size, const char (&field)[N]) {
  if (buffer == nullptr || size == 0) return;
  std::string_view value = field_text(field);
  size_t n = std::min(value.size(), size - 1);
  memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
}
