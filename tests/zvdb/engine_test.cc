// The generic record store, exercised with record types of the tests' own: per-channel records,
// (text, channel) lists, PTZ-style entry lists, text-keyed rows, masks, capacities, size changes.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/harness.h"
#include "tests/zvdb/db_test_util.h"

namespace {

using zvdb::Key;
using zvdb::KeyFilter;
using zvdb::TableDesc;
using zvdbtest::DbTest;

// A per-channel record (channels 0..63) carrying its own key.
struct ChannelRec {
  int32_t id;
  int32_t value;
  char label[16];
  int32_t extra;
};
static_assert(sizeof(ChannelRec) == 28);
constexpr zvdb::Field kChannelFields[] = {
    ZVDB_FIELD(ChannelRec, id), ZVDB_FIELD(ChannelRec, value), ZVDB_FIELD(ChannelRec, label),
    ZVDB_FIELD(ChannelRec, extra)};
constexpr TableDesc kChannels{.name = "t_channel", .record_size = sizeof(ChannelRec),
                              .key = {.a = 0}, .key_a_count = 64, .fields = kChannelFields};
constexpr zvdb::Table<ChannelRec> kChannelTable{kChannels};

// The same table as an older firmware declared it: 8 bytes, no label.
struct ChannelRecV1 {
  int32_t id;
  int32_t value;
};
constexpr TableDesc kChannelsV1{.name = "t_channel", .record_size = sizeof(ChannelRecV1),
                                .key = {.a = 0}, .key_a_count = 64};

// A record whose last field is a text.
struct TailRec {
  int32_t id;
  char name[8];
};
constexpr zvdb::Field kTailFields[] = {ZVDB_FIELD(TailRec, id), ZVDB_FIELD(TailRec, name)};
constexpr TableDesc kTails{.name = "t_tail", .record_size = sizeof(TailRec), .key = {.a = 0}, .key_a_count = 4,
                           .fields = kTailFields};

// Sixteen inputs: key bounded to 0..15.
constexpr TableDesc kInputs{.name = "t_input", .record_size = sizeof(ChannelRec),
                            .key = {.a = 0}, .key_a_count = 16, .fields = kChannelFields};

// A list of up to 8 entries per (table name, channel), as the LED parameter lists are kept.
struct LedEntry {
  int32_t owner;
  int32_t chnid;
  int32_t mode;
  int32_t time;
};
constexpr TableDesc kLed{.name = "t_led", .record_size = sizeof(LedEntry), .max_entries = 8};

// PTZ-style list: up to 64 entries per (source type, source id); an entry is identified by the
// camera it moves (offset 4) and 0 there marks an empty slot. Masks address the source id (b).
struct PtzEntry {
  int32_t source;
  int32_t camera;
  int32_t spare;
  int32_t type;
  int32_t preset;
  int32_t patrol;
  int32_t pattern;
};
constexpr TableDesc kPtz{.name = "t_ptz", .record_size = sizeof(PtzEntry), .mask_part = 1,
                         .max_entries = 64, .entry_id = 4, .zero_id_is_free = true};

// Text-keyed rows (plates).
struct PlateRec {
  char type[16];
  char plate[64];
};
constexpr zvdb::Field kPlateFields[] = {ZVDB_FIELD(PlateRec, type), ZVDB_FIELD(PlateRec, plate)};
constexpr TableDesc kPlates{.name = "t_plate", .record_size = sizeof(PlateRec),
                            .key = {.text = 16, .text_size = 64}, .fields = kPlateFields};

ChannelRec rec(int32_t id, int32_t value, const char* label = "") {
  ChannelRec r{};
  r.id = id;
  r.value = value;
  snprintf(r.label, sizeof r.label, "%s", label);
  return r;
}

PlateRec plate(const char* type, const char* number) {
  PlateRec p{};
  snprintf(p.type, sizeof p.type, "%s", type);
  snprintf(p.plate, sizeof p.plate, "%s", number);
  return p;
}

std::vector<int> stored_channels(const char* db, const TableDesc& t) {
  std::vector<int> keys;
  zvdb::scan_rows(db, t, {}, [&](const void*, int, const Key& k, int) {
    keys.push_back(t.mask_part == 1 ? k.b : k.a);
    return true;
  });
  return keys;
}

std::vector<int> channels_of(uint64_t mask) {
  std::vector<int> v;
  for (int i = 0; i < 64; ++i) {
    if ((mask >> i) & 1) v.push_back(i);
  }
  return v;
}

TEST_F(DbTest, ReadOfMissingRecordLeavesBufferUntouched) {
  ChannelRec r;
  std::memset(&r, 0xAB, sizeof r);
  ChannelRec before = r;
  EXPECT_EQ(kChannelTable.read(db(), &r, {3}), -1);  // no file yet
  EXPECT_EQ(access(db(), F_OK), -1) << "a read must not create the file";
  ChannelRec other = rec(4, 1);
  ASSERT_EQ(kChannelTable.write(db(), &other), 0);
  EXPECT_EQ(kChannelTable.read(db(), &r, {3}), -1);
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
  ASSERT_EQ(kChannelTable.read(db(), &r, {4}), 0);
  EXPECT_EQ(r.value, 1);
  EXPECT_EQ(kChannelTable.remove(db(), {4}), 0);
  EXPECT_EQ(kChannelTable.remove(db(), {4}), -1);
}

TEST_F(DbTest, KeysOutsideTheDeclaredRangeAreRefused) {
  ChannelRec r = rec(63, 1);
  ASSERT_EQ(kChannelTable.write(db(), &r), 0);
  r.id = 64;
  EXPECT_EQ(kChannelTable.write(db(), &r), -1);
  r.id = -1;
  EXPECT_EQ(kChannelTable.write(db(), &r), -1);
  EXPECT_EQ(kChannelTable.write_at(db(), &r, {70}), -1);
  EXPECT_EQ(zvdb::count_records(db(), kChannels), 1);
}

TEST_F(DbTest, RecordOfAnotherStoredSizeIsCopiedAndZeroFilled) {
  ChannelRecV1 old{7, 42};
  ASSERT_EQ(zvdb::write_record(db(), kChannelsV1, &old), 0);
  ChannelRec grown;
  std::memset(&grown, 0xCD, sizeof grown);
  ASSERT_EQ(kChannelTable.read(db(), &grown, {7}), 0);
  EXPECT_EQ(grown.id, 7);
  EXPECT_EQ(grown.value, 42);
  EXPECT_EQ(grown.label[0], '\0');
  EXPECT_EQ(grown.extra, 0);

  ChannelRec big = rec(8, 5, "eight");
  big.extra = 99;
  ASSERT_EQ(kChannelTable.write(db(), &big), 0);
  ChannelRecV1 small{};
  ASSERT_EQ(zvdb::read_record(db(), kChannelsV1, &small, {8}), 0);
  EXPECT_EQ(small.value, 5);

  // Read-all adjusts every row the same way.
  ChannelRec rows[4];
  int count = 4;
  ASSERT_EQ(kChannelTable.read_all(db(), rows, &count), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(rows[0].extra, 0);
  EXPECT_EQ(rows[1].extra, 99);
}

TEST_F(DbTest, TextsAreTerminatedWithinTheirFieldOnRead) {
  ChannelRec r = rec(1, 1);
  std::memset(r.label, 'x', sizeof r.label);  // no terminator
  ASSERT_EQ(kChannelTable.write(db(), &r), 0);
  ChannelRec back{};
  ASSERT_EQ(kChannelTable.read(db(), &back, {1}), 0);
  EXPECT_EQ(std::strlen(back.label), sizeof back.label - 1);
  // A text that ends the record is terminated too.
  TailRec tail{1, {}};
  std::memset(tail.name, 'y', sizeof tail.name);
  ASSERT_EQ(zvdb::write_record(db(), kTails, &tail), 0);
  TailRec tail_back{};
  ASSERT_EQ(zvdb::read_record(db(), kTails, &tail_back, {1}), 0);
  EXPECT_EQ(strnlen(tail_back.name, sizeof tail_back.name), sizeof tail_back.name - 1);
}

TEST_F(DbTest, ReadAllHonoursTheCallersCapacity) {
  for (int i = 9; i >= 0; --i) {
    ChannelRec r = rec(i, i * 10);
    ASSERT_EQ(kChannelTable.write(db(), &r), 0);
  }
  struct Case {
    int capacity;
    int expected;
  };
  for (Case c : {Case{0, 0}, Case{1, 1}, Case{4, 4}, Case{10, 10}, Case{20, 10}}) {
    std::vector<ChannelRec> rows(static_cast<size_t>(c.capacity) + 1);
    std::memset(rows.data(), 0xEE, rows.size() * sizeof(ChannelRec));
    int count = c.capacity;
    ASSERT_EQ(kChannelTable.read_all(db(), rows.data(), &count), 0);
    EXPECT_EQ(count, c.expected) << "capacity " << c.capacity;
    for (int i = 0; i < count; ++i) EXPECT_EQ(rows[static_cast<size_t>(i)].id, i);  // key order
    const auto* guard = reinterpret_cast<const unsigned char*>(&rows[static_cast<size_t>(c.capacity)]);
    for (size_t b = 0; b < sizeof(ChannelRec); ++b) ASSERT_EQ(guard[b], 0xEE) << "overrun";
  }
  int negative = -1;
  EXPECT_EQ(kChannelTable.read_all(db(), nullptr, &negative), -1);

  ChannelRec* array = nullptr;
  int count = 0;
  ASSERT_EQ(kChannelTable.read_all_alloc(db(), &array, &count, KeyFilter{.a = 3}), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(array[0].value, 30);
  void* raw = array;
  zvdb::release_records(&raw);
  EXPECT_EQ(raw, nullptr);
  ASSERT_EQ(kChannelTable.read_all_alloc(db(), &array, &count, KeyFilter{.a = 50}), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(array, nullptr);
}

class MaskTest : public DbTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(MaskTest, CopyAndMaskedWritesReachExactlyTheMaskedChannels) {
  const uint64_t mask = GetParam();
  ChannelRec source = rec(5, 77, "src");
  ASSERT_EQ(kChannelTable.copy_to_mask(db(), &source, mask), 0);
  EXPECT_EQ(stored_channels(db(), kChannels), channels_of(mask));
  for (int c : channels_of(mask)) {
    ChannelRec r{};
    ASSERT_EQ(kChannelTable.read(db(), &r, {c}), 0);
    EXPECT_EQ(r.id, c) << "the copy carries its own channel";
    EXPECT_EQ(r.value, 77);
    EXPECT_STREQ(r.label, "src");
  }

  // Masked batch write from an array indexed by channel.
  std::vector<ChannelRec> rows(64);
  for (int i = 0; i < 64; ++i) rows[static_cast<size_t>(i)] = rec(i, 1000 + i);
  ASSERT_EQ(kChannelTable.write_masked(db(), rows.data(), 64, mask), 0);
  for (int c : channels_of(mask)) {
    ChannelRec r{};
    ASSERT_EQ(kChannelTable.read(db(), &r, {c}), 0);
    EXPECT_EQ(r.value, 1000 + c);
  }
  EXPECT_EQ(stored_channels(db(), kChannels), channels_of(mask));

  // Lists copy the same way, addressed through key part b.
  PtzEntry list[2] = {{1, 3, 0, 1, 4, 0, 0}, {1, 6, 0, 2, 0, 5, 0}};
  ASSERT_EQ(zvdb::copy_list_to_mask(db(), kPtz, Key{.a = 13}, list, 2, mask), 0);
  std::vector<int> expected;
  for (int c : channels_of(mask)) expected.insert(expected.end(), {c, c});
  EXPECT_EQ(stored_channels(db(), kPtz), expected);
}

INSTANTIATE_TEST_SUITE_P(Bits, MaskTest,
                         ::testing::Values(uint64_t{1}, uint64_t{1} << 31, uint64_t{1} << 32,
                                           uint64_t{1} << 63,
                                           (uint64_t{1} | uint64_t{1} << 31 | uint64_t{1} << 32 |
                                            uint64_t{1} << 63),
                                           ~uint64_t{0}, uint64_t{0}));

TEST_F(DbTest, MasksBeyondABoundedTableAreRefusedWhole) {
  ChannelRec r = rec(0, 1);
  EXPECT_EQ(zvdb::copy_record_to_mask(db(), kInputs, &r, (uint64_t{1} << 16) | 1), -1);
  EXPECT_EQ(zvdb::copy_record_to_mask(db(), kInputs, &r, uint64_t{1} << 15), 0);
  std::vector<ChannelRec> rows(4);
  // Bit 5 names a row the caller's array does not have.
  EXPECT_EQ(zvdb::write_records_masked(db(), kChannels, rows.data(), 4, sizeof(ChannelRec),
                                       0x21),
            -1);
  EXPECT_EQ(stored_channels(db(), kInputs), std::vector<int>{15});
  EXPECT_EQ(stored_channels(db(), kChannels), std::vector<int>{});
}

TEST_F(DbTest, ListedSlotsAreWrittenWithTheirStride) {
  struct Slot {
    ChannelRec rec;
    int32_t trailer;
  };
  std::vector<Slot> slots(64);
  for (int i = 0; i < 64; ++i) slots[static_cast<size_t>(i)] = Slot{rec(i, i), -1};
  int32_t list[] = {2, 40, 2};
  ASSERT_EQ(zvdb::write_records_listed(db(), kChannels, slots.data(), 64, sizeof(Slot), list, 3),
            0);
  EXPECT_EQ(stored_channels(db(), kChannels), (std::vector<int>{2, 40}));
  int32_t bad[] = {1, 64};
  EXPECT_EQ(zvdb::write_records_listed(db(), kChannels, slots.data(), 64, sizeof(Slot), bad, 2),
            -1);
  // An entry past the caller's slots, or a key past the table's range, refuses the whole list.
  int32_t past_slots[] = {1, 8};
  EXPECT_EQ(zvdb::write_records_listed(db(), kChannels, slots.data(), 8, sizeof(Slot), past_slots, 2), -1);
  int32_t past_keys[] = {1, 16};
  EXPECT_EQ(zvdb::write_records_listed(db(), kInputs, slots.data(), 64, sizeof(Slot), past_keys, 2), -1);
  EXPECT_EQ(stored_channels(db(), kInputs), std::vector<int>{});
  EXPECT_EQ(stored_channels(db(), kChannels), (std::vector<int>{2, 40}));
}

TEST_F(DbTest, ColumnCopySetsOneFieldOnMaskedRows) {
  ChannelRec r = rec(1, 5, "keep");
  ASSERT_EQ(kChannelTable.write(db(), &r), 0);
  uint64_t mask = (uint64_t{1} << 1) | (uint64_t{1} << 33);
  ASSERT_EQ(zvdb::copy_column_int(db(), kChannels, "extra", 9, mask, "id"), 0);
  ChannelRec back{};
  ASSERT_EQ(kChannelTable.read(db(), &back, {1}), 0);
  EXPECT_EQ(back.extra, 9);
  EXPECT_EQ(back.value, 5);
  EXPECT_STREQ(back.label, "keep");
  ASSERT_EQ(kChannelTable.read(db(), &back, {33}), 0) << "a missing row is created";
  EXPECT_EQ(back.id, 33);
  EXPECT_EQ(back.extra, 9);
  EXPECT_EQ(stored_channels(db(), kChannels), (std::vector<int>{1, 33}));

  struct Bad {
    const char* column;
    const char* key;
  };
  for (Bad b : {Bad{"nope", "id"}, Bad{"label", "id"}, Bad{"extra", "value"}, Bad{"extra", "x"}}) {
    EXPECT_EQ(zvdb::copy_column_int(db(), kChannels, b.column, 1, 1, b.key), -1) << b.column;
  }
  EXPECT_EQ(copy_table_column_int(db(), "no_such_table", "extra", 1, 1, 0, "id"), -1);
}

TEST_F(DbTest, ListsAreKeptPerTableNameAndChannel) {
  LedEntry a[3] = {{5, 1, 2, 3}, {5, 4, 5, 6}, {5, 7, 8, 9}};
  LedEntry b[1] = {{5, 9, 9, 9}};
  ASSERT_EQ(zvdb::write_list(db(), kLed, Key{.a = 5, .text = "motion_led"}, a, 3), 0);
  ASSERT_EQ(zvdb::write_list(db(), kLed, Key{.a = 5, .text = "vloss_led"}, b, 1), 0);
  LedEntry out[8]{};
  int count = 8;
  ASSERT_EQ(zvdb::read_list(db(), kLed, Key{.a = 5, .text = "motion_led"}, out, &count), 0);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(out[2].time, 9);
  count = 2;  // capacity below the stored count
  ASSERT_EQ(zvdb::read_list(db(), kLed, Key{.a = 5, .text = "motion_led"}, out, &count), 0);
  EXPECT_EQ(count, 2);
  count = 8;
  ASSERT_EQ(zvdb::read_list(db(), kLed, Key{.a = 5, .text = "vloss_led"}, out, &count), 0);
  EXPECT_EQ(count, 1);

  // Rewriting replaces the whole list; more than the maximum is refused and changes nothing.
  ASSERT_EQ(zvdb::write_list(db(), kLed, Key{.a = 5, .text = "motion_led"}, b, 1), 0);
  std::vector<LedEntry> nine(9, LedEntry{5, 1, 1, 1});
  EXPECT_EQ(zvdb::write_list(db(), kLed, Key{.a = 5, .text = "motion_led"}, nine.data(), 9), -1);
  count = 8;
  ASSERT_EQ(zvdb::read_list(db(), kLed, Key{.a = 5, .text = "motion_led"}, out, &count), 0);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(zvdb::write_list(db(), kLed, Key{.a = 5, .text = "motion_led"}, nullptr, 0), 0);
  count = 8;
  ASSERT_EQ(zvdb::read_list(db(), kLed, Key{.a = 5, .text = "motion_led"}, out, &count), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(DbTest, ListEntriesAreAddedReplacedMovedAndDeletedById) {
  const Key list_a{.a = 1, .b = 2};
  const Key list_b{.a = 1, .b = 3};
  // A stored 64-slot list, all empty but slot 10.
  std::vector<PtzEntry> slots(64, PtzEntry{});
  slots[10] = PtzEntry{2, 7, 0, 1, 3, 0, 0};
  ASSERT_EQ(zvdb::write_list(db(), kPtz, list_a, slots.data(), 64), 0);

  PtzEntry e{2, 9, 0, 2, 0, 4, 0};
  ASSERT_EQ(zvdb::put_list_entry(db(), kPtz, list_a, &e), 0);  // takes the first free slot
  std::vector<PtzEntry> out(64);
  int count = 64;
  ASSERT_EQ(zvdb::read_list(db(), kPtz, list_a, out.data(), &count), 0);
  ASSERT_EQ(count, 64);
  EXPECT_EQ(out[0].camera, 9);
  e.patrol = 6;
  ASSERT_EQ(zvdb::put_list_entry(db(), kPtz, list_a, &e), 0);  // same camera: replaced
  count = 64;
  ASSERT_EQ(zvdb::read_list(db(), kPtz, list_a, out.data(), &count), 0);
  EXPECT_EQ(out[0].patrol, 6);
  EXPECT_EQ(out[1].camera, 0);

  PtzEntry empty{};
  EXPECT_EQ(zvdb::put_list_entry(db(), kPtz, list_a, &empty), -1) << "camera 0 is no entry";

  // Move camera 7 from source 2 to source 3.
  PtzEntry moved{3, 7, 0, 3, 0, 0, 8};
  ASSERT_EQ(zvdb::move_list_entry(db(), kPtz, list_a, list_b, &moved), 0);
  count = 64;
  ASSERT_EQ(zvdb::read_list(db(), kPtz, list_a, out.data(), &count), 0);
  EXPECT_EQ(out[10].camera, 0) << "cleared in place";
  count = 64;
  ASSERT_EQ(zvdb::read_list(db(), kPtz, list_b, out.data(), &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(out[0].pattern, 8);

  EXPECT_EQ(zvdb::delete_list_entry(db(), kPtz, list_b, 7), 0);
  EXPECT_EQ(zvdb::delete_list_entry(db(), kPtz, list_b, 7), -1);

  // A full list refuses a new camera, and a move into it changes neither list.
  std::vector<PtzEntry> full(64);
  for (int i = 0; i < 64; ++i) full[static_cast<size_t>(i)] = PtzEntry{3, 100 + i, 0, 1, 1, 0, 0};
  ASSERT_EQ(zvdb::write_list(db(), kPtz, list_b, full.data(), 64), 0);
  PtzEntry extra{3, 500, 0, 1, 1, 0, 0};
  EXPECT_EQ(zvdb::put_list_entry(db(), kPtz, list_b, &extra), -1);
  PtzEntry from_a{3, 9, 0, 1, 1, 0, 0};
  EXPECT_EQ(zvdb::move_list_entry(db(), kPtz, list_a, list_b, &from_a), -1);
  count = 64;
  ASSERT_EQ(zvdb::read_list(db(), kPtz, list_a, out.data(), &count), 0);
  EXPECT_EQ(out[0].camera, 9) << "the failed move rolled back";
}

TEST_F(DbTest, TextKeyedRowsAreFoundReplacedAndDeletedByText) {
  PlateRec rows[3] = {plate("black", "AB123"), plate("white", "CD456"), plate("black", "EF789")};
  ASSERT_EQ(zvdb::replace_all_records(db(), kPlates, rows, 3), 0);
  PlateRec p{};
  ASSERT_EQ(zvdb::read_record(db(), kPlates, &p, Key{.text = "CD456"}), 0);
  EXPECT_STREQ(p.type, "white");
  ASSERT_EQ(zvdb::find_record_by_text(db(), kPlates, &p, "type", "black"), 0);
  EXPECT_STREQ(p.plate, "AB123");  // first in key order
  EXPECT_EQ(zvdb::find_record_by_text(db(), kPlates, &p, "type", "visitor"), -1);

  PlateRec del[2] = {plate("", "AB123"), plate("", "ZZ000")};
  ASSERT_EQ(zvdb::delete_records_by_key(db(), kPlates, del, 2), 0);
  EXPECT_EQ(zvdb::count_records(db(), kPlates), 2);
  PlateRec replacement[1] = {plate("visitor", "GH000")};
  ASSERT_EQ(zvdb::replace_all_records(db(), kPlates, replacement, 1), 0);
  EXPECT_EQ(zvdb::count_records(db(), kPlates), 1);
  EXPECT_EQ(zvdb::read_record(db(), kPlates, &p, Key{.text = "CD456"}), -1);
}

TEST_F(DbTest, TransactionsCommitSeveralTablesTogetherOrNothing) {
  {
    zvdb::Transaction tx(db());
    ChannelRec r = rec(3, 30);
    LedEntry led[1] = {{3, 4, 5, 6}};
    EXPECT_EQ(tx.write(kChannels, &r, {3}), 0);
    EXPECT_EQ(tx.write_list(kLed, Key{.a = 3, .text = "led"}, led, 1), 0);
    EXPECT_EQ(tx.write_setting("changed", "3"), 0);
    ASSERT_EQ(tx.commit(), 0);
  }
  EXPECT_EQ(zvdb::count_records(db(), kChannels), 1);
  EXPECT_EQ(zvdb::count_records(db(), kLed), 1);
  EXPECT_EQ(get_param_int(db(), "changed", 0), 3);
  ASSERT_EQ(kChannelTable.remove(db(), {3}), 0);
  {
    zvdb::Transaction tx(db());
    ChannelRec r = rec(1, 1);
    EXPECT_EQ(tx.write(kChannels, &r, {1}), 0);
    std::vector<LedEntry> nine(9);
    EXPECT_EQ(tx.write_list(kLed, Key{.a = 1, .text = "x"}, nine.data(), 9), -1);
    EXPECT_EQ(tx.commit(), -1);
  }
  {
    zvdb::Transaction tx(db());
    ChannelRec r = rec(2, 2);
    tx.write(kChannels, &r, {2});
    // destroyed without commit: rolled back
  }
  EXPECT_EQ(zvdb::count_records(db(), kChannels), 0);
}

TEST_F(DbTest, WriteBatchCommitsEveryCallOnceAndKeepsFailedCallsWhole) {
  set_param_int(db(), "before", 1);
  {
    zvdb::WriteBatch batch(db());
    ASSERT_TRUE(batch.ok());
    ChannelRec r = rec(4, 40);
    EXPECT_EQ(zvdb::write_record(db(), kChannels, &r), 0);
    EXPECT_EQ(set_param_int(db(), "inside", 7), 0);
    // A call that fails inside the batch leaves nothing of itself and does not spoil the rest.
    std::vector<LedEntry> nine(9);
    EXPECT_EQ(zvdb::write_list(db(), kLed, Key{.a = 4, .text = "led"}, nine.data(), 9), -1);
    {
      zvdb::WriteBatch inner(db());  // a nested batch joins the outer one
      EXPECT_EQ(set_param_int(db(), "nested", 9), 0);
      EXPECT_EQ(inner.commit(), 0);
    }
    // This process reads its own batch; another connection sees nothing before the commit.
    EXPECT_EQ(get_param_int(db(), "inside", 0), 7);
    EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT count(*) FROM settings WHERE key = 'inside'"), "0");
    EXPECT_EQ(batch.commit(), 0);
  }
  EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT value FROM settings WHERE key = 'inside'"), "7");
  EXPECT_EQ(get_param_int(db(), "nested", 0), 9);
  EXPECT_EQ(zvdb::count_records(db(), kChannels), 1);
  EXPECT_EQ(zvdb::count_records(db(), kLed), 0);
  {
    zvdb::WriteBatch batch(db());
    set_param_int(db(), "at_scope_end", 1);
  }  // the destructor commits what is still open
  EXPECT_EQ(get_param_int(db(), "at_scope_end", 0), 1);
}

// A nested batch that rolls back spoils the outer one: a later nested commit reports the failure,
// the outer commit stores nothing, and the next write stores again (no transaction left open).
TEST_F(DbTest, NestedRollbackStoresNothingOfTheOuterBatch) {
  {
    zvdb::WriteBatch batch(db());
    EXPECT_EQ(set_param_int(db(), "kept_out", 1), 0);
    {
      zvdb::WriteBatch inner(db());
      EXPECT_EQ(set_param_int(db(), "inner", 2), 0);
      EXPECT_EQ(inner.rollback(), 0);
    }
    {
      zvdb::WriteBatch later(db());
      EXPECT_EQ(later.commit(), -1);
    }
    EXPECT_EQ(batch.commit(), -1);
  }
  EXPECT_EQ(get_param_int(db(), "kept_out", -9), -9);
  EXPECT_EQ(get_param_int(db(), "inner", -9), -9);
  EXPECT_EQ(set_param_int(db(), "after", 3), 0);
  EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT value FROM settings WHERE key = 'after'"), "3");
}

// The engine's own handle, reached through an auto extension (run for every connection opened),
// and a progress handler that interrupts the statement running while armed.
sqlite3* g_opened = nullptr;
bool g_interrupt = false;
int capture_handle(sqlite3* db, const char** /*error*/, const void* /*api*/) {
  g_opened = db;
  return SQLITE_OK;
}
int interrupt_when_armed(void* /*unused*/) { return g_interrupt ? 1 : 0; }

// A read that fails inside a batch (not one that finds no row) fails the batch: a request reads the
// row it changes inside its batch and would otherwise store its own values over the unread ones.
TEST_F(DbTest, ReadThatFailsInsideABatchStoresNothingOfTheBatch) {
  set_param_int(db(), "before", 1);
  zvdb_close_all();
  sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(capture_handle));
  EXPECT_EQ(get_param_int(db(), "before", 0), 1);
  sqlite3_cancel_auto_extension(reinterpret_cast<void (*)(void)>(capture_handle));
  ASSERT_NE(g_opened, nullptr);
  sqlite3_progress_handler(g_opened, 1, interrupt_when_armed, nullptr);
  {
    zvdb::WriteBatch batch(db());
    ChannelRec r = rec(4, 40);
    EXPECT_EQ(zvdb::write_record(db(), kChannels, &r), 0);
    ChannelRec out{};
    EXPECT_EQ(zvdb::read_record(db(), kChannels, &out, {5}), -1);  // no row: the batch goes on
    EXPECT_TRUE(batch.ok());
    g_interrupt = true;
    EXPECT_EQ(zvdb::read_record(db(), kChannels, &out, {4}), -1);
    EXPECT_EQ(get_param_int(db(), "before", -9), -9);
    g_interrupt = false;
    EXPECT_FALSE(batch.ok());
    EXPECT_EQ(batch.commit(), -1);
  }
  sqlite3_progress_handler(g_opened, 0, nullptr, nullptr);
  EXPECT_EQ(zvdb::count_records(db(), kChannels), 0);
  EXPECT_EQ(set_param_int(db(), "after", 3), 0);  // the next write stores again
  EXPECT_EQ(get_param_int(db(), "after", 0), 3);
}

// A batch that cannot begin (another connection holds the write lock past the busy budget) stays
// open and failed: the calls inside it are refused, never stored one by one, even once the file
// is free again; after it ends, writes store as before.
TEST_F(DbTest, WriteBatchThatCannotBeginRefusesTheCallsInside) {
  set_param_int(db(), "before", 1);
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  {
    zvdb::WriteBatch batch(db());
    EXPECT_FALSE(batch.ok());
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    EXPECT_EQ(set_param_int(db(), "inside", 7), -1);
    ChannelRec r = rec(4, 40);
    EXPECT_EQ(zvdb::write_record(db(), kChannels, &r), -1);
    EXPECT_EQ(batch.commit(), -1);
  }
  sqlite3_close(holder);
  EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT count(*) FROM settings WHERE key = 'inside'"), "0");
  EXPECT_EQ(zvdb::count_records(db(), kChannels), 0);
  EXPECT_EQ(set_param_int(db(), "after", 3), 0);
  EXPECT_EQ(get_param_int(db(), "after", 0), 3);
}

// A write that fails for want of room inside a batch (the database may then roll the whole
// transaction back by itself) leaves the batch failed: a write after it is refused, not stored on
// its own once there is room again. Run in a child, whose file size limit stands for a full flash.
TEST_F(DbTest, WriteBatchAfterAFailedWriteForWantOfRoomStoresNothing) {
  set_param_int(db(), "before", 1);
  zvdb_close_all();
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct stat st {};
    stat(db(), &st);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlim_t hard = limit.rlim_max;
    int code = 0;
    {
      zvdb::WriteBatch batch(db());
      if (!batch.ok()) _exit(10);
      limit.rlim_cur = static_cast<rlim_t>(st.st_size) + 64 * 1024;
      setrlimit(RLIMIT_FSIZE, &limit);
      const std::string big(4 * 1024 * 1024, 'x');
      if (set_param_value(db(), "big", big.c_str()) == 0) code |= 1;  // there was room after all
      limit.rlim_cur = hard;
      setrlimit(RLIMIT_FSIZE, &limit);
      if (set_param_int(db(), "after_full", 5) == 0 && batch.ok()) code |= 2;
      if (batch.commit() == 0) code |= 4;
    }
    zvdb_close_all();
    _exit(code);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "the big value fitted: the limit did not bite";
  EXPECT_EQ(WEXITSTATUS(status) & 4, 0) << "the batch committed";
  EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT count(*) FROM settings WHERE key = 'after_full'"), "0");
  EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT count(*) FROM settings WHERE key = 'big'"), "0");
}

// A write from another thread while a batch is open is refused and leaves the batch its place in
// the writers' queue: another process still finds the file's writer lock taken.
TEST_F(DbTest, AnotherThreadsWriteDuringABatchLeavesTheBatchItsLock) {
  set_param_int(db(), "before", 1);
  zvtest::RunOptions probe;  // another process asking for the writers' lock without waiting
  probe.args = {"-n", db(), "true"};
  {
    zvdb::WriteBatch batch(db());
    ASSERT_EQ(set_param_int(db(), "inside", 1), 0);
    int other = 0;
    std::thread([&] { other = set_param_int(db(), "other", 2); }).join();
    EXPECT_EQ(other, -1);
    EXPECT_NE(zvtest::run_program("/usr/bin/flock", probe).exit_code, 0) << "the writers' lock was let go";
    EXPECT_EQ(batch.commit(), 0);
  }
  EXPECT_EQ(zvtest::run_program("/usr/bin/flock", probe).exit_code, 0);
  EXPECT_EQ(get_param_int(db(), "inside", 0), 1);
  EXPECT_EQ(get_param_int(db(), "other", -9), -9);
}

TEST_F(DbTest, ThreadsOfOneProcessShareTheConnectionSafely) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        ChannelRec r = rec(t, i);
        if (kChannelTable.write(db(), &r) != 0) ++failures;
        ChannelRec back{};
        if (kChannelTable.read(db(), &back, {t}) != 0 || back.value != i) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(zvdb::count_records(db(), kChannels), 4);
}

}  // namespace
