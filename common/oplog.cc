#include "common/oplog.h"

#include <cstdlib>
#include <cstring>

#include "common/core_client.h"
#include "common/web_utils.h"

namespace {
void copy_cut(char* field, size_t field_size, const char* text) {
  memset(field, 0, field_size);
  if (text == nullptr) return;
  size_t length = strnlen(text, field_size - 1);
  memcpy(field, text, length);
}
}  // namespace

int op_log_init(OpLogRecord* record) {
  if (record == nullptr) return -1;
  memset(record, 0, sizeof *record);
  record->main_type = kOpLogMainOperation;
  record->remote = 1;
  cookie_user_name(record->user, sizeof record->user);
  copy_cut(record->remote_address, sizeof record->remote_address, getenv("REMOTE_ADDR"));
  return 0;
}

void op_log_set_user(OpLogRecord* record, const char* text) {
  if (record == nullptr) return;
  copy_cut(record->user, sizeof record->user, text);
}

void op_log_send(const OpLogRecord& record) { core_tell(kOpLog, record); }

void op_log_change(int64_t sub_type, int32_t param_type, int32_t channel) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = param_type;
  record.channel = channel;
  op_log_send(record);
}

void op_log_change_multi(int64_t sub_type, int32_t param_type, int32_t channel, ChannelMask64 mask) {
  OpLogMultiRecord payload{};
  op_log_init(&payload.record);
  payload.record.sub_type = sub_type;
  payload.record.param_type = param_type;
  payload.record.channel = channel;
  payload.mask = mask;
  core_tell(kOpLogMulti, payload);
}
