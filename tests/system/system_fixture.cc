#include "tests/system/system_fixture.h"

#include <sqlite3.h>

#include <cstring>

namespace zvtest {

void SystemRequestTest::store_user(int id, const std::string& name, const std::string& digest,
                                   int type) {
  UserRecord user{};
  user.id = id;
  user.enable = 1;
  strncpy(user.name, name.c_str(), sizeof user.name - 1);
  strncpy(user.password, digest.c_str(), sizeof user.password - 1);
  user.type = type;
  user.permission = 3;
  user.remote_permission = 5;
  ASSERT_EQ(write_user(kZvdbPath, &user), 0);
  zvdb_close_all();
}

UserRecord SystemRequestTest::stored_user(int id) {
  UserRecord user{};
  user.id = -1;
  read_user(kZvdbPath, &user, id);
  zvdb_close_all();
  return user;
}

void SystemRequestTest::refuse_database_writes() {
  zvdb_close_all();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(kZvdbPath, &db), SQLITE_OK);
  std::string sql;
  for (const char* table : {"records", "settings"}) {
    for (const char* change : {"INSERT", "UPDATE", "DELETE"}) {
      sql += std::string("CREATE TRIGGER refuse_") + change + "_" + table + " BEFORE " + change +
             " ON " + table + " BEGIN SELECT RAISE(ABORT, 'refused'); END;";
    }
  }
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

OpLogRecord expected_log(int64_t sub_type, int32_t param_type, const char* user) {
  OpLogRecord r{};
  r.main_type = kOpLogMainOperation;
  r.sub_type = sub_type;
  r.param_type = param_type;
  r.remote = 1;
  strncpy(r.remote_address, "192.0.2.7", sizeof r.remote_address - 1);
  strncpy(r.user, user, sizeof r.user - 1);
  return r;
}

}  // namespace zvtest
