#pragma once
// The processed frames (bottom-up BGRX) as the 4:2:0 planes an encoder takes, converted
// exactly as the encoder tool converts them by default (a bicubic scaler at the same
// size, the top-left even-sized part kept, as its crop to even sizes does). Handing the
// encoder 4:2:0 therefore changes nothing in the movie, and it moves less than half the
// bytes through the pipe.
//
// The scaler's own code takes the chroma of each pair of pixels with plain C, a twelfth
// of a draft run's processor time; our row kernels give the same bytes several times
// faster. Pictures narrower than 16 pixels still go through the scaler, whose vector
// code treats them differently, into a buffer with room for the blocks it writes past
// the end.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/halving_filter.h"

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
  bool ConvertNarrow(const uint8_t* pixels, int32_t width, int32_t height, uint8_t* out);

  HalvingFilter filter_;  // for filterRows_ source rows
  int32_t filterRows_ = 0;
  std::vector<int16_t> window_;  // the U and V intermediates of the rows one output row reads
  SwsContext* context_ = nullptr;
  std::vector<uint8_t> roomy_;
};

}  // namespace corvinex
