#pragma once
// Pictures for pixel-kernel tests: seeded noise and single-value fills.

#include <cstdint>

#include "transform/frame_image.h"

namespace corvinex::test {

// Every byte (the fourth one too) drawn from a seeded generator, so runs repeat.
FrameImage RandomImage(int32_t width, int32_t height, uint32_t seed);

// All four bytes of every pixel set to `value`.
FrameImage GrayImage(int32_t width, int32_t height, uint8_t value);

constexpr uint32_t Gray(uint8_t v) {
  return PackBgrx(v, v, v, v);
}

}  // namespace corvinex::test
