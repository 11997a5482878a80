#include "platform/zvdb/packing.h"

#include <algorithm>
#include <cstring>

namespace zvdb {
namespace {

constexpr unsigned char kMagic[4] = {'Z', 'V', 'P', 0x01};
constexpr size_t kHeaderSize = 8;
constexpr size_t kMaxRun = 0xffff;
constexpr size_t kWord = sizeof(uint64_t);

void put_u16(std::vector<unsigned char>* out, size_t v) {
  out->push_back(static_cast<unsigned char>(v & 0xff));
  out->push_back(static_cast<unsigned char>(v >> 8));
}

size_t get_u16(const unsigned char* p) { return static_cast<size_t>(p[0]) | static_cast<size_t>(p[1]) << 8; }

// The 8 bytes at `at` (a multiple of 8, within the record) are all zero.
bool zero_word(const unsigned char* in, size_t at) {
  uint64_t word;
  std::memcpy(&word, in + at, sizeof word);
  return word == 0;
}

// Zero bytes from `at` on, at most kMaxRun. Long runs are compared a block at a time.
size_t zero_run(const unsigned char* in, size_t at, size_t size) {
  static constexpr unsigned char kZeros[64] = {};
  const size_t cap = std::min(size, at + kMaxRun);
  size_t p = at;
  while (cap - p >= sizeof kZeros && std::memcmp(in + p, kZeros, sizeof kZeros) == 0) p += sizeof kZeros;
  while (p < cap && in[p] == 0) ++p;
  return p - at;
}

// Literal bytes from `at` on: up to the first zero word at a multiple of 8 (counted from the
// record's start), the run limit or the end. Zeros inside such a stretch stay literal.
size_t literal_run(const unsigned char* in, size_t at, size_t size) {
  const size_t limit = std::min(size, at + kMaxRun);
  for (size_t p = (at + kWord - 1) / kWord * kWord; p < limit && size - p >= kWord; p += kWord) {
    if (zero_word(in, p)) return p - at;
  }
  return limit - at;
}

}  // namespace

void pack_record(const void* data, size_t size, std::vector<unsigned char>* out) {
  const auto* in = static_cast<const unsigned char*>(data);
  out->clear();
  out->insert(out->end(), std::begin(kMagic), std::end(kMagic));
  const auto raw = static_cast<uint32_t>(size);
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<unsigned char>(raw >> shift));
  size_t at = 0;
  while (at < size) {
    const size_t zeros = zero_run(in, at, size);
    at += zeros;
    const size_t literal = at < size ? literal_run(in, at, size) : 0;
    put_u16(out, zeros);
    put_u16(out, literal);
    out->insert(out->end(), in + at, in + at + literal);
    at += literal;
  }
}

bool unpack_record(const void* blob, size_t size, std::vector<unsigned char>* out) {
  const auto* in = static_cast<const unsigned char*>(blob);
  out->clear();
  if (size < kHeaderSize || std::memcmp(in, kMagic, sizeof kMagic) != 0) return false;
  uint32_t raw = 0;
  for (int i = 0; i < 4; ++i) raw |= static_cast<uint32_t>(in[4 + i]) << (8 * i);
  // The tokens are checked before anything is allocated: a damaged or forged blob claiming
  // gigabytes (which the tokens of a 70 KB blob can describe) would otherwise be zero-filled first,
  // and on the device the allocation alone ends the process.
  if (raw > kMaxUnpackedSize) return false;
  const auto walk = [&](unsigned char* dest) {
    size_t at = kHeaderSize;
    size_t filled = 0;
    while (size - at >= 4) {
      const size_t zeros = get_u16(in + at);
      const size_t literal = get_u16(in + at + 2);
      at += 4;
      if (size - at < literal || raw - filled < zeros + literal) break;
      filled += zeros;
      if (dest != nullptr && literal > 0) std::memcpy(dest + filled, in + at, literal);
      filled += literal;
      at += literal;
    }
    return at == size && filled == raw;
  };
  if (!walk(nullptr)) return false;
  out->resize(raw);  // zero-filled: only the literals are copied
  walk(out->data());
  return true;
}

}  // namespace zvdb
