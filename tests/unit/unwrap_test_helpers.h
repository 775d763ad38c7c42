#pragma once
// Helpers of the unwrap tests: test pictures, the quality path's mapping written out,
// and a ring wrapper that inverts the fast unwrap's mapping exactly, so that the unwrap
// must give the panorama back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "settings/diagnostic_log.h"
#include "transform/frame_image.h"
#include "transform/unwrap_geometry.h"

namespace corvinex::test {

// A conversion run's geometry and buffers for a frame size and Cut Area.
struct Prepared {
  UnwrapGeometry g;
  UnwrapBuffers buffers;
};

inline Prepared Prepare(int32_t fw, int32_t fh, const RingGeometry& ring) {
  DiagnosticLog log;
  Prepared p;
  p.g = PrepareUnwrapGeometry(fw, fh, ring, 0.0f, GeometryVariant::Conversion, p.buffers, log);
  return p;
}

inline FrameImage RandomFrame(int32_t width, int32_t height, uint32_t seed) {
  FrameImage frame(width, height);
  std::mt19937 random(seed);
  for (uint32_t& p : frame.pixels) p = random();
  return frame;
}

// Crop buffer position that the quality path samples for panorama pixel (X, Y) in
// flip mode 0, from the design's own form of the mapping, in its single precision:
// r = Y - 0.5, a = k (X - W/2 + H/2 - 0.5), centred on the cropW x (cropH + 1) buffer.
inline void QualityCropPosition(const UnwrapGeometry& g, int32_t X, int32_t Y, float& fx,
                                float& fy) {
  const float a = g.k * (static_cast<float>(X) - g.W / 2.0f + g.H / 2.0f - 0.5f);
  const float r = static_cast<float>(Y) - 0.5f;
  const float su = r * static_cast<float>(std::sin(double{a}));
  const float sv = r * static_cast<float>(std::cos(double{a}));
  fx = su + (0.5f * g.cropW - 0.5f);
  fy = sv + 0.5f * g.cropH;
}

// The same position in the frame picture: crop column C is picture x =
// cropX + cropW - 1 - C; crop buffer row R is picture y = cropY + cropH - 1 - R.
inline void QualitySourcePosition(const UnwrapGeometry& g, int32_t X, int32_t Y, double& px,
                                  double& py) {
  float fx = 0;
  float fy = 0;
  QualityCropPosition(g, X, Y, fx, fy);
  px = g.cropX + g.cropW - 1 - double{fx};
  py = g.cropY + g.cropH - 1 - double{fy};
}

// The frame picture pixel the fast path reads for panorama pixel (X, Y) in flip mode 0:
// the one at the centre of the quality path's sample. False when it leaves the frame.
inline bool FastSourcePixel(const UnwrapGeometry& g, int32_t X, int32_t Y, int32_t& px,
                            int32_t& py) {
  float fx = 0;
  float fy = 0;
  QualityCropPosition(g, X, Y, fx, fy);
  px = g.cropX + g.cropW - 1 - static_cast<int32_t>(std::nearbyint(fx));
  py = g.cropY + g.cropH - 1 - static_cast<int32_t>(std::nearbyint(fy));
  return px >= 0 && px < g.Fw && py >= 0 && py < g.Fh;
}

// Where both paths put radius 0, in picture coordinates.
inline double RingCentreX(const UnwrapGeometry& g) {
  return g.cropX + g.cropW / 2.0 - 0.5;
}
inline double RingCentreY(const UnwrapGeometry& g) {
  return g.cropY + g.cropH / 2.0 - 1.0;
}

// Panorama angle of a picture position: 0 straight up from the centre, growing
// counter-clockwise on the screen (left, then down).
inline double PanoramaAngle(const UnwrapGeometry& g, double px, double py) {
  return std::atan2(RingCentreX(g) - px, RingCentreY(g) - py);
}

// The column whose angle is `angle` (not wrapped into 0 .. W - 1).
inline double ColumnOfAngle(const UnwrapGeometry& g, double angle) {
  return angle / g.k + g.W / 2.0 - g.H / 2.0 + 0.5;
}

// A panorama defined by panorama angle (radians) and radius in frame pixels; periodic
// in the angle, so it has no seam.
using PolarPattern = std::function<uint32_t(double angle, double radius)>;

// Smooth enough that an interpolated sample a pixel away stays within a few levels.
inline uint32_t SmoothPattern(double angle, double radius) {
  auto byte = [](double v) {
    return static_cast<uint8_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
  };
  return PackBgrx(byte(128 + 80 * std::sin(angle + radius / 40)),
                  byte(128 + 80 * std::cos(2 * angle)), byte(40 + 0.3 * radius));
}

struct WrappedRing {
  FrameImage frame;
  std::vector<int32_t> claims;     // per frame pixel: panorama samples that landed there
  std::vector<uint32_t> panorama;  // W x H, buffer order, flip mode 0: what the fast path must give
};

// A frame whose every pixel shows the pattern at its own angle and radius.
inline FrameImage PolarFrame(const UnwrapGeometry& g, const PolarPattern& pattern) {
  FrameImage frame(g.Fw, g.Fh);
  for (int32_t py = 0; py < g.Fh; ++py) {
    for (int32_t px = 0; px < g.Fw; ++px) {
      frame.AtPicture(px, py) =
          pattern(PanoramaAngle(g, px, py), std::hypot(px - RingCentreX(g), py - RingCentreY(g)));
    }
  }
  return frame;
}

// The polar frame, then each panorama pixel's value written exactly where the fast
// path will read it (FastSourcePixel). Frame pixels that two samples share are counted
// in `claims`.
inline WrappedRing WrapRing(const UnwrapGeometry& g, const PolarPattern& pattern) {
  WrappedRing out{PolarFrame(g, pattern), std::vector<int32_t>(size_t(g.Fw) * g.Fh, 0),
                  std::vector<uint32_t>(size_t(g.W) * g.H, 0)};
  for (int32_t x = 0; x < g.W; ++x) {
    const float a = g.k * (static_cast<float>(x) - g.W / 2.0f + g.H / 2.0f - 0.5f);
    for (int32_t y = 0; y < g.H; ++y) {
      const uint32_t value = pattern(a, y - 0.5);
      out.panorama[size_t(y) * g.W + x] = value;
      int32_t px = 0;
      int32_t py = 0;
      if (!FastSourcePixel(g, x, y, px, py)) continue;
      out.frame.AtPicture(px, py) = value;
      ++out.claims[size_t(py) * g.Fw + size_t(px)];
    }
  }
  return out;
}

// Pixel (x, y) of a W x H panorama in buffer order, moved as flip mode `mode` moves it.
inline size_t FlippedSlot(int32_t W, int32_t H, int32_t x, int32_t y, int32_t mode) {
  const int32_t fx = (mode & 1) ? W - 1 - x : x;
  const int32_t fy = (mode & 2) ? H - 1 - y : y;
  return size_t(fy) * W + fx;
}

// Whether `flipped` is `plain` (W x H, buffer order) moved as flip mode `mode`
// moves pixels; names the first pixel that is not.
inline ::testing::AssertionResult IsMirrored(const std::vector<uint32_t>& plain,
                                             const std::vector<uint32_t>& flipped, int32_t W,
                                             int32_t H, int32_t mode) {
  for (int32_t y = 0; y < H; ++y) {
    for (int32_t x = 0; x < W; ++x) {
      if (flipped[FlippedSlot(W, H, x, y, mode)] != plain[size_t(y) * W + x]) {
        return ::testing::AssertionFailure() << "mode " << mode << " at " << x << "," << y;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace corvinex::test
