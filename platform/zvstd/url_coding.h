// Text codings of names and paths that travel in URLs and file names: URL-safe Base64 (the alarm
// audio file names) and percent coding (the diagnostics package path). Every function is bounded
// by the caller's buffer and never reads past the end of its input.
#pragma once

#include <cstddef>

// ---- URL-safe Base64: the alphabet A-Z a-z 0-9 '-' '_', no padding --------------------------

// Characters of the encoding of `length` bytes (without the terminating NUL).
constexpr size_t base64_url_length(size_t length) { return length / 3 * 4 + (length % 3 == 0 ? 0 : length % 3 + 1); }

// Encodes `length` bytes of `data` into `out` (NUL-terminated). The whole encoding fits or nothing
// is written: returns its length, or -1 (out "" when out_size > 0) when out_size cannot hold it
// and its NUL, or an argument is null.
int base64EncodeUrl(const void* data, size_t length, char* out, size_t out_size);

// Decodes the first `length` characters of `text` (trailing '=' padding is accepted) into `out`,
// followed by a NUL byte. Returns the number of bytes decoded, or -1 (out "" when out_size > 0)
// when a character is outside the alphabet, the length cannot be an encoding, the decoded bytes
// and their NUL do not fit out_size, or an argument is null.
int base64DecodeUrl(const char* text, size_t length, unsigned char* out, size_t out_size);

// ---- Percent coding ---------------------------------------------------------------------------

// Writes `text` into `out` with every byte except A-Z a-z 0-9 '-' '_' '.' '~' '/' as "%XX"
// (upper-case hex), NUL-terminated. The full encoded length is computed first; when it does not
// fit out_size - 1, the output ends before the first escape or character that would not fit
// whole. Returns the full encoded length (greater than out_size - 1 when cut). Null text or out,
// or out_size 0: returns 0 and writes nothing.
size_t get_url_encode(const char* text, char* out, size_t out_size);
// The same, with '/' escaped too: a component of a URL or a form value (a user name, a password).
size_t url_encode_component(const char* text, char* out, size_t out_size);

// Decodes, in place, every complete "%XX" pair (two hex digits) into its byte; a '%' without two
// hex digits after it, and "%00" (which would cut the text), stay as they are. The text never
// grows. Returns the new length (0 for null).
size_t get_url_decode(char* text);
// The same decoding from `text` into `out` (out_size bytes, NUL-terminated when out_size > 0),
// cut to out_size - 1 bytes; nothing is read past the text's NUL. Returns the length written (0
// for a null text or out, or out_size 0).
size_t url_decode_into(const char* text, char* out, size_t out_size);
