#include "transform/cubic_sample.h"

namespace corvinex {

uint32_t CubicSample(const uint32_t* src, int32_t stride, int32_t ix, int32_t iy, float tx,
                     float ty, uint32_t keep) {
  float wx[4];
  float wy[4];
  CubicWeights(tx, wx);
  CubicWeights(ty, wy);
  float sum[3] = {0.0f, 0.0f, 0.0f};
  for (int row = 0; row < 4; ++row) {
    const uint32_t* p = src + static_cast<ptrdiff_t>(iy - 1 + row) * stride + (ix - 1);
    for (int ch = 0; ch < 3; ++ch) {
      const int shift = 8 * ch;
      // Left to right, one product at a time: the order is part of the result.
      float rowSum = static_cast<float>((p[0] >> shift) & 0xFF) * wx[0];
      rowSum = rowSum + static_cast<float>((p[1] >> shift) & 0xFF) * wx[1];
      rowSum = rowSum + static_cast<float>((p[2] >> shift) & 0xFF) * wx[2];
      rowSum = rowSum + static_cast<float>((p[3] >> shift) & 0xFF) * wx[3];
      sum[ch] = row == 0 ? rowSum * wy[0] : sum[ch] + rowSum * wy[row];
    }
  }
  return RoundToByte(sum[0]) | (RoundToByte(sum[1]) << 8) | (RoundToByte(sum[2]) << 16) |
         (keep & 0xFF000000u);
}

}  // namespace corvinex
