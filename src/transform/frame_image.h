#pragma once
// One picture in memory: 32-bit pixels with bytes blue, green, red, unused;
// rows bottom-up as in a BMP (buffer row 0 is the bottom line of the picture);
// stride exactly 4 x width.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "transform/large_buffer.h"

namespace corvinex {

struct FrameImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // little-endian: B is the lowest byte

  FrameImage() = default;
  FrameImage(int32_t w, int32_t h) { Reset(w, h); }

  // Re-dimensions and zero-fills, reusing the storage when it is large enough. New
  // storage is advised before the fill touches it: a movie-sized frame is thousands
  // of page faults otherwise, paid by every conversion before its first frame.
  void Reset(int32_t w, int32_t h) {
    width = w;
    height = h;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    ReserveLarge(pixels, count);
    pixels.assign(count, 0u);
  }

  size_t PixelCount() const { return pixels.size(); }
  size_t ByteSize() const { return pixels.size() * 4; }
  uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(pixels.data()); }
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(pixels.data()); }

  // Buffer row `row` (0 = bottom line of the picture).
  uint32_t* Row(int32_t row) { return pixels.data() + static_cast<size_t>(row) * width; }
  const uint32_t* Row(int32_t row) const {
    return pixels.data() + static_cast<size_t>(row) * width;
  }
  // Picture coordinates: y counts from the top.
  uint32_t& AtPicture(int32_t x, int32_t y) { return Row(height - 1 - y)[x]; }
  uint32_t AtPicture(int32_t x, int32_t y) const { return Row(height - 1 - y)[x]; }
};

// A rectangle of the picture: columns left .. left + width - 1, rows top .. top +
// height - 1, counted from the picture's top left corner. Empty when width or
// height is not positive.
struct PicturePart {
  int32_t left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PicturePart&) const = default;
};

constexpr uint32_t PackBgrx(uint8_t b, uint8_t g, uint8_t r, uint8_t x = 0) {
  return uint32_t{b} | (uint32_t{g} << 8) | (uint32_t{r} << 16) | (uint32_t{x} << 24);
}
constexpr uint8_t BlueOf(uint32_t p) {
  return static_cast<uint8_t>(p);
}
constexpr uint8_t GreenOf(uint32_t p) {
  return static_cast<uint8_t>(p >> 8);
}
constexpr uint8_t RedOf(uint32_t p) {
  return static_cast<uint8_t>(p >> 16);
}
constexpr uint8_t SpareOf(uint32_t p) {
  return static_cast<uint8_t>(p >> 24);
}

}  // namespace corvinex
