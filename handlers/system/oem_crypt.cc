// The decrypting half of the OEM package cipher and Base64, linked into webreq.
#include "handlers/system/oem_crypt.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/zvcrypt/aes.h"
#include "platform/zvcrypt/digest.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(unsigned char c) {
  const char* at = c != 0 ? strchr(kAlphabet, c) : nullptr;
  return at != nullptr ? static_cast<int>(at - kAlphabet) : -1;
}

}  // namespace

void oem_key_digest(const char* key, unsigned char out[32]) {
  const auto digest = zvcrypt::digest_of<zvcrypt::Sha256>(key, strlen(key));
  std::memcpy(out, digest.data(), digest.size());
}

int zv_base64_decode(const char* src, unsigned char* dst, int src_len) {
  if (src == nullptr || dst == nullptr || src_len < 0) return -1;
  int out = 0;
  int padding = 0;
  uint32_t group = 0;
  int in_group = 0;
  for (int i = 0; i < src_len; ++i) {
    const auto c = static_cast<unsigned char>(src[i]);
    if (isspace(c)) continue;
    if (c == '=') {
      ++padding;
    } else {
      const int v = sextet(c);
      if (v < 0 || padding > 0) return -1;
      group = (group << 6) | static_cast<uint32_t>(v);
    }
    if (c == '=') group <<= 6;
    if (++in_group == 4) {
      if (padding > 2) return -1;
      dst[out++] = static_cast<unsigned char>(group >> 16);
      if (padding < 2) dst[out++] = static_cast<unsigned char>(group >> 8);
      if (padding < 1) dst[out++] = static_cast<unsigned char>(group);
      group = 0;
      in_group = 0;
    }
  }
  return in_group == 0 ? out : -1;
}

std::string zv_base64_encode(const unsigned char* data, size_t length) {
  std::string out;
  out.reserve(4 * ((length + 2) / 3));
  for (size_t i = 0; i < length; i += 3) {
    const size_t n = std::min<size_t>(3, length - i);
    uint32_t group = uint32_t{data[i]} << 16;
    if (n > 1) group |= uint32_t{data[i + 1]} << 8;
    if (n > 2) group |= data[i + 2];
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += n > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[group & 63] : '=';
  }
  return out;
}

int aesDecryWeb(const unsigned char* data, const char* key, unsigned char* out, int length) {
  if (data == nullptr || key == nullptr || out == nullptr || length <= kOemIvBytes ||
      (length - kOemIvBytes) % zvcrypt::Aes256::kBlock != 0) {
    return -1;
  }
  unsigned char digest[zvcrypt::Aes256::kKey];
  oem_key_digest(key, digest);
  const zvcrypt::Aes256 aes(digest);
  unsigned char iv[kOemIvBytes];
  std::memcpy(iv, data, sizeof iv);
  const int sealed = length - kOemIvBytes;
  zvcrypt::cbc_decrypt(aes, iv, data + kOemIvBytes, out, static_cast<size_t>(sealed));
  // PKCS#7: the last byte gives the padding length, every padding byte holds it.
  const int pad = out[sealed - 1];
  if (pad < 1 || pad > static_cast<int>(zvcrypt::Aes256::kBlock)) return -1;
  for (int i = 1; i <= pad; ++i) {
    if (out[sealed - i] != pad) return -1;
  }
  return sealed - pad;
}
