#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
// GCC 12 under -fsanitize=address warns, wrongly, inside std::regex's own code.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#include <string>
#include <vector>

#include "settings/app_settings.h"
#include "support/allocation_counter.h"
#include "support/pixel_images.h"
#include "transform/logo_frame.h"
#include "transform/output_assembly.h"
#include "transform/output_projection.h"
#include "transform/soft_fill.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

// The 1920 x 1080 fallback Cut Area: W 1228, outRows 386; the " 7%" lens adds 14 rows.
UnwrapGeometry Geometry(float lens) {
  return ComputeUnwrapGeometry(1920, 1080, RingGeometry{150, 20, 316, 306, 32}, lens);
}

FrameImage Panorama(const UnwrapGeometry& g, uint32_t seed) {
  FrameImage p = test::RandomImage(g.W, g.H + 1, seed);
  for (uint32_t& px : p.pixels) px &= 0x00FFFFFF;  // the unwrap leaves the fourth byte 0
  return p;
}

FrameImage Bytes(const ViewSize& view, const std::vector<uint8_t>& bytes) {
  FrameImage image(view.width, view.height);
  std::memcpy(image.pixels.data(), bytes.data(), image.ByteSize());
  return image;
}

FrameImage Assemble(const UnwrapGeometry& g, const FrameImage& panorama, int32_t flip,
                    OutputLayout& layout) {
  std::vector<uint8_t> out(layout.plan.view.ByteSize(), 0xAB);  // no byte left unwritten
  EXPECT_EQ(AssembleProjectedView(g, panorama, flip, layout, out.data()), out.size());
  return Bytes(layout.plan.view, out);
}

// The panorama part's row `t` as the strip writes it (after the flip's choice of rows).
const uint32_t* PartRow(const UnwrapGeometry& g, const FrameImage& panorama, int32_t flip,
                        int32_t t) {
  return panorama.Row(FirstPanoramaRow(g, flip) + t);
}

bool RowsEqual(const uint32_t* a, const uint32_t* b, int32_t width) {
  return std::memcmp(a, b, static_cast<size_t>(width) * 4) == 0;
}

TEST(OutputProjection, StripAndLogoAtALevelHorizonGiveTheEarlierBytes) {
  LogoState logo;
  ASSERT_TRUE(AcceptLogo(logo, test::RandomImage(1200, 150, 3)));
  for (const float lens : {0.0f, 0.0352f}) {
    const UnwrapGeometry g = Geometry(lens);
    const FrameImage panorama = Panorama(g, 7);
    for (const int32_t flip : {0, 1, 2, 3}) {
      for (const bool withLogo : {false, true}) {
        FrameImage canvas;
        if (withLogo) {
          ASSERT_TRUE(PrepareLogoFrame(logo.image, g.W, false, canvas));
        }
        FrameImage earlierCanvas = canvas;
        FrameImage* used = withLogo ? &earlierCanvas : nullptr;
        std::vector<uint8_t> earlier(OutputViewSize(g, used).ByteSize());
        AssembleView(g, panorama, flip, used, earlier.data());

        OutputLayout layout;
        ASSERT_EQ(PrepareOutputLayout(g, {}, withLogo ? &canvas : nullptr, layout), "");
        EXPECT_EQ(layout.plan.equirect, withLogo);
        const FrameImage now = Assemble(g, panorama, flip, layout);
        ASSERT_EQ(now.ByteSize(), earlier.size());
        EXPECT_EQ(std::memcmp(now.Bytes(), earlier.data(), earlier.size()), 0)
            << "lens " << lens << " flip " << flip << " logo " << withLogo;
      }
    }
  }
}

TEST(OutputProjection, EquirectPlacesTheStripUnscaledInTheMiddleBandOfA2To1Frame) {
  for (const float lens : {0.0f, 0.0352f}) {
    const UnwrapGeometry g = Geometry(lens);
    ASSERT_EQ(g.W, 1228);
    const FrameImage panorama = Panorama(g, 11);
    for (const int32_t horizon : {0, 10, -10, 25}) {
      for (const int32_t flip : {0, 2}) {
        OutputLayout layout;
        ASSERT_EQ(PrepareOutputLayout(g, {.projection = kProjectionEquirect, .horizon = horizon},
                                      nullptr, layout),
                  "");
        const FrameImage frame = Assemble(g, panorama, flip, layout);
        ASSERT_EQ(frame.width, 1228);
        ASSERT_EQ(frame.height, 614);  // W / 2, even
        // Centred, the lens correction's rows lower it, the horizon moves it up.
        const int32_t first = (614 - g.outRows) / 2 - g.corrRows +
                              static_cast<int32_t>(std::nearbyint(horizon / 180.0 * 614));
        ASSERT_EQ(layout.plan.first, first);
        for (int32_t row = 0; row < frame.height; ++row) {
          const int32_t t = row - first;
          if (t >= 0 && t < g.outRows) {
            ASSERT_TRUE(RowsEqual(frame.Row(row), PartRow(g, panorama, flip, t), g.W))
                << "row " << row << " horizon " << horizon << " lens " << lens;
          } else {
            for (int32_t x = 0; x < g.W; ++x) ASSERT_EQ(frame.Row(row)[x], 0u) << row;
          }
        }
      }
    }
  }
}

TEST(OutputProjection, ProjectionOptionsComeFromTheSessionAndTheHorizonMovesWholeRows) {
  SessionOptions session;
  session.PROJECTION = 1;
  session.FILL = 1;
  session.HORIZON = -12;
  const ProjectionOptions o = ProjectionOptionsFrom(session);
  EXPECT_EQ(o.projection, kProjectionEquirect);
  EXPECT_EQ(o.fill, kFillSoft);
  EXPECT_EQ(o.horizon, -12);
  EXPECT_EQ(HorizonRows(0, 614), 0);
  EXPECT_EQ(HorizonRows(45, 614), 154);    // 153.5 rounds away from zero
  EXPECT_EQ(HorizonRows(-45, 614), -154);  // and so does its mirror
  EXPECT_EQ(HorizonRows(1, 614), 3);       // 3.41
}

// "allows A .. B degrees" in a refusal, as numbers.
bool AllowedRange(const std::string& problem, int32_t& low, int32_t& high) {
  std::smatch m;
  if (!std::regex_search(problem, m, std::regex(R"(allows ([+-]?\d+) \.\. ([+-]?\d+) degrees)"))) {
    return false;
  }
  low = std::stoi(m[1]);
  high = std::stoi(m[2]);
  return true;
}

TEST(OutputProjection, AHorizonThatPushesTheStripOutIsRefusedWithTheRangeThatFits) {
  LogoState logo;
  ASSERT_TRUE(AcceptLogo(logo, test::RandomImage(1200, 150, 5)));
  for (const float lens : {0.0f, 0.0502f}) {
    const UnwrapGeometry g = Geometry(lens);
    for (const bool withLogo : {false, true}) {
      FrameImage canvas;
      if (withLogo) {
        ASSERT_TRUE(PrepareLogoFrame(logo.image, g.W, false, canvas));
      }
      const FrameImage* used = withLogo ? &canvas : nullptr;
      const ProjectionPlan far = PlanProjection(g, {kProjectionEquirect, 0, 44}, used);
      int32_t low = 0, high = 0;
      ASSERT_TRUE(AllowedRange(far.problem, low, high)) << far.problem;
      EXPECT_NE(far.problem.find("+44"), std::string::npos) << far.problem;
      ASSERT_LT(low, 0);
      ASSERT_GT(high, 0);
      // The ends of the range are taken and keep every strip row in the frame; one more
      // degree is refused.
      for (const int32_t h : {low, high}) {
        const ProjectionPlan p = PlanProjection(g, {kProjectionEquirect, 0, h}, used);
        EXPECT_EQ(p.problem, "") << h;
        EXPECT_GE(p.first, 0);
        EXPECT_LE(p.first + p.rows, p.view.height);
      }
      EXPECT_NE(PlanProjection(g, {kProjectionEquirect, 0, low - 1}, used).problem, "");
      EXPECT_NE(PlanProjection(g, {kProjectionEquirect, 0, high + 1}, used).problem, "");
      // Beyond the control's range whatever the geometry.
      const ProjectionPlan wild = PlanProjection(g, {kProjectionEquirect, 0, 91}, used);
      EXPECT_NE(wild.problem.find("-45 .. +45"), std::string::npos) << wild.problem;
    }
  }
  // The strip itself has no horizon to check.
  EXPECT_EQ(PlanProjection(Geometry(0), {kProjectionStrip, 0, 44}, nullptr).problem, "");
}

TEST(OutputProjection, TheLogoFrameFollowsTheHorizonAndKeepsItsLogoAround) {
  LogoState logo;
  ASSERT_TRUE(AcceptLogo(logo, test::RandomImage(1200, 150, 9)));
  const UnwrapGeometry g = Geometry(0);
  const FrameImage panorama = Panorama(g, 13);
  FrameImage canvas;
  ASSERT_TRUE(PrepareLogoFrame(logo.image, g.W, true, canvas));
  const FrameImage pristine = canvas;
  OutputLayout level, raised;
  ASSERT_EQ(PrepareOutputLayout(g, {}, &canvas, level), "");
  ASSERT_EQ(PrepareOutputLayout(g, {.horizon = 8}, &canvas, raised), "");
  ASSERT_EQ(raised.plan.first - level.plan.first, HorizonRows(8, canvas.height));
  for (int round = 0; round < 2; ++round) {  // the second frame sees no left-over rows
    const FrameImage frame = Assemble(g, panorama, 0, raised);
    ASSERT_EQ(frame.height, canvas.height);
    for (int32_t row = 0; row < frame.height; ++row) {
      const int32_t t = row - raised.plan.first;
      const bool band = t >= 0 && t < raised.plan.rows;
      ASSERT_TRUE(
          RowsEqual(frame.Row(row), band ? PartRow(g, panorama, 0, t) : pristine.Row(row), g.W))
          << "row " << row;
    }
  }
  EXPECT_EQ(canvas.pixels, pristine.pixels);  // the canvas itself is not written
}

// Column x of the wrapped row averaged over x - r .. x + r, rounded to the nearest.
uint32_t WrappedAverage(const uint32_t* row, int32_t width, int32_t x, int32_t r) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    uint32_t sum = 0;
    for (int32_t k = -r; k <= r; ++k) {
      sum += (row[((x + k) % width + width) % width] >> shift) & 0xFF;
    }
    const auto taps = static_cast<uint32_t>(2 * r + 1);
    out |= ((2 * sum + taps) / (2 * taps)) << shift;
  }
  return out;
}

// Each colour within one step (the fill works in floats, which may round a half the
// other way).
bool Near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int x = static_cast<int>((a >> shift) & 0xFF);
    const int y = static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(x - y) > 1) return false;
  }
  return true;
}

TEST(OutputProjection, SoftFillBlursTheEdgeRowsMoreTowardsTheTopAndBottom) {
  const UnwrapGeometry g =
      ComputeUnwrapGeometry(320, 240, RingGeometry{150, 20, 316, 306, 32}, 0.0f);
  const FrameImage panorama = Panorama(g, 17);
  for (const int32_t horizon : {0, -15}) {
    OutputLayout layout;
    ASSERT_EQ(PrepareOutputLayout(
                  g, {.projection = kProjectionEquirect, .fill = kFillSoft, .horizon = horizon},
                  nullptr, layout),
              "");
    const FrameImage frame = Assemble(g, panorama, 0, layout);
    const int32_t first = layout.plan.first;
    const int32_t last = first + g.outRows - 1;
    const int32_t below = first;
    const int32_t above = frame.height - 1 - last;
    ASSERT_GT(below, 2);
    ASSERT_GT(above, 2);
    for (int32_t t = 0; t < g.outRows; ++t) {
      ASSERT_TRUE(RowsEqual(frame.Row(first + t), PartRow(g, panorama, 0, t), g.W));
    }
    int32_t previous = 0;
    for (int32_t d = 1; d <= below; ++d) {
      const int32_t r = SoftFill::Radius(g.W, d, below);
      EXPECT_GE(r, previous);  // never sharper further out
      previous = r;
      for (int32_t x = 0; x < g.W; ++x) {
        ASSERT_TRUE(Near(frame.Row(first - d)[x], WrappedAverage(frame.Row(first), g.W, x, r)))
            << "below, distance " << d << " column " << x;
      }
    }
    EXPECT_EQ(previous, g.W / 2);                   // the frame's edge averages the whole row
    EXPECT_LE(SoftFill::Radius(g.W, 1, below), 1);  // next to the strip it is nearly sharp
    for (int32_t d = 1; d <= above; ++d) {
      const int32_t r = SoftFill::Radius(g.W, d, above);
      for (int32_t x = 0; x < g.W; ++x) {
        ASSERT_TRUE(Near(frame.Row(last + d)[x], WrappedAverage(frame.Row(last), g.W, x, r)))
            << "above, distance " << d << " column " << x;
      }
    }
  }
}

TEST(OutputProjection, AssemblingAFrameAllocatesNothing) {
  LogoState logo;
  ASSERT_TRUE(AcceptLogo(logo, test::RandomImage(1200, 150, 21)));
  const UnwrapGeometry g = Geometry(0.0352f);
  const FrameImage panorama = Panorama(g, 19);
  FrameImage canvas;
  ASSERT_TRUE(PrepareLogoFrame(logo.image, g.W, false, canvas));
  for (const ProjectionOptions o :
       {ProjectionOptions{kProjectionStrip, 0, 0}, ProjectionOptions{kProjectionEquirect, 0, 5},
        ProjectionOptions{kProjectionEquirect, kFillSoft, -5}}) {
    for (const bool withLogo : {false, true}) {
      OutputLayout layout;
      ASSERT_EQ(PrepareOutputLayout(g, o, withLogo ? &canvas : nullptr, layout), "");
      std::vector<uint8_t> out(layout.plan.view.ByteSize());
      const uint64_t before = test::ThreadAllocations();
      AssembleProjectedView(g, panorama, 2, layout, out.data());
      AssembleProjectedView(g, panorama, 0, layout, out.data());
      EXPECT_EQ(test::ThreadAllocations(), before) << o.projection << " " << o.fill;
    }
  }
}

}  // namespace
}  // namespace corvinex
