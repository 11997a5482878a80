// The layout checks that guard the record list: every byte in exactly one listed field.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "tests/layout/layout.h"

namespace {

using zvlayout::FieldLayout;
using zvlayout::RecordLayout;

#define FIELD(T, f) FieldLayout{#f, offsetof(T, f), sizeof(T::f)}

struct Packed {
  int32_t id;
  char name[12];
  int64_t stamp;
};
struct HoleBeforeWide {  // 64-bit field after one 32-bit field: 4 padding bytes on every target
  int32_t id;
  int64_t stamp;
};
struct TailPadding {  // size rounded up to the 64-bit field's alignment
  int64_t stamp;
  int32_t id;
};
struct Three {
  int32_t a;
  int32_t b;
  int32_t c;
};

RecordLayout record(const char* name, size_t size, size_t align, std::vector<FieldLayout> fields) {
  return RecordLayout{name, size, align, std::move(fields)};
}

TEST(RecordLayoutCheck, FindsBytesOutsideListedFields) {
  struct Case {
    const char* what;
    RecordLayout layout;
    std::vector<std::string> expected;  // a fragment of each expected problem, in order
  };
  const std::vector<Case> cases = {
      {"every byte listed",
       record("Packed", sizeof(Packed), alignof(Packed),
              {FIELD(Packed, id), FIELD(Packed, name), FIELD(Packed, stamp)}),
       {}},
      {"padding before a 64-bit field",
       record("HoleBeforeWide", sizeof(HoleBeforeWide), alignof(HoleBeforeWide),
              {FIELD(HoleBeforeWide, id), FIELD(HoleBeforeWide, stamp)}),
       {"4 byte(s) at 4 belong to no listed field"}},
      {"padding at the end",
       record("TailPadding", sizeof(TailPadding), alignof(TailPadding),
              {FIELD(TailPadding, stamp), FIELD(TailPadding, id)}),
       {"4 byte(s) at the end (12)"}},
      {"a field missing from the list",
       record("Three", sizeof(Three), alignof(Three), {FIELD(Three, a), FIELD(Three, c)}),
       {"before c"}},
      {"the last field missing", record("Three", sizeof(Three), alignof(Three), {FIELD(Three, a), FIELD(Three, b)}),
       {"at the end (8)"}},
      {"fields out of declaration order",
       record("Three", sizeof(Three), alignof(Three), {FIELD(Three, b), FIELD(Three, a), FIELD(Three, c)}),
       {"4 byte(s) at 0", "field a at 0 overlaps b"}},
      {"a field past the end", record("Three", 8, 4, {FIELD(Three, a), FIELD(Three, b), FIELD(Three, c)}),
       {"past the size 8"}},
      {"nothing listed", record("Three", sizeof(Three), alignof(Three), {}), {"no fields listed"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> found = zvlayout::problems(c.layout);
    ASSERT_EQ(found.size(), c.expected.size()) << (found.empty() ? "" : found.front());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].rfind(c.layout.name + ": ", 0), 0u) << found[i];
      EXPECT_NE(found[i].find(c.expected[i]), std::string::npos) << found[i];
    }
  }
}

TEST(RecordLayoutCheck, DescribesSizeAlignmentAndEveryField) {
  const RecordLayout layout = record("ns::Packed", sizeof(Packed), alignof(Packed),
                                     {FIELD(Packed, id), FIELD(Packed, name), FIELD(Packed, stamp)});
  EXPECT_EQ(zvlayout::describe(layout),
            "ns::Packed  size 24  align 8\n"
            "       0      4  id\n"
            "       4     12  name\n"
            "      16      8  stamp\n");
}

}  // namespace
