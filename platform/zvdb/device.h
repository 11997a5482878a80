// The device record: what the recorder is (channel count, alarm ports, PoE ports, versions), as
// the factory and the user settings describe it. Read-only view over the key=value settings.
#pragma once

#include "platform/zvrecord/schema.h"
#include <cstddef>
#include <cstdint>

struct DeviceRecord {
  int32_t id;                 // always 0: the one device
  int32_t channel_count;      // camera channels the device offers ("max_cameras", default 32)
  int32_t alarm_in;           // "alarm_in", default 16
  int32_t alarm_out;          // "alarm_out", default 4
  int32_t poe_ports;          // "max_poe_num", default 0
  char model[64];             // "model", default ""
  char hardware_version[32];  // "hardware_version", default "V1.1"
  char software_version[32];  // "software_version", default "7x.7.0.9"
};
ZV_SCHEMA(DeviceRecord, ZV_INTERNAL(id), ZV_INTERNAL(channel_count), ZV_INTERNAL(alarm_in),
          ZV_INTERNAL(alarm_out), ZV_INTERNAL(poe_ports), ZV_INTERNAL(model),
          ZV_INTERNAL(hardware_version), ZV_INTERNAL(software_version));
static_assert(sizeof(DeviceRecord) == 148);

// Fills `record` from the database at `path` (defaults for settings not stored). Returns 0, or -1
// when record or path is null (nothing written).
int db_get_device(const char* path, DeviceRecord* record);
