// The streaming JSON writer against the JSON library: every document is built twice, once as a
// library tree printed with json_object_to_json_string() and once with JsonWriter, and the bytes
// must be the same.
#include <json-c/json.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/json_fields.h"
#include "common/json_writer.h"

namespace {

// Makes the same document as a library tree and with the writer, call by call.
class Both {
 public:
  Both& begin_object() { writer_.begin_object(); return open(json_object_new_object()); }
  Both& begin_array() { writer_.begin_array(); return open(json_object_new_array()); }
  Both& end_object() { writer_.end_object(); open_.pop_back(); return *this; }
  Both& end_array() { writer_.end_array(); open_.pop_back(); return *this; }
  Both& key(std::string_view k) {
    writer_.key(k);
    key_ = std::string(k);  // the library takes a C string: the key ends at a NUL
    return *this;
  }
  Both& plain_key(std::string_view k) {
    writer_.plain_key(k);
    key_ = std::string(k);
    return *this;
  }
  template <class T>
  Both& value(T v) {
    writer_.value(v);
    if constexpr (std::is_same_v<T, bool>) return add(json_object_new_boolean(v));
    else if constexpr (std::is_integral_v<T>) return add(json_object_new_int64(v));
    else if constexpr (std::is_same_v<T, const char*>) return add(json_object_new_string(v));
    else return add(json_object_new_string_len(v.data(), static_cast<int>(v.size())));
  }
  Both& null() { writer_.null(); return add(nullptr); }
  Both& field(const char* text, size_t width) {
    writer_.field(text, width);
    return add(json_text_field(text, width));
  }

  std::string library_text() const { return json_object_to_json_string(root_.get()); }
  const JsonWriter& writer() const { return writer_; }

 private:
  Both& open(json_object* container) {
    add(container);
    open_.push_back(container);
    return *this;
  }
  Both& add(json_object* v) {
    if (open_.empty()) {
      root_.reset(v);
    } else if (json_object_is_type(open_.back(), json_type_array)) {
      json_object_array_add(open_.back(), v);
    } else {
      json_object_object_add(open_.back(), key_.c_str(), v);
    }
    return *this;
  }

  JsonWriter writer_;
  std::unique_ptr<json_object, decltype(&json_object_put)> root_{nullptr, json_object_put};
  std::vector<json_object*> open_;
  std::string key_;
};

std::string byte_text(int byte) { return std::string(1, static_cast<char>(byte)); }

struct Case {
  const char* name;
  std::function<void(Both&)> build;
};

const Case kCases[] = {
    {"empty object", [](Both& b) { b.begin_object().end_object(); }},
    {"empty array", [](Both& b) { b.begin_array().end_array(); }},
    {"top-level integer", [](Both& b) { b.value(int64_t{-7}); }},
    {"top-level null", [](Both& b) { b.null(); }},
    {"empty containers as members and elements",
     [](Both& b) {
       b.begin_object().key("o").begin_object().end_object().key("a").begin_array().end_array();
       b.key("n").begin_array().begin_array().end_array().begin_object().end_object();
       b.begin_array().begin_array().end_array().end_array().end_array().end_object();
     }},
    {"nesting and every value kind",
     [](Both& b) {
       b.begin_object().key("IPC").begin_array();
       for (int i = 0; i < 3; ++i) {
         b.begin_object().key("id").value(i).key("name").value("CAM").key("on").value(i == 1);
         b.key("none").null().key("list").begin_array().value(i).value(std::string_view("x")).null();
         b.end_array().key("deep").begin_object().key("e").begin_array().end_array().end_object();
         b.end_object();
       }
       b.end_array().key("maxIPCNums").value(32).end_object();
     }},
    {"integer extremes and digit-count edges",
     [](Both& b) {
       b.begin_array();
       for (int64_t n : std::initializer_list<int64_t>{0, 1, -1, 9, 10, -10, 999999999, 1000000000,
                                                       -2147483649, 2147483648, INT64_MIN, INT64_MIN + 1,
                                                       INT64_MAX}) {
         b.value(n);
       }
       b.value(INT32_MIN).value(INT32_MAX).value(UINT32_MAX).value(int16_t{-32768}).value(uint8_t{255});
       b.end_array();
     }},
    {"every byte at every position of a short and a long text, between fillers next to escaped bytes",
     [](Both& b) {
       b.begin_array();
       std::string all;
       for (int c = 0; c < 256; ++c) all += byte_text(c);
       b.value(std::string_view(all));
       for (char filler : {'a', '!', '0', ']', '\xff'}) {
         for (int c = 0; c < 256; ++c) {
           for (size_t length : {15, 17}) {  // short texts take a way of their own
             for (size_t at = 0; at < length; ++at) {
               std::string text(length, filler);
               text[at] = static_cast<char>(c);
               b.value(std::string_view(text));
             }
           }
         }
       }
       b.end_array();
     }},
    {"every byte as a key",
     [](Both& b) {
       b.begin_object();
       std::string all;
       for (int c = 1; c < 256; ++c) {
         b.key(byte_text(c)).value(int32_t{c});
         all += byte_text(c);
       }
       b.key(all).value(true).end_object();
     }},
    {"plain keys in objects, first and later, in an array and nested",
     [](Both& b) {
       b.begin_array().begin_object().plain_key("startTime").value("").plain_key("a").value(int32_t{1});
       b.plain_key("nested").begin_object().plain_key("wholedayEnable").value(false).end_object();
       b.end_object().begin_object().plain_key("x").null().end_object().end_array();
     }},
    {"a key ends at its first NUL",
     [](Both& b) {
       b.begin_object().key(std::string_view("ab\0cd", 5)).value(int32_t{1});
       b.key(std::string_view("abcdefghi\0jklmnopqr", 20)).value(int32_t{2}).end_object();  // past 8 plain bytes
     }},
    {"escapes at the edges of a text and next to each other",
     [](Both& b) {
       b.begin_object();
       const char* texts[] = {"", "//", "\"a\"", "\\\\", "\x01\x1f", "x\ny\rz\t", "</script>"};
       int i = 0;
       for (const char* t : texts) b.key(std::to_string(i++) + t).value(t);
       b.end_object();
     }},
    {"fixed fields: cut at the width or the first NUL",
     [](Both& b) {
       const char full[4] = {'a', '/', 'c', 'd'};  // no terminator
       const char nul[6] = {'x', '\0', 'y', 'z', 'w', 'v'};
       b.begin_array().field(full, sizeof full).field(full, 2).field(nul, sizeof nul);
       b.field(full, 0).field(nullptr, 8).field("\t\"", 8).end_array();
     }},
};

TEST(JsonWriter, PrintsTheSameBytesAsTheLibrary) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Both both;
    c.build(both);
    EXPECT_TRUE(both.writer().complete());
    EXPECT_EQ(both.writer().text(), both.library_text());
  }
}

TEST(JsonWriter, NullTextPointerIsNullAndFieldTemplateUsesTheWidth) {
  JsonWriter w;
  const char model[3] = {'m', 'm', 'm'};
  w.begin_array().value(static_cast<const char*>(nullptr)).value(nullptr).field(model).end_array();
  EXPECT_EQ(w.text(), R"([ null, null, "mmm" ])");
  EXPECT_EQ(std::string(w.c_str()), w.text());
  EXPECT_STREQ(JsonWriter().c_str(), "");
  EXPECT_STREQ(JsonWriter(4).c_str(), "");
}

}  // namespace
