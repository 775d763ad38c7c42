// A known panorama wrapped into a ring by the exact inverse of the fast mapping
// must come back from the fast unwrap exactly, and from the quality unwrap within
// interpolation error: both paths show the same panorama.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "settings/diagnostic_log.h"
#include "transform/unwrap_geometry.h"
#include "unwrap_test_helpers.h"

namespace corvinex {
namespace {

struct Case {
  int32_t fw, fh;
  RingGeometry ring;
};

constexpr Case kCases[] = {
    {1920, 1080, {150, 20, 316, 306, 32}},
    {400, 300, {150, 20, 316, 306, 32}},
    {640, 480, {80, -30, 440, 500, 60}},  // ring partly above the frame
};

TEST(UnwrapRoundTrip, FastPathGivesThePanoramaBackAtItsTablePositions) {
  for (const Case& c : kCases) {
    test::Prepared p = test::Prepare(c.fw, c.fh, c.ring);
    const UnwrapGeometry& g = p.g;
    UnwrapBuffers& buffers = p.buffers;
    const test::WrappedRing wrapped = test::WrapRing(g, test::SmoothPattern);
    ASSERT_TRUE(UnwrapFast(g, 0, wrapped.frame, buffers));
    size_t checked = 0;
    for (int32_t x = 0; x < g.W; ++x) {
      for (int32_t y = 0; y < g.H; ++y) {
        int32_t px = 0;
        int32_t py = 0;
        if (!test::FastSourcePixel(g, x, y, px, py)) continue;
        // Near the centre several panorama pixels share one frame pixel.
        if (wrapped.claims[size_t(py) * g.Fw + size_t(px)] != 1) continue;
        const size_t s = size_t(y) * g.W + x;
        ASSERT_EQ(buffers.P1.pixels[s], wrapped.panorama[s]) << c.fw << ": " << x << "," << y;
        ++checked;
      }
    }
    EXPECT_GT(checked, size_t(g.W) * g.H / 3) << c.fw;
  }
}

TEST(UnwrapRoundTrip, QualityPathGivesThePanoramaBackWithinInterpolationError) {
  for (const Case& c : kCases) {
    test::Prepared p = test::Prepare(c.fw, c.fh, c.ring);
    const UnwrapGeometry& g = p.g;
    UnwrapBuffers& buffers = p.buffers;
    const test::WrappedRing wrapped = test::WrapRing(g, test::SmoothPattern);
    ASSERT_TRUE(UnwrapQuality(g, 0, wrapped.frame, buffers));
    double totalError = 0;
    int maxError = 0;
    size_t checked = 0;
    size_t outsideCrop = 0;
    for (int32_t Y = 0; Y < g.H; ++Y) {
      for (int32_t X = 0; X < g.W; ++X) {
        double px = 0;
        double py = 0;
        test::QualitySourcePosition(g, X, Y, px, py);
        // Crop buffer position; X2 and Y2 are independent, so a narrow square
        // leaves pixels at the sides whose window leaves the crop buffer: those
        // are never written and stay black.
        const double fx = g.cropX + g.cropW - 1 - px;
        const double fy = g.cropY + g.cropH - 1 - py;
        if (fx < 0 || fy < 0 || fx > g.cropW || fy > g.cropH + 1) {
          ASSERT_EQ(buffers.P1.pixels[size_t(Y) * g.W + X], 0u) << X << "," << Y;
          ++outsideCrop;
          continue;
        }
        if (fx < 2 || fy < 2 || fx > g.cropW - 4 || fy > g.cropH - 3) continue;
        // Away from the centre (where the pattern turns fast) and from the ring's
        // outer edge and the frame's edges (where the window leaves the picture).
        if (Y < 0.3 * g.H || Y > g.H - 4) continue;
        if (px < 3 || py < 3 || px > g.Fw - 4 || py > g.Fh - 4) continue;
        // The panorama the fast path gives back exactly: both paths show the same.
        const size_t s = size_t(Y) * g.W + X;
        const uint32_t expected = wrapped.panorama[s];
        const uint32_t actual = buffers.P1.pixels[s];
        for (int shift = 0; shift < 24; shift += 8) {
          const int error =
              std::abs(int((actual >> shift) & 0xFF) - int((expected >> shift) & 0xFF));
          maxError = std::max(maxError, error);
          totalError += error;
        }
        ++checked;
      }
    }
    ASSERT_GT(checked, size_t(g.W) * g.H / 4) << c.fw;
    EXPECT_LE(maxError, 6) << c.fw;
    EXPECT_LT(totalError / (3.0 * checked), 0.6) << c.fw;
    EXPECT_EQ(outsideCrop > 0, g.cropW < g.cropH) << c.fw;
  }
}

// A spoke drawn along the angle of a chosen column must peak in that very column on
// both paths, so that what the preview shows in a column is what the output shows.
TEST(UnwrapRoundTrip, SpokeAtAColumnsAngleLandsInThatColumnOnBothPaths) {
  test::Prepared p = test::Prepare(1920, 1080, RingGeometry{150, 20, 316, 306, 32});
  const UnwrapGeometry& g = p.g;
  for (const int32_t column : {g.W / 10, g.W / 2 + 7, g.W - g.W / 7}) {
    const double angle = double{g.k} * (column - g.W / 2.0 + g.H / 2.0 - 0.5);
    // Grey falling off to black three columns' angle away on either side.
    const FrameImage frame = test::PolarFrame(g, [&](double a, double) {
      const double off = std::abs(std::remainder(a - angle, 2 * std::numbers::pi)) / g.k;
      const auto v = static_cast<uint8_t>(std::nearbyint(std::max(0.0, 1 - off / 3) * 255));
      return PackBgrx(v, v, v);
    });
    for (const auto unwrap : {&UnwrapFast, &UnwrapQuality}) {
      ASSERT_TRUE(unwrap(g, 0, frame, p.buffers));
      std::vector<int64_t> profile(size_t(g.W), 0);
      for (int32_t y = g.H / 2; y < g.H - 4; ++y) {
        for (int32_t x = 0; x < g.W; ++x) profile[size_t(x)] += BlueOf(p.buffers.P1.Row(y)[x]);
      }
      const auto peak = std::max_element(profile.begin(), profile.end()) - profile.begin();
      EXPECT_EQ(peak, column) << (unwrap == &UnwrapFast ? "fast" : "quality");
    }
  }
}

}  // namespace
}  // namespace corvinex
