// Fixture of the alarm, video-loss and snapshot request tests: the video fixture (fresh device,
// factory database, fake core, webreq) plus direct access to any row and the words of a payload.
#pragma once

#include <cstring>
#include <string>

#include "platform/zvdb/alarm_tables.h"
#include "tests/video/video_fixture.h"

namespace zvtest {

class AlarmTest : public VideoTest {
 protected:
  template <class T>
  T row(const zvdb::Table<T>& table, int a, int b = 0) {
    T record{};
    table.read(kZvdbPath, &record, {a, b});
    zvdb_close_all();
    return record;
  }
  // A member of a JSON reply as its JSON text ("(absent)" when missing).
  static std::string member(const std::string& reply, const char* key) {
    JsonPtr object = parse(body_of(reply));
    json_object* value = nullptr;
    return object && json_object_object_get_ex(object.get(), key, &value) ? json_object_to_json_string(value)
                                                                          : "(absent)";
  }
};

// The reply starts with `expected`.
#define EXPECT_PREFIX(actual, expected)                                       \
  do {                                                                        \
    const std::string expected_ = (expected);                                 \
    EXPECT_EQ(std::string(actual).substr(0, expected_.size()), expected_);    \
  } while (0)

// The little-endian int32 of a payload at `offset` (0 when it is outside).
inline int32_t word(const Bytes& payload, size_t offset) {
  int32_t v = 0;
  if (offset + 4 <= payload.size()) std::memcpy(&v, payload.data() + offset, 4);
  return v;
}
inline Bytes mask_bytes(uint64_t bits) { return int32s({static_cast<int32_t>(bits), static_cast<int32_t>(bits >> 32)}); }

// The operation-log fields a test checks: sub type, parameter, 1-based number (and the mask of 3509).
struct LogFields {
  int32_t sub;
  int32_t param;
  int32_t number;
  bool operator==(const LogFields&) const = default;
};
inline LogFields log_fields(const Bytes& record) { return {word(record, 8), word(record, 24), word(record, 32)}; }

}  // namespace zvtest
