#pragma once
// Helpers of the unwrap tests: test pictures and a ring wrapper that inverts the
// fast unwrap's mapping exactly, so that the unwrap must give the panorama back.

#include <gtest/gtest.h>

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

// A panorama defined by direction (radians, as the fast path counts them) and
// radius in frame pixels; periodic in the angle, so it has no seam.
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

// The fast path reads panorama pixel (x, y) from frame picture position
// (round(cx + y sin a), round(cy + y cos a)) with a = k (x + halfPW - halfPH).
// Every frame pixel first gets the pattern at its own polar position around
// (cx, cy); then each panorama sample is written exactly where the fast path
// will read it. Frame pixels that two samples share are counted in `claims`.
inline WrappedRing WrapRing(const UnwrapGeometry& g, const PolarPattern& pattern) {
  WrappedRing out{FrameImage(g.Fw, g.Fh), std::vector<int32_t>(size_t(g.Fw) * g.Fh, 0),
                  std::vector<uint32_t>(size_t(g.W) * g.H, 0)};
  const double cx = g.cropX + g.halfW;
  const double cy = g.cropY + g.halfH;
  for (int32_t py = 0; py < g.Fh; ++py) {
    for (int32_t px = 0; px < g.Fw; ++px) {
      const double dx = px - cx;
      const double dy = py - cy;
      out.frame.AtPicture(px, py) = pattern(std::atan2(dx, dy), std::hypot(dx, dy));
    }
  }
  for (int32_t x = 0; x < g.W; ++x) {
    const float a = g.k * static_cast<float>(x + g.halfPW - g.halfPH);
    const double s = static_cast<float>(std::sin(double{a}));
    const double c = static_cast<float>(std::cos(double{a}));
    for (int32_t y = 0; y < g.H; ++y) {
      const uint32_t value = pattern(a, y);
      out.panorama[size_t(y) * g.W + x] = value;
      const double px = std::nearbyint(cx + y * s);
      const double py = std::nearbyint(cy + y * c);
      if (px < 0 || px >= g.Fw || py < 0 || py >= g.Fh) continue;
      out.frame.AtPicture(int32_t(px), int32_t(py)) = value;
      ++out.claims[size_t(py) * g.Fw + size_t(px)];
    }
  }
  return out;
}

// Frame picture position that the quality path samples for panorama pixel
// (X, Y) in flip mode 0, from the design's own form of the mapping:
// r = Y - 0.5, a = k (X - W/2 + H/2 - 0.5), measured in the mirrored crop buffer.
inline void QualitySourcePosition(const UnwrapGeometry& g, int32_t X, int32_t Y, double& px,
                                  double& py) {
  const float a = g.k * (static_cast<float>(X) - g.W / 2.0f + g.H / 2.0f - 0.5f);
  const float r = static_cast<float>(Y) - 0.5f;
  const float su = r * static_cast<float>(std::sin(double{a}));
  const float sv = r * static_cast<float>(std::cos(double{a}));
  // Crop column C is picture x = cropX + cropW - 1 - C; crop buffer row R is
  // picture y = cropY + cropH - 1 - R.
  const double fx = double{su} + (0.5 * g.cropW - 0.5);
  const double fy = double{sv} + 0.5 * g.cropH;
  px = g.cropX + g.cropW - 1 - fx;
  py = g.cropY + g.cropH - 1 - fy;
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
