// Percent coding of texts that travel inside URLs and form values (network-disk user names and
// passwords): the usual escapes, bounded by the caller's buffer.
#pragma once

#include <cstddef>

// Decodes `text` into `out` (size bytes, always NUL-terminated when size > 0): every complete
// "%XX" pair of hex digits becomes its byte; a '%' without two hex digits after it, and "%00"
// (which would cut the text), are copied as they are. Nothing is read past the text's NUL. The
// result is cut to size - 1 bytes.
void url_decode(const char* text, char* out, size_t size);

// Encodes `text` into `out` (size bytes, always NUL-terminated when size > 0): letters, digits and
// "-_.~" stay, every other byte becomes "%XX" (upper-case hex). A character whose escape does not
// fit is left out with everything after it, so the output never ends in a broken escape.
void url_encode(const char* text, char* out, size_t size);
