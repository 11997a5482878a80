// SHA-1 and SHA-256, for the P2P registration's padding and the OEM package key. Our own code in
// plain C++: the digest functions of a general crypto library bring its processor probing into
// the start-up of every request.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zvcrypt {

// One running digest; `Sha1` and `Sha256` below. Feed with update(), read once with finish().
template <size_t kWords, size_t kBytes, void (*Compress)(uint32_t*, const uint8_t*)>
class Digest {
 public:
  static constexpr size_t kSize = kBytes;
  using Bytes = std::array<uint8_t, kBytes>;

  explicit Digest(const std::array<uint32_t, kWords>& start) : state_(start) {}

  void update(const void* data, size_t length) {
    const auto* in = static_cast<const uint8_t*>(data);
    total_ += length;
    while (length > 0) {
      const size_t take = length < 64 - used_ ? length : 64 - used_;
      for (size_t i = 0; i < take; ++i) block_[used_ + i] = in[i];
      used_ += take;
      in += take;
      length -= take;
      if (used_ == 64) {
        Compress(state_.data(), block_.data());
        used_ = 0;
      }
    }
  }

  Bytes finish() {
    const uint64_t bits = total_ * 8;
    const uint8_t one = 0x80;
    update(&one, 1);
    const uint8_t zero = 0;
    while (used_ != 56) update(&zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    update(length, sizeof length);
    Bytes out{};
    for (size_t i = 0; i < kBytes; ++i) {
      out[i] = static_cast<uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    }
    return out;
  }

 private:
  std::array<uint32_t, kWords> state_;
  std::array<uint8_t, 64> block_{};
  size_t used_ = 0;
  uint64_t total_ = 0;
};

void sha1_compress(uint32_t* state, const uint8_t* block);
void sha256_compress(uint32_t* state, const uint8_t* block);

class Sha1 : public Digest<5, 20, sha1_compress> {
 public:
  Sha1() : Digest({0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0}) {}
};

class Sha256 : public Digest<8, 32, sha256_compress> {
 public:
  Sha256()
      : Digest({0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
                0x5be0cd19}) {}
};

// The digest of one buffer.
template <class D>
typename D::Bytes digest_of(const void* data, size_t length) {
  D d;
  d.update(data, length);
  return d.finish();
}

}  // namespace zvcrypt
