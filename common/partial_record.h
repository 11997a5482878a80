// Partial sets: the request's members replace a record's fields, and a member the request does not
// carry leaves its field as it was: as stored (read_record_update), or as the camera has it
// (keep_camera_values).
#pragma once

#include <json-c/json.h>

#include <memory>
#include <optional>
#include <vector>

#include "common/exchange.h"
#include "common/reply.h"
#include "platform/zvrecord/schema.h"

// read_record (common/record_json.h) over `record` with every field read as keep_if_absent():
// false, with the record untouched, when the read refuses the request.
bool read_record_update(json_object* request, const zvrec::Schema& schema, void* record);
template <class T>
bool read_record_update(json_object* request, T* record) {
  return read_record_update(request, zvrec::schema_of<T>(), record);
}

// The fields of `form` that a request may leave out and a read of the record returns (in JSON
// both ways, not required) that `request` does not carry (carries_field: a null or a member of
// another type is left out too).
std::vector<const zvrec::Field*> absent_fields(json_object* request, const zvrec::Schema& form);
void copy_fields(const std::vector<const zvrec::Field*>& fields, const void* from, void* to);

// The camera's record, asked with `read` for `query`, into `out`; false, with the `error_kind`
// error form written, when it could not be had.
template <class Q, class R>
bool ask_camera_record(const Exchange<Q, R>& read, const Q& query, R* out, int error_kind) {
  const std::optional<CoreReply> reply = core_ask(read, query, error_kind);
  if (!reply) return false;
  if (reply->first(out)) return true;
  reply_cgi_error(error_kind);
  return false;
}

// A camera-side set read with `form` into `record` (absent members as the form makes them): the
// members the request left out take the camera's values, asked with `read` for `query` (the
// channel, or the read's own query record); `pick` finds the set's record in the read's reply.
// Nothing is asked when the request carries them all (the pages send whole forms). False, with the
// `error_kind` error form written, when the camera's values could not be had: the set is not sent.
template <class Q, class R, class T, class Pick>
bool keep_camera_values_in(json_object* request, const zvrec::Schema& form, const Exchange<Q, R>& read,
                           const Q& query, T* record, int error_kind, Pick pick) {
  const std::vector<const zvrec::Field*> absent = absent_fields(request, form);
  if (absent.empty()) return true;
  auto camera = std::make_unique<R>();
  if (!ask_camera_record(read, query, camera.get(), error_kind)) return false;
  copy_fields(absent, &pick(*camera), record);
  return true;
}
// The read answers the set's own record type. With `copy_parts`: for a record with parts the form
// does not read (lists, plans, areas), `parts_absent` says the request leaves one out, and the
// camera is then asked even when every member is there; `copy_parts(camera)` copies those parts.
template <class Q, class R, class CopyParts>
bool keep_camera_values(json_object* request, const zvrec::Schema& form, const Exchange<Q, R>& read,
                        const Q& query, R* record, int error_kind, bool parts_absent, CopyParts copy_parts) {
  const std::vector<const zvrec::Field*> absent = absent_fields(request, form);
  if (absent.empty() && !parts_absent) return true;
  auto camera = std::make_unique<R>();
  if (!ask_camera_record(read, query, camera.get(), error_kind)) return false;
  copy_fields(absent, camera.get(), record);
  copy_parts(static_cast<const R&>(*camera));
  return true;
}
template <class Q, class R>
bool keep_camera_values(json_object* request, const zvrec::Schema& form, const Exchange<Q, R>& read,
                        const Q& query, R* record, int error_kind) {
  return keep_camera_values_in(request, form, read, query, record, error_kind,
                               [](const R& r) -> const R& { return r; });
}
template <class Q, class R>
bool keep_camera_values(json_object* request, const Exchange<Q, R>& read, const Q& query, R* record,
                        int error_kind) {
  return keep_camera_values(request, zvrec::schema_of<R>(), read, query, record, error_kind);
}
// The set's record is member `part` of the read's reply.
template <class Q, class R, class T>
bool keep_camera_values(json_object* request, const Exchange<Q, R>& read, const Q& query, T R::*part, T* record,
                        int error_kind) {
  return keep_camera_values_in(request, zvrec::schema_of<T>(), read, query, record, error_kind,
                               [part](const R& r) -> const T& { return r.*part; });
}
