// Fixture of the camera tests: the request-level base (fresh device, factory database, fake core,
// webreq) plus direct access to the camera and OSD records and the operation-log detail of the
// camera changes.
#pragma once

#include <cstdint>

#include "common/oplog.h"
#include "common/messages/camera.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/video_tables.h"
#include "platform/zvfs/log_record.h"
#include "tests/support/request_fixture.h"

namespace zvtest {

class CameraTest : public RequestTest {
 protected:
  // Direct database access (connections closed afterwards so webreq sees a quiet file).
  CameraRecord camera(int channel);
  void store_camera(const CameraRecord& record);
  OsdRecord osd(int channel);
  void set_param(const char* key, const char* value);
};

// The operation-log record of a 3485 message and its camera detail block (zero when absent).
struct LoggedChange {
  OpLogRecord record{};
  int32_t detail_kind = 0;
  int detail_length = -1;
  CameraLogDetail detail{};
};
LoggedChange logged_change(const Bytes& payload);

}  // namespace zvtest
