// Shared helpers of the database tests: a fresh database file per test, and raw SQLite access
// for checks the library does not expose.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/zvdb.h"

namespace zvdbtest {

inline std::string fresh_db_path() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name();
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  std::string path = "/tmp/zvdb_" + name + ".db";
  zvdb_close_all();
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((path + suffix).c_str());
  return path;
}

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = fresh_db_path(); }
  void TearDown() override { zvdb_close_all(); }
  const char* db() const { return path_.c_str(); }
  std::string path_;
};

// Runs one SQL statement on its own connection and returns the first column of the first row.
inline std::string sql_value(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  std::string result = "<error>";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK) {
      int rc = sqlite3_step(stmt);
      if (rc == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        result = text != nullptr ? text : "";
      } else if (rc == SQLITE_DONE) {
        result = "<none>";
      }
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return result;
}

}  // namespace zvdbtest
