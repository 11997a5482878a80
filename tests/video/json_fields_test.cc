// The declarative member reader: types, presence, ranges, widths and the all-or-nothing rule.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/json_fields.h"
#include "common/request.h"

namespace {

JsonPtr parse(const char* text) {
  JsonPtr object(json_tokener_parse(text));
  EXPECT_NE(object, nullptr) << text;
  return object;
}

struct IntCase {
  const char* body;
  bool ok;
  int32_t value;
};

TEST(JsonFields, IntegerValueForms) {
  const IntCase cases[] = {
      {R"({"v": 12})", true, 12},
      {R"({"v": -3})", true, -3},
      {R"({"v": "42"})", true, 42},          // decimal text
      {R"({"v": " 7 "})", true, 7},
      {"{\"v\": \"5\\t\"}", true, 5},          // a tab after the digits, like a blank
      {R"({"v": -2147483648})", true, INT32_MIN},  // both 32-bit ends fit
      {R"({"v": "2147483647"})", true, INT32_MAX},
      {R"({"v": true})", true, 1},
      {R"({"v": 2.9})", true, 2},            // truncated like the JSON library's int read
      {R"({"v": "4x"})", false, 0},          // not a number: absent
      {R"({"v": "x"})", false, 0},
      {R"({"v": [1]})", false, 0},           // wrong type: absent
      {R"({"v": {"a": 1}})", false, 0},
      {R"({"v": null})", false, 0},
      {R"({})", false, 0},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.body);
    JsonPtr o = parse(c.body);
    int32_t v = -99;
    bool present = false;
    ASSERT_TRUE(read_json_members(o.get(), {int_member("v", &v).present(&present)}));
    EXPECT_EQ(present, c.ok);
    EXPECT_EQ(v, c.ok ? c.value : 0);  // an absent optional integer becomes 0
    int32_t required = -99;
    EXPECT_EQ(read_json_members(o.get(), {int_member("v", &required).required()}), c.ok);
  }
}

TEST(JsonFields, RangesAndThirtyTwoBitLimit) {
  struct Case {
    const char* body;
    bool ok;
  } cases[] = {
      {R"({"v": 0})", true},          {R"({"v": 63})", true},
      {R"({"v": 64})", false},        {R"({"v": -1})", false},
      {R"({"v": 4294967296})", false},  // does not fit 32 bits: refused, never wrapped into range
      {R"({"v": "99999999999"})", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    JsonPtr o = parse(c.body);
    int32_t v = 0;
    EXPECT_EQ(read_json_members(o.get(), {int_member("v", &v).range(0, 63)}), c.ok);
  }
  JsonPtr o = parse(R"({"d": -0.5, "e": 0.25})");
  double d = 0, e = 0;
  EXPECT_FALSE(read_json_members(o.get(), {double_member("d", &d).min(0)}));
  EXPECT_TRUE(read_json_members(o.get(), {double_member("e", &e).min(0)}));
  EXPECT_DOUBLE_EQ(e, 0.25);
}

TEST(JsonFields, OptionalMemberOutOfRangeStillRefuses) {
  JsonPtr o = parse(R"({"type": 9})");
  int32_t type = 1;
  EXPECT_FALSE(read_json_members(o.get(), {int_member("type", &type).range(0, 3)}));
  EXPECT_EQ(type, 1);
}

TEST(JsonFields, TextsAreCutAndAbsentBecomesNull) {
  JsonPtr o = parse(R"({"name": "abcdefghij", "num": 5, "arr": ["x"]})");
  char small[5] = "zzzz";
  char absent[16] = "keep";
  char number[16] = "keep";
  char limited[32] = "";
  char kept[16] = "keep";
  char empty_default[16] = "keep";
  ASSERT_TRUE(read_json_members(o.get(), {
      text_member("name", small),                      // cut to width - 1
      text_member("missing", absent),                  // "(null)"
      text_member("num", number),                      // a number is not a text: absent
      text_member("name", limited).max_chars(3),
      text_member("missing", kept).keep_if_absent(),
      text_member("arr", empty_default).absent_text(""),
  }));
  EXPECT_STREQ(small, "abcd");
  EXPECT_STREQ(absent, "(null)");
  EXPECT_STREQ(number, "(null)");
  EXPECT_STREQ(limited, "abc");
  EXPECT_STREQ(kept, "keep");
  EXPECT_STREQ(empty_default, "");
}

// A member read whole is refused when it does not fit (width - 1 bytes, or its character limit).
TEST(JsonFields, WholeTextsAreRefusedRatherThanCut) {
  JsonPtr o = parse(R"({"four": "abcd", "five": "abcde"})");
  char field[5] = "";
  EXPECT_TRUE(read_json_members(o.get(), {text_member("four", field).whole()}));
  EXPECT_STREQ(field, "abcd");
  EXPECT_FALSE(read_json_members(o.get(), {text_member("five", field).whole()}));
  EXPECT_FALSE(read_json_members(o.get(), {text_member("four", field).max_chars(3).whole()}));
  EXPECT_TRUE(read_json_members(o.get(), {text_member("missing", field).whole()}));
}

// Texts that are not UTF-8 are refused (a stored name is printed back inside JSON replies);
// every valid form up to four bytes passes.
TEST(JsonFields, TextsMustBeUtf8) {
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {
      {"plain", true},           {"caf\xC3\xA9", true},       {"\xE2\x82\xAC", true},
      {"\xF0\x9F\x98\x80", true}, {"\xC3", false},              {"\xC0\xAF", false},
      {"\xE0\x80\xAF", false},   {"\xED\xA0\x80", false},      {"\xF4\x90\x80\x80", false},
      {"\xFF", false},           {"ok\x80", false},
      // The first valid and invalid sequence on each side of every limit of the encoding.
      {"\xE0\xA0\x80", true},     {"\xE0\x9F\xBF", false},      // shortest 3-byte form
      {"\xED\x9F\xBF", true},     {"\xED\xBF\xBF", false},      // last surrogate
      {"\xF4\x8F\xBF\xBF", true}, {"\xF5\x80\x80\x80", false},  // past the last code point
  };
  for (const Case& c : cases) {
    JsonPtr o(json_object_new_object());
    json_object_object_add(o.get(), "name", json_object_new_string(c.text));
    char name[16] = "keep";
    EXPECT_EQ(read_json_members(o.get(), {text_member("name", name)}), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_STREQ(name, "keep");
    }
  }
  // A NUL inside the text would store it cut at the NUL, naming something else: refused.
  JsonPtr o(json_object_new_object());
  json_object_object_add(o.get(), "name", json_object_new_string_len("nas\0.evil", 9));
  char name[16] = "keep";
  EXPECT_FALSE(read_json_members(o.get(), {text_member("name", name)}));
  EXPECT_STREQ(name, "keep");
}

TEST(JsonFields, AllOrNothing) {
  JsonPtr o = parse(R"({"a": 1, "b": "text", "c": 70})");
  int32_t a = -1, c = -1;
  char b[8] = "old";
  EXPECT_FALSE(read_json_members(o.get(), {
      int_member("a", &a).required(),
      text_member("b", b),
      int_member("c", &c).range(0, 63),
  }));
  EXPECT_EQ(a, -1);
  EXPECT_STREQ(b, "old");
  EXPECT_EQ(c, -1);
  EXPECT_FALSE(read_json_members(nullptr, {int_member("a", &a)}));
  JsonPtr array = parse("[1, 2]");
  EXPECT_FALSE(read_json_members(array.get(), {int_member("a", &a)}));
}

TEST(JsonFields, ArraysObjectsAndInt64) {
  JsonPtr o = parse(R"({"list": [1, 2], "obj": {"k": 1}, "notlist": 5, "mask": 8589934592})");
  json_object* list = nullptr;
  json_object* obj = nullptr;
  json_object* notlist = reinterpret_cast<json_object*>(1);
  int64_t mask = 0;
  ASSERT_TRUE(read_json_members(o.get(), {
      array_member("list", &list),
      object_member("obj", &obj),
      array_member("notlist", &notlist),
      int64_member("mask", &mask),
  }));
  EXPECT_EQ(json_array_size(list), 2u);
  EXPECT_NE(obj, nullptr);
  EXPECT_EQ(notlist, nullptr);
  EXPECT_EQ(mask, int64_t{1} << 33);
  EXPECT_EQ(json_array_at(list, 2), nullptr);
  EXPECT_EQ(json_array_at(nullptr, 0), nullptr);
  EXPECT_EQ(json_array_size(obj), 0u);
  EXPECT_FALSE(read_json_members(o.get(), {array_member("obj", &list).required()}));
}

TEST(JsonFields, TextFieldWithoutTerminator) {
  const char field[4] = {'a', 'b', 'c', 'd'};
  JsonPtr text(json_text_field(field));
  EXPECT_STREQ(json_object_get_string(text.get()), "abcd");
  char out[3];
  copy_text_field(out, nullptr);
  EXPECT_STREQ(out, "");
}

}  // namespace
