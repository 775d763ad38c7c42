#pragma once
// The 1080p test picture the benchmarks share: some structure and some noise, so
// that nothing is trivially constant.

#include <random>

#include "transform/frame_image.h"

namespace corvinex {

inline FrameImage PatternedFrame(int32_t width = 1920, int32_t height = 1080) {
  FrameImage frame(width, height);
  std::mt19937 random(1);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      frame.Row(y)[x] = PackBgrx(uint8_t(x), uint8_t(y), uint8_t(x ^ y), 0) ^ (random() & 0x070707);
    }
  }
  return frame;
}

}  // namespace corvinex
