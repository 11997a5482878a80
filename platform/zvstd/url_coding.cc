// URL-safe Base64 and percent coding.
#include "platform/zvstd/url_coding.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr char kHex[] = "0123456789ABCDEF";

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '-') return 62;
  if (c == '_') return 63;
  return -1;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool kept_as_is(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~' || c == '/';
}

int fail(void* out, size_t out_size) {
  if (out != nullptr && out_size > 0) static_cast<char*>(out)[0] = '\0';
  return -1;
}

}  // namespace

int base64EncodeUrl(const void* data, size_t length, char* out, size_t out_size) {
  if (data == nullptr || out == nullptr) return fail(out, out_size);
  const size_t encoded = base64_url_length(length);
  if (encoded >= out_size || encoded > INT32_MAX) return fail(out, out_size);
  const auto* in = static_cast<const unsigned char*>(data);
  size_t o = 0;
  for (size_t i = 0; i < length; i += 3) {
    const size_t left = length - i;
    const uint32_t word = (uint32_t{in[i]} << 16) | (left > 1 ? uint32_t{in[i + 1]} << 8 : 0) |
                          (left > 2 ? uint32_t{in[i + 2]} : 0);
    out[o++] = kAlphabet[(word >> 18) & 63];
    out[o++] = kAlphabet[(word >> 12) & 63];
    if (left > 1) out[o++] = kAlphabet[(word >> 6) & 63];
    if (left > 2) out[o++] = kAlphabet[word & 63];
  }
  out[o] = '\0';
  return static_cast<int>(o);
}

int base64DecodeUrl(const char* text, size_t length, unsigned char* out, size_t out_size) {
  if (text == nullptr || out == nullptr) return fail(out, out_size);
  size_t n = strnlen(text, length);
  if (n != length) return fail(out, out_size);  // a NUL inside the given length
  for (int pad = 0; pad < 2 && n > 0 && text[n - 1] == '='; ++pad) --n;
  if (n % 4 == 1) return fail(out, out_size);
  const size_t decoded = n / 4 * 3 + (n % 4 == 0 ? 0 : n % 4 - 1);
  if (decoded >= out_size || decoded > INT32_MAX) return fail(out, out_size);
  size_t o = 0;
  for (size_t i = 0; i < n; i += 4) {
    const size_t left = n - i;
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) {
      int v = 0;
      if (k < left) {
        v = base64_value(text[i + k]);
        if (v < 0) return fail(out, out_size);
      }
      word = (word << 6) | static_cast<uint32_t>(v);
    }
    out[o++] = static_cast<unsigned char>(word >> 16);
    if (left > 2) out[o++] = static_cast<unsigned char>(word >> 8);
    if (left > 3) out[o++] = static_cast<unsigned char>(word);
  }
  out[o] = '\0';
  return static_cast<int>(o);
}

namespace {

// Percent encoding with '/' kept (paths) or escaped (a component such as a password).
size_t encode(const char* text, char* out, size_t out_size, bool keep_slash) {
  if (text == nullptr || out == nullptr || out_size == 0) return 0;
  auto kept = [keep_slash](unsigned char c) { return kept_as_is(c) && (keep_slash || c != '/'); };
  size_t full = 0;
  for (const char* p = text; *p != '\0'; ++p) full += kept(static_cast<unsigned char>(*p)) ? 1 : 3;
  size_t o = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    const size_t need = kept(c) ? 1 : 3;
    if (o + need > out_size - 1) break;
    if (need == 1) {
      out[o++] = static_cast<char>(c);
    } else {
      out[o++] = '%';
      out[o++] = kHex[c >> 4];
      out[o++] = kHex[c & 15];
    }
  }
  out[o] = '\0';
  return full;
}

// Decodes `text` into `out`, writing at most `limit` bytes (out may be text itself: it never
// grows). Returns the bytes written.
size_t decode(const char* text, char* out, size_t limit) {
  size_t r = 0;
  size_t w = 0;
  while (text[r] != '\0' && w < limit) {
    if (text[r] == '%' && text[r + 1] != '\0' && text[r + 2] != '\0') {
      const int hi = hex_value(text[r + 1]);
      const int lo = hex_value(text[r + 2]);
      if (hi >= 0 && lo >= 0 && (hi | lo) != 0) {
        out[w++] = static_cast<char>(hi * 16 + lo);
        r += 3;
        continue;
      }
    }
    out[w++] = text[r++];
  }
  return w;
}

}  // namespace

size_t get_url_encode(const char* text, char* out, size_t out_size) { return encode(text, out, out_size, true); }

size_t url_encode_component(const char* text, char* out, size_t out_size) {
  return encode(text, out, out_size, false);
}

size_t url_decode_into(const char* text, char* out, size_t out_size) {
  if (out == nullptr || out_size == 0) return 0;
  const size_t n = text != nullptr ? decode(text, out, out_size - 1) : 0;
  out[n] = '\0';
  return n;
}

size_t get_url_decode(char* text) {
  if (text == nullptr) return 0;
  const size_t n = decode(text, text, SIZE_MAX);
  text[n] = '\0';
  return n;
}
