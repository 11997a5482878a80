#include "common/partial_record.h"

#include <cstring>
#include <vector>

#include "common/record_json.h"

bool read_record_update(json_object* request, const zvrec::Schema& schema, void* record) {
  std::vector<zvrec::Field> fields(schema.fields.begin(), schema.fields.end());
  for (zvrec::Field& f : fields) f = f.keep_if_absent();
  const zvrec::Schema kept{schema.name, schema.size, fields, schema.align};
  return read_record(request, kept, record);
}

std::vector<const zvrec::Field*> absent_fields(json_object* request, const zvrec::Schema& form) {
  std::vector<const zvrec::Field*> absent;
  for (const zvrec::Field& f : form.fields) {
    if (!f.readable() || !f.writable() || f.is(zvrec::Field::kRequired)) continue;
    if (!carries_field(request, f)) absent.push_back(&f);
  }
  return absent;
}

void copy_fields(const std::vector<const zvrec::Field*>& fields, const void* from, void* to) {
  for (const zvrec::Field* f : fields) {
    std::memcpy(static_cast<unsigned char*>(to) + f->offset, static_cast<const unsigned char*>(from) + f->offset,
                f->size);
  }
}
