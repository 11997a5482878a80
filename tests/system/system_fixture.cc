#include "tests/system/system_fixture.h"

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

}  // namespace zvtest
