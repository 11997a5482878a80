#include "common/safe_text.h"

#include <cstring>

#include "common/json_fields.h"

namespace {

bool every_text(json_object* value, bool (*ok)(const char*, size_t), int depth, int max_depth) {
  if (depth > max_depth) return false;
  if (value == nullptr) return true;
  switch (json_object_get_type(value)) {
    case json_type_string:
      return ok(json_object_get_string(value), static_cast<size_t>(json_object_get_string_len(value)));
    case json_type_array: {
      const size_t count = json_object_array_length(value);
      for (size_t i = 0; i < count; ++i) {
        if (!every_text(json_object_array_get_idx(value, i), ok, depth + 1, max_depth)) return false;
      }
      return true;
    }
    case json_type_object: {
      json_object_object_foreach(value, key, member) {
        (void)key;
        if (!every_text(member, ok, depth + 1, max_depth)) return false;
      }
      return true;
    }
    default:
      return true;
  }
}

bool shell_safe(const char* text, size_t length) {
  return std::strlen(text) == length && std::strpbrk(text, "\r\n\"`$\\") == nullptr;
}

}  // namespace

bool json_every_text(json_object* value, bool (*ok)(const char* text, size_t length), int max_depth) {
  return every_text(value, ok, 0, max_depth);
}

bool json_texts_shell_safe(json_object* value) { return json_every_text(value, shell_safe); }

bool json_texts_utf8(json_object* value) { return json_every_text(value, valid_request_text, 8); }
