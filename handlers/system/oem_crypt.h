// The OEM package cipher: a package is the Base64 text of IV (16 bytes) followed by the archive
// encrypted with AES-256-CBC (PKCS#7 padding) under the SHA-256 digest of the key text. The
// packing tool (tools/zvoem-pack) encrypts, the "/oem" request decrypts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kOemIvBytes = 16;

// The 32-byte AES key of a key text: its SHA-256 digest.
void oem_key_digest(const char* key, unsigned char out[32]);

// Decodes Base64 text (line breaks and blanks ignored) into dst, which holds at least
// src_len bytes. Returns the decoded length, or -1 when the text is not Base64.
int zv_base64_decode(const char* src, unsigned char* dst, int src_len);
std::string zv_base64_encode(const unsigned char* data, size_t length);

// Decrypts `length` bytes with the key text into `out` (room for `length` bytes). Returns the
// plain length, or a value <= 0 when the data is too short or the key or padding is wrong.
int aesDecryWeb(const unsigned char* data, const char* key, unsigned char* out, int length);
// The matching encryption (oem_seal.cc; a fresh random IV each time); empty on failure.
std::vector<unsigned char> aes_encrypt_web(const unsigned char* data, size_t length, const char* key);
