#include "support/pixel_images.h"

#include <random>

namespace corvinex::test {

FrameImage RandomImage(int32_t width, int32_t height, uint32_t seed) {
  FrameImage image(width, height);
  std::mt19937 rng(seed);
  for (uint32_t& p : image.pixels) p = static_cast<uint32_t>(rng());
  return image;
}

FrameImage GrayImage(int32_t width, int32_t height, uint8_t value) {
  FrameImage image(width, height);
  for (uint32_t& p : image.pixels) p = Gray(value);
  return image;
}

}  // namespace corvinex::test
