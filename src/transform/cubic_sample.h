#pragma once
// 4 x 4 Lagrange interpolation (nodes -1, 0, 1, 2) of one BGRX pixel. The
// operation order below is part of the result: every kernel that samples this
// way, scalar or vectorised, must evaluate exactly these expressions.

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace corvinex {

// The kernel's constants as the design fixes them (1/6 and 1/3 rounded).
inline constexpr float kSixth = 0.16667f;
inline constexpr float kThird = 0.33333f;

// Weights of the four nodes for an offset t in -0.5 .. 0.5.
inline void CubicWeights(float t, float w[4]) {
  w[0] = ((-t * kSixth + 0.5f) * t - kThird) * t;
  w[1] = ((t * 0.5f - 1.0f) * t - 0.5f) * t + 1.0f;
  w[2] = (((1.0f - t) * t) * 0.5f + 1.0f) * t;
  w[3] = ((t * t - 1.0f) * t) * kSixth;
}

// Rounds half to even and saturates to a byte.
inline uint32_t RoundToByte(float v) {
  const float r = std::nearbyint(v);
  if (!(r > 0.0f)) return 0;
  if (r >= 255.0f) return 255;
  return static_cast<uint32_t>(r);
}

// Samples the window whose node 0 is column ix, buffer row iy of `src` (row
// stride `stride` pixels); the window must lie inside the source. Returns the
// blue, green and red bytes with the fourth byte taken from `keep`.
uint32_t CubicSample(const uint32_t* src, int32_t stride, int32_t ix, int32_t iy, float tx,
                     float ty, uint32_t keep);

}  // namespace corvinex
