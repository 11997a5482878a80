#include "common/json_writer.h"

#include <cmath>
#include <cstdio>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace {

// What each byte becomes inside a JSON text: 0 copies it; a letter is the character after the
// backslash of a short escape; 'u' a \u00XX escape.
constexpr std::array<char, 256> kEscape = [] {
  std::array<char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 'u';
  table['\b'] = 'b';
  table['\n'] = 'n';
  table['\r'] = 'r';
  table['\t'] = 't';
  table['\f'] = 'f';
  table['"'] = '"';
  table['\\'] = '\\';
  table['/'] = '/';
  return table;
}();

constexpr char kHex[] = "0123456789abcdef";

// The longest text one byte can become (\u00XX).
constexpr size_t kMaxEscaped = 6;

}  // namespace

JsonWriter::JsonWriter(size_t reserve) {
  open_.reserve(8);
  if (reserve > 0) grow(reserve);
}

void JsonWriter::grow(size_t n) {
  // At least double, so a long document is copied a logarithmic number of times; one byte more
  // than asked for the terminator.
  const size_t capacity = std::max({size_ + n + 1, 2 * capacity_, size_t{256}});
  auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
  if (size_ > 0) std::memcpy(bigger.get(), buffer_.get(), size_);
  buffer_ = std::move(bigger);
  capacity_ = capacity;
}

const char* JsonWriter::c_str() const {
  if (buffer_ == nullptr) return "";
  buffer_[size_] = '\0';  // room() always leaves this byte free
  return buffer_.get();
}

void JsonWriter::before_value() {
  if (open_.empty()) return;
  Open& inner = open_.back();
  if (inner == Open::kArray) {
    put(", ");
  } else if (inner == Open::kArrayEmpty) {
    put(" ");
    inner = Open::kArray;
  }
}

JsonWriter& JsonWriter::begin_object() {
  before_value();
  put("{");
  open_.push_back(Open::kObjectEmpty);
  return *this;
}

JsonWriter& JsonWriter::end_object() {
  // An empty object prints "{ }" as well: the opening brace, then " }".
  put(" }");
  if (!open_.empty()) open_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::begin_array() {
  before_value();
  put("[");
  open_.push_back(Open::kArrayEmpty);
  return *this;
}

JsonWriter& JsonWriter::end_array() {
  put(" ]");
  if (!open_.empty()) open_.pop_back();
  return *this;
}

char* JsonWriter::begin_key(size_t key_room) {
  // One room for the separator, the key and the colon: keys are short and many (a page of plans
  // prints a thousand of them).
  char* out = room(3 + key_room + 3);
  if (open_.empty()) {
    *out++ = '"';
  } else if (open_.back() == Open::kObject) {
    std::memcpy(out, ", \"", 3);
    out += 3;
  } else {
    std::memcpy(out, " \"", 2);
    out += 2;
    open_.back() = Open::kObject;
  }
  return out;
}

JsonWriter& JsonWriter::key(std::string_view key) {
  size_ = static_cast<size_t>(begin_key(key.size() * kMaxEscaped) - buffer_.get());
  put_escaped(key, true);
  std::memcpy(buffer_.get() + size_, "\": ", 3);
  size_ += 3;
  return *this;
}

JsonWriter& JsonWriter::plain_key(std::string_view key) {
  char* out = begin_key(key.size());
  std::memcpy(out, key.data(), key.size());
  std::memcpy(out + key.size(), "\": ", 3);
  size_ = static_cast<size_t>(out + key.size() + 3 - buffer_.get());
  return *this;
}

JsonWriter& JsonWriter::integer(int64_t number) {
  before_value();
  constexpr size_t kDigits = 20;  // "-9223372036854775808"
  char* out = room(kDigits);
  size_ = static_cast<size_t>(std::to_chars(out, out + kDigits, number).ptr - buffer_.get());
  return *this;
}

JsonWriter& JsonWriter::value(double number) {
  before_value();
  char text[40];
  int n = 0;
  if (std::isnan(number)) {
    n = std::snprintf(text, sizeof text, "NaN");
  } else if (std::isinf(number)) {
    n = std::snprintf(text, sizeof text, number < 0 ? "-Infinity" : "Infinity");
  } else {
    n = std::snprintf(text, sizeof text, "%.17g", number);
    // A whole number keeps a decimal point, so that it reads back as a double.
    if (n > 0 && std::strpbrk(text, ".eE") == nullptr && n + 2 < static_cast<int>(sizeof text)) {
      text[n++] = '.';
      text[n++] = '0';
      text[n] = '\0';
    }
  }
  if (n > 0) std::memcpy(room(static_cast<size_t>(n)), text, static_cast<size_t>(n));
  size_ += static_cast<size_t>(n > 0 ? n : 0);
  return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
  before_value();
  if (flag) {
    put("true");
  } else {
    put("false");
  }
  return *this;
}

JsonWriter& JsonWriter::null() {
  before_value();
  put("null");
  return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
  before_value();
  put("\"");
  put_escaped(text, false);
  put("\"");
  return *this;
}

JsonWriter& JsonWriter::value(const char* text) {
  if (text == nullptr) return null();
  return value(std::string_view(text));
}

JsonWriter& JsonWriter::field(const char* text, size_t width) {
  if (text == nullptr) return value(std::string_view());
  return value(std::string_view(text, strnlen(text, width)));
}

namespace {

// True when one of the 8 bytes of `w` needs an escape: below 0x20, '"', '\\' or '/'. Bytes of
// 0x80 and above never do (UTF-8 is copied as it is).
bool special8(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  auto has_zero = [](uint64_t x) { return (x - kOnes) & ~x & kHighs; };
  const uint64_t below_space = (w - 0x20 * kOnes) & ~w & kHighs;
  return (below_space | has_zero(w ^ ('"' * kOnes)) | has_zero(w ^ ('\\' * kOnes)) | has_zero(w ^ ('/' * kOnes))) != 0;
}

}  // namespace

void JsonWriter::put_escaped(std::string_view text, bool key) {
  if (text.empty()) return;  // an empty view may have no data pointer to copy from
  // Room for the worst case up front; runs of plain bytes are then copied whole. Plain bytes are
  // passed over eight at a time: the keys and texts of a long page are nearly all plain.
  char* out = room(text.size() * kMaxEscaped);
  if (text.size() < 16) {
    // Short texts (most keys and values) are copied byte by byte while they are plain; the rest,
    // from the first byte that needs care, takes the general way below.
    size_t i = 0;
    while (i < text.size() && kEscape[static_cast<unsigned char>(text[i])] == 0) {
      out[i] = text[i];
      ++i;
    }
    size_ += i;
    if (i == text.size()) return;
    out += i;
    text.remove_prefix(i);
  }
  const char* run = text.data();  // start of the bytes not yet copied
  const char* const end = text.data() + text.size();
  const char* p = run;
  for (;;) {
    while (end - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, sizeof w);
      if (special8(w)) break;
      p += 8;
    }
    if (p == end) break;
    const char code = kEscape[static_cast<unsigned char>(*p)];
    if (code == 0) {
      ++p;
      continue;
    }
    std::memcpy(out, run, static_cast<size_t>(p - run));
    out += p - run;
    run = p + 1;
    if (code == 'u') {
      const auto byte = static_cast<unsigned char>(*p);
      if (byte == 0 && key) {
        run = p;
        break;
      }
      const char escape[kMaxEscaped] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xf]};
      std::memcpy(out, escape, sizeof escape);
      out += sizeof escape;
    } else {
      out[0] = '\\';
      out[1] = code;
      out += 2;
    }
    ++p;
  }
  std::memcpy(out, run, static_cast<size_t>(p - run));
  out += p - run;
  size_ = static_cast<size_t>(out - buffer_.get());
}
