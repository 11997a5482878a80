// Record schemas: one declaration per wire or database record, next to its struct, from which
// everything else about the record is derived:
//   - the layout check (compile time): every byte of the record belongs to exactly one field, in
//     declaration order, so the record has no padding and the same bytes on the 32-bit device and
//     on the development host (fixed-width types at offsets their own size divides);
//   - the database table's field list (zvdb dump, column copies, text termination after reads);
//   - reading a request's JSON members into the record (common/record_json.h);
//   - writing the record as JSON (common/record_json.h).
//
// Declaring one:
//
//   struct OsdRecord { int32_t cam_id; char cam_name[64]; ...; int32_t reserved; };
//   ZV_SCHEMA(OsdRecord,
//             ZV_FIELD(cam_id, "camId").required().range(0, 63),
//             ZV_FIELD(cam_name, "camName").required(),
//             ...
//             ZV_RESERVED(reserved));
//
// and the record's schema is zvrec::schema_of<OsdRecord>(). ZV_ELEMENT(member, i, key) makes one
// element of a number array its own field with its own key (in ZV_FIELDS lists only: a form that
// names each element, while the table keeps the array). A field's JSON key null (ZV_RESERVED,
// ZV_INTERNAL) keeps it out of JSON; out_only() fields are written but never read from a request,
// in_only() fields are read but never written. A record that appears in several forms (a request
// reads fewer members than the reply prints) declares extra field lists with ZV_FIELDS over the
// same struct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace zvrec {

enum class Type : uint8_t {
  kInt32,
  kUint32,
  kInt64,
  kDouble,
  kUint8,       // one byte, 0..255
  kText,        // char[N]: NUL-terminated within its width
  kInt32Array,  // int32_t[N]: a JSON array of numbers
  kBytes,       // anything else (uint8_t arrays, nested texts): raw, not in JSON
  kRecords,     // an array of records with their own schema: a JSON array of objects
};

struct Schema;

struct Field {
  enum Flag : uint16_t {
    kRequired = 1u << 0,     // a request without the member is refused
    kKeepIfAbsent = 1u << 1, // an absent member leaves the record's value as it is
    kOutOnly = 1u << 2,      // written to JSON, never read from a request
    kInOnly = 1u << 3,       // read from a request, never written to JSON
    kWhole = 1u << 4,        // a text longer than it keeps is refused rather than cut
  };

  const char* name = nullptr;  // the struct member (database column name)
  const char* key = nullptr;   // the JSON key; null: not in JSON
  uint16_t key_size = 0;       // its length when made by make_field (then it is plain: below)
  uint32_t offset = 0;
  uint32_t size = 0;
  Type type = Type::kBytes;
  uint16_t flags = 0;
  bool has_min = false;
  bool has_max = false;
  double min = 0;
  double max = 0;
  uint32_t max_chars = 0;              // texts: characters kept (0: the width less one)
  uint32_t count = 0;                  // arrays: elements
  uint32_t align = 1;                  // the alignment of the member's element type
  const Schema* element = nullptr;     // kRecords: the element's schema
  uint32_t element_size = 0;           // kRecords: sizeof one element (checked without `element`:
                                       // GCC's sanitizer builds cannot compare its address in a
                                       // constant expression)
  int32_t absent_int = 0;              // an absent optional number becomes this
  const char* absent_text = "(null)";  // an absent optional text becomes this

  constexpr Field required() const { Field f = *this; f.flags |= kRequired; return f; }
  constexpr Field keep_if_absent() const { Field f = *this; f.flags |= kKeepIfAbsent; return f; }
  constexpr Field out_only() const { Field f = *this; f.flags |= kOutOnly; return f; }
  constexpr Field in_only() const { Field f = *this; f.flags |= kInOnly; return f; }
  // A text that names something (an address, a host, a user): cut, it would name another.
  constexpr Field whole() const { Field f = *this; f.flags |= kWhole; return f; }
  constexpr Field range(double lo, double hi) const {
    Field f = *this; f.has_min = f.has_max = true; f.min = lo; f.max = hi; return f;
  }
  constexpr Field at_least(double lo) const { Field f = *this; f.has_min = true; f.min = lo; return f; }
  constexpr Field at_most(double hi) const { Field f = *this; f.has_max = true; f.max = hi; return f; }
  constexpr Field chars(uint32_t n) const { Field f = *this; f.max_chars = n; return f; }
  constexpr Field absent(int32_t value) const { Field f = *this; f.absent_int = value; return f; }
  constexpr Field absent(const char* text) const { Field f = *this; f.absent_text = text; return f; }

  constexpr bool is(Flag flag) const { return (flags & flag) != 0; }
  constexpr bool in_json() const { return key != nullptr; }
  constexpr bool readable() const { return in_json() && !is(kOutOnly) && type != Type::kBytes; }
  constexpr bool writable() const { return in_json() && !is(kInOnly) && type != Type::kBytes; }
  // Characters a text keeps: the width less one, or fewer when chars() says so.
  constexpr uint32_t text_limit() const {
    return max_chars != 0 && max_chars < size - 1 ? max_chars : size - 1;
  }
};

struct Schema {
  const char* name = nullptr;  // the record's type name
  uint32_t size = 0;
  std::span<const Field> fields{};
  uint32_t align = 1;  // alignof the record
};

// The schema of record type T, declared with ZV_SCHEMA next to the struct.
template <class T>
struct SchemaOf;

template <class T>
constexpr const Schema& schema_of() {
  return SchemaOf<T>::schema;
}

// ---- How a member's type becomes a field type ---------------------------------------------

template <class M>
constexpr Type type_of() {
  using T = std::remove_cv_t<M>;
  if constexpr (std::is_same_v<T, int32_t>) return Type::kInt32;
  else if constexpr (std::is_same_v<T, uint32_t>) return Type::kUint32;
  else if constexpr (std::is_same_v<T, int64_t>) return Type::kInt64;
  else if constexpr (std::is_same_v<T, uint8_t>) return Type::kUint8;
  else if constexpr (std::is_same_v<T, double>) return Type::kDouble;
  else if constexpr (std::is_array_v<T> && std::rank_v<T> == 1 &&
                     std::is_same_v<std::remove_extent_t<T>, char>)
    return Type::kText;
  else if constexpr (std::is_array_v<T> && std::rank_v<T> == 1 &&
                     std::is_same_v<std::remove_extent_t<T>, int32_t>)
    return Type::kInt32Array;
  else return Type::kBytes;
}

// The length of a JSON key that needs no escaping (printable ASCII other than '"', '\\' and
// '/'), or 0 for any other: the JSON writer then prints a schema's keys as they are.
constexpr size_t plain_key_size(const char* key) {
  size_t n = 0;
  for (; key[n] != '\0'; ++n) {
    const char c = key[n];
    if (c < 0x20 || c > 0x7e || c == '"' || c == '\\' || c == '/') return 0;
  }
  return n < 0x10000 ? n : 0;
}

template <class M>
constexpr Field make_field(const char* name, const char* key, size_t offset) {
  Field f;
  f.name = name;
  f.key = key;
  if (key != nullptr) {
    const size_t size = plain_key_size(key);
    if (size == 0) throw "ZV_FIELD: a JSON key is plain printable ASCII";  // compile error
    f.key_size = static_cast<uint16_t>(size);
  }
  f.offset = static_cast<uint32_t>(offset);
  f.size = static_cast<uint32_t>(sizeof(M));
  f.type = type_of<M>();
  if constexpr (std::is_array_v<M>) f.count = static_cast<uint32_t>(std::extent_v<M>);
  f.align = static_cast<uint32_t>(alignof(std::remove_all_extents_t<M>));
  return f;
}

template <class M>
constexpr Field make_records_field(const char* name, const char* key, size_t offset) {
  static_assert(std::is_array_v<M> && std::rank_v<M> == 1, "ZV_RECORDS takes an array of records");
  Field f = make_field<M>(name, key, offset);
  f.type = Type::kRecords;
  f.element = &schema_of<std::remove_extent_t<M>>();
  f.element_size = static_cast<uint32_t>(sizeof(std::remove_extent_t<M>));
  return f;
}

// One element of a number array member, as a field of its own (a JSON form that names each
// element with its own key). Only for ZV_FIELDS lists: a table's schema keeps the whole array.
template <class M>
constexpr Field make_element_field(const char* name, const char* key, size_t offset, size_t index) {
  static_assert(std::is_array_v<M> && std::rank_v<M> == 1, "ZV_ELEMENT takes an array member");
  using E = std::remove_extent_t<M>;
  if (index >= std::extent_v<M>) throw "ZV_ELEMENT: index outside the array";  // compile error
  return make_field<E>(name, key, offset + index * sizeof(E));
}

// ---- The layout check -----------------------------------------------------------------------

// Null when every byte of the record belongs to exactly one field, in declaration order, and
// every field lies at an offset its element size divides (so no target pads it differently);
// otherwise what is wrong.
constexpr const char* layout_problem(const Schema& s) {
  uint32_t next = 0;
  for (const Field& f : s.fields) {
    if (f.offset != next) return f.offset < next ? "fields overlap or are out of order" : "padding";
    if (f.size == 0) return "empty field";
    // Every member sits at a multiple of its type's own size (8 at most), so a target that aligns
    // 8-byte types to 4 lays the record out the same way.
    if (f.type == Type::kRecords && f.element_size * f.count != f.size) return "record array size";
    const uint32_t unit = f.align < 8 ? f.align : 8;
    if (unit == 0 || f.offset % unit != 0) return "misaligned field";
    if ((f.flags & (Field::kOutOnly | Field::kInOnly)) == (Field::kOutOnly | Field::kInOnly)) {
      return "field both in-only and out-only";
    }
    next = f.offset + f.size;
  }
  return next == s.size ? nullptr : "bytes after the last field";
}

}  // namespace zvrec

// Inside ZV_SCHEMA / ZV_FIELDS: one field of the record, by member name and JSON key.
#define ZV_FIELD(member, key)                                                                  \
  ::zvrec::make_field<decltype(ZvRecordType::member)>(#member, key, offsetof(ZvRecordType, member))
// A field that is never in JSON (reserved bytes, fields the handler fills itself).
#define ZV_INTERNAL(member) ZV_FIELD(member, nullptr)
#define ZV_RESERVED(member) ZV_FIELD(member, nullptr)
// An array of records that have their own schema.
#define ZV_RECORDS(member, key)                                                                \
  ::zvrec::make_records_field<decltype(ZvRecordType::member)>(#member, key,                   \
                                                              offsetof(ZvRecordType, member))

// Inside ZV_FIELDS: element `index` of the number array `member`, under its own JSON key.
#define ZV_ELEMENT(member, index, key)                                                         \
  ::zvrec::make_element_field<decltype(ZvRecordType::member)>(#member, key,                  \
                                                              offsetof(ZvRecordType, member), index)

// Declares the schema of Record (at namespace scope, after the struct) and checks its layout.
#define ZV_SCHEMA(Record, ...)                                                                 \
  template <>                                                                                  \
  struct zvrec::SchemaOf<Record> {                                                             \
    using ZvRecordType = Record;                                                               \
    static constexpr ::zvrec::Field fields[] = {__VA_ARGS__};                                  \
    static constexpr ::zvrec::Schema schema{#Record, sizeof(Record), fields, alignof(Record)};  \
  };                                                                                           \
  static_assert(std::is_trivially_copyable_v<Record> && std::is_standard_layout_v<Record>,     \
                #Record ": a record is a plain structure");                                    \
  static_assert(::zvrec::layout_problem(::zvrec::schema_of<Record>()) == nullptr,              \
                #Record ": every byte must belong to exactly one schema field, in order")

// Another field list over the same record (a request form that reads fewer members, a reply that
// prints other keys): `constexpr auto kName = ZV_FIELDS(Record, ZV_FIELD(...), ...);` gives a
// zvrec::FieldList whose .schema() serves reading and writing (no layout check: it may be partial).
namespace zvrec {
template <size_t N>
struct FieldList {
  const char* name;
  uint32_t size;
  Field fields[N];
  constexpr Schema schema() const { return Schema{name, size, std::span<const Field>(fields, N)}; }
};
}  // namespace zvrec
#define ZV_FIELDS(Record, ...)                                                                 \
  [] {                                                                                         \
    using ZvRecordType = Record;                                                               \
    constexpr ::zvrec::Field list[] = {__VA_ARGS__};                                           \
    ::zvrec::FieldList<sizeof list / sizeof list[0]> out{#Record, sizeof(Record), {}};         \
    for (size_t i = 0; i < sizeof list / sizeof list[0]; ++i) out.fields[i] = list[i];         \
    return out;                                                                                \
  }()

// Inside ZV_FIELDS: a field exactly as the record's own ZV_SCHEMA declares it (key, flags, range),
// for a form that reads or prints some of the record's members, or prints them in another order:
//
//   constexpr auto kAddressForm = ZV_FIELDS(CameraRecord, ZV_SCHEMA_FIELD(ip_addr).required(),
//                                           ZV_SCHEMA_FIELD(manage_port).required().at_least(0));
//
// A member the schema does not declare stops the compilation.
#define ZV_SCHEMA_FIELD(member) ::zvrec::declared_field(::zvrec::schema_of<ZvRecordType>(), #member)

namespace zvrec {
// Not constexpr: reached while compiling only when a ZV_SCHEMA_FIELD names no declared member.
inline Field no_such_schema_field() { return Field{}; }

constexpr bool same_name(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

constexpr Field declared_field(const Schema& s, const char* member) {
  for (const Field& f : s.fields) {
    if (same_name(f.name, member)) return f;  // every schema field has its member name
  }
  return no_such_schema_field();
}

// The schema of T with `member` read from (and written under) `key`, and no longer out-only: the
// form of a request that names one member otherwise than the record's reply does.
template <class T>
constexpr auto with_key(const char* member, const char* key) {
  constexpr Schema record = schema_of<T>();
  FieldList<record.fields.size()> form{record.name, record.size, {}};
  for (size_t i = 0; i < record.fields.size(); ++i) {
    form.fields[i] = record.fields[i];
    if (!same_name(record.fields[i].name, member)) continue;
    form.fields[i].key = key;
    form.fields[i].key_size = static_cast<uint16_t>(plain_key_size(key));
    form.fields[i].flags &= static_cast<uint16_t>(~Field::kOutOnly);
  }
  return form;
}

// Copies the bytes of every field of `s` from one record to another of the same type: a form's
// members read from a request applied to the stored record, the rest of which stays.
inline void copy_fields(const Schema& s, const void* from, void* to) {
  for (const Field& f : s.fields) {
    std::memcpy(static_cast<unsigned char*>(to) + f.offset,
                static_cast<const unsigned char*>(from) + f.offset, f.size);
  }
}
}  // namespace zvrec
