#include "common/record_json.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "common/json_fields.h"

namespace {

using zvrec::Field;
using zvrec::Type;

json_object* member_of(json_object* object, const char* key) {
  json_object* member = nullptr;
  if (!json_object_object_get_ex(object, key, &member)) return nullptr;
  return member;  // null for a JSON null
}

bool in_range(const Field& f, double v) { return !(f.has_min && v < f.min) && !(f.has_max && v > f.max); }

// One number of the field's type from a JSON value. 1 stored; 0 of the wrong type (absent);
// -1 present but out of range or not fitting.
int read_number(const Field& f, json_object* value, unsigned char* dest) {
  if (f.type == Type::kDouble) {
    double d = 0;
    if (!json_value_double(value, &d)) return 0;
    if (!in_range(f, d)) return -1;
    std::memcpy(dest, &d, sizeof d);
    return 1;
  }
  int64_t wide = 0;
  if (!json_value_int64(value, &wide)) return 0;
  if (!in_range(f, static_cast<double>(wide))) return -1;
  if (f.type == Type::kInt64) {
    std::memcpy(dest, &wide, sizeof wide);
  } else if (f.type == Type::kUint32) {
    if (wide < 0 || wide > std::numeric_limits<uint32_t>::max()) return -1;
    const auto v = static_cast<uint32_t>(wide);
    std::memcpy(dest, &v, sizeof v);
  } else if (f.type == Type::kUint8) {
    if (wide < 0 || wide > std::numeric_limits<uint8_t>::max()) return -1;
    *dest = static_cast<unsigned char>(wide);
  } else {
    if (wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<int32_t>::max()) return -1;
    const auto v = static_cast<int32_t>(wide);
    std::memcpy(dest, &v, sizeof v);
  }
  return 1;
}

void store_absent(const Field& f, unsigned char* dest) {
  switch (f.type) {
    case Type::kInt32:
    case Type::kUint32:
      std::memcpy(dest, &f.absent_int, sizeof f.absent_int);
      break;
    case Type::kUint8:
      *dest = static_cast<unsigned char>(f.absent_int);
      break;
    case Type::kInt64: {
      const int64_t v = f.absent_int;
      std::memcpy(dest, &v, sizeof v);
      break;
    }
    case Type::kDouble: {
      const double v = f.absent_int;
      std::memcpy(dest, &v, sizeof v);
      break;
    }
    case Type::kText:
      std::memset(dest, 0, f.size);
      copy_text_field(reinterpret_cast<char*>(dest), f.size, f.absent_text, f.text_limit());
      break;
    case Type::kInt32Array:
    case Type::kRecords:
      std::memset(dest, 0, f.size);
      break;
    case Type::kBytes:
      break;
  }
}

bool read_into(json_object* object, const zvrec::Schema& schema, unsigned char* record);

// Reads one field of `object` into the record. False when the read must fail.
bool read_field(json_object* object, const Field& f, unsigned char* record) {
  unsigned char* dest = record + f.offset;
  json_object* value = member_of(object, f.key);
  bool present = false;
  switch (f.type) {
    case Type::kInt32:
    case Type::kUint32:
    case Type::kUint8:
    case Type::kInt64:
    case Type::kDouble: {
      const int got = read_number(f, value, dest);
      if (got < 0) return false;
      present = got > 0;
      break;
    }
    case Type::kText:
      if (value != nullptr && json_object_is_type(value, json_type_string)) {
        const char* text = json_object_get_string(value);
        const size_t length = static_cast<size_t>(json_object_get_string_len(value));
        if (!valid_request_text(text, length) || (f.is(Field::kWhole) && length > f.text_limit())) return false;
        copy_text_field(reinterpret_cast<char*>(dest), f.size, text, f.text_limit());
        present = true;
      }
      break;
    case Type::kInt32Array:
    case Type::kRecords: {
      if (value == nullptr || !json_object_is_type(value, json_type_array)) break;
      present = true;
      const size_t n = std::min<size_t>(json_object_array_length(value), f.count);
      const uint32_t element_size = f.count != 0 ? f.size / f.count : 0;
      for (size_t i = 0; i < n; ++i) {
        json_object* element = json_object_array_get_idx(value, i);
        unsigned char* slot = dest + i * element_size;
        if (f.type == Type::kInt32Array) {
          Field one = f;
          one.type = Type::kInt32;
          if (read_number(one, element, slot) < 0) return false;
        } else if (element != nullptr && json_object_is_type(element, json_type_object)) {
          if (!read_into(element, *f.element, slot)) return false;
        }
      }
      break;
    }
    case Type::kBytes:
      return true;
  }
  if (present) return true;
  if (f.is(Field::kRequired)) return false;
  if (!f.is(Field::kKeepIfAbsent)) store_absent(f, dest);
  return true;
}

bool read_into(json_object* object, const zvrec::Schema& schema, unsigned char* record) {
  for (const Field& f : schema.fields) {
    if (f.readable() && !read_field(object, f, record)) return false;
  }
  return true;
}

template <class T>
T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

bool carries_field(json_object* object, const Field& f) {
  json_object* value = member_of(object, f.key);
  switch (f.type) {
    case Type::kInt32:
    case Type::kUint32:
    case Type::kUint8:
    case Type::kInt64: {
      int64_t wide = 0;
      return json_value_int64(value, &wide);
    }
    case Type::kDouble: {
      double d = 0;
      return json_value_double(value, &d);
    }
    case Type::kText:
      return value != nullptr && json_object_is_type(value, json_type_string);
    case Type::kInt32Array:
    case Type::kRecords:
      return value != nullptr && json_object_is_type(value, json_type_array);
    case Type::kBytes:
      break;
  }
  return false;
}

bool read_record(json_object* request, const zvrec::Schema& schema, void* record) {
  if (request == nullptr || record == nullptr || !json_object_is_type(request, json_type_object)) {
    return false;
  }
  // All or nothing: the members land in a copy, which replaces the record once all are read.
  auto scratch = std::make_unique<unsigned char[]>(schema.size);
  std::memcpy(scratch.get(), record, schema.size);
  if (!read_into(request, schema, scratch.get())) return false;
  std::memcpy(record, scratch.get(), schema.size);
  return true;
}

void write_fields(JsonWriter& w, const zvrec::Schema& schema, const void* record) {
  const auto* base = static_cast<const unsigned char*>(record);
  for (const Field& f : schema.fields) {
    if (!f.writable()) continue;
    const unsigned char* p = base + f.offset;
    if (f.key_size > 0) {
      w.plain_key({f.key, f.key_size});
    } else {
      w.key(f.key);
    }
    switch (f.type) {
      case Type::kInt32:
        w.value(load<int32_t>(p));
        break;
      case Type::kUint32:
        w.value(load<uint32_t>(p));
        break;
      case Type::kUint8:
        w.value(static_cast<int32_t>(*p));
        break;
      case Type::kInt64:
        w.value(load<int64_t>(p));
        break;
      case Type::kDouble:
        w.value(load<double>(p));
        break;
      case Type::kText:
        w.field(reinterpret_cast<const char*>(p), f.size);
        break;
      case Type::kInt32Array:
        w.begin_array();
        for (uint32_t i = 0; i < f.count; ++i) w.value(load<int32_t>(p + 4 * i));
        w.end_array();
        break;
      case Type::kRecords:
        w.begin_array();
        for (uint32_t i = 0; i < f.count; ++i) write_object(w, *f.element, p + i * f.element->size);
        w.end_array();
        break;
      case Type::kBytes:
        break;
    }
  }
}

void write_object(JsonWriter& w, const zvrec::Schema& schema, const void* record) {
  w.begin_object();
  write_fields(w, schema, record);
  w.end_object();
}
