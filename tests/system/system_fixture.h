// Request-level tests of the system module: the real webreq in the sandbox, a fake core, and the
// factory database.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "platform/zvdb/zvdb.h"
#include "tests/fake_core/fake_core.h"
#include "tests/support/harness.h"

namespace zvtest {

class SystemRequestTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // webreq with a JSON body / a GET query, as the admin's browser (cookie and address set).
  RunResult post(const std::string& id, const std::string& body,
                 std::map<std::string, std::string> extra = {});
  RunResult get(const std::string& id, const std::string& query = "",
                std::map<std::string, std::string> extra = {});

  // Stores a user directly in the database (ids chosen by the test).
  void store_user(int id, const std::string& name, const std::string& digest, int type);
  UserRecord stored_user(int id);

  std::unique_ptr<FakeCore> core_;
};

inline const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
inline const std::string kJsonHeader = "Content-type: application/json\r\n\r\n";
inline const std::string kAdminDigest = "21232f297a57a5a743894a0e4a801fc3";

}  // namespace zvtest
