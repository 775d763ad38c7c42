#include "sample_pattern.h"

#include <cmath>

namespace corvinex::sample {
namespace {

// True when column x lies on the two-column mark drawn for `degrees`.
bool OnMark(int32_t x, int32_t width, int32_t degrees) {
  auto column = static_cast<int32_t>(std::lround(static_cast<double>(degrees) * width / 360.0));
  return x == column || x == column + 1;
}

bool OnAnyMark(int32_t x, int32_t width, int32_t step) {
  for (int32_t degrees = 0; degrees < 360; degrees += step) {
    if (OnMark(x, width, degrees)) return true;
  }
  return false;
}

}  // namespace

int32_t MovingBlockWidth(int32_t width) {
  return width / 16 > 2 ? width / 16 : 2;
}

int32_t MovingBlockColumn(int32_t frameIndex, int32_t width) {
  if (width <= 0) return 0;
  int64_t step = width / 64 > 1 ? width / 64 : 1;
  return static_cast<int32_t>((step * frameIndex) % width);
}

void DrawPanoramaPattern(FrameImage& pattern, int32_t frameIndex) {
  const int32_t w = pattern.width;
  const int32_t h = pattern.height;
  if (w <= 0 || h <= 0) return;
  const int32_t innerEnd = h / 4;
  const int32_t scaleStart = (3 * h) / 4;
  const int32_t blockStart = MovingBlockColumn(frameIndex, w);
  const int32_t blockWidth = MovingBlockWidth(w);
  const int32_t blockRowStart = (3 * h) / 10;
  const int32_t blockRowEnd = (7 * h) / 10;
  for (int32_t x = 0; x < w; ++x) {
    const bool quarterLine = OnAnyMark(x, w, 90);
    const bool tick = OnAnyMark(x, w, 10);
    const uint32_t bar = kBarColours[static_cast<size_t>(static_cast<int64_t>(x) * kBarCount / w)];
    const bool inBlock = ((x - blockStart + w) % w) < blockWidth;
    for (int32_t y = 0; y < h; ++y) {
      uint32_t colour;
      if (quarterLine) {
        colour = kMarkColour;
      } else if (y < innerEnd) {
        colour = kInnerGrey;
      } else if (y < scaleStart) {
        colour = (inBlock && y >= blockRowStart && y < blockRowEnd) ? kMovingColour : bar;
      } else {
        colour = tick ? kMarkColour : kScaleBackground;
      }
      pattern.Row(y)[x] = colour;
    }
  }
}

FrameImage MakePanoramaPattern(int32_t width, int32_t height, int32_t frameIndex) {
  FrameImage pattern(width > 0 ? width : 0, height > 0 ? height : 0);
  DrawPanoramaPattern(pattern, frameIndex);
  return pattern;
}

}  // namespace corvinex::sample
