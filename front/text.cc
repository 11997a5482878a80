// Case-insensitive compares of request texts (method, content type, header names).
#include "front/cgi.h"

namespace {

// ASCII only: the compares must not depend on the process locale.
inline unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

int text_equal_nocase(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  for (;; ++a, ++b) {
    const auto ca = static_cast<unsigned char>(*a);
    const auto cb = static_cast<unsigned char>(*b);
    if (fold(ca) != fold(cb)) return 0;
    if (ca == '\0') return 1;
  }
}

int text_begins_nocase(const char* text, const char* prefix) {
  if (text == nullptr || prefix == nullptr) return 0;
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (fold(static_cast<unsigned char>(*text)) != fold(static_cast<unsigned char>(*prefix))) {
      return 0;
    }
  }
  return 1;
}
