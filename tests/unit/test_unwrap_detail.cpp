// The panorama's width and heading: both unwrap paths sample the ring at the chosen
// size and turn by whole columns.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "settings/kept_choices.h"
#include "transform/unwrap_geometry.h"
#include "transform/warp_resample.h"
#include "unwrap_test_helpers.h"

namespace corvinex {
namespace {

using test::RandomFrame;

const RingGeometry kRing{150, 20, 316, 306, 32};

struct Run {
  UnwrapGeometry g;
  UnwrapBuffers buffers;
};

Run PrepareShaped(int32_t fw, int32_t fh, const RingGeometry& ring, const PanoramaShape& shape) {
  DiagnosticLog log;
  Run run;
  run.g = PrepareUnwrapGeometry(fw, fh, ring, 0.0f, GeometryVariant::Conversion, run.buffers, log,
                                shape);
  return run;
}

// The unwrapped rows 0 .. H - 1 of P1 for one path, flip mode and shape.
std::vector<uint32_t> Unwrapped(bool fast, int32_t flipMode, const FrameImage& frame,
                                const RingGeometry& ring, const PanoramaShape& shape,
                                UnwrapGeometry* geometry = nullptr) {
  Run run = PrepareShaped(frame.width, frame.height, ring, shape);
  const bool ok = fast ? UnwrapFast(run.g, flipMode, frame, run.buffers)
                       : UnwrapQuality(run.g, flipMode, frame, run.buffers);
  EXPECT_TRUE(ok);
  if (geometry) *geometry = run.g;
  run.buffers.P1.pixels.resize(size_t(run.g.W) * run.g.H);
  return run.buffers.P1.pixels;
}

TEST(PanoramaShape, AsBeforeIsTheGeometryWithoutAShape) {
  for (const RingGeometry& ring : {kRing, RingGeometry{}, RingGeometry{30, 0, 316, 306, 0}}) {
    const UnwrapGeometry plain = ComputeUnwrapGeometry(1920, 1080, ring, 0.0352f);
    const UnwrapGeometry shaped = ComputeUnwrapGeometry(1920, 1080, ring, 0.0352f, {0, 0.0});
    EXPECT_EQ(plain, shaped);
    EXPECT_EQ(plain.angleC, plain.c);
    EXPECT_EQ(plain.radiusStep, 1.0f);
    EXPECT_EQ(plain.turn, 0);
  }
}

TEST(PanoramaShape, FullDetailIsTheOuterCircumferenceAndRowsKeepTheProportions) {
  const UnwrapGeometry before = ComputeUnwrapGeometry(1920, 1080, kRing, 0.0352f);
  const UnwrapGeometry full = ComputeUnwrapGeometry(1920, 1080, kRing, 0.0352f, {-1, 0.0});
  EXPECT_EQ(full.limits & kLimitWidthRefused, 0u);
  // The outer circle's diameter is the Cut Area's height in frame pixels.
  EXPECT_NEAR(full.W, std::numbers::pi * before.cropH, 1.0);
  EXPECT_EQ(full.W % 2, 0);
  EXPECT_EQ(full.W, FullDetailWidth(1920, 1080, kRing));
  EXPECT_EQ(full.H % 2, 0);
  EXPECT_NEAR(double(full.W) / full.H, double(before.W) / before.H, 0.02);
  // The internal circle, the lens rows and the buffers follow the new rows.
  EXPECT_NEAR(double(full.cutRows) / full.H, double(before.cutRows) / before.H, 0.01);
  EXPECT_EQ(full.outRows, full.H - full.cutRows);
  EXPECT_EQ(full.corrRows, 2 * static_cast<int32_t>(std::nearbyint(0.0352 * full.outRows) / 2));
  EXPECT_EQ(full.panoramaBytes, int64_t{4} * full.W * full.outRows);
  // The same crop of the frame is read.
  EXPECT_EQ(full.cropX, before.cropX);
  EXPECT_EQ(full.cropH, before.cropH);

  const UnwrapGeometry typed = ComputeUnwrapGeometry(1920, 1080, kRing, 0.0f, {1000, 0.0});
  EXPECT_EQ(typed.W, 1000);
  EXPECT_NEAR(typed.H, 1000.0 * before.H / before.W, 2.0);
}

TEST(PanoramaShape, WidthOutOfReachIsRefusedWithTheRange) {
  // A large Cut Area: its full detail is past the cache's budget.
  const RingGeometry big{0, 0, 600, 600, 40};
  const WidthRange range = ReachableWidths(5400, 5400, big);
  const UnwrapGeometry before = ComputeUnwrapGeometry(5400, 5400, big, 0.0f);
  ASSERT_GT(range.high, before.W);
  EXPECT_EQ(range.low, kMinPanoramaWidth);
  EXPECT_EQ(range.high % 2, 0);
  const UnwrapGeometry top = ComputeUnwrapGeometry(5400, 5400, big, 0.0f, {range.high, 0.0});
  EXPECT_EQ(top.limits & kLimitWidthRefused, 0u);
  EXPECT_LE(int64_t{top.W} * top.H, kMaxCachePairs);
  const UnwrapGeometry past = ComputeUnwrapGeometry(5400, 5400, big, 0.0f, {range.high + 2, 0.0});
  EXPECT_NE(past.limits & kLimitWidthRefused, 0u);
  EXPECT_EQ(past.W, before.W);  // refused: the width as before, never a larger cache

  const std::string full = PanoramaShapeProblem(5400, 5400, big, {-1, 0.0});
  EXPECT_NE(full.find("Full detail"), std::string::npos) << full;
  EXPECT_NE(full.find(std::to_string(range.high)), std::string::npos) << full;
  EXPECT_EQ(PanoramaShapeProblem(5400, 5400, big, {range.high, 0.0}), "");
  EXPECT_EQ(PanoramaShapeProblem(1920, 1080, kRing, {-1, 0.0}), "");
  EXPECT_NE(PanoramaShapeProblem(1920, 1080, kRing, {1001, 0.0}).find("even"), std::string::npos);
  EXPECT_NE(PanoramaShapeProblem(1920, 1080, kRing, {62, 0.0}).find("64 to 16384"),
            std::string::npos);
  EXPECT_NE(PanoramaShapeProblem(1920, 1080, kRing, {0, std::nan("")}).find("not a number"),
            std::string::npos);
}

TEST(PanoramaShape, HeadingTurnsByWholeColumnsInEitherDirection) {
  EXPECT_EQ(HeadingTurn(0.0, 1000), 0);
  EXPECT_EQ(HeadingTurn(90.0, 1000), 250);
  EXPECT_EQ(HeadingTurn(-90.0, 1000), 750);
  EXPECT_EQ(HeadingTurn(360.0, 1000), 0);
  EXPECT_EQ(HeadingTurn(-360.0, 1000), 0);
  EXPECT_EQ(HeadingTurn(0.18, 1000), 1);  // half a column rounds up
  EXPECT_EQ(HeadingTurn(1e300, 1000), HeadingTurn(std::fmod(1e300, 360.0), 1000));
  EXPECT_EQ(HeadingTurn(std::nan(""), 1000), 0);
  EXPECT_EQ(HeadingTurn(45.0, 0), 0);
}

// A heading of 360 n / W degrees gives the unturned panorama moved left by n columns,
// pixel for pixel, on both paths, at the width as before and at others.
TEST(PanoramaShape, HeadingShiftsEveryColumnByExactlyItsTurn) {
  const FrameImage frame = RandomFrame(400, 300, 77);
  for (const int32_t width : {0, -1, 300}) {
    for (const bool fast : {true, false}) {
      UnwrapGeometry g;
      const std::vector<uint32_t> plain = Unwrapped(fast, 0, frame, kRing, {width, 0.0}, &g);
      for (const int32_t n : {1, 37, g.W - 1}) {
        const double heading = 360.0 * n / g.W;
        const std::vector<uint32_t> turned = Unwrapped(fast, 0, frame, kRing, {width, heading});
        ASSERT_EQ(turned.size(), plain.size());
        for (int32_t y = 0; y < g.H; ++y) {
          for (int32_t x = 0; x < g.W; ++x) {
            ASSERT_EQ(turned[size_t(y) * g.W + x], plain[size_t(y) * g.W + (x + n) % g.W])
                << "width " << width << (fast ? " fast" : " quality") << " n " << n << " at " << x
                << "," << y;
          }
        }
      }
      // A negative heading turns the other way: -n columns is W - n.
      const std::vector<uint32_t> back =
          Unwrapped(fast, 0, frame, kRing, {width, -360.0 * 5 / g.W});
      for (int32_t x = 0; x < g.W; ++x) {
        ASSERT_EQ(back[size_t(g.H / 2) * g.W + x],
                  plain[size_t(g.H / 2) * g.W + (x + g.W - 5) % g.W]);
      }
    }
  }
}

TEST(PanoramaShape, TurnedAndFlippedPanoramaIsTheTurnedOneMirrored) {
  const FrameImage frame = RandomFrame(400, 300, 78);
  for (const bool fast : {true, false}) {
    UnwrapGeometry g;
    const std::vector<uint32_t> turned = Unwrapped(fast, 0, frame, kRing, {-1, 123.0}, &g);
    for (int32_t mode = 1; mode <= 3; ++mode) {
      EXPECT_TRUE(test::IsMirrored(turned, Unwrapped(fast, mode, frame, kRing, {-1, 123.0}), g.W,
                                   g.H, mode));
    }
  }
}

// Full detail against the ring written out: a frame whose every pixel shows a smooth
// pattern of its own angle and radius must unwrap to that pattern at each column's
// angle (one turn across the columns, the centre column facing as before) and each
// row's radius (the rows as before, spread over the new rows).
TEST(PanoramaShape, FullDetailSamplesTheRingAtEachColumnsAngleAndRowsRadius) {
  const UnwrapGeometry before = ComputeUnwrapGeometry(640, 480, kRing, 0.0f);
  const FrameImage frame = test::PolarFrame(before, test::SmoothPattern);
  const double centreAngle =
      before.k * (before.W / 2.0 - 0.5 - before.W / 2.0 + before.H / 2.0 - 0.5);
  for (const bool fast : {false, true}) {
    UnwrapGeometry g;
    const std::vector<uint32_t> got = Unwrapped(fast, 0, frame, kRing, {-1, 0.0}, &g);
    ASSERT_GT(g.W, 2 * before.W);
    int32_t checked = 0;
    int32_t worst = 0;
    // Away from the centre, where the pattern turns fast, and from the outer edge,
    // where the window leaves the picture.
    const int32_t firstRow = static_cast<int32_t>(0.3 * g.H);
    for (int32_t Y = firstRow; Y < g.H - 4; ++Y) {
      const double radius = (Y - 0.5) * before.H / g.H;
      for (int32_t X = 0; X < g.W; ++X) {
        const double angle = centreAngle + (X - (g.W - 1) / 2.0) * 2.0 * std::numbers::pi / g.W;
        const uint32_t want = test::SmoothPattern(angle, radius);
        const uint32_t have = got[size_t(Y) * g.W + X];
        for (int shift = 0; shift < 24; shift += 8) {
          const int d = std::abs(int((want >> shift) & 255) - int((have >> shift) & 255));
          worst = std::max(worst, d);
        }
        ++checked;
      }
    }
    EXPECT_EQ(checked, g.W * (g.H - 4 - firstRow));
    // The nearest pixel is up to 0.7 pixels off; the cubic sample is within a few levels.
    EXPECT_LE(worst, fast ? 8 : 6) << (fast ? "fast" : "quality");
  }
}

TEST(PanoramaShape, EveryWidthInRangeUnwrapsInsideItsBuffers) {
  const FrameImage frame = RandomFrame(320, 240, 5);
  for (const int32_t width : {64, 66, 1000, 2048}) {
    for (const bool fast : {true, false}) {
      UnwrapGeometry g;
      const std::vector<uint32_t> got =
          Unwrapped(fast, 2, frame, RingGeometry{-20, 150, 316, 306, 32}, {width, 200.0}, &g);
      EXPECT_EQ(g.W, width);
      EXPECT_EQ(got.size(), size_t(g.W) * g.H);
    }
  }
}

TEST(PanoramaShape, WidthAndHeadingAreKeptAcrossRestarts) {
  SessionOptions chosen;
  chosen.PANORAMA_WIDTH = 2048;
  chosen.HEADING = -37.25;
  SessionOptions read;
  ReadKeptChoices(KeptChoicesText(chosen), read);
  EXPECT_EQ(read.PANORAMA_WIDTH, 2048);
  EXPECT_DOUBLE_EQ(read.HEADING, -37.25);
  chosen.PANORAMA_WIDTH = -1;
  ReadKeptChoices(KeptChoicesText(chosen), read);
  EXPECT_EQ(read.PANORAMA_WIDTH, -1);

  // A file without them keeps what was there; odd values give the defaults.
  SessionOptions kept = read;
  ReadKeptChoices("<DEPTH>40</DEPTH>\r\n", kept);
  EXPECT_EQ(kept.PANORAMA_WIDTH, -1);
  EXPECT_DOUBLE_EQ(kept.HEADING, -37.25);
  for (const char* bad : {"<PANORAMA_WIDTH>1001</PANORAMA_WIDTH><HEADING>abc</HEADING>",
                          "<PANORAMA_WIDTH>32</PANORAMA_WIDTH><HEADING>nan</HEADING>",
                          "<PANORAMA_WIDTH>-2</PANORAMA_WIDTH><HEADING>720</HEADING>",
                          "<PANORAMA_WIDTH>99999</PANORAMA_WIDTH><HEADING>1e999</HEADING>"}) {
    SessionOptions odd = read;
    ReadKeptChoices(bad, odd);
    EXPECT_EQ(odd.PANORAMA_WIDTH, 0) << bad;
    EXPECT_EQ(odd.HEADING, 0.0) << bad;
  }
}

}  // namespace
}  // namespace corvinex
