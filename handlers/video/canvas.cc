#include "handlers/video/canvas.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace {

int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int32_t scale(int32_t v, int32_t to, int32_t from) {
  return clamp32((int64_t{to} * v + from / 2) / from);
}

// atoi over the characters [text, end): bounded, never past `end`.
int32_t leading_int(const char* text, const char* end) {
  while (text < end && std::isspace(static_cast<unsigned char>(*text))) ++text;
  bool negative = false;
  if (text < end && (*text == '-' || *text == '+')) negative = *text++ == '-';
  int64_t value = 0;
  for (; text < end && *text >= '0' && *text <= '9'; ++text) {
    value = std::min<int64_t>(value * 10 + (*text - '0'), int64_t{1} << 32);
  }
  return clamp32(negative ? -value : value);
}

}  // namespace

CanvasPoint canvas_to_camera(CanvasPoint p, int32_t width, int32_t height) {
  return {scale(p.x, width, kCanvasWidth), scale(p.y, height, kCanvasHeight)};
}

CanvasPoint camera_to_canvas(CanvasPoint p, int32_t width, int32_t height) {
  if (width == 0 || height == 0) return {0, 0};
  return {clamp32((int64_t{p.x} * kCanvasWidth + width / 2) / width),
          clamp32((int64_t{p.y} * kCanvasHeight + height / 2) / height)};
}

CanvasPoint at_least_one(CanvasPoint p) { return {std::max(p.x, 1), std::max(p.y, 1)}; }

void parse_position(const char* text, int32_t out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = 0;
  if (text == nullptr) return;
  const char* end = text + std::strlen(text);
  for (int i = 0; i < 4 && text <= end; ++i) {
    const char* stop = static_cast<const char*>(std::memchr(text, ';', static_cast<size_t>(end - text)));
    if (stop == nullptr) stop = end;
    out[i] = leading_int(text, stop);
    if (stop == end) break;
    text = stop + 1;
  }
}
