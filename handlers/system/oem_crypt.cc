#include "handlers/system/oem_crypt.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace {

constexpr int kIvBytes = 16;

struct CipherDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherDeleter>;

void derive_key(const char* key, unsigned char out[SHA256_DIGEST_LENGTH]) {
  SHA256(reinterpret_cast<const unsigned char*>(key), strlen(key), out);
}

}  // namespace

int zv_base64_decode(const char* src, unsigned char* dst, int src_len) {
  if (src == nullptr || dst == nullptr || src_len < 0) return -1;
  std::string text;
  text.reserve(static_cast<size_t>(src_len));
  for (int i = 0; i < src_len; ++i) {
    if (!isspace(static_cast<unsigned char>(src[i]))) text += src[i];
  }
  if (text.size() % 4 != 0) return -1;
  if (text.empty()) return 0;
  const int n = EVP_DecodeBlock(dst, reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) return -1;
  int padding = 0;
  if (text[text.size() - 1] == '=') ++padding;
  if (text[text.size() - 2] == '=') ++padding;
  return n - padding;
}

std::string zv_base64_encode(const unsigned char* data, size_t length) {
  std::string out(4 * ((length + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(length));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

int aesDecryWeb(const unsigned char* data, const char* key, unsigned char* out, int length) {
  if (data == nullptr || key == nullptr || out == nullptr || length <= kIvBytes) return -1;
  unsigned char digest[SHA256_DIGEST_LENGTH];
  derive_key(key, digest);
  CipherPtr ctx(EVP_CIPHER_CTX_new());
  int written = 0;
  int final_bytes = 0;
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, digest, data) != 1 ||
      EVP_DecryptUpdate(ctx.get(), out, &written, data + kIvBytes, length - kIvBytes) != 1 ||
      EVP_DecryptFinal_ex(ctx.get(), out + written, &final_bytes) != 1) {
    return -1;
  }
  return written + final_bytes;
}

std::vector<unsigned char> aes_encrypt_web(const unsigned char* data, size_t length, const char* key) {
  std::vector<unsigned char> out(kIvBytes + length + 32);
  if (RAND_bytes(out.data(), kIvBytes) != 1) return {};
  unsigned char digest[SHA256_DIGEST_LENGTH];
  derive_key(key, digest);
  CipherPtr ctx(EVP_CIPHER_CTX_new());
  int written = 0;
  int final_bytes = 0;
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, digest, out.data()) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data() + kIvBytes, &written, data, static_cast<int>(length)) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), out.data() + kIvBytes + written, &final_bytes) != 1) {
    return {};
  }
  out.resize(static_cast<size_t>(kIvBytes + written + final_bytes));
  return out;
}
