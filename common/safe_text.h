// Texts of a request that the core hands on to configuration files or shell scripts.
#pragma once

#include <json-c/json.h>

#include <climits>
#include <cstddef>

// True when `ok` accepts every text inside `value` (members of objects and elements of arrays);
// numbers and other types pass, and so does a null value. A value nested deeper than `max_depth`
// below `value` is refused, whatever it holds.
bool json_every_text(json_object* value, bool (*ok)(const char* text, size_t length), int max_depth = INT_MAX);

// True when no text inside `value` (members of objects and elements of arrays, at any depth)
// holds CR, LF, an embedded NUL, or one of '"', '`', '$', '\\'. Numbers and other types pass.
bool json_texts_shell_safe(json_object* value);

// True when every text inside `value`, nested at most 8 deep (deeper nesting is refused), is valid
// UTF-8: the plan and action-block readers check what they are given with it before they take
// anything, since their texts are printed back as JSON.
bool json_texts_utf8(json_object* value);
