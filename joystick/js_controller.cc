#include "joystick/js_controller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zvjs {

int scale_axis(int32_t raw) {
  const double s = (static_cast<double>(raw) - 512.0) / 51.2;
  if (std::fabs(s) < 1.0) return 0;
  const double rounded = std::round(s);  // halfway cases away from zero
  return static_cast<int>(std::clamp(rounded, static_cast<double>(-kAxisLimit), static_cast<double>(kAxisLimit)));
}

int stick_direction(int x, int y) {
  if (x == 0 && y == 0) return kDirStop;
  if (y == 0) return x < 0 ? kDirLeft : kDirRight;
  if (x == 0) return y < 0 ? kDirUp : kDirDown;
  if (x < 0) return y < 0 ? kDirLeftUp : kDirLeftDown;
  return y < 0 ? kDirRightUp : kDirRightDown;
}

bool ControllerTranslator::apply(const RawInputEvent& event) {
  if (event.type == kEvKey) {
    if (event.code == kKeyCodeButtonB) {
      state_.kind = kKindJoystick;
      state_.control = kControlButtonB;
    } else if (event.code == kKeyCodeEscape) {
      state_.kind = kKindKeypad;
      state_.control = kKeyEscape;
    } else if (event.code >= kKeyCodeDigitFirst && event.code <= kKeyCodeDigitLast) {
      state_.kind = kKindKeypad;
      state_.control = event.code - (kKeyCodeDigitFirst - kKeyDigitFirst);
    } else {
      // A button without a meaning here. Taking its press as a press of the previous control
      // would repeat the last digit or "Enter", so it changes nothing.
      return false;
    }
    state_.value = event.value != 0 ? 1 : 0;
    return key_changed();
  }
  if (event.type == kEvAbs) {
    switch (event.code) {
      case 0:
        state_.kind = kKindJoystick;
        state_.control = kControlStick;
        state_.x = scale_axis(event.value);
        return stick_changed();
      case 1:
        state_.kind = kKindJoystick;
        state_.control = kControlStick;
        state_.y = scale_axis(event.value);
        return stick_changed();
      case 2:
        state_.kind = kKindJoystick;
        state_.control = kControlZoom;
        state_.z = scale_axis(event.value);
        return zoom_changed();
      default:
        return false;
    }
  }
  return false;
}

bool ControllerTranslator::stick_changed() {
  state_.value = stick_direction(state_.x, state_.y);
  state_.h = std::abs(state_.x);
  state_.v = std::abs(state_.y);
  if (state_.x == reported_x_ && state_.y == reported_y_) return false;
  reported_x_ = state_.x;
  reported_y_ = state_.y;
  return true;
}

bool ControllerTranslator::zoom_changed() {
  const int z = state_.z;
  state_.value = z == 0 ? kDirStop : (z < 0 ? kDirZoomWide : kDirZoomTele);
  state_.h = std::abs(z);
  state_.v = 0;
  // Only moves between centre and off-centre count: tele straight to wide says nothing new.
  if (z == reported_z_ || (z != 0 && reported_z_ != 0)) return false;
  reported_z_ = z;
  return true;
}

bool ControllerTranslator::key_changed() {
  // One pressed value shared by all keys: a second key pressed while one is held is no change.
  if (state_.value == reported_pressed_) return false;
  reported_pressed_ = state_.value;
  return true;
}

namespace {

std::string stick_line(const ControllerState& state) {
  const char* tag = "ST";
  switch (state.value) {
    case kDirLeft: tag = "LL"; break;
    case kDirRight: tag = "RR"; break;
    case kDirUp: tag = "UU"; break;
    case kDirDown: tag = "DD"; break;
    case kDirLeftUp: tag = "LU"; break;
    case kDirRightUp: tag = "RU"; break;
    case kDirLeftDown: tag = "LD"; break;
    case kDirRightDown: tag = "RD"; break;
    default: break;
  }
  char line[64];
  std::snprintf(line, sizeof line, "IP-Controller:J-%s-H%02d-V%02d:EOF", tag, state.h, state.v);
  return line;
}

// Row and column of the keypad keys in key-code order 21..30: the first ten buttons produce the
// keypad's digits 1..9 and then 0.
constexpr const char* kDigitKeyLines[] = {
    "IP-Controller:R02-C05:EOF", "IP-Controller:R02-C06:EOF", "IP-Controller:R02-C07:EOF",
    "IP-Controller:R03-C05:EOF", "IP-Controller:R03-C06:EOF", "IP-Controller:R03-C07:EOF",
    "IP-Controller:R04-C05:EOF", "IP-Controller:R04-C06:EOF", "IP-Controller:R04-C07:EOF",
    "IP-Controller:R05-C06:EOF",
};

}  // namespace

std::string encode_controller_line(const ControllerState& state) {
  switch (state.control) {
    case kControlStick:
      return stick_line(state);
    case kControlZoom:
      if (state.value == kDirZoomWide) return "IP-Controller:J-Z-WIDE:EOF";
      if (state.value == kDirZoomTele) return "IP-Controller:J-Z-TELE:EOF";
      return "IP-Controller:J-Z-STOP:EOF";
    case kControlButtonB:
      return state.value != 0 ? "IP-Controller:J-B-DOWN:EOF" : "IP-Controller:J-B-UP:EOF";
    default:
      break;
  }
  if (state.value == 0) return "IP-Controller:R00-C00:EOF";
  if (state.control == kKeyEscape) return "IP-Controller:R01-C01:EOF";
  if (state.control >= kKeyDigitFirst && state.control <= kKeyDigitLast) {
    return kDigitKeyLines[state.control - kKeyDigitFirst];
  }
  return "";
}

}  // namespace zvjs
