// Texts of a request that the core hands on to configuration files or shell scripts.
#pragma once

#include <json-c/json.h>

// True when no text inside `value` (members of objects and elements of arrays, at any depth)
// holds CR, LF, an embedded NUL, or one of '"', '`', '$', '\\'. Numbers and other types pass.
bool json_texts_shell_safe(json_object* value);
