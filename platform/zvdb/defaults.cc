// Factory defaults: the settings every part of the program reads, and the default rows of the
// declared tables (the administrator account).
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/zvdb/tables.h"
#include "platform/zvdb/zvdb.h"

namespace zvdb {

namespace {

template <size_t N>
void set_text(char (&field)[N], std::string_view text) {
  size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, N - n);
}

// Creates the directories above `path` (the database's own directory included).
int make_parent_directories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return -1;
  }
  return 0;
}

}  // namespace

void make_default_user(void* record, int32_t index) {
  UserRecord user{};
  user.id = index;
  if (index == 0) {
    user.enable = 1;
    set_text(user.name, "admin");
    set_text(user.password, kAdminPasswordDigest);
    user.type = 0;
    const std::string all_channels(64, '1');
    set_text(user.local_liveview, all_channels);
    set_text(user.local_playback, all_channels);
    set_text(user.remote_liveview, all_channels);
    set_text(user.remote_playback, all_channels);
    for (int i = 0; i < kUserRightsCount; ++i) {
      user.local_rights[i] = 1;
      user.remote_rights[i] = 1;
    }
    user.permission = -1;
    user.remote_permission = -1;
    user.local_liveview_mask = 0xFFFFFFFFu;
    user.local_playback_mask = 0xFFFFFFFFu;
    user.remote_liveview_mask = 0xFFFFFFFFu;
    user.remote_playback_mask = 0xFFFFFFFFu;
  }
  std::memcpy(record, &user, sizeof user);
}

}  // namespace zvdb

namespace zvdb {

int init_defaults(const char* path, std::span<const TableDesc* const> tables,
                  std::span<const SettingDefault> settings, const char* done_key) {
  if (path == nullptr || *path == '\0') return -1;
  if (make_parent_directories(path) != 0) return -1;
  Transaction tx(path);
  for (const SettingDefault& d : settings) tx.insert_setting_if_missing(d.key, d.value);
  for (const TableDesc* t : tables) {
    if (t->default_rows <= 0 || t->make_default == nullptr) continue;
    std::vector<unsigned char> record(t->record_size);
    std::vector<unsigned char> stored(t->record_size);
    for (int32_t i = 0; i < t->default_rows && tx.ok(); ++i) {
      std::fill(record.begin(), record.end(), 0);
      t->make_default(record.data(), i);
      Key key = t->key.a >= 0 ? key_of(*t, record.data()) : Key{i};
      if (tx.read(*t, stored.data(), key) != 0 && tx.ok()) tx.write(*t, record.data(), key);
    }
  }
  if (done_key != nullptr) tx.write_setting(done_key, "1");
  return tx.commit();
}

}  // namespace zvdb

int zvdb_init_defaults(const char* path) {
  return zvdb::init_defaults(path, zvdb::declared_tables(), zvdb::kSettingDefaults, zvdb::kFactoryStoredKey);
}
