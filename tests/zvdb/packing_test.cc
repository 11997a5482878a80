// The packed form of large records: exact round trips of every shape of content, refusal of
// anything that is not a complete stream, and what the database stores and reads.
#include <algorithm>
#include <random>
#include <vector>

#include "platform/zvdb/packing.h"
#include "tests/zvdb/db_test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using zvdb::Key;
using zvdb::TableDesc;
using zvdbtest::DbTest;

Bytes with_bytes(size_t size, std::initializer_list<std::pair<size_t, unsigned char>> set) {
  Bytes b(size, 0);
  for (auto [at, v] : set) b[at] = v;
  return b;
}

TEST(Packing, EveryShapeOfContentComesBackExactly) {
  std::mt19937 random(7);
  Bytes noise(70000);
  for (auto& b : noise) b = static_cast<unsigned char>(random() % 3 == 0 ? 0 : random());
  Bytes dense(70000);
  for (auto& b : dense) b = static_cast<unsigned char>(1 + random() % 255);
  Bytes short_gaps(5000, 1);
  for (size_t i = 0; i + 7 <= short_gaps.size(); i += 9) std::fill_n(short_gaps.begin() + i, 7, 0);
  const struct {
    const char* name;
    Bytes raw;
  } cases[] = {
      {"empty", {}},
      {"all zero", Bytes(26176, 0)},
      {"zeros beyond one run", Bytes(200000, 0)},
      {"first and last byte", with_bytes(26176, {{0, 9}, {26175, 7}})},
      {"trailing zeros after a literal", with_bytes(3000, {{10, 1}})},
      {"zero gaps shorter than a break", short_gaps},
      {"no zeros beyond one run", dense},
      {"mixed", noise},
      {"one byte", Bytes{42}},
  };
  for (const auto& c : cases) {
    Bytes packed, back;
    zvdb::pack_record(c.raw.data(), c.raw.size(), &packed);
    ASSERT_TRUE(zvdb::unpack_record(packed.data(), packed.size(), &back)) << c.name;
    EXPECT_EQ(back, c.raw) << c.name;
    Bytes again;
    zvdb::pack_record(c.raw.data(), c.raw.size(), &again);
    EXPECT_EQ(again, packed) << c.name << ": packing is deterministic";
  }
  Bytes packed;
  zvdb::pack_record(Bytes(26176, 0).data(), 26176, &packed);
  EXPECT_LT(packed.size(), 32u) << "an empty schedule is a few bytes";
}

TEST(Packing, AnythingButACompleteStreamIsNotPacked) {
  const Bytes raw = with_bytes(4000, {{100, 5}, {2000, 6}});
  Bytes packed;
  zvdb::pack_record(raw.data(), raw.size(), &packed);
  Bytes more = packed;
  more.push_back(0);
  Bytes longer_raw = packed;
  longer_raw[4] = static_cast<unsigned char>(longer_raw[4] + 1);  // claims one byte more
  Bytes shorter_raw = packed;
  shorter_raw[4] = static_cast<unsigned char>(shorter_raw[4] - 1);
  Bytes other_magic = packed;
  other_magic[3] = 2;
  // A stream whose last token's literal byte is missing (a block of exactly the bytes left, so
  // that a read past it shows under the sanitizer).
  const Bytes ends_in_literal = with_bytes(4000, {{3999, 9}});
  Bytes packed_literal;
  zvdb::pack_record(ends_in_literal.data(), ends_in_literal.size(), &packed_literal);
  const struct {
    const char* name;
    Bytes blob;
  } cases[] = {
      {"raw record", raw},
      {"truncated header", Bytes(packed.begin(), packed.begin() + 6)},
      {"truncated token", Bytes(packed.begin(), packed.end() - 1)},
      {"truncated literal", Bytes(packed_literal.begin(), packed_literal.end() - 1)},
      {"bytes after the end", more},
      {"raw size too big", longer_raw},
      {"raw size too small", shorter_raw},
      {"other magic", other_magic},
  };
  for (const auto& c : cases) {
    Bytes out{1, 2, 3};
    EXPECT_FALSE(zvdb::unpack_record(c.blob.data(), c.blob.size(), &out)) << c.name;
    EXPECT_TRUE(out.empty()) << c.name;
  }
}

// A well-formed stream of zero runs claiming `raw` bytes.
Bytes zero_stream(uint32_t raw) {
  Bytes blob{'Z', 'V', 'P', 0x01};
  for (int shift = 0; shift < 32; shift += 8) blob.push_back(static_cast<unsigned char>(raw >> shift));
  for (uint32_t left = raw; left > 0;) {
    const uint32_t run = std::min<uint32_t>(left, 0xffff);
    blob.insert(blob.end(), {static_cast<unsigned char>(run & 0xff), static_cast<unsigned char>(run >> 8), 0, 0});
    left -= run;
  }
  return blob;
}

// Sizes far above any record are refused before anything is allocated, even when the tokens add
// up (a forged or damaged blob of 200 KB can claim 3 GiB).
TEST(Packing, SizesAboveTheLargestRecordAreNotUnpacked) {
  Bytes out;
  const Bytes at_cap = zero_stream(zvdb::kMaxUnpackedSize);
  ASSERT_TRUE(zvdb::unpack_record(at_cap.data(), at_cap.size(), &out));
  EXPECT_EQ(out.size(), zvdb::kMaxUnpackedSize);
  for (const uint32_t raw : {static_cast<uint32_t>(zvdb::kMaxUnpackedSize + 1), uint32_t{3} << 30}) {
    const Bytes blob = zero_stream(raw);
    EXPECT_FALSE(zvdb::unpack_record(blob.data(), blob.size(), &out)) << raw;
    EXPECT_TRUE(out.empty()) << raw;
  }
}

struct BigRec {
  int32_t id;
  char text[4092];
};
constexpr TableDesc kBig{.name = "t_big", .record_size = sizeof(BigRec), .key = {.a = 0},
                         .key_a_count = 64};

TEST_F(DbTest, LargeRecordsAreStoredPackedAndOlderRawRowsStillRead) {
  BigRec r{};
  r.id = 3;
  std::snprintf(r.text, sizeof r.text, "%s", "weekdays 08:00-18:00");
  ASSERT_EQ(zvdb::write_record(db(), kBig, &r), 0);
  EXPECT_LT(std::stoi(zvdbtest::sql_value(path_, "SELECT length(data) FROM records WHERE tbl='t_big'")), 100);
  BigRec back{};
  ASSERT_EQ(zvdb::read_record(db(), kBig, &back, Key{3}), 0);
  EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);

  // A row written raw by an older build.
  zvdb_close_all();
  sqlite3* raw_db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw_db), SQLITE_OK);
  sqlite3_stmt* put = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw_db, "INSERT INTO records VALUES('t_big', 5, 0, '', 0, ?1)", -1, &put, nullptr),
            SQLITE_OK);
  BigRec old{};
  old.id = 5;
  std::snprintf(old.text, sizeof old.text, "%s", "stored raw");
  sqlite3_bind_blob(put, 1, &old, sizeof old, SQLITE_STATIC);
  ASSERT_EQ(sqlite3_step(put), SQLITE_DONE);
  sqlite3_finalize(put);
  sqlite3_close(raw_db);
  ASSERT_EQ(zvdb::read_record(db(), kBig, &back, Key{5}), 0);
  EXPECT_STREQ(back.text, "stored raw");
  int count = 0;
  ASSERT_EQ(zvdb::scan_records(db(), kBig, {}, [&](const void* rec, const Key&) {
              count += static_cast<const BigRec*>(rec)->id;
              return true;
            }),
            0);
  EXPECT_EQ(count, 3 + 5);
}

}  // namespace
