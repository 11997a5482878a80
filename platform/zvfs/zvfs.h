// libzvfs: the storage library's calls that the web back end uses (operation-log details and the
// device log's disk entries).
#pragma once

#include <cstdint>

#include "platform/zvfs/log_record.h"

// Detail block layout inside OpLogRecord::detail: int32 kind at 0, uint32 data length at 4, the
// data from 8. At most kZvfsDetailDataMax data bytes fit; longer data is cut to that.
constexpr uint32_t kZvfsDetailHeaderBytes = 8;
constexpr uint32_t kZvfsDetailDataMax = kOpLogDetailBytes - kZvfsDetailHeaderBytes;

// Packs `length` bytes of `data` as a detail block of `kind` into the record's `detail` and sets
// `detail_size` to the bytes used; the rest of `detail` is zeroed. Returns 0, or -1 when the
// record is null, or data is null with a non-zero length (the record is then left unchanged).
int zvfs_log_pack_detail(OpLogRecord* record, int32_t kind, const void* data, uint32_t length);

// Reads back a detail block: sets *kind and returns the data length (data copied into `out` up
// to `capacity` bytes); -1 when the record holds no well-formed block.
int zvfs_log_unpack_detail(const OpLogRecord* record, int32_t* kind, void* out, uint32_t capacity);

// 1 when the channel number of a log entry of this main and sub type names a disk port rather
// than a camera channel (disk format, disk settings by port, network disks), else 0.
int log_channo_is_disk(int32_t main_type, int64_t sub_type);
