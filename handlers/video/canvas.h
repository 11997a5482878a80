// The web pages draw analytics regions and lines on a fixed canvas of 460 x 260 units; cameras
// take camera pixels. One pair of conversions, in 64-bit arithmetic (a huge coordinate or
// resolution cannot overflow), each result clamped to the int32 range, rounded to the nearest
// unit as integer division does (half a unit added first, the division truncating).
#pragma once

#include <cstdint>

constexpr int32_t kCanvasWidth = 460;
constexpr int32_t kCanvasHeight = 260;

struct CanvasPoint {
  int32_t x;
  int32_t y;
  friend bool operator==(const CanvasPoint&, const CanvasPoint&) = default;
};

// Canvas to camera: x = (width * x + 230) / 460, y = (height * y + 130) / 260.
CanvasPoint canvas_to_camera(CanvasPoint p, int32_t width, int32_t height);
// Camera to canvas: x = (x * 460 + width / 2) / width, likewise y; (0, 0) when width or height
// is 0.
CanvasPoint camera_to_canvas(CanvasPoint p, int32_t width, int32_t height);
// Raises each coordinate below 1 to 1 (the clamp the region and area forms apply).
CanvasPoint at_least_one(CanvasPoint p);

// A position text "x1;y1;x2;y2" as the pages send it: up to four decimal numbers separated by
// ';', each read as atoi reads it (leading blanks and sign, digits up to the first other
// character, clamped to int32); numbers that are missing are 0.
void parse_position(const char* text, int32_t out[4]);
