// AES-256: the S-boxes are built once at compile time from the field inverse and the affine map.
#include "platform/zvcrypt/aes.h"

#include <cstring>

namespace zvcrypt {
namespace {

constexpr uint8_t xtime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0)); }

constexpr uint8_t mul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b != 0) {
    if (b & 1) r ^= a;
    a = xtime(a);
    b >>= 1;
  }
  return r;
}

struct Boxes {
  uint8_t forward[256]{};
  uint8_t inverse[256]{};
};

constexpr uint8_t rotl8(uint8_t x, int shift) { return static_cast<uint8_t>((x << shift) | (x >> (8 - shift))); }

// p runs through every non-zero field element as the powers of 3, q through their inverses (the
// powers of 1/3): one step each, 255 steps in all (a search for each inverse takes compilers past
// their limit of constant evaluation).
constexpr Boxes make_boxes() {
  Boxes boxes;
  uint8_t p = 1;
  uint8_t q = 1;
  do {
    p = static_cast<uint8_t>(p ^ xtime(p));  // p * 3
    q ^= static_cast<uint8_t>(q << 1);       // q / 3
    q ^= static_cast<uint8_t>(q << 2);
    q ^= static_cast<uint8_t>(q << 4);
    if (q & 0x80) q ^= 0x09;
    const uint8_t s = static_cast<uint8_t>(q ^ rotl8(q, 1) ^ rotl8(q, 2) ^ rotl8(q, 3) ^ rotl8(q, 4) ^ 0x63);
    boxes.forward[p] = s;
    boxes.inverse[s] = p;
  } while (p != 1);
  boxes.forward[0] = 0x63;  // zero has no inverse: the affine map of 0
  boxes.inverse[0x63] = 0;
  return boxes;
}

constexpr Boxes kBoxes = make_boxes();
static_assert(kBoxes.forward[0x00] == 0x63 && kBoxes.forward[0x53] == 0xed);

void add_round_key(uint8_t* s, const uint8_t* k) {
  for (size_t i = 0; i < Aes256::kBlock; ++i) s[i] ^= k[i];
}

// The state is column-major: byte 4*c + r is row r of column c.
void shift_rows(uint8_t* s, bool inverse) {
  uint8_t t[Aes256::kBlock];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      const int from = inverse ? (c - r + 4) % 4 : (c + r) % 4;
      t[4 * c + r] = s[4 * from + r];
    }
  }
  std::memcpy(s, t, sizeof t);
}

void mix_columns(uint8_t* s, bool inverse) {
  const uint8_t m[4] = {static_cast<uint8_t>(inverse ? 14 : 2), static_cast<uint8_t>(inverse ? 11 : 3),
                        static_cast<uint8_t>(inverse ? 13 : 1), static_cast<uint8_t>(inverse ? 9 : 1)};
  for (int c = 0; c < 4; ++c) {
    uint8_t* col = s + 4 * c;
    const uint8_t a[4] = {col[0], col[1], col[2], col[3]};
    for (int r = 0; r < 4; ++r) {
      col[r] = static_cast<uint8_t>(mul(a[r], m[0]) ^ mul(a[(r + 1) % 4], m[1]) ^
                                    mul(a[(r + 2) % 4], m[2]) ^ mul(a[(r + 3) % 4], m[3]));
    }
  }
}

void substitute(uint8_t* s, const uint8_t* box) {
  for (size_t i = 0; i < Aes256::kBlock; ++i) s[i] = box[s[i]];
}

}  // namespace

Aes256::Aes256(const uint8_t key[kKey]) {
  std::memcpy(round_keys_.data(), key, kKey);
  uint8_t rcon = 1;
  for (size_t i = kKey; i < round_keys_.size(); i += 4) {
    uint8_t t[4];
    std::memcpy(t, &round_keys_[i - 4], 4);
    if (i % kKey == 0) {
      const uint8_t first = t[0];
      t[0] = static_cast<uint8_t>(kBoxes.forward[t[1]] ^ rcon);
      t[1] = kBoxes.forward[t[2]];
      t[2] = kBoxes.forward[t[3]];
      t[3] = kBoxes.forward[first];
      rcon = xtime(rcon);
    } else if (i % kKey == 16) {
      for (uint8_t& b : t) b = kBoxes.forward[b];
    }
    for (int j = 0; j < 4; ++j) round_keys_[i + j] = static_cast<uint8_t>(round_keys_[i - kKey + j] ^ t[j]);
  }
}

void Aes256::encrypt_block(const uint8_t in[kBlock], uint8_t out[kBlock]) const {
  uint8_t s[kBlock];
  std::memcpy(s, in, kBlock);
  add_round_key(s, &round_keys_[0]);
  for (int round = 1; round <= kRounds; ++round) {
    substitute(s, kBoxes.forward);
    shift_rows(s, false);
    if (round != kRounds) mix_columns(s, false);
    add_round_key(s, &round_keys_[kBlock * round]);
  }
  std::memcpy(out, s, kBlock);
}

void Aes256::decrypt_block(const uint8_t in[kBlock], uint8_t out[kBlock]) const {
  uint8_t s[kBlock];
  std::memcpy(s, in, kBlock);
  add_round_key(s, &round_keys_[kBlock * kRounds]);
  for (int round = kRounds - 1; round >= 0; --round) {
    shift_rows(s, true);
    substitute(s, kBoxes.inverse);
    add_round_key(s, &round_keys_[kBlock * round]);
    if (round != 0) mix_columns(s, true);
  }
  std::memcpy(out, s, kBlock);
}

void cbc_encrypt(const Aes256& aes, uint8_t iv[Aes256::kBlock], const uint8_t* in, uint8_t* out,
                 size_t length) {
  for (size_t at = 0; at + Aes256::kBlock <= length; at += Aes256::kBlock) {
    uint8_t block[Aes256::kBlock];
    for (size_t i = 0; i < Aes256::kBlock; ++i) block[i] = in[at + i] ^ iv[i];
    aes.encrypt_block(block, out + at);
    std::memcpy(iv, out + at, Aes256::kBlock);
  }
}

void cbc_decrypt(const Aes256& aes, uint8_t iv[Aes256::kBlock], const uint8_t* in, uint8_t* out,
                 size_t length) {
  for (size_t at = 0; at + Aes256::kBlock <= length; at += Aes256::kBlock) {
    uint8_t cipher[Aes256::kBlock];
    std::memcpy(cipher, in + at, sizeof cipher);
    uint8_t plain[Aes256::kBlock];
    aes.decrypt_block(cipher, plain);
    for (size_t i = 0; i < Aes256::kBlock; ++i) out[at + i] = plain[i] ^ iv[i];
    std::memcpy(iv, cipher, sizeof cipher);
  }
}

}  // namespace zvcrypt
