// The canvas conversion, position texts, percent decoding and the plate list database, in-process
// (the database under the sandbox's /mnt/nand).
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/zvstd/url_coding.h"
#include "handlers/video/canvas.h"
#include "platform/zvdb/analytics_tables.h"
#include "platform/zvdb/zvdb.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(Canvas, ToCameraRoundsAndClamps) {
  struct Case {
    CanvasPoint in;
    int32_t width, height;
    CanvasPoint out;
  } cases[] = {
      {{460, 260}, 1920, 1080, {1920, 1080}},
      {{0, 0}, 1920, 1080, {1, 1}},            // raised to 1
      {{10, 20}, 1920, 1080, {42, 83}},        // 19430/460 = 42, 21730/260 = 83
      {{230, 130}, 1280, 720, {640, 360}},
      {{kMax, kMax}, kMax, kMax, {kMax, kMax}},  // 64-bit product, clamped to int32
      {{kMin, 5}, kMax, 0, {1, 1}},            // negative and zero results raised to 1
      {{100, 100}, 0, 0, {1, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(at_least_one(canvas_to_camera(c.in, c.width, c.height)), c.out) << c.in.x << "," << c.in.y;
  }
}

TEST(Canvas, ToCanvasRoundsAndKeepsZeroResolution) {
  struct Case {
    CanvasPoint in;
    int32_t width, height;
    CanvasPoint out;
  } cases[] = {
      {{1920, 1080}, 1920, 1080, {460, 260}},
      {{1, 1}, 1920, 1080, {0, 0}},            // unclamped: the line reads print it
      {{42, 83}, 1920, 1080, {10, 20}},
      {{500, 500}, 0, 1080, {0, 0}},
      {{500, 500}, 1920, 0, {0, 0}},
      {{kMax, kMax}, 1, 1, {kMax, kMax}},      // 460 * max overflows 32 bits: clamped
      {{kMin, kMin}, 1, 1, {kMin, kMin}},
  };
  for (const Case& c : cases) EXPECT_EQ(camera_to_canvas(c.in, c.width, c.height), c.out);
  EXPECT_EQ(at_least_one(camera_to_canvas({0, 0}, 0, 0)), (CanvasPoint{1, 1}));
}

TEST(Canvas, PositionTexts) {
  struct Case {
    const char* text;
    std::vector<int32_t> numbers;
  } cases[] = {
      {"460;260;0;0", {460, 260, 0, 0}}, {"10;20", {10, 20, 0, 0}},   {"", {0, 0, 0, 0}},
      {" 7x;-3;;9;55", {7, -3, 0, 9}},    {"99999999999;1", {kMax, 1, 0, 0}},
      {"-99999999999", {kMin, 0, 0, 0}},  {"1;2;3;4;5", {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    int32_t out[4] = {7, 7, 7, 7};
    parse_position(c.text, out);
    EXPECT_EQ(std::vector<int32_t>(out, out + 4), c.numbers) << c.text;
  }
  int32_t out[4] = {7, 7, 7, 7};
  parse_position(nullptr, out);
  EXPECT_EQ(std::vector<int32_t>(out, out + 4), (std::vector<int32_t>{0, 0, 0, 0}));
}

TEST(PercentDecode, DecodesOnlyCompletePairs) {
  struct Case {
    const char* text;
    std::string decoded;
  } cases[] = {
      {"AB%2012", "AB 12"}, {"%41%62c", "Abc"}, {"x%4", "x%4"},   {"x%", "x%"},
      {"%zz1", "%zz1"},     {"%%41", "%A"},     {"a+b", "a+b"},  {"%E4%BA%AC", "\xE4\xBA\xAC"},
  };
  for (const Case& c : cases) {
    char out[64];
    EXPECT_EQ(url_decode_into(c.text, out, sizeof out), c.decoded.size());
    EXPECT_EQ(std::string(out), c.decoded) << c.text;
  }
  char small[4];
  EXPECT_EQ(url_decode_into("%41%42%43%44", small, sizeof small), 3u);
  EXPECT_STREQ(small, "ABC");
  EXPECT_EQ(url_decode_into(nullptr, small, sizeof small), 0u);
}

PlateListEntry plate(const char* type, const char* text) {
  PlateListEntry e{};
  std::snprintf(e.type, sizeof e.type, "%s", type);
  std::snprintf(e.plate, sizeof e.plate, "%s", text);
  return e;
}

std::vector<std::string> page(const char* type, int offset, int size, int* total) {
  std::vector<PlateListEntry> out(static_cast<size_t>(size));
  int count = size;
  search_anpr_lists(kAnprDbPath, type, offset, out.data(), &count, total);
  std::vector<std::string> plates;
  for (int i = 0; i < count; ++i) plates.emplace_back(out[static_cast<size_t>(i)].plate);
  return plates;
}

TEST(PlateList, ListCallsKeepTheirOwnFile) {
  const PlateListEntry rows[] = {plate("black", "C3"), plate("white", "A1"), plate("black", "B2"),
                                 plate("black", "D4"), plate("white", "A1")};
  ASSERT_EQ(write_anpr_list_replace_batch(kAnprDbPath, rows, 5), 0);
  int total = 0;
  EXPECT_EQ(page(nullptr, 0, 10, &total), (std::vector<std::string>{"A1", "B2", "C3", "D4"}));
  EXPECT_EQ(total, 4);
  EXPECT_EQ(page("black", 1, 1, &total), (std::vector<std::string>{"C3"}));
  EXPECT_EQ(total, 3);
  EXPECT_EQ(page("black", 3, 2, &total), (std::vector<std::string>{}));
  PlateListEntry stored{};
  ASSERT_EQ(read_anpr_list_plate(kAnprDbPath, &stored, "A1"), 0);
  EXPECT_STREQ(stored.type, "white");  // the last of a plate given twice

  EXPECT_EQ(update_anpr_list(kAnprDbPath, &rows[0]), 0);
  const PlateListEntry absent = plate("black", "Z9");
  EXPECT_EQ(update_anpr_list(kAnprDbPath, &absent), -1);
  EXPECT_EQ(delete_anpr_list(kAnprDbPath, &absent), -1);
  EXPECT_EQ(delete_anpr_lists(kAnprDbPath, rows, 2), 0);
  EXPECT_EQ(page(nullptr, 0, 10, &total), (std::vector<std::string>{"B2", "D4"}));
  EXPECT_EQ(read_anpr_list_plate(kZvdbPath, &stored, "B2"), -1) << "the plates are not in the settings file";

  // The list holds at most 10000 plates: the next new one is refused, a stored one still changes.
  std::vector<PlateListEntry> full;
  for (int i = 0; i < kPlateListLimit; ++i) full.push_back(plate("black", ("P" + std::to_string(i)).c_str()));
  ASSERT_EQ(write_anpr_list_replace_batch(kAnprDbPath, full.data(), kPlateListLimit), 0);
  const PlateListEntry one_more = plate("black", "NEW");
  EXPECT_EQ(write_anpr_list(kAnprDbPath, &one_more), -1);
  const PlateListEntry restyled = plate("white", "P5");
  EXPECT_EQ(write_anpr_list(kAnprDbPath, &restyled), 0);
  // The kept count follows deletes: one plate out, one new plate in, the next one refused.
  EXPECT_EQ(delete_anpr_list(kAnprDbPath, &full[0]), 0);
  EXPECT_EQ(write_anpr_list(kAnprDbPath, &one_more), 0);
  const PlateListEntry another = plate("black", "NEW2");
  EXPECT_EQ(write_anpr_list(kAnprDbPath, &another), -1);
  std::string kept;
  EXPECT_EQ(zvdb::read_setting(kAnprDbPath, "anpr_list.count", &kept), 1);
  EXPECT_EQ(kept, std::to_string(kPlateListLimit));
  // A file without the count (written before it was kept) is counted once, then kept.
  {
    zvdb::Transaction tx(kAnprDbPath);
    tx.delete_setting("anpr_list.count");
    ASSERT_EQ(tx.commit(), 0);
  }
  EXPECT_EQ(write_anpr_list(kAnprDbPath, &another), -1);
  EXPECT_EQ(delete_anpr_lists(kAnprDbPath, full.data() + 1, 2), 0);
  EXPECT_EQ(zvdb::read_setting(kAnprDbPath, "anpr_list.count", &kept), 1);
  EXPECT_EQ(kept, std::to_string(kPlateListLimit - 2));
  full.push_back(one_more);
  EXPECT_EQ(write_anpr_list_replace_batch(kAnprDbPath, full.data(), kPlateListLimit + 1), -1);
  ASSERT_EQ(write_anpr_list_replace_batch(kAnprDbPath, rows, 5), 0);  // a plate given twice is one
  EXPECT_EQ(zvdb::read_setting(kAnprDbPath, "anpr_list.count", &kept), 1);
  EXPECT_EQ(kept, "4");
}

}  // namespace
