#include "platform/zvdb/device.h"

#include <cstring>

#include "platform/zvdb/zvdb.h"

int db_get_device(const char* path, DeviceRecord* record) {
  if (path == nullptr || record == nullptr) return -1;
  DeviceRecord device{};
  device.id = 0;
  device.channel_count = get_param_int(path, "max_cameras", 32);
  device.alarm_in = get_param_int(path, "alarm_in", 16);
  device.alarm_out = get_param_int(path, "alarm_out", 4);
  device.poe_ports = get_param_int(path, "max_poe_num", 0);
  get_param_value(path, "model", device.model, sizeof device.model, "");
  get_param_value(path, "hardware_version", device.hardware_version, sizeof device.hardware_version, "V1.1");
  get_param_value(path, "software_version", device.software_version, sizeof device.software_version,
                  "7x.7.0.9");
  *record = device;
  return 0;
}
