// Partial sets of a stored record: the request's members replace the record's fields, a member
// the request does not carry leaves its field as stored.
#pragma once

#include <json-c/json.h>

#include "platform/zvrecord/schema.h"

// read_record (common/record_json.h) over `record` with every field read as keep_if_absent():
// false, with the record untouched, when the read refuses the request.
bool read_record_update(json_object* request, const zvrec::Schema& schema, void* record);
template <class T>
bool read_record_update(json_object* request, T* record) {
  return read_record_update(request, zvrec::schema_of<T>(), record);
}
