#include "tests/camera/camera_fixture.h"

#include "platform/zvfs/zvfs.h"

namespace zvtest {

CameraRecord CameraTest::camera(int channel) {
  CameraRecord record{};
  record.id = -1;
  read_camera(kZvdbPath, &record, channel);
  zvdb_close_all();
  return record;
}

void CameraTest::store_camera(const CameraRecord& record) {
  ASSERT_EQ(write_camera(kZvdbPath, &record), 0);
  zvdb_close_all();
}

OsdRecord CameraTest::osd(int channel) {
  OsdRecord record{};
  kOsds.read(kZvdbPath, &record, {channel});
  zvdb_close_all();
  return record;
}

void CameraTest::set_param(const char* key, const char* value) {
  ASSERT_EQ(set_param_value(kZvdbPath, key, value), 0);
  zvdb_close_all();
}

LoggedChange logged_change(const Bytes& payload) {
  LoggedChange change;
  change.record = record_from<OpLogRecord>(payload);
  change.detail_length = zvfs_log_unpack_detail(&change.record, &change.detail_kind, &change.detail,
                                                sizeof change.detail);
  return change;
}

}  // namespace zvtest
