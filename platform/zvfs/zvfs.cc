#include "platform/zvfs/zvfs.h"

#include <algorithm>
#include <cstring>

int zvfs_log_pack_detail(OpLogRecord* record, int32_t kind, const void* data, uint32_t length) {
  if (record == nullptr || (data == nullptr && length > 0)) return -1;
  uint32_t stored = std::min(length, kZvfsDetailDataMax);
  memset(record->detail, 0, sizeof record->detail);
  memcpy(record->detail, &kind, sizeof kind);
  memcpy(record->detail + 4, &stored, sizeof stored);
  if (stored > 0) memcpy(record->detail + kZvfsDetailHeaderBytes, data, stored);
  record->detail_size = kZvfsDetailHeaderBytes + stored;
  return 0;
}

int zvfs_log_unpack_detail(const OpLogRecord* record, int32_t* kind, void* out, uint32_t capacity) {
  if (record == nullptr || record->detail_size < kZvfsDetailHeaderBytes ||
      record->detail_size > kOpLogDetailBytes) {
    return -1;
  }
  uint32_t length;
  memcpy(&length, record->detail + 4, sizeof length);
  if (length > record->detail_size - kZvfsDetailHeaderBytes) return -1;
  if (kind != nullptr) memcpy(kind, record->detail, sizeof *kind);
  if (out != nullptr) memcpy(out, record->detail + kZvfsDetailHeaderBytes, std::min(length, capacity));
  return static_cast<int>(length);
}

int log_channo_is_disk(int32_t main_type, int64_t sub_type) {
  if (main_type != kOpLogMainOperation) return 0;
  switch (sub_type) {
    case 207:  // disk format: the channel field holds the port
    case 219:  // network disk added
    case 220:  // network disk removed
    case 221:  // network disk edited
    case 224:  // storage device removed by port
      return 1;
    default:
      return 0;
  }
}
