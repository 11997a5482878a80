// The 64-bit channel set that copy calls, change notices and operation-log records carry.
#pragma once

#include "platform/zvrecord/schema.h"
#include <cstddef>
#include <cstdint>

// A 64-bit channel set, bit n = channel n. On the wire (and in the database's copy calls) it is
// two 32-bit words, the low word (channels 0..31) first.
struct ChannelMask64 {
  uint32_t low;
  uint32_t high;

  static constexpr ChannelMask64 from_u64(uint64_t bits) {
    return ChannelMask64{static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)};
  }
  constexpr uint64_t bits() const { return (static_cast<uint64_t>(high) << 32) | low; }
  constexpr bool test(int channel) const {
    return channel >= 0 && channel < 64 && ((bits() >> channel) & 1u) != 0;
  }
  constexpr void set(int channel) {
    if (channel >= 0 && channel < 64) *this = from_u64(bits() | (uint64_t{1} << channel));
  }
  constexpr bool empty() const { return low == 0 && high == 0; }
};

ZV_SCHEMA(ChannelMask64, ZV_INTERNAL(low), ZV_INTERNAL(high));
static_assert(sizeof(ChannelMask64) == 8);
