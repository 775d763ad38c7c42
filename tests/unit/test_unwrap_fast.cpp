#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "settings/diagnostic_log.h"
#include "transform/unwrap_geometry.h"
#include "unwrap_test_helpers.h"

namespace corvinex {
namespace {

using test::FlippedSlot;
using test::RandomFrame;

using test::Prepare;
using test::Prepared;

// The frame pixel that panorama pixel (x, y) shows in flip mode 0, from the quality
// path's mapping written out independently of the table builder.
uint32_t ExpectedFast(const UnwrapGeometry& g, const FrameImage& frame, int32_t x, int32_t y) {
  int32_t px = 0;
  int32_t py = 0;
  if (!test::FastSourcePixel(g, x, y, px, py)) return frame.pixels[0];
  return frame.AtPicture(px, py);
}

void ExpectMatchesMapping(const Prepared& p, const FrameImage& frame) {
  for (int32_t y = 0; y < p.g.H; ++y) {
    for (int32_t x = 0; x < p.g.W; ++x) {
      const uint32_t expected = ExpectedFast(p.g, frame, x, y);
      ASSERT_EQ(p.buffers.P1.pixels[size_t(y) * p.g.W + x], expected) << x << "," << y;
    }
  }
}

TEST(UnwrapFast, EveryPixelComesFromItsMappedFramePixel) {
  for (const RingGeometry ring : {RingGeometry{150, 20, 316, 306, 32}, RingGeometry{}}) {
    Prepared p = Prepare(400, 300, ring);
    const FrameImage frame = RandomFrame(400, 300, 7);
    ASSERT_TRUE(UnwrapFast(p.g, 0, frame, p.buffers));
    EXPECT_TRUE(p.buffers.tableValid);
    ExpectMatchesMapping(p, frame);
    // The spare top row of P1 is no part of the panorama and stays black.
    for (int32_t x = 0; x < p.g.W; ++x) ASSERT_EQ(p.buffers.P1.Row(p.g.H)[x], 0u);
  }
}

// Orientation, as on the quality path: a = 0 points straight up from the centre on
// the screen and the angle turns counter-clockwise: above, left, below, right.
TEST(UnwrapFast, AnglesStartAboveAndTurnCounterClockwise) {
  Prepared p = Prepare(400, 300, RingGeometry{150, 20, 316, 306, 32});
  constexpr uint32_t kColour[4] = {0xFF0000, 0xFFFFFF, 0x0000FF, 0x00FF00};
  FrameImage frame(400, 300);
  for (int32_t y = 0; y < 300; ++y) {
    for (int32_t x = 0; x < 400; ++x) {
      const double turn = test::PanoramaAngle(p.g, x, y) / (std::numbers::pi / 2);
      frame.AtPicture(x, y) = kColour[static_cast<int32_t>(std::fmod(turn + 8.5, 4.0)) % 4];
    }
  }
  ASSERT_TRUE(UnwrapFast(p.g, 0, frame, p.buffers));
  int checked = 0;
  for (int32_t x = 0; x < p.g.W; ++x) {
    const double a = double{p.g.k} * (x - p.g.W / 2.0 + p.g.H / 2.0 - 0.5);
    const double q = std::fmod(a / (std::numbers::pi / 2) + 8.0, 4.0);
    if (std::abs(q - std::nearbyint(q)) > 0.3) continue;
    const uint32_t expected = kColour[static_cast<int32_t>(std::nearbyint(q)) % 4];
    for (int32_t y = p.g.H / 4; y < p.g.H; ++y) {
      ASSERT_EQ(p.buffers.P1.pixels[size_t(y) * p.g.W + x], expected) << x << "," << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, p.g.W * p.g.H / 3);
}

TEST(UnwrapFast, FlipModesMirrorTheUnflippedPanorama) {
  Prepared p = Prepare(640, 480, RingGeometry{100, 10, 380, 420, 40});
  const FrameImage frame = RandomFrame(640, 480, 11);
  ASSERT_TRUE(UnwrapFast(p.g, 0, frame, p.buffers));
  const std::vector<uint32_t> plain = p.buffers.P1.pixels;
  for (int32_t mode = 1; mode <= 3; ++mode) {
    ASSERT_TRUE(UnwrapFast(p.g, mode, frame, p.buffers));
    EXPECT_EQ(p.buffers.tableFlipMode, mode);
    EXPECT_TRUE(test::IsMirrored(plain, p.buffers.P1.pixels, p.g.W, p.g.H, mode));
  }
}

TEST(UnwrapFast, CutAreaPastTheFrameShowsTheFirstPixel) {
  const FrameImage frame = RandomFrame(400, 300, 3);
  // Wholly outside: every pixel is the frame's first pixel.
  Prepared away = Prepare(400, 300, RingGeometry{700, 500, 316, 306, 32});
  ASSERT_TRUE(UnwrapFast(away.g, 0, frame, away.buffers));
  for (size_t s = 0; s < size_t(away.g.W) * away.g.H; ++s) {
    ASSERT_EQ(away.buffers.P1.pixels[s], frame.pixels[0]);
  }
  // Partly outside on every side; the table is first built for another flip
  // mode, whose entries must not survive the rebuild.
  Prepared part = Prepare(400, 300, RingGeometry{-150, -120, 900, 900, 20});
  ASSERT_TRUE(UnwrapFast(part.g, 3, frame, part.buffers));
  ASSERT_TRUE(UnwrapFast(part.g, 0, frame, part.buffers));
  ExpectMatchesMapping(part, frame);
  size_t first = 0;
  for (size_t s = 0; s < size_t(part.g.W) * part.g.H; ++s)
    first += part.buffers.P1.pixels[s] == frame.pixels[0];
  EXPECT_GT(first, size_t(part.g.W) * part.g.H / 4);
}

TEST(UnwrapFast, RefusesAFrameOfAnotherSize) {
  Prepared p = Prepare(400, 300, RingGeometry{150, 20, 316, 306, 32});
  const FrameImage other = RandomFrame(300, 400, 5);
  EXPECT_FALSE(UnwrapFast(p.g, 0, other, p.buffers));
  FrameImage short_ = RandomFrame(400, 300, 5);
  short_.pixels.resize(100);
  EXPECT_FALSE(UnwrapFast(p.g, 0, short_, p.buffers));
  for (uint32_t px : p.buffers.P1.pixels) ASSERT_EQ(px, 0u);
  // A geometry of a frame without pixels unwraps nothing.
  Prepared empty = Prepare(0, 0, RingGeometry{});
  EXPECT_FALSE(UnwrapFast(empty.g, 0, FrameImage(), empty.buffers));
}

TEST(UnwrapFast, PrefetchingGatherMatchesTheScalarReference) {
  const FrameImage frame = RandomFrame(97, 61, 1);
  std::mt19937 random(2);
  for (size_t count : {0u, 1u, 7u, 8u, 9u, 1003u, 1025u, 5000u}) {
    std::vector<int32_t> index(count);
    for (int32_t& i : index) i = static_cast<int32_t>(random() % frame.pixels.size());
    std::vector<uint32_t> a(count, 1), b(count, 2);
    GatherPixels(frame.pixels.data(), index.data(), a.data(), count);
    GatherPixelsScalar(frame.pixels.data(), index.data(), b.data(), count);
    EXPECT_EQ(a, b) << count;
  }
}

}  // namespace
}  // namespace corvinex
