#include "platform/zvdb/ptz_tables.h"

#include <cstring>

#include "platform/zvdb/table_forms.h"

namespace zvdb {
namespace {

constexpr int kChannels = 64;

// Factory port: RS-485 (0) at 9600 baud, 8 data bits, 1 stop bit, no parity, protocol 0, the
// camera's address its 1-based channel.
void default_port(PtzPort& p, int32_t index) {
  p.cam_id = index;
  p.baud_rate = 9600;
  p.data_bits = 8;
  p.stop_bits = 1;
  p.address = index + 1;
}

// Factory speeds: the middle of the cameras' 1..10 scale.
void default_speed(PtzSpeed& s, int32_t index) {
  s.cam_id = index;
  s.pan_speed = s.tilt_speed = s.zoom_speed = s.focus_speed = 5;
}

// Factory tours: all 8 tours of every channel empty.
void default_tours(void* record, int32_t) { std::memset(record, 0, sizeof(PtzTourTable)); }

}  // namespace

const TableDesc kPtzPortTable =
    keyed_table<PtzPort>("ptz_port", offsetof(PtzPort, cam_id), kChannels, factory_row<default_port>);
const TableDesc kPtzSpeedTable =
    keyed_table<PtzSpeed>("ptz_speed", offsetof(PtzSpeed, cam_id), kChannels, factory_row<default_speed>);
const TableDesc kPtzTourTable = keyed_table<PtzTourTable>("ptz_tour", -1, kChannels, default_tours);

std::span<const TableDesc* const> ptz_tables() {
  static const TableDesc* const kTables[] = {&kPtzPortTable, &kPtzSpeedTable, &kPtzTourTable};
  return kTables;
}

}  // namespace zvdb
