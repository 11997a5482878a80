// libFuzzer entry for the joystick daemon's event path. The input's first byte picks the form:
//   even: the rest is raw input events, 8 bytes each (type, code: 16 bits; value: 32 bits, little
//         endian), run through the controller translator; each change becomes a controller line
//         that is parsed and dispatched, as the reader thread does;
//   odd:  the rest is controller text lines (one per '\n', at most 255 bytes each) parsed and
//         dispatched directly, as a foreign or damaged line would be.
// Every command text sent must be non-empty and shorter than the 100-byte command message.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "joystick/js_controller.h"
#include "joystick/js_dispatch.h"
#include "joystick/js_parse.h"

namespace {

class CheckedSink : public zvjs::CommandSink {
 public:
  void send(std::string_view text) override {
    if (text.empty() || text.size() >= zvjs::kUiCommandSize) __builtin_trap();
  }
};

std::FILE* null_log() {
  static std::FILE* log = std::fopen("/dev/null", "w");
  return log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 16384) return 0;
  CheckedSink sink;
  zvjs::Dispatcher dispatcher(sink, null_log());
  int64_t now_ms = 1000;
  const uint8_t* rest = data + 1;
  const size_t length = size - 1;
  if ((data[0] & 1) == 0) {
    zvjs::ControllerTranslator translator;
    for (size_t at = 0; at + 8 <= length; at += 8) {
      zvjs::RawInputEvent event;
      memcpy(&event.type, rest + at, 2);
      memcpy(&event.code, rest + at + 2, 2);
      memcpy(&event.value, rest + at + 4, 4);
      if (!translator.apply(event)) continue;
      const std::string line = zvjs::encode_controller_line(translator.state());
      if (line.empty()) continue;
      zvjs::KeyRecord record;
      if (zvjs::js_parse(line.c_str(), &record, null_log()) != 0) __builtin_trap();  // our own lines parse
      // Time moves by the event's low byte: double presses and the digit time-out both happen.
      now_ms += rest[at] * 40;
      dispatcher.dispatch(line.c_str(), now_ms);
    }
    return 0;
  }
  size_t start = 0;
  while (start < length) {
    const auto* end = static_cast<const uint8_t*>(memchr(rest + start, '\n', length - start));
    const size_t stop = end == nullptr ? length : static_cast<size_t>(end - rest);
    std::string line(reinterpret_cast<const char*>(rest + start), std::min<size_t>(stop - start, 255));
    line = line.c_str();  // up to a NUL, as a C string arrives
    zvjs::KeyRecord record;
    zvjs::js_parse(line.c_str(), &record, null_log());
    if (strnlen(record.name, sizeof record.name) >= sizeof record.name) __builtin_trap();
    now_ms += 300;
    dispatcher.dispatch(line.c_str(), now_ms);
    start = stop + 1;
  }
  return 0;
}
