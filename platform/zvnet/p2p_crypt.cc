#include "platform/zvnet/p2p_crypt.h"

#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kBlock = 256;                  // RSA-2048
constexpr size_t kPlainPerBlock = kBlock - 42;  // OAEP with SHA-1

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;
struct CtxFree {
  void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;

P2pKeys keys_from(BIO* bio) {
  P2pKeys keys;
  keys.own.reset(PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr));
  keys.peer.reset(PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr));
  if (keys.own != nullptr && EVP_PKEY_get_size(keys.own.get()) != static_cast<int>(kBlock)) keys.own.reset();
  if (keys.peer != nullptr && EVP_PKEY_get_size(keys.peer.get()) != static_cast<int>(kBlock)) keys.peer.reset();
  return keys;
}

CtxPtr oaep_context(EVP_PKEY* key, bool seal) {
  CtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
  if (ctx == nullptr || (seal ? EVP_PKEY_encrypt_init(ctx.get()) : EVP_PKEY_decrypt_init(ctx.get())) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) <= 0) {
    return nullptr;
  }
  return ctx;
}

}  // namespace

size_t rsa_cal_ensize(size_t n) { return (n + kPlainPerBlock - 1) / kPlainPerBlock * kBlock; }

P2pKeys p2p_keys_from_pem(const std::string& own_private, const std::string& peer_public) {
  const std::string both = own_private + peer_public;
  BioPtr bio(BIO_new_mem_buf(both.data(), static_cast<int>(both.size())));
  return bio != nullptr ? keys_from(bio.get()) : P2pKeys{};
}

int p2p_create_keyfile(char* path_template) {
  // mkstemp makes the file with mode 600; the umask cannot widen it.
  const int fd = mkstemp(path_template);
  if (fd < 0) return -1;
  const std::string text = std::string(p2p_keys::kDevicePrivate) + p2p_keys::kServicePublic;
  bool written = fchmod(fd, S_IRUSR | S_IWUSR) == 0;
  for (size_t done = 0; written && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 || !written) {
    unlink(path_template);
    return -1;
  }
  return 0;
}

P2pKeys p2p_cli_switch_keyfile(const char* path) {
  BioPtr bio(BIO_new_file(path, "r"));
  return bio != nullptr ? keys_from(bio.get()) : P2pKeys{};
}

bool p2p_seal(const P2pKeys& keys, const void* plain, size_t size, std::string* out) {
  out->clear();
  if (keys.peer == nullptr) return false;
  CtxPtr ctx = oaep_context(keys.peer.get(), true);
  if (ctx == nullptr) return false;
  const auto* p = static_cast<const unsigned char*>(plain);
  for (size_t at = 0; at < size; at += kPlainPerBlock) {
    unsigned char block[kBlock];
    size_t length = sizeof block;
    if (EVP_PKEY_encrypt(ctx.get(), block, &length, p + at, std::min(kPlainPerBlock, size - at)) <= 0 ||
        length != kBlock) {
      return false;
    }
    out->append(reinterpret_cast<const char*>(block), length);
  }
  return true;
}

bool p2p_open(const P2pKeys& keys, const void* sealed, size_t size, std::string* plain) {
  plain->clear();
  if (keys.own == nullptr || size % kBlock != 0) return false;
  CtxPtr ctx = oaep_context(keys.own.get(), false);
  if (ctx == nullptr) return false;
  const auto* p = static_cast<const unsigned char*>(sealed);
  for (size_t at = 0; at < size; at += kBlock) {
    unsigned char block[kBlock];
    size_t length = sizeof block;
    if (EVP_PKEY_decrypt(ctx.get(), block, &length, p + at, kBlock) <= 0) return false;
    plain->append(reinterpret_cast<const char*>(block), length);
  }
  return true;
}
