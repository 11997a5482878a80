#include "common/url_coding.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~';
}

}  // namespace

void url_decode(const char* text, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  size_t n = 0;
  for (const char* p = text != nullptr ? text : ""; *p != '\0' && n + 1 < size;) {
    if (p[0] == '%' && p[1] != '\0' && p[2] != '\0') {
      const int high = hex_value(p[1]);
      const int low = hex_value(p[2]);
      if (high >= 0 && low >= 0 && (high | low) != 0) {
        out[n++] = static_cast<char>(high * 16 + low);
        p += 3;
        continue;
      }
    }
    out[n++] = *p++;
  }
  out[n] = '\0';
}

void url_encode(const char* text, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  static constexpr char kHex[] = "0123456789ABCDEF";
  size_t n = 0;
  for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (unreserved(c)) {
      if (n + 1 >= size) break;
      out[n++] = static_cast<char>(c);
    } else {
      if (n + 3 >= size) break;
      out[n++] = '%';
      out[n++] = kHex[c >> 4];
      out[n++] = kHex[c & 15];
    }
  }
  out[n] = '\0';
}
