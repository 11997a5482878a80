// The operation-log record: the payload of message 3485 (and the head of 3509's), and the entry
// layout of the core's device log. 672 bytes, little-endian, every unnamed byte zero. The same
// bytes on the 32-bit device and on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvdb/records/channel_mask.h"
#include "platform/zvrecord/schema.h"

constexpr int32_t kOpLogMainOperation = 4;  // main type of the web's operation records
constexpr size_t kOpLogDetailBytes = 512;

struct OpLogRecord {
  int32_t main_type;        // 4 = operation (op_log_init); 32 for the one exception record
  int32_t reserved0;
  int64_t sub_type;         // the operation, 200..225 with main type 4
  int32_t reserved1;
  int32_t time;             // 0 when sent; the core stores the entry's time (seconds since epoch)
  int32_t param_type;       // parameter group, 900..925
  int32_t remote;           // 1: the operation came from the web
  int32_t channel;          // 1-based channel or item number; 0 when none
  char remote_address[46];  // client address, at most 45 characters
  char user[64];            // user name, at most 63 characters
  char reserved2[2];
  uint32_t detail_size;     // bytes used in `detail`
  char detail[kOpLogDetailBytes];  // packed by zvfs_log_pack_detail
  char reserved3[8];
};

// Not in JSON: the web side fills the record itself and only sends it.
ZV_SCHEMA(OpLogRecord,
          ZV_INTERNAL(main_type), ZV_RESERVED(reserved0), ZV_INTERNAL(sub_type),
          ZV_RESERVED(reserved1), ZV_INTERNAL(time), ZV_INTERNAL(param_type), ZV_INTERNAL(remote),
          ZV_INTERNAL(channel), ZV_INTERNAL(remote_address), ZV_INTERNAL(user),
          ZV_RESERVED(reserved2), ZV_INTERNAL(detail_size), ZV_INTERNAL(detail),
          ZV_RESERVED(reserved3));

static_assert(sizeof(OpLogRecord) == 672);

// The payload of message 3509 (the event pages' log of a change copied to several channels):
// the operation-log record followed by the channel set. 680 bytes.
struct OpLogMultiRecord {
  OpLogRecord record;
  ChannelMask64 mask;
};

ZV_SCHEMA(OpLogMultiRecord, ZV_INTERNAL(record), ZV_INTERNAL(mask));

static_assert(sizeof(OpLogMultiRecord) == 680);
