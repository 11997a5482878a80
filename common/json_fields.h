// Declarative reading of request members. A handler lists the members of its request the way the
// page sends them — key, JSON type, required or optional, allowed range, destination field and its
// width, what an absent member becomes — and reads them all in one call:
//
//   int32_t channel = 0;
//   char name[64];
//   const JsonMember members[] = {
//       int_member("camId", &channel).required().range(0, 63),
//       text_member("camName", name).required(),
//       int_member("alpha", &alpha).required().min(0),
//       int_member("interval", &interval),              // optional: absent -> 0
//       text_member("tri_channels_pic", pic),           // optional: absent -> "(null)"
//       int_member("enable", &record.enable).keep_if_absent().present(&changed),
//   };
//   if (!read_json_members(request, members)) return;   // nothing was written
//
// Rules (the same for every handler):
// - A member of the wrong JSON type counts as absent: an object, array or non-numeric text where a
//   number is expected; anything but a text where a text is expected; anything but an array (or
//   object) where one is expected; JSON null. Numbers may come as JSON numbers, booleans or
//   decimal texts ("12").
// - Required and absent: the read fails. Present and outside the member's range, or an integer
//   that does not fit 32 bits: the read fails.
// - Optional and absent: integers and numbers become 0, texts become "(null)", arrays and objects
//   null — unless the member says keep_if_absent() or gives its own absent value.
// - A text that is not valid UTF-8 fails the read (stored texts are printed back as JSON).
// - Texts are copied into their fixed field cut to the field width less one (or to max_chars),
//   always NUL-terminated.
// - All-or-nothing: every member is checked first; when the read fails no destination is written.
#pragma once

#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <span>

class JsonMember {
 public:
  enum class Kind : uint8_t { kInt, kInt64, kDouble, kText, kArray, kObject };

  // Modifiers return a changed copy, so a member reads as one expression.
  constexpr JsonMember required() const { JsonMember m = *this; m.required_ = true; return m; }
  constexpr JsonMember range(int64_t lo, int64_t hi) const {
    JsonMember m = *this; m.has_min_ = m.has_max_ = true; m.min_ = static_cast<double>(lo);
    m.max_ = static_cast<double>(hi); return m;
  }
  constexpr JsonMember min(double lo) const { JsonMember m = *this; m.has_min_ = true; m.min_ = lo; return m; }
  constexpr JsonMember max(double hi) const { JsonMember m = *this; m.has_max_ = true; m.max_ = hi; return m; }
  // Texts: keep at most n characters (and never more than the field width less one).
  constexpr JsonMember max_chars(size_t n) const { JsonMember m = *this; m.max_chars_ = n; return m; }
  // Texts: a text longer than that is refused rather than cut (a cut address would name another).
  constexpr JsonMember whole() const { JsonMember m = *this; m.whole_ = true; return m; }
  // Absent (optional) member: leave the destination as it is.
  constexpr JsonMember keep_if_absent() const { JsonMember m = *this; m.keep_ = true; return m; }
  // Absent (optional) member: this value instead of 0 / "(null)".
  constexpr JsonMember absent_value(int32_t value) const {
    JsonMember m = *this; m.absent_int_ = value; return m;
  }
  constexpr JsonMember absent_text(const char* text) const {
    JsonMember m = *this; m.absent_text_ = text; return m;
  }
  // Records whether the member was present with a usable type (set on a successful read only).
  constexpr JsonMember present(bool* flag) const { JsonMember m = *this; m.present_ = flag; return m; }

  constexpr const char* key() const { return key_; }
  constexpr Kind kind() const { return kind_; }
  constexpr bool is_required() const { return required_; }
  constexpr bool in_range(double v) const { return !(has_min_ && v < min_) && !(has_max_ && v > max_); }
  constexpr bool fits(size_t length) const { return !whole_ || (length < width_ && length <= max_chars_); }
  // Writes a checked value (used by read_json_members).
  void store(const void* checked) const;

 private:
  friend constexpr JsonMember int_member(const char*, int32_t*);
  friend constexpr JsonMember int64_member(const char*, int64_t*);
  friend constexpr JsonMember double_member(const char*, double*);
  friend constexpr JsonMember text_member(const char*, char*, size_t);
  friend constexpr JsonMember array_member(const char*, json_object**);
  friend constexpr JsonMember object_member(const char*, json_object**);

  constexpr JsonMember(const char* key, Kind kind, void* dest, size_t width)
      : key_(key), kind_(kind), dest_(dest), width_(width) {}

  const char* key_;
  Kind kind_;
  void* dest_;
  size_t width_;  // text field width in bytes
  bool required_ = false;
  bool keep_ = false;
  bool whole_ = false;
  bool has_min_ = false;
  bool has_max_ = false;
  double min_ = 0;
  double max_ = 0;
  size_t max_chars_ = SIZE_MAX;
  int32_t absent_int_ = 0;
  const char* absent_text_ = "(null)";
  bool* present_ = nullptr;
};

constexpr JsonMember int_member(const char* key, int32_t* out) {
  return JsonMember(key, JsonMember::Kind::kInt, out, sizeof *out);
}
// A 64-bit integer member (bit masks): JSON numbers and decimal texts; no 32-bit limit.
constexpr JsonMember int64_member(const char* key, int64_t* out) {
  return JsonMember(key, JsonMember::Kind::kInt64, out, sizeof *out);
}
constexpr JsonMember double_member(const char* key, double* out) {
  return JsonMember(key, JsonMember::Kind::kDouble, out, sizeof *out);
}
constexpr JsonMember text_member(const char* key, char* field, size_t width) {
  return JsonMember(key, JsonMember::Kind::kText, field, width);
}
template <size_t N>
constexpr JsonMember text_member(const char* key, char (&field)[N]) {
  return text_member(key, field, N);
}
constexpr JsonMember array_member(const char* key, json_object** out) {
  return JsonMember(key, JsonMember::Kind::kArray, out, sizeof *out);
}
constexpr JsonMember object_member(const char* key, json_object** out) {
  return JsonMember(key, JsonMember::Kind::kObject, out, sizeof *out);
}

// Reads the members from `object`. False (and nothing written) when `object` is not a JSON object,
// a required member is absent, or a present member is out of its range.
bool read_json_members(json_object* object, std::span<const JsonMember> members);
inline bool read_json_members(json_object* object, std::initializer_list<JsonMember> members) {
  return read_json_members(object, std::span<const JsonMember>(members.begin(), members.size()));
}

// The same value rules for values that are not object members (array elements):
// true with *out set when `value` is a number, boolean or decimal text that fits 32 bits.
bool json_value_int(json_object* value, int32_t* out);
// true with *out set when `value` is a number, boolean or decimal text (no 32-bit limit).
bool json_value_int64(json_object* value, int64_t* out);
// true with *out set when `value` is a finite number or numeric text.
bool json_value_double(json_object* value, double* out);
// true with the text copied (cut to size - 1, NUL-terminated) when `value` is a JSON text.
bool json_value_text(json_object* value, char* buffer, size_t size);

// True when `text` holds only whole, shortest-form UTF-8 sequences (no surrogates, nothing above
// U+10FFFF) and no NUL (which would cut the text where it is copied or stored). Request texts that
// are not are refused like any failed check.
bool valid_request_text(const char* text, size_t length);

// The member `key` of `object` when it is an array; null when absent or of another type.
json_object* json_array_of(json_object* object, const char* key);
// Whether `object` has a member `key` that json_value_int takes (a null or a text is left out).
bool json_int_of(json_object* object, const char* key);
// Element i of `array`, or null when `array` is not an array or i is outside it.
json_object* json_array_at(json_object* array, size_t i);
// Number of elements of `array` (0 when it is not an array).
size_t json_array_size(json_object* array);

// Copies `text` into a fixed field of `size` bytes: at most min(size - 1, max_chars) characters,
// the rest of the field NUL bytes; a null text copies "".
void copy_text_field(char* field, size_t size, const char* text, size_t max_chars = SIZE_MAX);
template <size_t N>
void copy_text_field(char (&field)[N], const char* text, size_t max_chars = SIZE_MAX) {
  copy_text_field(field, N, text, max_chars);
}
// A JSON text made from a fixed field that may lack its terminator (records from the database or
// the core): at most `size` bytes, up to the first NUL.
json_object* json_text_field(const char* field, size_t size);
template <size_t N>
json_object* json_text_field(const char (&field)[N]) {
  return json_text_field(field, N);
}
