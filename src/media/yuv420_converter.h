#pragma once
// The processed frames (bottom-up BGRX) as the 4:2:0 planes an encoder takes, converted
// exactly as the encoder tool converts them by default (a bicubic scaler at the same
// size, the top-left even-sized part kept, as its crop to even sizes does). Handing the
// encoder 4:2:0 therefore changes nothing in the movie, and it moves less than half the
// bytes through the pipe.

#include <cstddef>
#include <cstdint>

struct SwsContext;

namespace corvinex {

class Yuv420Converter {
 public:
  Yuv420Converter() = default;
  ~Yuv420Converter();
  Yuv420Converter(const Yuv420Converter&) = delete;
  Yuv420Converter& operator=(const Yuv420Converter&) = delete;

  // The picture size after the cut to even sizes.
  static int32_t Even(int32_t n) { return n & ~1; }
  // Bytes of the Y, U and V planes of a width x height frame once cut.
  static size_t ByteSize(int32_t width, int32_t height);

  // Converts width x height bottom-up BGRX pixels into `out` (ByteSize bytes: the Y,
  // then the U, then the V plane, top row first). False for a frame under 2 x 2 or
  // when the scaler cannot be set up.
  bool Convert(const uint8_t* pixels, int32_t width, int32_t height, uint8_t* out);

 private:
  SwsContext* context_ = nullptr;
};

}  // namespace corvinex
