#include "common/json_fields.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

json_object* member_of(json_object* object, const char* key) {
  json_object* member = nullptr;
  if (object == nullptr || key == nullptr || !json_object_is_type(object, json_type_object)) return nullptr;
  if (!json_object_object_get_ex(object, key, &member)) return nullptr;
  return member;  // null for a JSON null
}

// A decimal integer text: optional blanks, optional sign, digits, optional blanks; nothing else.
bool parse_int_text(const char* text, int64_t* out) {
  if (text == nullptr) return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return false;
  *out = value;
  return true;
}

bool parse_double_text(const char* text, double* out) {
  if (text == nullptr) return false;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

// The integer value of a number-like JSON value, as a 64-bit value (range checked by the caller).
bool wide_int(json_object* value, int64_t* out) {
  if (value == nullptr) return false;
  switch (json_object_get_type(value)) {
    case json_type_int:
      *out = json_object_get_int64(value);
      return true;
    case json_type_boolean:
      *out = json_object_get_boolean(value) ? 1 : 0;
      return true;
    case json_type_double: {
      const double d = json_object_get_double(value);
      if (!std::isfinite(d) || d < -9.2e18 || d > 9.2e18) return false;
      *out = static_cast<int64_t>(d);  // truncated toward zero, as the JSON library's int read
      return true;
    }
    case json_type_string:
      return parse_int_text(json_object_get_string(value), out);
    default:
      return false;
  }
}

bool fits_int32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

}  // namespace

bool json_value_int(json_object* value, int32_t* out) {
  int64_t wide = 0;
  if (!wide_int(value, &wide) || !fits_int32(wide)) return false;
  *out = static_cast<int32_t>(wide);
  return true;
}

bool json_value_int64(json_object* value, int64_t* out) { return wide_int(value, out); }

bool json_value_double(json_object* value, double* out) {
  if (value == nullptr) return false;
  switch (json_object_get_type(value)) {
    case json_type_int:
      *out = static_cast<double>(json_object_get_int64(value));
      return true;
    case json_type_double: {
      const double d = json_object_get_double(value);
      if (!std::isfinite(d)) return false;
      *out = d;
      return true;
    }
    case json_type_boolean:
      *out = json_object_get_boolean(value) ? 1.0 : 0.0;
      return true;
    case json_type_string:
      return parse_double_text(json_object_get_string(value), out);
    default:
      return false;
  }
}

bool json_value_text(json_object* value, char* buffer, size_t size) {
  if (value == nullptr || !json_object_is_type(value, json_type_string) || buffer == nullptr || size == 0) {
    return false;
  }
  copy_text_field(buffer, size, json_object_get_string(value));
  return true;
}

json_object* json_array_of(json_object* object, const char* key) {
  json_object* member = member_of(object, key);
  return member != nullptr && json_object_is_type(member, json_type_array) ? member : nullptr;
}

bool json_int_of(json_object* object, const char* key) {
  int32_t value = 0;
  return json_value_int(member_of(object, key), &value);
}

size_t json_array_size(json_object* array) {
  if (array == nullptr || !json_object_is_type(array, json_type_array)) return 0;
  return json_object_array_length(array);
}

json_object* json_array_at(json_object* array, size_t i) {
  if (i >= json_array_size(array)) return nullptr;
  return json_object_array_get_idx(array, i);
}

namespace {

// The length of the first `n` bytes of `text` without a character the cut at n left incomplete:
// a text cut to a field's width ends on a whole UTF-8 character, so what is stored and printed
// back stays valid. Looks only at bytes before n (the text may be a fixed field without a NUL).
size_t utf8_whole_prefix(const char* text, size_t n) {
  for (size_t back = 1; back <= 4 && back <= n; ++back) {
    const auto b = static_cast<unsigned char>(text[n - back]);
    if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    return back < need ? n - back : n;
  }
  return n;
}

}  // namespace

void copy_text_field(char* field, size_t size, const char* text, size_t max_chars) {
  if (field == nullptr || size == 0) return;
  if (text == nullptr) text = "";
  size_t limit = size - 1;
  if (max_chars < limit) limit = max_chars;
  size_t n = strnlen(text, limit);
  if (n == limit) n = utf8_whole_prefix(text, n);
  std::memcpy(field, text, n);
  // NUL-padded to the width: a shorter text over a longer one leaves no tail of the old one.
  std::memset(field + n, 0, size - n);
}

json_object* json_text_field(const char* field, size_t size) {
  if (field == nullptr) return json_object_new_string("");
  return json_object_new_string_len(field, static_cast<int>(strnlen(field, size)));
}

namespace {

// What one member holds after checking, before anything is written.
struct Checked {
  bool present = false;
  int32_t int_value = 0;
  int64_t int64_value = 0;
  double double_value = 0;
  const char* text = nullptr;
  json_object* node = nullptr;
};

// Checks one member of `object`: false when the read must fail; otherwise `c` says whether the
// member is present and holds its value.
bool check_member(json_object* object, const JsonMember& m, Checked& c) {
  json_object* value = member_of(object, m.key());
  switch (m.kind()) {
    case JsonMember::Kind::kInt: {
      int64_t wide = 0;
      if (wide_int(value, &wide)) {
        if (!fits_int32(wide) || !m.in_range(static_cast<double>(wide))) return false;
        c.present = true;
        c.int_value = static_cast<int32_t>(wide);
      }
      break;
    }
    case JsonMember::Kind::kInt64: {
      int64_t wide = 0;
      if (wide_int(value, &wide)) {
        if (!m.in_range(static_cast<double>(wide))) return false;
        c.present = true;
        c.int64_value = wide;
      }
      break;
    }
    case JsonMember::Kind::kDouble: {
      double d = 0;
      if (json_value_double(value, &d)) {
        if (!m.in_range(d)) return false;
        c.present = true;
        c.double_value = d;
      }
      break;
    }
    case JsonMember::Kind::kText:
      if (value != nullptr && json_object_is_type(value, json_type_string)) {
        const auto length = static_cast<size_t>(json_object_get_string_len(value));
        if (!valid_request_text(json_object_get_string(value), length) || !m.fits(length)) return false;
        c.present = true;
        c.text = json_object_get_string(value);
      }
      break;
    case JsonMember::Kind::kArray:
    case JsonMember::Kind::kObject: {
      const json_type wanted = m.kind() == JsonMember::Kind::kArray ? json_type_array : json_type_object;
      if (value != nullptr && json_object_is_type(value, wanted)) {
        c.present = true;
        c.node = value;
      }
      break;
    }
  }
  return c.present || !m.is_required();
}

}  // namespace

void JsonMember::store(const void* checked) const {
  const Checked& c = *static_cast<const Checked*>(checked);
  if (present_ != nullptr) *present_ = c.present;
  if (!c.present && keep_) return;
  switch (kind_) {
    case Kind::kInt:
      *static_cast<int32_t*>(dest_) = c.present ? c.int_value : absent_int_;
      break;
    case Kind::kInt64:
      *static_cast<int64_t*>(dest_) = c.present ? c.int64_value : absent_int_;
      break;
    case Kind::kDouble:
      *static_cast<double*>(dest_) = c.present ? c.double_value : static_cast<double>(absent_int_);
      break;
    case Kind::kText:
      copy_text_field(static_cast<char*>(dest_), width_, c.present ? c.text : absent_text_, max_chars_);
      break;
    case Kind::kArray:
    case Kind::kObject:
      *static_cast<json_object**>(dest_) = c.node;
      break;
  }
}

bool read_json_members(json_object* object, std::span<const JsonMember> members) {
  if (object == nullptr || !json_object_is_type(object, json_type_object)) return false;
  // Check every member first, then write: a refused request leaves every destination untouched.
  for (const JsonMember& m : members) {
    Checked c;
    if (!check_member(object, m, c)) return false;
  }
  for (const JsonMember& m : members) {
    Checked c;
    check_member(object, m, c);
    m.store(&c);
  }
  return true;
}

bool valid_request_text(const char* text, size_t length) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    const unsigned char c = s[i];
    if (c == 0) return false;
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t n = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
      cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2;
      cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      cp = c & 0x07u;
    } else {
      return false;
    }
    if (length - i <= n) return false;
    for (size_t k = 1; k <= n; ++k) {
      if ((s[i + k] & 0xC0u) != 0x80u) return false;
      cp = (cp << 6) | (s[i + k] & 0x3Fu);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += n + 1;
  }
  return true;
}
