// Records in and out of JSON, driven by their schema (platform/zvrecord/schema.h).
//
//   OsdRecord in{};
//   if (!read_record(request.get(), &in)) return;     // refused: `in` untouched
//   JsonWriter w;
//   write_object(w, stored);                           // { "camId": 2, "camName": "CAM3", ... }
//
// Reading follows the rules of every request member (common/json_fields.h): a member of the wrong
// JSON type counts as absent; required and absent, or present and outside its range (or not
// fitting its type), refuses the whole read and nothing is written; optional and absent becomes
// 0 / "(null)" / the field's absent value, or stays as it is with keep_if_absent(); texts are cut
// to the field's width less one (or its chars()) and must be valid UTF-8. Arrays read
// min(JSON length, array length) elements; elements of the wrong type are skipped (their slot
// keeps its value); record arrays read each object element with the element's schema.
//
// Writing prints every field with a JSON key that is not in_only(), in declaration order, in the
// exact layout of the JSON library: numbers, texts bounded by their width, number arrays, arrays
// of objects.
#pragma once

#include <json-c/json.h>

#include "common/json_writer.h"
#include "platform/zvrecord/schema.h"

bool read_record(json_object* request, const zvrec::Schema& schema, void* record);
// Whether `object` carries a member that read_record takes for `f`: a number for the number types,
// a string for a text, an array for arrays and record lists. A member of another type, or a JSON
// null, is read as absent, and so counts as left out.
bool carries_field(json_object* object, const zvrec::Field& f);
template <class T>
bool read_record(json_object* request, T* record) {
  return read_record(request, zvrec::schema_of<T>(), record);
}

// The members of the record, into the object the writer has open.
void write_fields(JsonWriter& w, const zvrec::Schema& schema, const void* record);
template <class T>
void write_fields(JsonWriter& w, const T& record) {
  write_fields(w, zvrec::schema_of<T>(), &record);
}
// The record as one JSON object.
void write_object(JsonWriter& w, const zvrec::Schema& schema, const void* record);
template <class T>
void write_object(JsonWriter& w, const T& record) {
  write_object(w, zvrec::schema_of<T>(), &record);
}
