// AES-256 in CBC mode, for the OEM package (sealed by the packing tool, opened by the device).
// Byte-wise code without lookup tables beyond the S-boxes: packages are small and this keeps a
// general crypto library, and its start-up probing, out of the CGI program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zvcrypt {

class Aes256 {
 public:
  static constexpr size_t kBlock = 16;
  static constexpr size_t kKey = 32;

  explicit Aes256(const uint8_t key[kKey]);

  void encrypt_block(const uint8_t in[kBlock], uint8_t out[kBlock]) const;
  void decrypt_block(const uint8_t in[kBlock], uint8_t out[kBlock]) const;

 private:
  static constexpr int kRounds = 14;
  std::array<uint8_t, kBlock*(kRounds + 1)> round_keys_{};
};

// CBC over `length` bytes (a whole number of blocks); `iv` is updated to the last cipher block,
// so a long text may be processed in pieces. `in` and `out` may be the same buffer.
void cbc_encrypt(const Aes256& aes, uint8_t iv[Aes256::kBlock], const uint8_t* in, uint8_t* out,
                 size_t length);
void cbc_decrypt(const Aes256& aes, uint8_t iv[Aes256::kBlock], const uint8_t* in, uint8_t* out,
                 size_t length);

}  // namespace zvcrypt
