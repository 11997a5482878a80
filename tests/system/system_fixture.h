// Fixture of the system tests: the request-level base (fresh device, factory database, fake core,
// webreq) plus users stored directly in the database.
#pragma once

#include <string>

#include "common/oplog.h"
#include "tests/support/request_fixture.h"

namespace zvtest {

inline const std::string kAdminDigest = "21232f297a57a5a743894a0e4a801fc3";

class SystemRequestTest : public RequestTest {
 protected:
  // Stores a user directly in the database (ids chosen by the test).
  void store_user(int id, const std::string& name, const std::string& digest, int type);
  UserRecord stored_user(int id);
  // Makes every later write to the database fail (triggers that abort each change).
  void refuse_database_writes();
};

// The operation-log record the browser of RequestTest (cookie user "admin", 192.0.2.7) sends.
OpLogRecord expected_log(int64_t sub_type, int32_t param_type, const char* user = "admin");

}  // namespace zvtest
