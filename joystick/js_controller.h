// First stage of the joystick pipeline: raw input events -> controller state -> one controller
// text line ("IP-Controller:...:EOF"), the daemon's internal key language that js_parse reads back.
#pragma once

#include <cstdint>
#include <string>

namespace zvjs {

// Kinds of controller input.
constexpr int kKindKeypad = 1;
constexpr int kKindJoystick = 2;

// Controls of the joystick (kind 2); keypad keys (kind 1) use their key code as control.
constexpr int kControlButtonB = 45;
constexpr int kControlZoom = 46;
constexpr int kControlStick = 47;

// Keypad key codes: escape, and the digits "0".."9" as 21..30 (character = code + 27).
constexpr int kKeyEscape = 1;
constexpr int kKeyDigitFirst = 21;
constexpr int kKeyDigitLast = 30;

// Direction codes of the stick and the twist (zoom).
enum Direction : int {
  kDirLeft = 2,
  kDirRight = 3,
  kDirUp = 4,
  kDirDown = 5,
  kDirLeftUp = 6,
  kDirRightUp = 7,
  kDirLeftDown = 8,
  kDirRightDown = 9,
  kDirZoomWide = 10,
  kDirZoomTele = 11,
  kDirStop = 12,
};

// Linux input event types and the key codes the daemon maps.
constexpr uint16_t kEvSyn = 0;
constexpr uint16_t kEvKey = 1;
constexpr uint16_t kEvAbs = 3;
constexpr uint16_t kSynDropped = 3;  // the kernel's queue overflowed: events were thrown away
constexpr uint16_t kKeyCodeButtonB = 298;
constexpr uint16_t kKeyCodeEscape = 299;
constexpr uint16_t kKeyCodeDigitFirst = 288;  // the first ten buttons: 288..297
constexpr uint16_t kKeyCodeDigitLast = 297;

// Axis range: a raw value 0..1023 is scaled around 512 to -10..10.
constexpr int kAxisLimit = 10;

// One event as read from an event device (the fields of struct input_event that matter here).
struct RawInputEvent {
  uint16_t type = 0;
  uint16_t code = 0;
  int32_t value = 0;
};

// State of the controller after the latest event.
struct ControllerState {
  int kind = 0;
  int control = 0;
  int value = 0;  // stick: direction; zoom: 10/11/12; keys: 1 pressed, 0 released
  int h = 0;      // stick magnitudes 0..10
  int v = 0;
  int x = 0;      // axes, -10..10
  int y = 0;
  int z = 0;
};

// Scales a raw absolute-axis value to -10..10: s = (a - 512) / 51.2, 0 inside |s| < 1, otherwise
// rounded half away from zero, and clamped (devices may report outside 0..1023).
int scale_axis(int32_t raw);

// Direction code of a stick deflection.
int stick_direction(int x, int y);

// Turns input events into controller state and decides which of them are worth a controller text
// line: stick moves, twists between centre and off-centre, and presses/releases.
class ControllerTranslator {
 public:
  // Applies `event`; returns true when the result is a change to report.
  bool apply(const RawInputEvent& event);
  const ControllerState& state() const { return state_; }
  void reset() { *this = ControllerTranslator(); }

 private:
  bool stick_changed();
  bool zoom_changed();
  bool key_changed();

  ControllerState state_;
  int reported_x_ = 0;
  int reported_y_ = 0;
  int reported_z_ = 0;
  int reported_pressed_ = 0;
};

// Encodes the state as a controller text line; "" when the state has nothing to say (a keypad key
// without a row and column).
std::string encode_controller_line(const ControllerState& state);

}  // namespace zvjs
