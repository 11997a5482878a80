#include "common/percent_decode.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

size_t percent_decode(const char* text, char* out, size_t size) {
  if (text == nullptr || out == nullptr || size == 0) return 0;
  size_t n = 0;
  while (*text != '\0' && n + 1 < size) {
    // text[1] is only looked at when text[0] is '%', and text[2] only when text[1] is a digit
    // (so not the terminator).
    const int high = text[0] == '%' ? hex_value(text[1]) : -1;
    const int low = high >= 0 ? hex_value(text[2]) : -1;
    if (low >= 0) {
      out[n++] = static_cast<char>(high * 16 + low);
      text += 3;
    } else {
      out[n++] = *text++;
    }
  }
  out[n] = '\0';
  return n;
}
