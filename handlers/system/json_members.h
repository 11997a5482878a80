// Reading members of a request's JSON object. A member of the wrong kind (an object or array where
// a number or text is expected) counts as absent.
#pragma once

#include <json-c/json.h>

#include <cstddef>

// True with *out set when `key` is present as a number, boolean or numeric text.
bool json_member_int(json_object* object, const char* key, int* out);

// True with the member's text copied into buffer (cut to size - 1) when `key` is present as a text
// or number. When absent, the buffer is left as it is and false is returned.
bool json_member_text(json_object* object, const char* key, char* buffer, size_t size);

// Copies text into a fixed field of `size` bytes, cut to size - 1, always NUL-terminated.
void copy_field(char* field, size_t size, const char* text);
