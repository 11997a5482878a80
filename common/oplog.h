// The operation-log record a handler sends to the core after a change (message 3485, no wait),
// and the two operation-log messages. The record itself (OpLogRecord, 672 bytes) is declared once
// in platform/zvfs/log_record.h, beside the detail packing of the storage library.
#pragma once

#include "common/exchange.h"
#include "platform/zvfs/log_record.h"
#include "platform/zvfs/zvfs.h"

// One change (672 bytes) and one change copied to the channels of a set (680 bytes).
inline constexpr Notice<OpLogRecord> kOpLog{3485, "operation log"};
inline constexpr Notice<OpLogMultiRecord> kOpLogMulti{3509, "operation log of several channels"};
// The id of kOpLog, for tests that look for it among received messages.
constexpr int32_t kMsgOpLog = kOpLog.id;

// Zeroes all 672 bytes, sets main_type 4 and remote 1, the user from the "userName" cookie and the
// address from REMOTE_ADDR (cut to 45 characters). Returns 0, or -1 when record is null.
int op_log_init(OpLogRecord* record);

// Copies `text` into the record's user field, cut to 63 characters (the login handler logs the
// typed name). A null text leaves the field empty.
void op_log_set_user(OpLogRecord* record, const char* text);

// Sends the record to the core as message 3485 (672 bytes) without waiting, and closes.
void op_log_send(const OpLogRecord& record);

// Sends the record of one change: op_log_init's record with `sub_type`, `param_type` and
// `channel` (1-based channel or item number; 0 when none).
void op_log_change(int64_t sub_type, int32_t param_type, int32_t channel = 0);
// The same change copied to the channels of `mask`, as message 3509 (680 bytes).
void op_log_change_multi(int64_t sub_type, int32_t param_type, int32_t channel, ChannelMask64 mask);
