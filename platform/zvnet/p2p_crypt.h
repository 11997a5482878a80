// Encryption of the P2P registration exchange: RSA-2048 with OAEP padding, each block of at most
// 214 plain bytes sealed into 256 bytes. The device's keys reach the connection through a key
// file (mode 600, made with mkstemp) that the caller removes after use.
#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <memory>
#include <string>

// The bytes that n plain bytes take on the wire once sealed (0 for 0).
size_t rsa_cal_ensize(size_t n);

namespace p2p_keys {
extern const char kDevicePrivate[];
extern const char kDevicePublic[];
extern const char kServicePrivate[];
extern const char kServicePublic[];
}  // namespace p2p_keys

// One side's keys: its own private key (to open what it receives) and the peer's public key (to
// seal what it sends).
struct P2pKeys {
  struct Free {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  };
  std::unique_ptr<EVP_PKEY, Free> own;
  std::unique_ptr<EVP_PKEY, Free> peer;
  bool ready() const { return own != nullptr && peer != nullptr; }
};

// Reads an own private key and a peer public key from PEM texts; not ready() on failure.
P2pKeys p2p_keys_from_pem(const std::string& own_private, const std::string& peer_public);

// Writes the device's keys (its private key, then the service's public key, PEM) into a new file
// made from `path_template` (mkstemp, ending in "XXXXXX"; mode 600), whose name replaces the
// template. Returns 0, or -1 (no file is left).
int p2p_create_keyfile(char* path_template);

// The device's side of a connection from the key file; not ready() when it cannot be read.
P2pKeys p2p_cli_switch_keyfile(const char* path);

// Seals `size` bytes for the peer into rsa_cal_ensize(size) bytes at *out; false on failure.
bool p2p_seal(const P2pKeys& keys, const void* plain, size_t size, std::string* out);

// Opens sealed bytes (a multiple of 256) into *plain; false when any block does not open.
bool p2p_open(const P2pKeys& keys, const void* sealed, size_t size, std::string* plain);
