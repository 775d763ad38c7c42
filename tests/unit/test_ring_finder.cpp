// The ring finder against rings drawn by our own sample generator: random frame
// sizes and placements (centred, off centre, cut off by the frame edge), noise,
// darkened footage and a scene that moves between the frames searched. Frames
// with no ring must give no ring. The Cut Area made from a found ring must make
// the unwrap read that ring.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "ring_wrap.h"
#include "sample_pattern.h"
#include "transform/ring_cut_area.h"
#include "transform/ring_finder.h"

namespace corvinex {
namespace {

struct RingCase {
  int32_t fw = 0, fh = 0;
  RingGeometry ring;
  double noise = 0;  // grey levels, standard deviation
  double light = 1;  // brightness factor
};

// Frames of the sample pattern wrapped into the ring, the rows inside the inner
// circle dark like the camera's reflection, the scene moving from frame to frame.
std::vector<FrameImage> RingFrames(const RingCase& c, int32_t count, uint32_t seed) {
  const sample::RingPlacement placement = sample::PlaceRing(c.fw, c.fh, c.ring);
  // The scene keeps its own angular detail whatever the frame size (the degree scale's
  // ticks would merge into a comb on a small ring's few columns).
  const int32_t columns = std::max(placement.W, 720);
  const sample::RingMap map = sample::BuildRingMap(placement, columns, placement.H);
  // Noise from a table of normal samples: drawing one per channel of a full HD
  // movie would take longer than the search itself.
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, c.noise);
  std::vector<double> table(4096);
  for (double& v : table) v = normal(random);
  auto noise = [&table, &random] { return table[random() & 4095u]; };
  std::vector<FrameImage> frames;
  FrameImage pattern(columns, placement.H);
  for (int32_t i = 0; i < count; ++i) {
    sample::DrawPanoramaPattern(pattern, 11 * i);
    for (int32_t row = 0; row < std::min(placement.cutRows, placement.H); ++row) {
      std::fill_n(pattern.Row(row), pattern.width, PackBgrx(14, 12, 10));
    }
    FrameImage frame;
    sample::WrapPanorama(pattern, map, frame);
    if (c.noise > 0 || c.light != 1) {
      for (uint32_t& p : frame.pixels) {
        auto channel = [&](uint8_t v) {
          const double x = v * c.light + (c.noise > 0 ? noise() : 0.0);
          return static_cast<uint8_t>(std::clamp(std::lround(x), 0L, 255L));
        };
        p = PackBgrx(channel(BlueOf(p)), channel(GreenOf(p)), channel(RedOf(p)));
      }
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

// A random ring: placement 0 centred, 1 off centre, 2 cut off by a frame edge.
RingCase RandomCase(std::mt19937& random, int32_t index) {
  RingCase c;
  c.fw = std::uniform_int_distribution<int32_t>(160, 480)(random);
  c.fh = static_cast<int32_t>(c.fw * std::uniform_real_distribution<double>(0.55, 1.0)(random));
  const UnwrapGeometry g = ComputeUnwrapGeometry(c.fw, c.fh, RingGeometry{}, 0.0f);
  const int32_t placement = index % 3;
  const double side = std::min(c.fw, c.fh);
  const double radius =
      side * std::uniform_real_distribution<double>(placement == 2 ? 0.4 : 0.25, 0.48)(random);
  double cx = 0.5 * c.fw;
  double cy = 0.5 * c.fh;
  if (placement == 1) {
    cx = std::uniform_real_distribution<double>(radius, c.fw - radius)(random);
    cy = std::uniform_real_distribution<double>(radius, c.fh - radius)(random);
  } else if (placement == 2) {
    // Up to a third of the radius beyond the left or right, top or bottom edge.
    const double over = radius * std::uniform_real_distribution<double>(0.1, 0.33)(random);
    cx = (random() % 2) ? radius - over : c.fw - radius + over;
    cy = (random() % 2) ? radius - over * 0.5 : c.fh - radius + over * 0.5;
  }
  c.ring.Y2 = static_cast<int32_t>(std::lround(2 * radius / g.sy));
  c.ring.X2 = static_cast<int32_t>(std::lround(2 * radius / g.sx));
  c.ring.X1 = static_cast<int32_t>(std::lround((cx - radius) / g.sx));
  c.ring.Y1 = static_cast<int32_t>(std::lround((cy - radius) / g.sy));
  c.ring.RSIZE = static_cast<int32_t>(
      std::lround(radius * std::uniform_real_distribution<double>(0.18, 0.45)(random) / g.sx));
  if (index % 4 == 1) c.noise = 14;
  if (index % 5 == 2) c.light = 0.3;
  if (index % 7 == 3) {
    c.noise = 8;
    c.light = 0.2;
  }
  return c;
}

struct Errors {
  double centre = 0, outer = 0, inner = 0;  // % of the outer radius, of each radius
};

Errors Measure(const RingCase& c, const FoundRing& found) {
  const CutAreaCircle truth = CircleOfCutArea(c.fw, c.fh, c.ring);
  Errors e;
  e.centre = 100 * std::hypot(found.centreX - truth.centreX, found.centreY - truth.centreY) /
             truth.outerRadius;
  e.outer = 100 * std::abs(found.outerRadius - truth.outerRadius) / truth.outerRadius;
  e.inner = 100 * std::abs(found.innerRadius - truth.innerRadius) / truth.innerRadius;
  return e;
}

// Runs the cases, checks each against the limits and prints the worst errors.
void CheckCases(const std::vector<RingCase>& cases, const char* label) {
  Errors worst;
  for (size_t i = 0; i < cases.size(); ++i) {
    const RingCase& c = cases[i];
    const std::vector<FrameImage> frames = RingFrames(c, 6, static_cast<uint32_t>(i + 1));
    const FoundRing found = FindRing(frames);
    const CutAreaCircle truth = CircleOfCutArea(c.fw, c.fh, c.ring);
    SCOPED_TRACE(testing::Message()
                 << label << " case " << i << ": " << c.fw << "x" << c.fh << " ring " << c.ring.X1
                 << "," << c.ring.Y1 << "," << c.ring.X2 << "," << c.ring.Y2 << "," << c.ring.RSIZE
                 << " noise " << c.noise << " light " << c.light << "; truth " << truth.centreX
                 << "," << truth.centreY << " r " << truth.outerRadius << "/" << truth.innerRadius
                 << "; found " << found.centreX << "," << found.centreY << " r "
                 << found.outerRadius << "/" << found.innerRadius << " conf " << found.confidence
                 << " " << found.reason);
    ASSERT_TRUE(found.found);
    const Errors e = Measure(c, found);
    EXPECT_LE(e.centre, 1.0);
    EXPECT_LE(e.outer, 2.0);
    EXPECT_LE(e.inner, 5.0);
    std::printf(
        "%s %2zu: %4dx%-4d ring %d,%d,%d,%d,%d noise %2.0f light %.1f: centre %.2f %%, "
        "outer %.2f %%, inner %.2f %%\n",
        label, i, c.fw, c.fh, c.ring.X1, c.ring.Y1, c.ring.X2, c.ring.Y2, c.ring.RSIZE, c.noise,
        c.light, e.centre, e.outer, e.inner);
    worst.centre = std::max(worst.centre, e.centre);
    worst.outer = std::max(worst.outer, e.outer);
    worst.inner = std::max(worst.inner, e.inner);
  }
  std::printf("%s: %zu rings, worst centre %.2f %%, outer %.2f %%, inner %.2f %%\n", label,
              cases.size(), worst.centre, worst.outer, worst.inner);
}

TEST(RingFinder, FindsGeneratedRingsOfAnySizeAndPlacement) {
  std::mt19937 random(20261208);
  std::vector<RingCase> cases;
  for (int32_t i = 0; i < 24; ++i) cases.push_back(RandomCase(random, i));
  CheckCases(cases, "tuned");
}

// Rings never used while tuning the finder: their figures are reported apart.
TEST(RingFinder, HeldBackGeometries) {
  std::mt19937 random(777001);
  std::vector<RingCase> cases;
  for (int32_t i = 0; i < 6; ++i) cases.push_back(RandomCase(random, i + 1));
  cases.push_back({800, 600, {330, 120, 300, 300, 40}, 10, 0.5});  // cut off right and bottom
  CheckCases(cases, "held back");
}

TEST(RingFinder, FindsTheRingOfAFullHdMovieInItsFramePixels) {
  const RingCase c{1920, 1080, {140, 10, 310, 320, 40}, 6, 0.8};
  const std::vector<FrameImage> frames = RingFrames(c, 5, 99);
  const FoundRing found = FindRing(frames);
  ASSERT_TRUE(found.found) << found.reason;
  const Errors e = Measure(c, found);
  EXPECT_LE(e.centre, 1.0);
  EXPECT_LE(e.outer, 2.0);
  EXPECT_LE(e.inner, 5.0);
}

TEST(RingFinder, FramesWithoutARingGiveNone) {
  std::mt19937 random(5);
  const auto frames = [](int32_t count, auto fill) {
    std::vector<GreyImage> out;
    for (int32_t i = 0; i < count; ++i) {
      GreyImage g{320, 240, std::vector<uint8_t>(320 * 240)};
      for (uint8_t& p : g.pixels) p = fill();
      out.push_back(std::move(g));
    }
    return out;
  };
  EXPECT_FALSE(FindRing(frames(6, [] { return uint8_t{128}; })).found);
  EXPECT_FALSE(FindRing(frames(6, [] { return uint8_t{0}; })).found);
  const FoundRing noise = FindRing(frames(6, [&] { return static_cast<uint8_t>(random()); }));
  EXPECT_FALSE(noise.found);
  EXPECT_FALSE(noise.reason.empty());
  std::vector<GreyImage> one = frames(1, [&] { return static_cast<uint8_t>(random() % 64); });
  const FoundRing still = FindRing(one);
  EXPECT_FALSE(still.found);
  // Nothing to search, or frames that do not match, are refused with a reason.
  EXPECT_FALSE(FindRing(std::span<const GreyImage>{}).found);
  std::vector<GreyImage> mixed = frames(2, [] { return uint8_t{9}; });
  mixed[1].width = 160;
  EXPECT_EQ(FindRing(mixed).reason, "frames of different sizes");
  // Frames too large for the vote are refused, not allocated for.
  std::vector<GreyImage> huge(1, GreyImage{5000, 20, std::vector<uint8_t>(5000 * 20)});
  EXPECT_FALSE(FindRing(huge).found);
  EXPECT_FALSE(FindRing(std::span<const FrameImage>{}).found);
}

TEST(RingCutArea, CutAreaOfAFoundRingReadsThatRing) {
  std::mt19937 random(31);
  for (int32_t i = 0; i < 200; ++i) {
    const int32_t fw = std::uniform_int_distribution<int32_t>(120, 3840)(random);
    const int32_t fh =
        static_cast<int32_t>(fw * std::uniform_real_distribution<double>(0.4, 1.3)(random));
    FoundRing ring;
    ring.found = true;
    ring.centreX = std::uniform_real_distribution<double>(-0.2, 1.2)(random) * fw;
    ring.centreY = std::uniform_real_distribution<double>(-0.2, 1.2)(random) * fh;
    ring.outerRadius = std::uniform_real_distribution<double>(0.1, 0.7)(random) * fh + 4;
    ring.innerRadius = ring.outerRadius * std::uniform_real_distribution<double>(0.05, 0.6)(random);
    const RingGeometry area = CutAreaForRing(fw, fh, ring);
    const CutAreaCircle circle = CircleOfCutArea(fw, fh, area);
    // The unwrap's centre and the generator's agree.
    const sample::RingPlacement placement = sample::PlaceRing(fw, fh, area);
    SCOPED_TRACE(testing::Message() << fw << "x" << fh << " " << area.X1 << "," << area.Y1 << ","
                                    << area.X2 << "," << area.Y2 << "," << area.RSIZE);
    ASSERT_TRUE(circle.valid);
    EXPECT_DOUBLE_EQ(circle.centreX, placement.centreX);
    EXPECT_DOUBLE_EQ(circle.centreY, placement.centreY);
    EXPECT_EQ(circle.outerRadius, placement.H - 1);
    // Whole units: half a unit off at most, plus the even row counts' pixel.
    const double unit = fw / 600.0;
    EXPECT_LE(std::abs(circle.centreX - ring.centreX), 0.5 * unit + 0.5);
    EXPECT_LE(std::abs(circle.centreY - ring.centreY), 0.5 * unit + 0.5);
    EXPECT_LE(std::abs(circle.outerRadius - ring.outerRadius), 0.5 * unit + 1.0);
    EXPECT_LE(std::abs(circle.innerRadius - ring.innerRadius), 0.5 * unit + 1.0);
    EXPECT_LE(std::abs(placement.cropW - placement.cropH), unit);  // a square in pixels
  }
  // The sample movies' Cut Area comes back with the same circle.
  const CutAreaCircle sample = CircleOfCutArea(1024, 768, {150, 20, 316, 306, 32});
  FoundRing ring;
  ring.found = true;
  ring.centreX = sample.centreX;
  ring.centreY = sample.centreY;
  ring.outerRadius = sample.outerRadius;
  ring.innerRadius = sample.innerRadius;
  const RingGeometry back = CutAreaForRing(1024, 768, ring);
  const CutAreaCircle again = CircleOfCutArea(1024, 768, back);
  EXPECT_LE(std::abs(again.centreX - sample.centreX), 0.5);
  EXPECT_LE(std::abs(again.centreY - sample.centreY), 0.5);
  EXPECT_EQ(again.outerRadius, sample.outerRadius);
  EXPECT_EQ(back.RSIZE, 32);
  // Not found: the default Cut Area, never garbage.
  EXPECT_EQ(CutAreaForRing(1024, 768, FoundRing{}), RingGeometry{});
}

}  // namespace
}  // namespace corvinex
