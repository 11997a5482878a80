// The named calls: users, settings, factory defaults, and what the file looks like on disk.
#include <openssl/evp.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/zvdb/tables.h"
#include "platform/zvdb/video_tables.h"
#include "tests/zvdb/db_test_util.h"

namespace {

using zvdbtest::DbTest;
using zvdbtest::sql_value;

UserRecord user(int id, const char* name, int enable = 1) {
  UserRecord u{};
  u.id = id;
  u.enable = enable;
  snprintf(u.name, sizeof u.name, "%s", name);
  snprintf(u.password, sizeof u.password, "%s", "0123456789abcdef0123456789abcdef");
  u.type = 1;
  return u;
}

std::string md5_hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
  std::string hex;
  char byte[3];
  for (unsigned int i = 0; i < size; ++i) {
    snprintf(byte, sizeof byte, "%02x", digest[i]);
    hex += byte;
  }
  return hex;
}

TEST_F(DbTest, FactoryDefaultsCreateTheDirectoryTheSettingsAndTheAdministrator) {
  std::string nested = "/tmp/zvdb_defaults/app/zvdb.db";
  ASSERT_EQ(zvdb_init_defaults(nested.c_str()), 0);
  struct stat st{};
  ASSERT_EQ(stat(nested.c_str(), &st), 0);

  struct IntCase {
    const char* key;
    int value;
  };
  for (IntCase c : {IntCase{"max_cameras", 32}, IntCase{"max_poe_num", 0}, IntCase{"group_mode", 0},
                    IntCase{"failover_mode", 0}, IntCase{"same_channel_exist", 0},
                    IntCase{"oem_type", 0}, IntCase{"alarm_in", 16}, IntCase{"alarm_out", 4},
                    IntCase{"access_filter_enable", 0}, IntCase{"access_filter_type", 1},
                    IntCase{"homologous", 1}, IntCase{"httpsenable", 0}}) {
    EXPECT_EQ(get_param_int(nested.c_str(), c.key, -99), c.value) << c.key;
    EXPECT_EQ(check_param_key(nested.c_str(), c.key), 0) << c.key;
  }
  char text[32];
  for (auto [key, value] : {std::pair{"hardware_version", "V1.1"},
                            std::pair{"software_version", "7x.7.0.9"}, std::pair{"model", ""}}) {
    EXPECT_EQ(get_param_value(nested.c_str(), key, text, sizeof text, "dflt"), 0) << key;
    EXPECT_STREQ(text, value);
  }

  UserRecord admin;
  std::memset(&admin, 0x5A, sizeof admin);
  ASSERT_EQ(read_user_by_name(nested.c_str(), &admin, "admin"), 0);
  EXPECT_EQ(admin.id, 0);
  EXPECT_EQ(admin.enable, 1);
  EXPECT_EQ(admin.type, 0);
  EXPECT_EQ(std::string(admin.password), md5_hex("admin"));
  for (int i = 0; i < kUserRightsCount; ++i) {
    EXPECT_EQ(admin.local_rights[i], 1);
    EXPECT_EQ(admin.remote_rights[i], 1);
  }
  EXPECT_EQ(admin.permission, -1);
  EXPECT_EQ(admin.remote_permission, -1);
  for (const char* channels : {admin.local_liveview, admin.local_playback, admin.remote_liveview,
                               admin.remote_playback}) {
    EXPECT_EQ(std::string(channels), std::string(64, '1'));
  }
  for (uint32_t mask : {admin.local_liveview_mask, admin.local_playback_mask, admin.remote_liveview_mask,
                        admin.remote_playback_mask}) {
    EXPECT_EQ(mask, 0xFFFFFFFFu);
  }
  EXPECT_EQ(read_user_count(nested.c_str()), 1);

  // A second init keeps what was changed and restores nothing over it.
  ASSERT_EQ(set_param_int(nested.c_str(), "max_cameras", 16), 0);
  ASSERT_EQ(delete_param(nested.c_str(), "alarm_out"), 0);
  UserRecord renamed = admin;
  snprintf(renamed.password, sizeof renamed.password, "%s", md5_hex("secret").c_str());
  ASSERT_EQ(write_user(nested.c_str(), &renamed), 0);
  ASSERT_EQ(zvdb_init_defaults(nested.c_str()), 0);
  EXPECT_EQ(get_param_int(nested.c_str(), "max_cameras", 0), 16);
  EXPECT_EQ(get_param_int(nested.c_str(), "alarm_out", 0), 4) << "a missing default is added";
  ASSERT_EQ(read_user(nested.c_str(), &admin, 0), 0);
  EXPECT_EQ(std::string(admin.password), md5_hex("secret"));
}

TEST_F(DbTest, FileIsWalWithSchemaVersionAndNothingIsCreatedByReads) {
  char buffer[8];
  EXPECT_EQ(get_param_int(db(), "max_cameras", 32), 32);
  EXPECT_EQ(get_param_value(db(), "model", buffer, sizeof buffer, "x"), -1);
  EXPECT_EQ(check_param_key(db(), "model"), 1);
  EXPECT_EQ(read_user_count(db()), -1);
  EXPECT_EQ(access(db(), F_OK), -1) << "reads never create the file";

  ASSERT_EQ(set_param_int(db(), "k", 1), 0);
  EXPECT_EQ(sql_value(path_, "PRAGMA user_version"), std::to_string(zvdb::kSchemaVersion));
  EXPECT_EQ(sql_value(path_, "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(sql_value(path_, "SELECT value FROM settings WHERE key='k'"), "1");
}

TEST_F(DbTest, UserReadsFindOnlyWhatIsThereAndLeaveTheBufferOtherwise) {
  UserRecord a = user(3, "alice");
  UserRecord gone = user(4, "bob", 0);
  ASSERT_EQ(write_user(db(), &a), 0);
  ASSERT_EQ(write_user(db(), &gone), 0);

  UserRecord out;
  std::memset(&out, 0, sizeof out);
  out.id = -1;  // the add path presets -1 and checks it afterwards
  const UserRecord preset = out;
  struct Lookup {
    const char* name;
    bool found;
  };
  for (Lookup l : {Lookup{"alice", true}, Lookup{"Alice", false}, Lookup{"alic", false},
                   Lookup{"bob", false} /* disabled */, Lookup{"", false}}) {
    UserRecord r = preset;
    EXPECT_EQ(read_user_by_name(db(), &r, l.name), l.found ? 0 : -1) << l.name;
    if (l.found) {
      EXPECT_EQ(r.id, 3);
    } else {
      EXPECT_EQ(std::memcmp(&r, &preset, sizeof r), 0) << l.name;
    }
  }
  std::string long_name(100, 'a');
  EXPECT_EQ(read_user_by_name(db(), &out, long_name.c_str()), -1);
  EXPECT_EQ(read_user_by_name(db(), &out, nullptr), -1);

  EXPECT_EQ(read_user(db(), &out, 4), 0) << "read by id finds disabled rows";
  EXPECT_EQ(out.enable, 0);
  out = preset;
  EXPECT_EQ(read_user(db(), &out, 5), -1);
  EXPECT_EQ(std::memcmp(&out, &preset, sizeof out), 0);

  UserRecord bad = user(100, "x");
  EXPECT_EQ(write_user(db(), &bad), -1);
  bad.id = -1;
  EXPECT_EQ(write_user(db(), &bad), -1);

  UserRecord list[1];
  int count = 1;
  ASSERT_EQ(read_users(db(), list, &count), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(list[0].id, 3);
  UserRecord all[100];
  count = 100;
  ASSERT_EQ(read_users(db(), all, &count), 0);
  EXPECT_EQ(count, 2) << "disabled rows are listed too";
  EXPECT_EQ(read_user_count(db()), 1);
}

TEST_F(DbTest, AddUserTakesTheLowestFreeIdUpToOneHundredUsers) {
  ASSERT_EQ(zvdb_init_defaults(db()), 0);  // admin is id 0
  UserRecord u = user(-1, "u1");
  ASSERT_EQ(add_user(db(), &u), 0);
  EXPECT_EQ(u.id, 1);
  UserRecord removed = user(1, "", 0);  // how the pages delete a user
  ASSERT_EQ(write_user(db(), &removed), 0);
  UserRecord again = user(-1, "u1b");
  ASSERT_EQ(add_user(db(), &again), 0);
  EXPECT_EQ(again.id, 1) << "a disabled row is free";
  for (int i = 2; i < kMaxUsers; ++i) {
    UserRecord next = user(-1, ("user" + std::to_string(i)).c_str());
    ASSERT_EQ(add_user(db(), &next), 0);
    ASSERT_EQ(next.id, i);
  }
  EXPECT_EQ(read_user_count(db()), kMaxUsers);
  UserRecord overflow = user(-1, "overflow");
  const UserRecord before = overflow;
  EXPECT_EQ(add_user(db(), &overflow), -1);
  EXPECT_EQ(std::memcmp(&overflow, &before, sizeof overflow), 0);
  // Freeing id 57 makes exactly that id available.
  UserRecord freed = user(57, "", 0);
  ASSERT_EQ(write_user(db(), &freed), 0);
  ASSERT_EQ(add_user(db(), &overflow), 0);
  EXPECT_EQ(overflow.id, 57);
}

TEST_F(DbTest, SettingsIdiomAndTextConversions) {
  // check → add when missing, set when present.
  for (const char* value : {"first", "second"}) {
    if (check_param_key(db(), "ntp_server") != 0) {
      ASSERT_EQ(add_param_value(db(), "ntp_server", value), 0);
    } else {
      ASSERT_EQ(set_param_value(db(), "ntp_server", value), 0);
    }
  }
  char buffer[16];
  ASSERT_EQ(get_param_value(db(), "ntp_server", buffer, sizeof buffer, ""), 0);
  EXPECT_STREQ(buffer, "second");
  ASSERT_EQ(add_param_value(db(), "ntp_server", "third"), 0) << "adding twice keeps one key";
  EXPECT_EQ(zvdbtest::sql_value(path_, "SELECT COUNT(*) FROM settings WHERE key='ntp_server'"),
            "1");

  struct IntCase {
    const char* stored;
    int expected;
  };
  for (IntCase c : {IntCase{"42", 42}, IntCase{"-7", -7}, IntCase{" 12 ", 12}, IntCase{"", 5},
                    IntCase{"abc", 5}, IntCase{"12abc", 5}, IntCase{"99999999999", 5},
                    IntCase{"2147483647", 2147483647}}) {
    ASSERT_EQ(set_param_value(db(), "n", c.stored), 0);
    EXPECT_EQ(get_param_int(db(), "n", 5), c.expected) << '"' << c.stored << '"';
  }
  ASSERT_EQ(set_param_int(db(), "n", -2147483647 - 1), 0);
  EXPECT_EQ(get_param_int(db(), "n", 0), -2147483647 - 1);
  EXPECT_EQ(get_param_int(db(), "missing", 77), 77);

  // Values are cut to the buffer and always terminated; unusable buffers are not touched.
  ASSERT_EQ(set_param_value(db(), "long", "abcdefghijklmnopqrstuvwxyz"), 0);
  char small[5];
  EXPECT_EQ(get_param_value(db(), "long", small, sizeof small, ""), 0);
  EXPECT_STREQ(small, "abcd");
  EXPECT_EQ(get_param_value(db(), "missing", small, sizeof small, "defaultvalue"), -1);
  EXPECT_STREQ(small, "defa");
  EXPECT_EQ(get_param_value(db(), "long", small, 0, ""), -1);
  EXPECT_EQ(get_param_value(db(), "long", nullptr, 5, ""), -1);

  // Quotes and SQL text are data, never SQL.
  const char* nasty = "x'); DROP TABLE settings; --";
  ASSERT_EQ(set_param_value(db(), nasty, nasty), 0);
  char echo[64];
  ASSERT_EQ(get_param_value(db(), nasty, echo, sizeof echo, ""), 0);
  EXPECT_STREQ(echo, nasty);
  EXPECT_EQ(check_param_key(db(), "long"), 0);

  EXPECT_EQ(set_param_value(db(), nullptr, "x"), -1);
  EXPECT_EQ(set_param_value(db(), "k", nullptr), -1);
  EXPECT_EQ(set_param_value(db(), "", "x"), -1);
  EXPECT_EQ(delete_param(db(), "long"), 0);
  EXPECT_EQ(delete_param(db(), "long"), -1);
}

TEST_F(DbTest, ColumnCopyByTableNameUsesTheDeclaredFields) {
  ASSERT_EQ(zvdb_init_defaults(db()), 0);
  UserRecord u = user(33, "high");
  ASSERT_EQ(write_user(db(), &u), 0);
  // Channel 0 is in the low word, 33 in the high word.
  ASSERT_EQ(copy_table_column_int(db(), "user", "type", 3, 1u, 2u, "id"), 0);
  UserRecord r{};
  ASSERT_EQ(read_user(db(), &r, 0), 0);
  EXPECT_EQ(r.type, 3);
  ASSERT_EQ(read_user(db(), &r, 33), 0);
  EXPECT_EQ(r.type, 3);
  EXPECT_STREQ(r.name, "high");
  EXPECT_EQ(copy_table_column_int(db(), "user", "name", 3, 1u, 0u, "id"), -1);
  // A row that is missing is created as a zero record: for users, a disabled one.
  ASSERT_EQ(copy_table_column_int(db(), "user", "type", 2, 0u, 0x80000000u, "id"), 0);
  ASSERT_EQ(read_user(db(), &r, 63), 0);
  EXPECT_EQ(r.enable, 0);
  EXPECT_EQ(r.type, 2);
  EXPECT_EQ(read_user_count(db()), 2);
}

// A people-counting list (source type 20) copied to other channels lands where it is read back,
// cut to that type's 8 entries, each entry owned by its channel.
TEST_F(DbTest, PtzListCopiesLandInTheTableOfTheirType) {
  PtzActionList list{};
  for (int i = 0; i < 10; ++i) list.entries[i] = PtzActionEntry{1, i + 1, 0, 1, i, 0, 0};
  ASSERT_EQ(copy_ptz_params_all(db(), &list, kPtzSourcePeopleCount, ChannelMask64::from_u64(0b1100)), 0);
  for (int channel : {2, 3}) {
    PtzActionList read{};
    int count = 0;
    ASSERT_EQ(read_ptz_params(db(), &read, kPtzSourcePeopleCount, channel, &count), 0);
    ASSERT_EQ(count, kPeopleCountPtzMaxEntries) << channel;
    EXPECT_EQ(read.entries[7].acto_ptz_channel, 8);
    EXPECT_EQ(read.entries[7].acto_ptz_preset, 7);
    EXPECT_EQ(read.entries[0].source_id, channel);
  }
}

}  // namespace
