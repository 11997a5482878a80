// The shared helpers: cookie user, shell commands, lock file, JSON and whole-file access,
// hardware addresses, the bounded payload reader, tracked allocation, arrays joined from runs.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/array_join.h"
#include "common/json_fields.h"
#include "common/partial_record.h"
#include "common/payload_reader.h"
#include "common/request.h"
#include "common/web_utils.h"
#include "platform/zvstd/zvstd.h"
#include "tests/support/harness.h"

// A stored record that a partial set changes.
struct NamedRow {
  int32_t id;
  char name[12];
};
ZV_SCHEMA(NamedRow, ZV_FIELD(id, "id"), ZV_FIELD(name, "name"));

namespace {

TEST(CookieUserName, ReadsTheUserNameMember) {
  struct Case {
    const char* cookie;  // null: no HTTP_COOKIE at all
    size_t size;
    int rc;
    std::string expected;
  } cases[] = {
      {"language=en-US; userName=admin; sessionId=123", 64, 0, "admin"},
      {"language=en-US; userName=operator", 64, 0, "operator"},
      {"userName=a=b;x=1", 64, 0, "b"},
      {"userName=", 64, 0, ""},
      {"userName", 64, 0, ""},  // nothing follows the name: nothing past the end is read
      {"xuserName=first; userName=second", 64, 0, "first"},
      {"language=en", 64, -1, ""},
      {nullptr, 64, -1, ""},
      {"userName=abcdefgh", 5, 0, "abcd"},
  };
  for (const auto& c : cases) {
    if (c.cookie != nullptr) {
      setenv("HTTP_COOKIE", c.cookie, 1);
    } else {
      unsetenv("HTTP_COOKIE");
    }
    char buffer[64];
    memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(cookie_user_name(buffer, c.size), c.rc) << (c.cookie ? c.cookie : "null");
    EXPECT_EQ(std::string(buffer), c.expected) << (c.cookie ? c.cookie : "null");
  }
  setenv("HTTP_COOKIE", ("userName=" + std::string(100, 'n') + "; a=b").c_str(), 1);
  char name[128];
  EXPECT_EQ(cookie_user_name(name, sizeof name), 0);
  EXPECT_EQ(std::string(name), std::string(63, 'n')) << "cut to 63 characters";
  EXPECT_EQ(cookie_user_name(nullptr, 64), -1);
  EXPECT_EQ(cookie_user_name(name, 0), -1);
  unsetenv("HTTP_COOKIE");
}

TEST(RunCommand, ReportsEveryAbnormalEndAsFailure) {
  struct Case {
    const char* command;
    int rc;
  } cases[] = {{"true", 0}, {"exit 0", 0}, {"exit 2", -1}, {"false", -1}, {"kill -9 $$", -1},
               {"/nonexistent/program", -1}, {nullptr, -1}};
  for (const auto& c : cases) EXPECT_EQ(run_command(c.command), c.rc) << (c.command ? c.command : "null");
  ASSERT_EQ(run_command("echo made > /tmp/run_command_out"), 0);
  EXPECT_EQ(zvtest::read_file("/tmp/run_command_out"), "made\n");
  EXPECT_EQ(zv_system(nullptr), -1);
  int status = zv_system("exit 3");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
}

TEST(LockFile, SerialisesProcesses) {
  int fd = lock_file_acquire("/tmp/cgilockfile");
  ASSERT_GE(fd, 0);
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    LockFile lock;  // blocks while the parent holds it
    ssize_t ignored = write(pipe_fds[1], lock.locked() ? "L" : "F", 1);
    (void)ignored;
    _exit(0);
  }
  close(pipe_fds[1]);
  pollfd waiting{pipe_fds[0], POLLIN, 0};
  EXPECT_EQ(poll(&waiting, 1, 200), 0) << "the child got the lock while the parent held it";
  lock_file_release(fd);
  char got = 0;
  EXPECT_EQ(read(pipe_fds[0], &got, 1), 1);
  EXPECT_EQ(got, 'L');
  close(pipe_fds[0]);
  waitpid(child, nullptr, 0);

  EXPECT_LT(lock_file_acquire("/tmp/no/such/dir/lock"), 0);
  EXPECT_LT(lock_file_acquire(nullptr), 0);
  lock_file_release(-1);  // nothing to do
  LockFile unlockable("/tmp/no/such/dir/lock");
  EXPECT_FALSE(unlockable.locked());
}

// Whether another process could take the lock of `path` now.
bool lockable_elsewhere(const char* path) {
  const pid_t child = fork();
  if (child == 0) {
    const int fd = open(path, O_RDWR | O_CLOEXEC);
    _exit(fd >= 0 && lockf(fd, F_TLOCK, 0) == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A lock taken again inside one held shares it: releasing the inner one leaves the file locked
// (a lockf unlock or close would drop the process's lock) until the outer one is released.
TEST(LockFile, NestedReleaseKeepsTheOuterLock) {
  const int outer = lock_file_acquire("/tmp/cgilockfile");
  ASSERT_GE(outer, 0);
  {
    LockFile inner;
    EXPECT_TRUE(inner.locked());
  }
  EXPECT_FALSE(lockable_elsewhere("/tmp/cgilockfile"));
  lock_file_release(outer);
  EXPECT_TRUE(lockable_elsewhere("/tmp/cgilockfile"));
}

// A settings write holds the request lock until it commits, not until its scope ends: the
// notices sent after the commit may wait on a busy core.
TEST(LockFile, SettingsWriteLetsTheLockGoAtItsCommit) {
  for (const bool fail : {false, true}) {
    SettingsWrite write("/tmp/settings_write_lock.db");
    EXPECT_FALSE(lockable_elsewhere(kCgiLockFile));
    if (fail) write.check(-1);
    EXPECT_EQ(write.commit(), !fail);
    EXPECT_TRUE(lockable_elsewhere(kCgiLockFile)) << fail;
  }
}

TEST(JsonHelpers, ReadMembersOrReportMissing) {
  std::unique_ptr<json_object, decltype(&json_object_put)> object(
      parse_json_text(R"({"id": 12, "name": "cam \"1\"", "list": [1, 2], "text": "34", "none": null})"),
      json_object_put);
  ASSERT_TRUE(object);
  int value = -1;
  char text[8];
  struct IntCase {
    const char* key;
    int rc, value;
  } ints[] = {{"id", 0, 12}, {"text", 0, 34}, {"missing", -1, -1}, {"none", -1, -1}};
  for (const auto& c : ints) {
    value = -1;
    EXPECT_EQ(json_get_int(object.get(), c.key, &value), c.rc) << c.key;
    EXPECT_EQ(value, c.value) << c.key;
  }
  struct TextCase {
    const char* key;
    int rc;
    const char* text;
  } texts[] = {{"name", 0, "cam \"1\""}, {"id", 0, "12"}, {"list", 0, "[ 1, 2 ]"}, {"missing", -1, ""},
               {"none", -1, ""}};
  for (const auto& c : texts) {
    char wide[32];
    EXPECT_EQ(json_get_text(object.get(), c.key, wide, sizeof wide), c.rc) << c.key;
    EXPECT_STREQ(wide, c.text) << c.key;
  }
  EXPECT_EQ(json_get_text(object.get(), "name", text, 4), 0);
  EXPECT_STREQ(text, "cam") << "cut to size - 1";
  EXPECT_EQ(json_get_int(nullptr, "id", &value), -1);
  EXPECT_EQ(json_get_int(object.get(), "id", nullptr), -1);
  EXPECT_EQ(json_get_text(object.get(), "id", nullptr, 4), -1);

  EXPECT_EQ(parse_json_text(nullptr), nullptr);
  EXPECT_EQ(parse_json_text("{\"a\": "), nullptr);
  EXPECT_EQ(parse_json_text("not json"), nullptr);
  EXPECT_EQ(json_text_get_int(R"({"chnid": 5})", "chnid", &value), 0);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(json_text_get_int(R"({"chnid": 5})", "other", &value), -1);
  EXPECT_EQ(json_text_get_int("{broken", "chnid", &value), -1);
  EXPECT_EQ(json_text_get_int(nullptr, "chnid", &value), -1);
  EXPECT_EQ(json_text_get_int("{}", nullptr, &value), -1);
}

// A shorter text set over a stored one leaves the field NUL-padded: the old text's tail goes
// neither to the database nor to the core.
TEST(JsonHelpers, TextSetOverAStoredTextLeavesNoTail) {
  NamedRow row{7, "Front door"};
  JsonPtr request = parse_request(R"({"name": "Gate"})");
  ASSERT_TRUE(read_record_update(request.get(), &row));
  EXPECT_EQ(row.id, 7);
  EXPECT_EQ(std::string(row.name, sizeof row.name), std::string("Gate", 4) + std::string(8, '\0'));
}

// A text cut to its field's width ends on a whole character: the cut never leaves the first bytes
// of a multibyte character behind (the record would hold, and print back, text that is not UTF-8).
TEST(JsonHelpers, TextCutToItsWidthEndsOnAWholeCharacter) {
  struct Row {
    const char* text;
    size_t max_chars;
    std::string stored;
  } rows[] = {
      {"abcd\xc3\xa9", SIZE_MAX, "abcd"},                   // 2-byte character across the cut
      {"abc\xe2\x82\xac", SIZE_MAX, "abc"},                // 3-byte character, 2 bytes would fit
      {"a\xf0\x9f\x98\x80xyz", SIZE_MAX, "a\xf0\x9f\x98\x80"},  // 4-byte character fits whole
      {"ab\xc3\xa9", SIZE_MAX, "ab\xc3\xa9"},               // fits: unchanged
      {"abcdefgh", SIZE_MAX, "abcde"},                       // plain text: cut at the width
      {"a\xc3\xa9z", 2, "a"},                                // the character limit cuts too
      {"abc\xe0\xa4\x85", SIZE_MAX, "abc"},                // 3-byte character led by 0xE0
  };
  for (const Row& r : rows) {
    char field[6];
    std::memset(field, 'x', sizeof field);
    copy_text_field(field, r.text, r.max_chars);
    EXPECT_EQ(std::string(field, strnlen(field, sizeof field)), r.stored) << r.text;
    EXPECT_EQ(field[sizeof field - 1], '\0');
  }
}

// A file larger than the memory the process may still take is a failed read (null), not the end
// of the process. Run in a child with a lowered address-space limit (which the sanitizers' shadow
// memory does not allow).
TEST(WholeFile, AFileAboveTheMemoryLeftIsAFailedRead) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "no address-space limit under the address sanitizer";
#else
  const std::string big(48u << 20, 'b');
  ASSERT_EQ(write_whole_file("/tmp/big.bin", big.data(), big.size()), 0);
  EXPECT_EXIT(
      {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        long pages = 0;
        if (FILE* statm = fopen("/proc/self/statm", "r")) {
          if (fscanf(statm, "%ld", &pages) != 1) pages = 0;
          fclose(statm);
        }
        limit.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (32u << 20);
        setrlimit(RLIMIT_AS, &limit);
        size_t length = 7;
        void* data = read_whole_file("/tmp/big.bin", &length);
        _exit(data == nullptr && length == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  unlink("/tmp/big.bin");
#endif
}

TEST(WholeFile, ReadsAndReplacesWholeFiles) {
  ZvMemStats before = zv_mem_stats();
  std::string data("binary\0data\nwith zero", 21);
  ASSERT_EQ(write_whole_file("/tmp/whole.bin", data.data(), data.size()), 0);
  size_t length = 99;
  auto* buffer = static_cast<char*>(read_whole_file("/tmp/whole.bin", &length));
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::string(buffer, length), data);
  EXPECT_EQ(buffer[length], '\0') << "a NUL follows the data";
  EXPECT_EQ(zv_mem_stats().live_blocks, before.live_blocks + 1);
  __zv_free(buffer, "test", __LINE__);
  EXPECT_EQ(zv_mem_stats().live_blocks, before.live_blocks);

  chmod("/tmp/whole.bin", 0600);
  ASSERT_EQ(write_whole_file("/tmp/whole.bin", "new", 3), 0);
  EXPECT_EQ(zvtest::read_file("/tmp/whole.bin"), "new");
  struct stat st{};
  ASSERT_EQ(stat("/tmp/whole.bin", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the replaced file keeps its mode";

  ASSERT_EQ(write_whole_file("/tmp/empty.bin", nullptr, 0), 0);
  buffer = static_cast<char*>(read_whole_file("/tmp/empty.bin", &length));
  ASSERT_NE(buffer, nullptr) << "an empty file is a file";
  EXPECT_EQ(length, 0u);
  __zv_free(buffer, "test", __LINE__);

  length = 5;
  EXPECT_EQ(read_whole_file("/tmp/missing.bin", &length), nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(read_whole_file(nullptr, &length), nullptr);
  EXPECT_EQ(write_whole_file("/tmp/no/such/dir/file", "x", 1), -1);
  EXPECT_EQ(write_whole_file(nullptr, "x", 1), -1);
  EXPECT_EQ(write_whole_file("/tmp/whole.bin", nullptr, 1), -1);
  EXPECT_EQ(zvtest::read_file("/tmp/whole.bin"), "new") << "a refused write changes nothing";
  for (const auto& name : zvtest::list_dir("/tmp")) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << "temporary file left: " << name;
  }
  ASSERT_EQ(write_whole_file("/dev/null", "x", 1), 0) << "a device is written in place";
}

TEST(MacAddresses, ReadTheInterfaceOrTheDefault) {
  char mac[18];
  EXPECT_EQ(interface_mac_address("lo", mac, kDefaultMacEth0), 0);
  EXPECT_STREQ(mac, "00:00:00:00:00:00");
  EXPECT_EQ(interface_mac_address("nosuchif9", mac, kDefaultMacEth1), -1);
  EXPECT_STREQ(mac, kDefaultMacEth1);
  EXPECT_EQ(interface_mac_address(std::string(40, 'x').c_str(), mac, kDefaultMacEth0), -1);
  char eth0[18], eth1[18];
  ASSERT_EQ(get_mac_addresses(eth0, eth1), 0);
  auto mac_form = [](const std::string& text) {
    if (text.size() != 17) return false;
    for (size_t i = 0; i < text.size(); ++i) {
      bool ok = i % 3 == 2 ? text[i] == ':' : (isdigit(text[i]) || (text[i] >= 'A' && text[i] <= 'F'));
      if (!ok) return false;
    }
    return true;
  };
  EXPECT_TRUE(mac_form(eth0)) << eth0;
  EXPECT_TRUE(mac_form(eth1)) << eth1;
  EXPECT_FALSE(mac_form("00:1e:5A:00:00:01"));
  EXPECT_EQ(get_mac_addresses(nullptr, eth1), -1);
  // The two defaults differ by one in the last byte.
  EXPECT_EQ(std::string(kDefaultMacEth0).substr(0, 15), std::string(kDefaultMacEth1).substr(0, 15));
}

struct Record {
  int32_t id;
  char name[8];
};

// A plain decimal argument: both 32-bit ends and the first value past each; trailing white space.
TEST(ParseDecimal, TakesExactly32BitValues) {
  struct Case {
    const char* text;
    bool taken;
    int32_t value;
  } cases[] = {{"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN}, {"7 \r\n", true, 7},
               {"2147483648", false, 0},       {"-2147483649", false, 0},       {"4294967295", false, 0},
               {"7x", false, 0},               {"", false, 0}};
  for (const auto& c : cases) {
    int32_t value = 0;
    EXPECT_EQ(parse_decimal(c.text, &value), c.taken) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(ChannelMaskText, ReadsAndWritesOnlyItsWidth) {
  EXPECT_EQ(mask_of_text("101000001", 8), 0x5u) << "the character after the width is not a channel";
  EXPECT_EQ(mask_of_text(std::string(65, '1').c_str(), 64), ~uint64_t{0});
  EXPECT_EQ(mask_of_text("01", 64), 0x2u) << "a short text ends the mask";
  char text[66];
  std::memset(text, 'x', sizeof text);
  mask_text(0x8000000000000005u, 64, text);
  EXPECT_EQ(std::string(text), "101" + std::string(60, '0') + "1");
  mask_text(0x1FFu, 8, text);
  EXPECT_STREQ(text, "11111111");
}

TEST(PayloadReader, NeverReadsOutsideThePayload) {
  // Two whole records and 5 bytes of a third; the second record's name has no NUL.
  unsigned char raw[29] = {};
  int32_t one = 1, two = 2;
  memcpy(raw, &one, 4);
  memcpy(raw + 4, "cam1", 5);
  memcpy(raw + 12, &two, 4);
  memcpy(raw + 16, "ABCDEFGH", 8);
  // Copy into a heap block of exactly 29 bytes so that the sanitizer sees any overrun.
  auto payload = std::make_unique<unsigned char[]>(sizeof raw);
  memcpy(payload.get(), raw, sizeof raw);
  PayloadReader reader(payload.get(), sizeof raw);

  EXPECT_EQ(reader.record_count<Record>(), 2u);
  EXPECT_EQ(reader.record_count<Record>(1), 1u) << "clamped to the capacity";
  EXPECT_EQ(reader.record_count(0), 0u);
  Record record{};
  EXPECT_TRUE(reader.record(1, &record));
  EXPECT_EQ(field_text(record.name), "ABCDEFGH") << "an unterminated field stops at its width";
  EXPECT_FALSE(reader.record(2, &record)) << "the incomplete third record is not read";
  Record many[8];
  EXPECT_EQ(reader.copy_records(many, 8), 2u);
  EXPECT_EQ(reader.copy_records(many, 1), 1u);

  EXPECT_EQ(reader.text(4, 8), "cam1");
  EXPECT_EQ(reader.text(16, 8), "ABCDEFGH");
  EXPECT_EQ(reader.text(16, 7), "ABCDEFG") << "never past the field's width";
  EXPECT_EQ(reader.text(24, 8), "") << "a field that runs past the end is not read";
  EXPECT_EQ(PayloadReader(static_cast<const void*>(nullptr), size_t{0}).text(0, 0), "") << "an empty reply has no text";
  char out[4];
  EXPECT_TRUE(reader.read_text(16, 8, out, sizeof out));
  EXPECT_STREQ(out, "ABC");
  EXPECT_FALSE(reader.read_text(28, 2, out, sizeof out));
  EXPECT_STREQ(out, "");

  EXPECT_EQ(reader.int32_at(12), 2);
  EXPECT_EQ(reader.int32_at(26, -7), -7) << "three bytes left: the fallback";
  EXPECT_EQ(reader.int32_at(SIZE_MAX - 1, -7), -7) << "no overflow in the bound check";
  EXPECT_EQ(reader.bytes(25, 4), payload.get() + 25);
  EXPECT_EQ(reader.bytes(26, 4), nullptr);
  char copied[16];
  copy_field_text(copied, sizeof copied, record.name);
  EXPECT_STREQ(copied, "ABCDEFGH");
  copy_field_text(copied, 3, record.name);
  EXPECT_STREQ(copied, "AB") << "cut to size - 1";

  PayloadReader none(nullptr, 1000);  // a header that claims bytes without a payload
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.record_count<Record>(), 0u);
  EXPECT_EQ(none.int32_at(0, 3), 3);
  ZvMsgHeader header{};
  header.length = 12;
  EXPECT_EQ(PayloadReader(&header, payload.get()).record_count<Record>(), 1u);
}

TEST(TrackedAllocation, CountsLiveBlocks) {
  ZvMemStats before = zv_mem_stats();
  void* a = __zv_malloc(100, "test", __LINE__);
  auto* b = static_cast<unsigned char*>(__zv_calloc(10, 10, "test", __LINE__));
  void* empty = __zv_malloc(0, "test", __LINE__);
  ASSERT_TRUE(a && b && empty);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(b[i], 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % alignof(std::max_align_t), 0u);
  ZvMemStats during = zv_mem_stats();
  EXPECT_EQ(during.live_blocks, before.live_blocks + 3);
  EXPECT_EQ(during.live_bytes, before.live_bytes + 200);
  EXPECT_EQ(__zv_calloc(SIZE_MAX / 2, 4, "test", __LINE__), nullptr) << "size overflow";
  EXPECT_EQ(__zv_malloc(SIZE_MAX, "test", __LINE__), nullptr);
  __zv_free(a, "test", __LINE__);
  __zv_free(b, "test", __LINE__);
  __zv_free(empty, "test", __LINE__);
  __zv_free(nullptr, "test", __LINE__);
  ZvMemStats after = zv_mem_stats();
  EXPECT_EQ(after.live_blocks, before.live_blocks);
  EXPECT_EQ(after.live_bytes, before.live_bytes);
}

struct Item {
  const char* key;
  int value = 0;
};
constexpr Item kRun[] = {{"b", 2}, {"c"}};

TEST(JoinArrays, KeepsEveryRunInOrder) {
  constexpr auto joined = join_arrays<Item>({{"a", 1}}, kRun, {{"d", 4}, {"e", 5}});
  static_assert(joined.size() == 5);
  std::string keys;
  for (const Item& item : joined) keys += std::string(item.key) + std::to_string(item.value);
  EXPECT_EQ(keys, "a1b2c0d4e5");
}

}  // namespace
