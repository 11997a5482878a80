#include "common/safe_text.h"

#include <cstring>

bool json_texts_shell_safe(json_object* value) {
  if (value == nullptr) return true;
  switch (json_object_get_type(value)) {
    case json_type_string: {
      const char* text = json_object_get_string(value);
      const size_t length = static_cast<size_t>(json_object_get_string_len(value));
      return std::strlen(text) == length && std::strpbrk(text, "\r\n\"`$\\") == nullptr;
    }
    case json_type_array: {
      const size_t count = json_object_array_length(value);
      for (size_t i = 0; i < count; ++i) {
        if (!json_texts_shell_safe(json_object_array_get_idx(value, i))) return false;
      }
      return true;
    }
    case json_type_object: {
      json_object_object_foreach(value, key, member) {
        (void)key;
        if (!json_texts_shell_safe(member)) return false;
      }
      return true;
    }
    default:
      return true;
  }
}
