#include "common/partial_record.h"

#include <vector>

#include "common/record_json.h"

bool read_record_update(json_object* request, const zvrec::Schema& schema, void* record) {
  std::vector<zvrec::Field> fields(schema.fields.begin(), schema.fields.end());
  for (zvrec::Field& f : fields) f = f.keep_if_absent();
  const zvrec::Schema kept{schema.name, schema.size, fields, schema.align};
  return read_record(request, kept, record);
}
