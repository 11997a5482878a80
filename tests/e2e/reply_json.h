// Reading the JSON of a reply in end-to-end tests: the parsed tree and its members by key.
#pragma once

#include <gtest/gtest.h>
#include <json-c/json.h>

#include <memory>
#include <string>

namespace zvtest {

struct JsonDelete {
  void operator()(json_object* o) const { json_object_put(o); }
};
using Json = std::unique_ptr<json_object, JsonDelete>;

inline Json parse(const std::string& body) {
  Json tree(json_tokener_parse(body.c_str()));
  EXPECT_NE(tree.get(), nullptr) << body;
  return tree;
}
inline json_object* at(json_object* o, const char* key) { return json_object_object_get(o, key); }
inline int int_at(json_object* o, const char* key) { return json_object_get_int(at(o, key)); }
inline std::string text_at(json_object* o, const char* key) {
  const char* t = json_object_get_string(at(o, key));
  return t != nullptr ? t : "";
}

}  // namespace zvtest
