#include "handlers/storage/storage_internal.h"

#include <cstring>

#include "common/json_fields.h"
#include "common/oplog.h"

void storage_log(int64_t sub_type, int32_t param_type, int32_t port, int32_t detail_kind,
                 const void* detail, uint32_t detail_size) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = param_type;
  record.channel = port;
  if (detail != nullptr) zvfs_log_pack_detail(&record, detail_kind, detail, detail_size);
  op_log_send(record);
}

bool array_text(json_object* array, size_t i, char* buffer, size_t size, bool* present, bool whole) {
  *present = false;
  json_object* element = json_array_at(array, i);
  if (!json_value_text(element, buffer, size)) return true;
  *present = true;
  // The text's own length: one holding a NUL is refused, not taken cut at the NUL.
  const auto length = static_cast<size_t>(json_object_get_string_len(element));
  return valid_request_text(json_object_get_string(element), length) && !(whole && length >= size);
}
