#include "transform/warp_resample.h"

#include <cmath>
#include <cstddef>

#include "transform/cubic_sample.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

// Source position (fx, fy) to a sample; pixels whose window leaves the source
// keep their value.
inline void SampleAt(ConstPixels src, float fx, float fy, uint32_t& out) {
  const float rx = std::nearbyint(fx);
  const float ry = std::nearbyint(fy);
  // Compared as floats, so that no position, however far off, is converted to
  // an out-of-range integer.
  if (!(rx >= 1.0f && ry >= 1.0f && rx <= static_cast<float>(src.width - 3) &&
        ry <= static_cast<float>(src.height - 3))) {
    return;
  }
  out = CubicSample(src.pixels, src.width, static_cast<int32_t>(rx), static_cast<int32_t>(ry),
                    fx - rx, fy - ry, out);
}

inline float CentreOf(int32_t size) {
  return 0.5f * static_cast<float>(size) - 0.5f;
}

}  // namespace

bool WarpResample(ConstPixels src, Pixels dst, WarpMode mode, float factor) {
  if (mode != WarpMode::HorizontalScale && mode != WarpMode::UniformScale) return false;
  if (!src.pixels || !dst.pixels || src.width <= 0 || src.height <= 0 || dst.width <= 0 ||
      dst.height <= 0) {
    return false;
  }
  const float dstCx = CentreOf(dst.width);
  const float dstCy = CentreOf(dst.height);
  const float srcCx = CentreOf(src.width);
  const float srcCy = CentreOf(src.height);
  const bool uniform = mode == WarpMode::UniformScale;
  for (int32_t y = 0; y < dst.height; ++y) {
    const float v = static_cast<float>(y) - dstCy;
    const float sv = uniform ? v * factor : v;
    const float fy = sv + srcCy;
    uint32_t* out = dst.pixels + static_cast<ptrdiff_t>(y) * dst.width;
    for (int32_t x = 0; x < dst.width; ++x) {
      const float u = static_cast<float>(x) - dstCx;
      SampleAt(src, u * factor + srcCx, fy, out[x]);
    }
  }
  return true;
}

void FillPolarCache(int32_t width, int32_t height, PolarWarp& polar) {
  const float cx = CentreOf(width);
  const float cy = CentreOf(height);
  const size_t w = static_cast<size_t>(width);
  const bool flipX = (polar.flipMode & 1) != 0;
  const bool flipY = (polar.flipMode & 2) != 0;
  for (int32_t y = 0; y < height; ++y) {
    const float r = (static_cast<float>(y) - cy) + polar.c;
    const size_t row = static_cast<size_t>(flipY ? height - 1 - y : y) * w;
    for (int32_t x = 0; x < width; ++x) {
      float sinA;
      float cosA;
      if (y == 0 || !polar.angleSin) {
        const float a = ((static_cast<float>(x) - cx) + polar.c) * polar.k;
        sinA = GeometrySin(a);
        cosA = GeometryCos(a);
        if (polar.angleSin) {
          polar.angleSin[x] = sinA;
          polar.angleCos[x] = cosA;
        }
      } else {
        sinA = polar.angleSin[x];
        cosA = polar.angleCos[x];
      }
      const size_t slot = row + static_cast<size_t>(flipX ? width - 1 - x : x);
      polar.su[slot] = r * sinA;
      polar.sv[slot] = r * cosA;
    }
  }
}

void ResampleCachedScalar(ConstPixels src, Pixels dst, const float* su, const float* sv) {
  const float srcCx = CentreOf(src.width);
  const float srcCy = CentreOf(src.height);
  const size_t count = static_cast<size_t>(dst.width) * static_cast<size_t>(dst.height);
  for (size_t s = 0; s < count; ++s) SampleAt(src, su[s] + srcCx, sv[s] + srcCy, dst.pixels[s]);
}

void ResampleCached(ConstPixels src, Pixels dst, const float* su, const float* sv) {
  ResampleCachedScalar(src, dst, su, sv);
}

void WarpResample(ConstPixels src, Pixels dst, PolarWarp& polar, bool& cacheValid) {
  if (!cacheValid) {
    FillPolarCache(dst.width, dst.height, polar);
    cacheValid = true;
  }
  ResampleCached(src, dst, polar.su, polar.sv);
}

}  // namespace corvinex
