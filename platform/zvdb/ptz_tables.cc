#include "platform/zvdb/ptz_tables.h"

#include <cstring>

namespace zvdb {
namespace {

constexpr int kChannels = 64;

// Factory port: RS-485 (0) at 9600 baud, 8 data bits, 1 stop bit, no parity, protocol 0, the
// camera's address its 1-based channel.
void default_port(void* record, int32_t index) {
  PtzPort p{};
  p.cam_id = index;
  p.baud_rate = 9600;
  p.data_bits = 8;
  p.stop_bits = 1;
  p.address = index + 1;
  std::memcpy(record, &p, sizeof p);
}

// Factory speeds: the middle of the cameras' 1..10 scale.
void default_speed(void* record, int32_t index) {
  PtzSpeed s{};
  s.cam_id = index;
  s.pan_speed = s.tilt_speed = s.zoom_speed = s.focus_speed = 5;
  std::memcpy(record, &s, sizeof s);
}

// Factory tours: all 8 tours of every channel empty.
void default_tours(void* record, int32_t) { std::memset(record, 0, sizeof(PtzTourTable)); }

}  // namespace

const TableDesc kPtzPortTable{.name = "ptz_port",
                              .record_size = sizeof(PtzPort),
                              .key = {.a = offsetof(PtzPort, cam_id)},
                              .key_a_count = kChannels,
                              .fields = zvrec::schema_of<PtzPort>().fields,
                              .default_rows = kChannels,
                              .make_default = default_port};
const TableDesc kPtzSpeedTable{.name = "ptz_speed",
                               .record_size = sizeof(PtzSpeed),
                               .key = {.a = offsetof(PtzSpeed, cam_id)},
                               .key_a_count = kChannels,
                               .fields = zvrec::schema_of<PtzSpeed>().fields,
                               .default_rows = kChannels,
                               .make_default = default_speed};
const TableDesc kPtzTourTable{.name = "ptz_tour",
                              .record_size = sizeof(PtzTourTable),
                              .key_a_count = kChannels,
                              .fields = zvrec::schema_of<PtzTourTable>().fields,
                              .default_rows = kChannels,
                              .make_default = default_tours};

std::span<const TableDesc* const> ptz_tables() {
  static const TableDesc* const kTables[] = {&kPtzPortTable, &kPtzSpeedTable, &kPtzTourTable};
  return kTables;
}

}  // namespace zvdb
