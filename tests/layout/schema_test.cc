// Records in and out of JSON through their schemas: the member rules on a small record, then, for
// every schema of the tree, the first invalid value on each side of every range refused with the
// record untouched, required members refused when absent, and every field written read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "common/record_json.h"
#include "common/request.h"
#include "tests/layout/schemas.h"

namespace {

using zvrec::Field;
using zvrec::Schema;
using zvrec::Type;

// The small records of the member-rule tests.
struct Item {
  int32_t id;
  uint8_t level;
  char label[7];
};
struct Sample {
  int32_t channel;
  uint32_t mask;
  int64_t wide;
  double ratio;
  char name[8];
  int32_t list[3];
  Item items[2];
  int32_t kept;
  int32_t reserved[2];
};

}  // namespace

ZV_SCHEMA(Item, ZV_FIELD(id, "id").range(0, 9), ZV_FIELD(level, "level"), ZV_FIELD(label, "label").whole());
ZV_SCHEMA(Sample, ZV_FIELD(channel, "ch").required().range(0, 63), ZV_FIELD(mask, "mask"),
          ZV_FIELD(wide, "wide"), ZV_FIELD(ratio, "ratio").at_least(0).absent(-1),
          ZV_FIELD(name, "name").chars(5), ZV_FIELD(list, "list").range(-5, 5),
          ZV_RECORDS(items, "items"), ZV_FIELD(kept, "kept").keep_if_absent(),
          ZV_RESERVED(reserved));

namespace {

Sample read_sample(const char* json, bool* ok) {
  Sample s{};
  s.kept = 42;
  JsonPtr request = parse_request(json);
  *ok = request && read_record(request.get(), &s);
  return s;
}

TEST(RecordJson, ReadsEveryTypeByTheMemberRules) {
  bool ok = false;
  const Sample s = read_sample(
      R"({"ch": "7", "mask": 4294967295, "wide": -9000000000, "name": "abcdefgh",
          "list": [1, "x", -5, 4], "items": [{"id": 2, "level": 255, "label": "Lsixth"}, 5, {"id": 9}], "extra": 1})",
      &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(s.channel, 7);
  EXPECT_EQ(s.mask, 4294967295u);
  EXPECT_EQ(s.wide, -9000000000);
  EXPECT_EQ(s.ratio, -1.0) << "absent: its absent value";
  EXPECT_STREQ(s.name, "abcde") << "cut to chars(5)";
  EXPECT_EQ(s.list[0], 1);
  EXPECT_EQ(s.list[1], 0) << "a text element is skipped";
  EXPECT_EQ(s.list[2], -5) << "three elements read, the fourth is beyond the array";
  EXPECT_EQ(s.items[0].id, 2);
  EXPECT_STREQ(s.items[0].label, "Lsixth") << "whole: exactly its width less one";
  EXPECT_EQ(s.items[0].level, 255);
  EXPECT_EQ(s.items[1].id, 0) << "a number where an object belongs is skipped";
  EXPECT_EQ(s.kept, 42) << "keep_if_absent";
}

TEST(RecordJson, RefusesAndLeavesTheRecordUntouched) {
  const char* refused[] = {
      R"({})",                                   // required member absent
      R"({"ch": [1]})",                          // of the wrong type counts as absent
      R"({"ch": 64})",                           // above its range
      R"({"ch": -1})",                           // below its range
      R"({"ch": 1, "mask": -1})",                // does not fit uint32
      R"({"ch": 1, "mask": 4294967296})",        // does not fit uint32
      R"({"ch": 1, "ratio": -0.001})",           // below its range
      R"({"ch": 1, "list": [6]})",               // an element out of range
      R"({"ch": 1, "items": [{"id": 10}]})",     // a nested record out of range
      R"({"ch": 1, "items": [{"level": 256}]})", // does not fit a byte
      R"({"ch": 1, "items": [{"level": -1}]})",  // does not fit a byte
      R"({"ch": 1, "items": [{"label": "Lseven"}, {"label": "Lsevenz"}]})",  // whole: one above its width
      "{\"ch\": 1, \"name\": \"\xC3\x28\"}",     // not UTF-8
      "{\"ch\": 1, \"name\": \"\xED\xA0\x80\"}", // a surrogate
      R"({"ch": 1, "name": "nas\u0000.evil"})", // a NUL would store the text cut at it
      R"([1, 2])",                               // not an object
  };
  for (const char* json : refused) {
    bool ok = true;
    const Sample s = read_sample(json, &ok);
    EXPECT_FALSE(ok) << json;
    EXPECT_EQ(s.channel, 0) << json;
    EXPECT_EQ(s.kept, 42) << json;
  }
}

TEST(RecordJson, AFormWithAnotherKeyReadsThatKeyOnly) {
  constexpr auto form = zvrec::with_key<Sample>("mask", "bits");
  Sample s{};
  JsonPtr request = parse_request(R"({"ch": 3, "mask": 5, "bits": 9})");
  ASSERT_TRUE(read_record(request.get(), form.schema(), &s));
  EXPECT_EQ(s.mask, 9u);
  EXPECT_EQ(s.channel, 3) << "the other fields as the record's schema has them";
  EXPECT_STREQ(form.fields[1].key, "bits");
  EXPECT_EQ(form.fields[1].key_size, 4u);
}

TEST(RecordJson, WritesTheLibraryLayout) {
  Sample s{};
  s.channel = 3;
  s.mask = 4000000000u;
  s.ratio = 0.75;
  std::memcpy(s.name, "ab\"c\0zz", 8);
  s.list[1] = -2;
  s.items[1].id = 1;
  s.items[1].level = 200;
  s.reserved[0] = 99;
  JsonWriter w;
  write_object(w, s);
  EXPECT_EQ(std::string(w.text()),
            R"({ "ch": 3, "mask": 4000000000, "wide": 0, "ratio": 0.75, "name": "ab\"c", )"
            R"("list": [ 0, -2, 0 ], "items": [ { "id": 0, "level": 0, "label": "" }, { "id": 1, "level": 200, "label": "" } ], )"
            R"("kept": 0 })");
}

// ---- Every schema of the tree ---------------------------------------------------------------

bool is_number(Type t) {
  return t == Type::kInt32 || t == Type::kUint32 || t == Type::kUint8 || t == Type::kInt64 || t == Type::kDouble;
}

// A value inside the field's range.
double valid_number(const Field& f) {
  if (f.has_min) return f.min;
  if (f.has_max) return f.max;
  return 1;
}

json_object* number_json(const Field& f, double v) {
  if (f.type == Type::kDouble) return json_object_new_double(v);
  return json_object_new_int64(static_cast<int64_t>(v));
}

json_object* valid_object(const Schema& s);

// A JSON value the field accepts; null for fields a request does not carry.
json_object* valid_value(const Field& f) {
  if (is_number(f.type)) return number_json(f, valid_number(f));
  switch (f.type) {
    case Type::kText:
      return json_object_new_string("t");
    case Type::kInt32Array: {
      json_object* a = json_object_new_array();
      Field element = f;
      element.type = Type::kInt32;
      json_object_array_add(a, number_json(element, valid_number(f)));
      return a;
    }
    case Type::kRecords: {
      json_object* a = json_object_new_array();
      json_object_array_add(a, valid_object(*f.element));
      return a;
    }
    default:
      return nullptr;
  }
}

json_object* valid_object(const Schema& s) {
  json_object* o = json_object_new_object();
  for (const Field& f : s.fields) {
    if (!f.readable()) continue;
    if (json_object* v = valid_value(f)) json_object_object_add(o, f.key, v);
  }
  return o;
}

// The first value outside the range on one side, or nothing when that side is open.
bool first_invalid(const Field& f, bool below, double* out) {
  if (below ? !f.has_min : !f.has_max) return false;
  const double edge = below ? f.min : f.max;
  if (f.type == Type::kDouble) {
    *out = std::nextafter(edge, below ? -INFINITY : INFINITY);
  } else {
    *out = below ? edge - 1 : edge + 1;
  }
  return true;
}

TEST(EverySchema, RefusesTheFirstInvalidValueOnBothSidesAndRequiredMembers) {
  int checked = 0;
  for (const Schema* s : zvlayout::all_schemas()) {
    std::vector<unsigned char> sentinel(s->size, 0xA5);
    {
      JsonPtr valid(valid_object(*s));
      std::vector<unsigned char> record(s->size, 0);
      EXPECT_TRUE(read_record(valid.get(), *s, record.data())) << s->name << ": the valid form";
    }
    for (const Field& f : s->fields) {
      if (!f.readable()) continue;
      for (bool below : {true, false}) {
        double bad = 0;
        if ((!is_number(f.type) && f.type != Type::kInt32Array) || !first_invalid(f, below, &bad)) {
          continue;
        }
        JsonPtr request(valid_object(*s));
        Field element = f;
        if (f.type == Type::kInt32Array) element.type = Type::kInt32;
        json_object* value = number_json(element, bad);
        if (f.type == Type::kInt32Array) {
          json_object* a = json_object_new_array();
          json_object_array_add(a, value);
          value = a;
        }
        json_object_object_add(request.get(), f.key, value);
        std::vector<unsigned char> record = sentinel;
        EXPECT_FALSE(read_record(request.get(), *s, record.data()))
            << s->name << "." << f.name << " = " << bad;
        EXPECT_EQ(record, sentinel) << s->name << "." << f.name << ": a refused read writes nothing";
        ++checked;
      }
      if (f.is(Field::kRequired)) {
        JsonPtr request(valid_object(*s));
        json_object_object_del(request.get(), f.key);
        std::vector<unsigned char> record = sentinel;
        EXPECT_FALSE(read_record(request.get(), *s, record.data())) << s->name << "." << f.name << " absent";
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 0);
}

TEST(EverySchema, EveryFieldWrittenIsReadBack) {
  for (const Schema* s : zvlayout::all_schemas()) {
    // Distinct valid values: each number field gets its own value inside its range.
    JsonPtr request(valid_object(*s));
    std::vector<unsigned char> first(s->size, 0), second(s->size, 0);
    ASSERT_TRUE(read_record(request.get(), *s, first.data())) << s->name;
    JsonWriter w;
    write_object(w, *s, first.data());
    JsonPtr printed = parse_request(w.c_str());
    ASSERT_TRUE(printed) << s->name << ": " << w.text();
    // Members a request carries but a reply never prints come from the request again.
    for (const Field& f : s->fields) {
      json_object* value = nullptr;
      if (f.readable() && !f.writable() && json_object_object_get_ex(request.get(), f.key, &value)) {
        json_object_object_add(printed.get(), f.key, json_object_get(value));
      }
    }
    ASSERT_TRUE(read_record(printed.get(), *s, second.data())) << s->name << ": " << w.text();
    for (const Field& f : s->fields) {
      if (!f.readable() || !f.writable()) continue;
      EXPECT_EQ(0, std::memcmp(first.data() + f.offset, second.data() + f.offset, f.size))
          << s->name << "." << f.name << " does not survive write and read";
    }
  }
}

TEST(EverySchema, LayoutHasNoByteOutsideAField) {
  for (const Schema* s : zvlayout::all_schemas()) {
    EXPECT_EQ(zvrec::layout_problem(*s), nullptr) << s->name;
  }
}

}  // namespace
