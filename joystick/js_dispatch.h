// Dispatch of controller text lines: parse into a key record, keep the digit editor, match the key
// sequence against the pattern table and run the handlers that send the core's commands.
//
// One Dispatcher belongs to the reader thread; nothing here is shared with another thread.
// Times are milliseconds of a monotonic clock, passed in by the caller.
#pragma once

#include <cstdint>
#include <cstdio>

#include "joystick/js_command.h"
#include "joystick/js_parse.h"

namespace zvjs {

constexpr int kModeRecorder = 0;  // live-view navigation of the recorder
constexpr int kModePtz = 1;

constexpr int kSequenceCapacity = 18;
constexpr int kPatternKeys = 16;
constexpr int kDigitTextSize = 48;  // keeps at most 47 digits
constexpr int64_t kDoublePressMs = 500;
constexpr int64_t kDigitTimeoutMs = 10000;
constexpr int64_t kNever = INT64_MIN / 4;  // "no press yet": far enough back for any subtraction

struct DigitEditor {
  bool on = false;
  int count = 0;
  char text[kDigitTextSize] = {};
};

// What the reader thread keeps between controller lines.
struct DispatchState {
  int mode = kModeRecorder;
  int sequence_count = 0;
  int sequence[kSequenceCapacity] = {};
  int64_t last_press_ms = kNever;
  KeyRecord key;
  DigitEditor editor;
  // Kept beside it by the handlers.
  int64_t editor_start_ms = 0;
  int saved_mode = kModeRecorder;
  int last_zoom = 0;            // 0 none yet, else kDirZoomWide / kDirZoomTele / kDirStop
  bool direction_sent = false;  // recorder navigation: one command per deflection
  bool ptz_moving = false;      // a PTZ direction was sent and no PTZ stop since
};

class Dispatcher;

// One entry of the pattern table: a key sequence and the handler run when a prefix of the current
// sequence of one of the two lengths matches it. A handler result of 0 ends the match.
struct PatternEntry {
  int length1;
  int length2;
  int keys[kPatternKeys];
  int (*handler)(int remaining, Dispatcher& dispatcher);
};

extern const PatternEntry kPatternTable[5];

class Dispatcher {
 public:
  // `sink` receives the command texts; messages are printed on `log`.
  explicit Dispatcher(CommandSink& sink, std::FILE* log = stdout) : sink_(sink), log_(log) {}

  // Handles one controller text line that arrived at `now_ms`.
  void dispatch(const char* line, int64_t now_ms);

  // Back to the start-up state (the joystick went away): a camera still moving or zooming is
  // stopped first, since no stick or lever will ever come back to stop it.
  void reset() {
    stop_motion();
    state_ = DispatchState();
  }
  // Stops the PTZ move and the zoom that are running, if any; the stick counts as centred.
  void stop_motion();

  const DispatchState& state() const { return state_; }

  // The four handlers of the pattern table.
  int on_direction(int remaining);
  int on_zoom(int remaining);
  int on_button(int remaining);
  int on_escape(int remaining);

 private:
  void clear_editor();
  void append_key(int key);
  void match_sequence();
  void send_preset_call();
  // Changes the mode: leaving PTZ mode stops what the camera is doing, and each mode starts with
  // the stick counted as centred.
  void set_mode(int mode);

  CommandSink& sink_;
  std::FILE* log_;
  DispatchState state_;
  int64_t now_ms_ = 0;
};

}  // namespace zvjs
