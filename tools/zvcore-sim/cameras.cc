#include "tools/zvcore-sim/cameras.h"

#include "common/request.h"
#include "platform/zvdb/camera_tables.h"
#include "platform/zvdb/zvdb.h"

bool sim_camera_present(int64_t channel) {
  if (channel < 0 || channel >= kCameraChannels) return false;
  CameraRecord row{};
  return read_camera(kZvdbPath, &row, static_cast<int>(channel)) == 0 && row.enable == 1;
}
