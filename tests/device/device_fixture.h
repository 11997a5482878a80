// Fixture of the device-settings tests: the request-level base (fresh device, factory database,
// fake core, webreq) plus direct access to one-row tables and the expected operation-log record.
#pragma once

#include <cstring>
#include <string>

#include "common/oplog.h"
#include "platform/zvdb/engine.h"
#include "tests/support/request_fixture.h"

namespace zvtest {

class DeviceTest : public RequestTest {
 protected:
  // The stored row of a one-row table (connections closed afterwards so webreq sees a quiet file).
  template <class T>
  T row(const zvdb::Table<T>& table, int key = 0) {
    T value{};
    EXPECT_EQ(table.read(kZvdbPath, &value, {key}), 0);
    zvdb_close_all();
    return value;
  }
  template <class T>
  void store(const zvdb::Table<T>& table, const T& value) {
    ASSERT_EQ(table.write(kZvdbPath, &value), 0);
    zvdb_close_all();
  }
  std::string setting(const char* key) {
    char value[64];
    get_param_value(kZvdbPath, key, value, sizeof value, "<absent>");
    zvdb_close_all();
    return value;
  }
  // Ids and payloads of what the core received, after the request's last message arrived.
  std::vector<int32_t> ids() {
    settle();
    return received_ids(*core_);
  }
};

// The record the admin's browser (cookie user "admin", 192.0.2.7) sends with message 3485.
inline Bytes expected_log(int64_t sub_type, int32_t param_type) {
  OpLogRecord r{};
  r.main_type = kOpLogMainOperation;
  r.sub_type = sub_type;
  r.param_type = param_type;
  r.remote = 1;
  std::strncpy(r.remote_address, "192.0.2.7", sizeof r.remote_address - 1);
  std::strncpy(r.user, "admin", sizeof r.user - 1);
  return bytes_of(r);
}

}  // namespace zvtest
