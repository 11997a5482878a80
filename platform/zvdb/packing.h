// Compact stored form of large records. Settings records are mostly zero bytes (a weekly
// schedule is 26 KB of time ranges of which a handful are used), and every save compares and
// writes them on flash. Large records are therefore stored as runs:
//
//   offset  size  field
//   0       4     magic "ZVP" 0x01
//   4       4     raw size in bytes (uint32, little-endian)
//   8       ...   tokens until the raw size is reached: uint16 count of zero bytes, uint16 count
//                 of literal bytes, then the literal bytes
//
// Packing is deterministic (equal records give equal blobs, so a stored row can be compared
// with a new one without unpacking). A blob that is not a complete, exact stream is not packed:
// readers then take it as the raw record (rows written before packing existed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zvdb {

// Records of at least this many bytes are stored packed.
inline constexpr size_t kPackFromSize = 1024;
// No record comes near this size (the largest is about 66 KB): a blob claiming more is not one.
inline constexpr size_t kMaxUnpackedSize = 1024 * 1024;

// The packed form of `size` bytes at `data`, in *out (replaced).
void pack_record(const void* data, size_t size, std::vector<unsigned char>* out);

// When `blob` is a packed record: *out holds the raw bytes and true is returned. Otherwise false
// and *out is left empty.
bool unpack_record(const void* blob, size_t size, std::vector<unsigned char>* out);

}  // namespace zvdb
