// The encrypting half of the OEM package cipher, for the packing tool (a fresh random IV each
// time).
#include <sys/random.h>

#include <cstring>

#include "handlers/system/oem_crypt.h"
#include "platform/zvcrypt/aes.h"

std::vector<unsigned char> aes_encrypt_web(const unsigned char* data, size_t length, const char* key) {
  if (data == nullptr || length > (size_t{1} << 30)) return {};
  const size_t pad = zvcrypt::Aes256::kBlock - length % zvcrypt::Aes256::kBlock;
  std::vector<unsigned char> plain(data, data + length);
  plain.resize(length + pad, static_cast<unsigned char>(pad));
  std::vector<unsigned char> out(kOemIvBytes + plain.size());
  if (getrandom(out.data(), kOemIvBytes, 0) != kOemIvBytes) return {};
  unsigned char digest[zvcrypt::Aes256::kKey];
  oem_key_digest(key, digest);
  const zvcrypt::Aes256 aes(digest);
  unsigned char iv[kOemIvBytes];
  std::memcpy(iv, out.data(), sizeof iv);
  zvcrypt::cbc_encrypt(aes, iv, plain.data(), out.data() + kOemIvBytes, plain.size());
  return out;
}
