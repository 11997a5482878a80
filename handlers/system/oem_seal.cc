// The encrypting half of the OEM package cipher, for the packing tool (a fresh random IV each
// time).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/aes.h>
#include <openssl/rand.h>

#include <cstring>

#include "handlers/system/oem_crypt.h"

std::vector<unsigned char> aes_encrypt_web(const unsigned char* data, size_t length, const char* key) {
  if (data == nullptr || length > (size_t{1} << 30)) return {};
  const size_t pad = AES_BLOCK_SIZE - length % AES_BLOCK_SIZE;
  std::vector<unsigned char> plain(data, data + length);
  plain.resize(length + pad, static_cast<unsigned char>(pad));
  std::vector<unsigned char> out(kOemIvBytes + plain.size());
  if (RAND_bytes(out.data(), kOemIvBytes) != 1) return {};
  unsigned char digest[32];
  oem_key_digest(key, digest);
  AES_KEY schedule;
  if (AES_set_encrypt_key(digest, 256, &schedule) != 0) return {};
  unsigned char iv[kOemIvBytes];
  std::memcpy(iv, out.data(), sizeof iv);
  AES_cbc_encrypt(plain.data(), out.data() + kOemIvBytes, plain.size(), &schedule, iv, AES_ENCRYPT);
  return out;
}
