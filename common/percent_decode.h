// Percent decoding of texts the web pages send URL-encoded (plates, names).
#pragma once

#include <cstddef>

// Decodes `text` (NUL-terminated) into `out` of `size` bytes: every complete "%XX" (two hex
// digits) becomes its byte; a '%' without two hex digits after it is kept as it is, and nothing
// is read past the text's end. The result is cut to size - 1 bytes and NUL-terminated. Returns
// its length (0 when text or out is null, or size is 0).
size_t percent_decode(const char* text, char* out, size_t size);
