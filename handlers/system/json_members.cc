#include "handlers/system/json_members.h"

#include <cstring>

namespace {
json_object* scalar_member(json_object* object, const char* key) {
  json_object* member = nullptr;
  if (object == nullptr || !json_object_is_type(object, json_type_object) ||
      !json_object_object_get_ex(object, key, &member) || member == nullptr) {
    return nullptr;
  }
  if (json_object_is_type(member, json_type_object) || json_object_is_type(member, json_type_array)) {
    return nullptr;
  }
  return member;
}
}  // namespace

bool json_member_int(json_object* object, const char* key, int* out) {
  json_object* member = scalar_member(object, key);
  if (member == nullptr) return false;
  *out = json_object_get_int(member);
  return true;
}

bool json_member_text(json_object* object, const char* key, char* buffer, size_t size) {
  json_object* member = scalar_member(object, key);
  if (member == nullptr) return false;
  const char* text = json_object_get_string(member);
  copy_field(buffer, size, text != nullptr ? text : "");
  return true;
}

void copy_field(char* field, size_t size, const char* text) {
  if (size == 0) return;
  size_t n = strnlen(text, size - 1);
  std::memcpy(field, text, n);
  field[n] = '\0';
}
