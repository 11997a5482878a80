// The PTZ settings the configuration database keeps per channel: the serial PTZ port, the stored
// PTZ speeds and the table of 8 tours of 48 key points. The same bytes on the 32-bit device and
// on the development host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

constexpr int kPtzTours = 8;           // tours of a channel; requests number them 1..8
constexpr int kPtzTourPoints = 48;     // key points of a tour
constexpr int kPtzPortChannels = 8;    // the serial ports the port page reads: channels 0..7
constexpr int kPtzPresetMax = 300;     // preset ids 0..300

// The serial PTZ port of a channel. The JSON form is the port page's ("/6050" prints it, "/6051"
// sets it on a list of channels; members it does not carry keep their stored values).
struct PtzPort {
  int32_t cam_id;
  int32_t connect_type;  // 0 or 1
  int32_t baud_rate;
  int32_t data_bits;     // 5..8
  int32_t stop_bits;
  int32_t parity_type;   // 0..2
  int32_t protocol;      // 0..13
  int32_t address;
};
ZV_SCHEMA(PtzPort, ZV_FIELD(cam_id, "camId").out_only(),
          ZV_FIELD(connect_type, "connectType").keep_if_absent().range(0, 1),
          ZV_FIELD(baud_rate, "baudRate").keep_if_absent().at_least(0),
          ZV_FIELD(data_bits, "dataBits").keep_if_absent().range(5, 8),
          ZV_FIELD(stop_bits, "stopBits").keep_if_absent().at_least(0),
          ZV_FIELD(parity_type, "parityType").keep_if_absent().range(0, 2),
          ZV_FIELD(protocol, "protocol").keep_if_absent().range(0, 13),
          ZV_FIELD(address, "address").keep_if_absent().at_least(0));
static_assert(sizeof(PtzPort) == 32);

// The stored PTZ speeds of a channel ("/6053" prints the four speeds, "/6054" replaces them; a
// speed the request does not carry keeps its stored value). "foucs_speed" is the pages' key.
struct PtzSpeed {
  int32_t cam_id;
  int32_t pan_speed;
  int32_t tilt_speed;
  int32_t zoom_speed;
  int32_t focus_speed;
};
ZV_SCHEMA(PtzSpeed, ZV_FIELD(cam_id, "camId").required().range(0, 63).in_only(),
          ZV_FIELD(pan_speed, "pan_speed").keep_if_absent().at_least(0),
          ZV_FIELD(tilt_speed, "tilt_speed").keep_if_absent().at_least(0),
          ZV_FIELD(zoom_speed, "zoom_speed").keep_if_absent().at_least(0),
          ZV_FIELD(focus_speed, "foucs_speed").keep_if_absent().at_least(0));
static_assert(sizeof(PtzSpeed) == 20);

// One key point of a tour: the preset to visit (0 = an empty point), how long to stay there and
// the speed to get there. Read from one element of a tour request's "path".
struct PtzTourPoint {
  int32_t preset;
  int32_t time;
  int32_t speed;
};
ZV_SCHEMA(PtzTourPoint, ZV_FIELD(preset, "preset").range(0, kPtzPresetMax), ZV_FIELD(time, "time").at_least(0),
          ZV_FIELD(speed, "speed").at_least(0));
static_assert(sizeof(PtzTourPoint) == 12);

struct PtzTour {
  PtzTourPoint points[kPtzTourPoints];
};
ZV_SCHEMA(PtzTour, ZV_RECORDS(points, nullptr));
static_assert(sizeof(PtzTour) == 576);

// The tour table of a channel (keyed by the channel; the record does not carry it).
struct PtzTourTable {
  PtzTour tours[kPtzTours];
};
ZV_SCHEMA(PtzTourTable, ZV_RECORDS(tours, nullptr));
static_assert(sizeof(PtzTourTable) == 4608);
