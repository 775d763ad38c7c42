#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "settings/diagnostic_log.h"
#include "transform/unwrap_geometry.h"
#include "transform/warp_resample.h"
#include "unwrap_test_helpers.h"

namespace corvinex {
namespace {

using test::FlippedSlot;
using test::RandomFrame;

using test::Prepare;
using test::Prepared;

TEST(UnwrapQuality, CropHoldsTheMirroredSquareWithABlackTopRow) {
  Prepared p = Prepare(400, 300, RingGeometry{-20, 150, 316, 306, 32});  // leaves left and bottom
  const FrameImage frame = RandomFrame(400, 300, 21);
  CropCutArea(p.g, frame, p.buffers.crop);
  const FrameImage& crop = p.buffers.crop;
  for (int32_t j = 0; j < p.g.cropH; ++j) {
    for (int32_t i = 0; i < p.g.cropW; ++i) {
      const int32_t x = p.g.cropX + i;
      const int32_t y = p.g.cropY + j;
      const bool inside = x >= 0 && x < 400 && y >= 0 && y < 300;
      ASSERT_EQ(crop.Row(p.g.cropH - 1 - j)[p.g.cropW - 1 - i], inside ? frame.AtPicture(x, y) : 0u)
          << i << "," << j;
    }
  }
  for (int32_t i = 0; i < p.g.cropW; ++i) ASSERT_EQ(crop.Row(p.g.cropH)[i], 0u);
}

// The cache holds the design's coordinates bit for bit, in its second form:
// r = Y - 0.5, a = k (X - W/2 + H/2 - 0.5), stored at the flipped slot.
TEST(UnwrapQuality, CacheHoldsThePolarCoordinatesAtFlippedSlots) {
  Prepared p = Prepare(400, 300, RingGeometry{150, 20, 316, 306, 32});
  const FrameImage frame = RandomFrame(400, 300, 4);
  const size_t slots = size_t(p.g.W) * p.g.H;
  for (int32_t mode = 0; mode <= 3; ++mode) {
    ASSERT_TRUE(UnwrapQuality(p.g, mode, frame, p.buffers));
    EXPECT_TRUE(p.buffers.cacheValid);
    for (int32_t Y = 0; Y < p.g.H; ++Y) {
      for (int32_t X = 0; X < p.g.W; ++X) {
        const float a = p.g.k * (static_cast<float>(X) - p.g.W / 2.0f + p.g.H / 2.0f - 0.5f);
        const float r = static_cast<float>(Y) - 0.5f;
        const size_t s = FlippedSlot(p.g.W, p.g.H, X, Y, mode);
        ASSERT_EQ(p.buffers.cache[s], r * static_cast<float>(std::sin(double{a})));
        ASSERT_EQ(p.buffers.cache[slots + s], r * static_cast<float>(std::cos(double{a})));
      }
    }
  }
}

TEST(UnwrapQuality, FlipModesMirrorTheUnflippedPanorama) {
  Prepared p = Prepare(640, 480, RingGeometry{100, 10, 380, 420, 40});
  const FrameImage frame = RandomFrame(640, 480, 12);
  ASSERT_TRUE(UnwrapQuality(p.g, 0, frame, p.buffers));
  const std::vector<uint32_t> plain = p.buffers.P1.pixels;
  for (int32_t mode = 1; mode <= 3; ++mode) {
    Prepared q = Prepare(640, 480, RingGeometry{100, 10, 380, 420, 40});
    ASSERT_TRUE(UnwrapQuality(q.g, mode, frame, q.buffers));
    EXPECT_TRUE(test::IsMirrored(plain, q.buffers.P1.pixels, p.g.W, p.g.H, mode));
  }
}

TEST(UnwrapQuality, LaterFramesReuseTheCacheAndMatchAFreshRun) {
  const RingGeometry ring{120, 0, 340, 330, 25};
  const FrameImage first = RandomFrame(400, 300, 1);
  const FrameImage second = RandomFrame(400, 300, 2);
  Prepared run = Prepare(400, 300, ring);
  ASSERT_TRUE(UnwrapQuality(run.g, 2, first, run.buffers));
  ASSERT_TRUE(run.buffers.cacheValid);
  ASSERT_TRUE(UnwrapQuality(run.g, 2, second, run.buffers));
  Prepared fresh = Prepare(400, 300, ring);
  ASSERT_TRUE(UnwrapQuality(fresh.g, 2, second, fresh.buffers));
  EXPECT_EQ(run.buffers.P1.pixels, fresh.buffers.P1.pixels);
  // A cache marked valid for another flip mode is filled again, not trusted.
  ASSERT_TRUE(UnwrapQuality(run.g, 1, second, run.buffers));
  Prepared flipped = Prepare(400, 300, ring);
  ASSERT_TRUE(UnwrapQuality(flipped.g, 1, second, flipped.buffers));
  EXPECT_EQ(run.buffers.P1.pixels, flipped.buffers.P1.pixels);
}

// Orientation: a = 0 points straight up from the centre on the screen and the
// angle turns counter-clockwise: above, left, below, right.
TEST(UnwrapQuality, AnglesStartAboveAndTurnCounterClockwise) {
  Prepared p = Prepare(400, 300, RingGeometry{150, 20, 316, 306, 32});
  const double cx = p.g.cropX + p.g.cropW / 2.0 - 0.5;
  const double cy = p.g.cropY + p.g.cropH / 2.0 - 1.0;
  constexpr uint32_t kColour[4] = {0xFF0000, 0xFFFFFF, 0x0000FF,
                                   0x00FF00};  // above, left, below, right
  FrameImage frame(400, 300);
  for (int32_t y = 0; y < 300; ++y) {
    for (int32_t x = 0; x < 400; ++x) {
      // Counter-clockwise turn from "above", in quarter turns.
      const double turn = std::atan2(-(x - cx), -(y - cy)) / (std::numbers::pi / 2);
      frame.AtPicture(x, y) = kColour[static_cast<int32_t>(std::fmod(turn + 8.5, 4.0)) % 4];
    }
  }
  ASSERT_TRUE(UnwrapQuality(p.g, 0, frame, p.buffers));
  int checked = 0;
  for (int32_t X = 0; X < p.g.W; ++X) {
    const double a = double{p.g.k} * (X - p.g.W / 2.0 + p.g.H / 2.0 - 0.5);
    const double q = std::fmod(a / (std::numbers::pi / 2) + 8.0, 4.0);
    if (std::abs(q - std::nearbyint(q)) > 0.3) continue;
    const uint32_t expected = kColour[static_cast<int32_t>(std::nearbyint(q)) % 4];
    for (int32_t Y = p.g.H / 4; Y < p.g.H - 3; ++Y) {
      ASSERT_EQ(p.buffers.P1.pixels[size_t(Y) * p.g.W + X], expected) << X << "," << Y;
      ++checked;
    }
  }
  EXPECT_GT(checked, p.g.W * p.g.H / 3);
}

TEST(UnwrapQuality, CutAreaPastTheFrameGivesBlack) {
  FrameImage white(400, 300);
  for (uint32_t& px : white.pixels) px = 0xFFFFFFFF;
  Prepared away = Prepare(400, 300, RingGeometry{700, 500, 316, 306, 32});
  ASSERT_TRUE(UnwrapQuality(away.g, 0, white, away.buffers));
  for (uint32_t px : away.buffers.P1.pixels) ASSERT_EQ(px, 0u);

  Prepared part = Prepare(400, 300, RingGeometry{-150, -120, 900, 900, 20});
  ASSERT_TRUE(UnwrapQuality(part.g, 0, white, part.buffers));
  size_t black = 0;
  size_t white_ = 0;
  for (int32_t Y = 0; Y < part.g.H; ++Y) {
    for (int32_t X = 0; X < part.g.W; ++X) {
      double px = 0;
      double py = 0;
      test::QualitySourcePosition(part.g, X, Y, px, py);
      const uint32_t v = part.buffers.P1.pixels[size_t(Y) * part.g.W + X];
      if (px < -3 || py < -3 || px > 403 || py > 303) {
        ASSERT_EQ(v, 0u) << X << "," << Y;
        ++black;
      } else if (px > 3 && py > 3 && px < 396 && py < 296) {
        ASSERT_EQ(v & 0xFFFFFF, 0xFFFFFFu) << X << "," << Y;
        ++white_;
      }
    }
  }
  EXPECT_GT(black, 1000u);
  EXPECT_GT(white_, 1000u);
}

// The dispatched kernel (vectorised where the processor allows) against the
// scalar reference, on a full-size run with a ring that leaves the frame.
TEST(UnwrapQuality, MatchesTheScalarReferenceOnAFullFrame) {
  Prepared p = Prepare(1920, 1080, RingGeometry{-30, 20, 316, 330, 32});
  const FrameImage frame = RandomFrame(1920, 1080, 31);
  for (uint32_t& px : p.buffers.P1.pixels) px = 0x7F000000u;
  FrameImage reference = p.buffers.P1;
  ASSERT_TRUE(UnwrapQuality(p.g, 3, frame, p.buffers));
  const size_t slots = size_t(p.g.W) * p.g.H;
  ResampleCachedScalar(
      ConstPixels{p.buffers.crop.pixels.data(), p.buffers.crop.width, p.buffers.crop.height},
      Pixels{reference.pixels.data(), p.g.W, p.g.H}, p.buffers.cache.data(),
      p.buffers.cache.data() + slots, SkippedPixels::Clear);
  EXPECT_EQ(p.buffers.P1.pixels, reference.pixels);
}

// A Cut Area square inside the frame is sampled from the frame itself, with the
// crop's pixels to the bit, the crop's black top row included (the frame row above
// the square is not black); a square at an edge goes through the crop.
TEST(UnwrapQuality, SquareInsideTheFrameIsSampledInPlaceWithTheCropsResults) {
  const FrameImage frame = RandomFrame(600, 400, 33);
  struct Case {
    RingGeometry ring;
    bool inPlace;
  };
  const Case cases[] = {{{150, 20, 316, 306, 32}, true},
                        {{150, 1, 300, 300, 30}, true},
                        {{150, 0, 300, 300, 30}, false},
                        {{-5, 40, 300, 300, 30}, false},
                        {{290, 90, 310, 306, 20}, true}};
  for (const Case& c : cases) {
    for (const int32_t flip : {0, 3}) {
      Prepared p = Prepare(600, 400, c.ring);
      p.buffers.rowsFrom = 3;  // the outer rows, which reach the crop's top row, kept
      ASSERT_TRUE(UnwrapQuality(p.g, flip, frame, p.buffers));
      const bool cropUntouched =
          std::all_of(p.buffers.crop.pixels.begin(), p.buffers.crop.pixels.end(),
                      [](uint32_t px) { return px == 0; });
      EXPECT_EQ(cropUntouched, c.inPlace) << c.ring.X1 << "," << c.ring.Y1;

      FrameImage crop(p.g.cropW, p.g.cropH + 1);
      CropCutArea(p.g, frame, crop);
      const size_t slots = size_t(p.g.W) * p.g.H;
      const size_t first = size_t(3) * p.g.W;
      std::vector<uint32_t> reference(slots, 0u);
      ResampleCachedScalar(ConstPixels{crop.pixels.data(), crop.width, crop.height},
                           Pixels{reference.data() + first, p.g.W, p.g.H - 3},
                           p.buffers.cache.data() + first, p.buffers.cache.data() + slots + first,
                           SkippedPixels::Clear);
      ASSERT_TRUE(std::equal(reference.begin() + first, reference.end(),
                             p.buffers.P1.pixels.begin() + first))
          << c.ring.X1 << "," << c.ring.Y1 << " flip " << flip;
    }
  }
}

// Pixels whose window leaves the crop are black on every frame, even when the
// steps after the unwrap (sharpening, the anaglyph merge) changed them in place.
TEST(UnwrapQuality, SkippedPixelsAreBlackOnEveryFrame) {
  const RingGeometry narrow{150, 20, 250, 306, 32};  // crop narrower than high
  const FrameImage frame = RandomFrame(400, 300, 41);
  Prepared run = Prepare(400, 300, narrow);
  ASSERT_TRUE(UnwrapQuality(run.g, 0, frame, run.buffers));
  const std::vector<uint32_t> first = run.buffers.P1.pixels;
  EXPECT_GT(std::count(first.begin(), first.end(), 0u), run.g.W);
  for (uint32_t& px : run.buffers.P1.pixels) px = 0xFFFFFFFFu;
  ASSERT_TRUE(UnwrapQuality(run.g, 0, frame, run.buffers));
  for (size_t s = 0; s < size_t(run.g.W) * run.g.H; ++s) {
    // Sampled pixels keep their own fourth byte; skipped ones are wholly black.
    const uint32_t expected = first[s] == 0 ? 0u : (first[s] & 0xFFFFFFu) | 0xFF000000u;
    ASSERT_EQ(run.buffers.P1.pixels[s], expected) << s;
  }
}

TEST(UnwrapQuality, RefusesAFrameOfAnotherSize) {
  Prepared p = Prepare(400, 300, RingGeometry{150, 20, 316, 306, 32});
  EXPECT_FALSE(UnwrapQuality(p.g, 0, RandomFrame(401, 300, 1), p.buffers));
  EXPECT_FALSE(p.buffers.cacheValid);
  for (uint32_t px : p.buffers.P1.pixels) ASSERT_EQ(px, 0u);
}

TEST(UnwrapQuality, PreviewPreparedGeometrySizesTheCacheOnFirstUse) {
  DiagnosticLog log;
  UnwrapBuffers buffers;
  const UnwrapGeometry g = PrepareUnwrapGeometry(400, 300, RingGeometry{150, 20, 316, 306, 32}, 0,
                                                 GeometryVariant::Preview, buffers, log);
  buffers.cacheValid = true;  // as a run's frame loop may leave it after the fast path
  ASSERT_TRUE(UnwrapQuality(g, 0, RandomFrame(400, 300, 9), buffers));
  EXPECT_EQ(buffers.cache.size(), 2u * g.W * g.H);
  Prepared fresh = Prepare(400, 300, RingGeometry{150, 20, 316, 306, 32});
  ASSERT_TRUE(UnwrapQuality(fresh.g, 0, RandomFrame(400, 300, 9), fresh.buffers));
  EXPECT_EQ(buffers.P1.pixels, fresh.buffers.P1.pixels);
}

}  // namespace
}  // namespace corvinex
