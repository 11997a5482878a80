#include "joystick/js_dispatch.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "joystick/js_controller.h"

namespace zvjs {

namespace {
int direction_handler(int remaining, Dispatcher& d) { return d.on_direction(remaining); }
int zoom_handler(int remaining, Dispatcher& d) { return d.on_zoom(remaining); }
int button_handler(int remaining, Dispatcher& d) { return d.on_button(remaining); }
int escape_handler(int remaining, Dispatcher& d) { return d.on_escape(remaining); }
}  // namespace

const PatternEntry kPatternTable[5] = {
    {1, 1, {kControlStick}, direction_handler},
    {1, 1, {kControlZoom}, zoom_handler},
    {1, 1, {kControlButtonB}, button_handler},
    {1, 1, {kKeyEscape}, escape_handler},
    {0, 0, {}, nullptr},
};

void Dispatcher::dispatch(const char* line, int64_t now_ms) {
  now_ms_ = now_ms;
  if (state_.editor.on && now_ms - state_.editor_start_ms > kDigitTimeoutMs) {
    std::fputs("==time is longer than 10s, clear it==\n", log_);
    clear_editor();
  }
  if (js_parse(line, &state_.key, log_) != 0) return;
  const KeyRecord& key = state_.key;
  if (key.value == 0) return;  // a release

  if (key.key >= kKeyDigitFirst && key.key <= kKeyDigitLast) {
    DigitEditor& editor = state_.editor;
    editor.on = true;
    state_.editor_start_ms = now_ms;
    if (editor.count < kDigitTextSize - 1) {  // further digits are ignored
      editor.text[editor.count++] = static_cast<char>(key.key + 27);
      editor.text[editor.count] = '\0';
    }
  } else if (state_.editor.on && key.key != kControlButtonB) {
    clear_editor();
  }
  append_key(key.key);
  match_sequence();
}

void Dispatcher::clear_editor() { state_.editor = DigitEditor(); }

void Dispatcher::append_key(int key) {
  if (key == kKeyEscape || state_.sequence_count >= kSequenceCapacity) state_.sequence_count = 0;
  state_.sequence[state_.sequence_count++] = key;
}

void Dispatcher::match_sequence() {
  int longest = 0;
  for (const PatternEntry& entry : kPatternTable) {
    if (entry.handler == nullptr) break;
    const int pattern_length = std::min(std::max(entry.length1, entry.length2), kPatternKeys);
    int j = 0;
    while (j < state_.sequence_count && j < pattern_length && entry.keys[j] == state_.sequence[j]) {
      ++j;
      if ((j == entry.length1 || j == entry.length2) && entry.handler(entry.length1 - j, *this) == 0) {
        state_.sequence_count = 0;
        return;
      }
    }
    longest = std::max(longest, j);
  }
  state_.sequence_count = longest;
}

int Dispatcher::on_direction(int) {
  const KeyRecord& key = state_.key;
  if (key.value == kDirStop) state_.direction_sent = false;
  if (!state_.direction_sent) {
    char text[kUiCommandSize];
    if (state_.mode == kModeRecorder) {
      std::snprintf(text, sizeof text, "Dir_Nvr_%s_%d_%d", key.name, key.h, key.v);
    } else {
      std::snprintf(text, sizeof text, "Dir_Ptz_%s_%d_%d", key.name, key.h, key.v);
    }
    sink_.send(text);
    // Navigation moves one step per deflection: the next command only after the stick came back.
    if (state_.mode == kModeRecorder && key.value != kDirStop) state_.direction_sent = true;
    if (state_.mode == kModePtz) state_.ptz_moving = key.value != kDirStop;
  }
  return 0;
}

int Dispatcher::on_zoom(int) {
  const int direction = state_.key.value;
  if (direction == kDirZoomTele) {
    sink_.send("PTZ_ZoomPlus");
  } else if (direction == kDirZoomWide) {
    sink_.send("PTZ_ZoomMinus");
  } else if (direction == kDirStop) {
    if (state_.last_zoom == kDirZoomTele) {
      sink_.send("PTZ_ZoomPlusStop");
    } else if (state_.last_zoom == kDirZoomWide) {
      sink_.send("PTZ_ZoomMinusStop");
    }
  }
  state_.last_zoom = direction;
  return 0;
}

void Dispatcher::send_preset_call() {
  const DigitEditor& editor = state_.editor;
  int number = 0;
  const auto [end, error] = std::from_chars(editor.text, editor.text + editor.count, number);
  // A number beyond int is no preset: nothing is sent (the caller clears the editor).
  if (error != std::errc() || end != editor.text + editor.count) return;
  char text[kUiCommandSize];
  std::snprintf(text, sizeof text, "PTZ_Preset_Call_%d", number);
  sink_.send(text);
}

int Dispatcher::on_button(int) {
  if (state_.key.value != 1) return 0;
  std::fprintf(log_, "stEditor.isON=%d\n", state_.editor.on ? 1 : 0);
  if (state_.editor.on) {
    send_preset_call();
    clear_editor();
    return 0;
  }
  if (now_ms_ - state_.last_press_ms <= kDoublePressMs) {
    set_mode(state_.saved_mode);
    sink_.send("FullScreen");
  } else {
    state_.saved_mode = state_.mode;
    sink_.send("Enter");
    set_mode(kModePtz);
  }
  state_.last_press_ms = now_ms_;
  return 0;
}

int Dispatcher::on_escape(int) {
  if (state_.key.value == 1) set_mode(kModeRecorder);
  return 0;
}

void Dispatcher::set_mode(int mode) {
  if (mode != state_.mode) {
    if (state_.mode == kModePtz) stop_motion();
    state_.direction_sent = false;
  }
  state_.mode = mode;
}

void Dispatcher::stop_motion() {
  if (state_.ptz_moving) sink_.send("Dir_Ptz_STOP_0_0");
  if (state_.last_zoom == kDirZoomTele) sink_.send("PTZ_ZoomPlusStop");
  if (state_.last_zoom == kDirZoomWide) sink_.send("PTZ_ZoomMinusStop");
  state_.ptz_moving = false;
  state_.last_zoom = kDirStop;
  state_.direction_sent = false;
}

}  // namespace zvjs
