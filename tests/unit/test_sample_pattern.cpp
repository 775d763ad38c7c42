// The sample generator's pattern and ring wrap: the known input that later tests
// compare unwrapped frames against.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <utility>

#include "ring_wrap.h"
#include "sample_encoder.h"
#include "sample_pattern.h"

namespace corvinex::sample {
namespace {

TEST(SampleRingPlacement, MatchesTheUnwrapGeometryOfKnownFrames) {
  const RingGeometry fallback{150, 20, 316, 306, 32};
  const RingPlacement hd = PlaceRing(1920, 1080, fallback);
  EXPECT_EQ(hd.W, 1228);
  EXPECT_EQ(hd.H, 488);
  EXPECT_EQ(hd.cutRows, 102);
  // The middle of the 1011 x 978 square, half a pixel higher: the unwrap centres its
  // offsets on a crop buffer with one spare row at the top.
  EXPECT_EQ(hd.centreX, 480 + 505);
  EXPECT_EQ(hd.centreY, 64 + 488);
  const RingPlacement small = PlaceRing(400, 300, fallback);
  EXPECT_EQ(small.W, 256);
  EXPECT_EQ(small.H, 102);
  EXPECT_EQ(small.cutRows, 20);
  for (const auto& [fw, fh, ring] :
       {std::tuple{1920, 1080, fallback}, std::tuple{400, 300, fallback},
        std::tuple{638, 360, RingGeometry{100, 10, 400, 330, 40}},
        std::tuple{320, 240, RingGeometry{-60, -40, 400, 400, 20}}}) {
    const RingPlacement p = PlaceRing(fw, fh, ring);
    const UnwrapGeometry g = ComputeUnwrapGeometry(fw, fh, ring, 0.0f);
    EXPECT_EQ(std::tuple(p.cropX, p.cropY, p.cropW, p.cropH, p.W, p.H, p.cutRows, p.k),
              std::tuple(g.cropX, g.cropY, g.cropW, g.cropH, g.W, g.H, g.cutRows, g.k))
        << fw << "x" << fh;
  }
}

TEST(SampleRingPlacement, RefusesDegenerateInput) {
  EXPECT_FALSE(PlaceRing(0, 480, kSampleRing).valid());
  EXPECT_FALSE(PlaceRing(640, 480, RingGeometry{0, 0, 2, 2, 0}).valid());
  // A refused placement still wraps to a black frame of the right size.
  const FrameImage frame =
      WrapPanorama(MakePanoramaPattern(64, 16, 0), 64, 48, RingGeometry{0, 0, 2, 2, 0});
  ASSERT_EQ(frame.PixelCount(), 64u * 48u);
  for (uint32_t p : frame.pixels) ASSERT_EQ(p, 0u);
}

TEST(SamplePattern, BandsBarsAndMarksSitWhereDocumented) {
  const int32_t w = 640, h = 200;
  const FrameImage p = MakePanoramaPattern(w, h, 0);
  const int32_t midRow = 145;  // in the bars, below the moving block
  for (int32_t bar = 0; bar < kBarCount; ++bar) {
    const int32_t x = bar * w / kBarCount + w / 16 + 5;  // away from marks
    EXPECT_EQ(p.Row(midRow)[x], kBarColours[static_cast<size_t>(bar)]) << "bar " << bar;
  }
  EXPECT_EQ(p.Row(2)[37], kInnerGrey);
  // 0, 90, 180, 270 degrees: a dark line through every band.
  for (int32_t deg : {0, 90, 180, 270}) {
    const int32_t x = deg * w / 360;
    for (int32_t y : {1, h / 2, h - 1}) EXPECT_EQ(p.Row(y)[x], kMarkColour) << deg << " " << y;
  }
  // Ticks every 10 degrees in the scale band only.
  const int32_t tick = static_cast<int32_t>(std::lround(40.0 * w / 360.0));
  EXPECT_EQ(p.Row(h - 2)[tick], kMarkColour);
  EXPECT_EQ(p.Row(h - 2)[tick + 3], kScaleBackground);
  EXPECT_NE(p.Row(h / 2 - 10)[tick], kMarkColour);
}

TEST(SamplePattern, OnlyTheMovingBlockChangesBetweenFrames) {
  const int32_t w = 640, h = 100;
  const FrameImage a = MakePanoramaPattern(w, h, 3);
  const FrameImage b = MakePanoramaPattern(w, h, 4);
  EXPECT_EQ(MovingBlockColumn(4, w) - MovingBlockColumn(3, w), w / 64);
  int32_t changed = 0;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      if (a.Row(y)[x] == b.Row(y)[x]) continue;
      ++changed;
      const bool inRows = y >= 3 * h / 10 && y < 7 * h / 10;
      EXPECT_TRUE(inRows) << x << "," << y;
      EXPECT_TRUE(a.Row(y)[x] == kMovingColour || b.Row(y)[x] == kMovingColour);
    }
  }
  EXPECT_GT(changed, 0);
  // The block wraps around the seam instead of running off the strip.
  const int32_t last = w / 64 == 0 ? 0 : (w - 2) / (w / 64);
  const FrameImage wrapped = MakePanoramaPattern(w, h, last);
  const int32_t start = MovingBlockColumn(last, w);
  ASSERT_GT(start + MovingBlockWidth(w), w);
  EXPECT_EQ(wrapped.Row(h / 2)[2], kMovingColour);  // columns 0, 1 carry the 0 degree line
}

// The fast unwrap's sample pixel, written out here from the mapping's definition rather
// than taken from the generator: the quality path's sample position in the crop buffer
// (the Cut Area square mirrored left-right, bottom-up), rounded, back in the picture.
std::pair<int32_t, int32_t> UnwrapSample(const RingPlacement& g, int32_t x, int32_t y) {
  const float a = g.k * (static_cast<float>(x) - g.W / 2.0f + g.H / 2.0f - 0.5f);
  const float r = static_cast<float>(y) - 0.5f;
  const float su = r * static_cast<float>(std::sin(static_cast<double>(a)));
  const float sv = r * static_cast<float>(std::cos(static_cast<double>(a)));
  const float column = su + (0.5f * g.cropW - 0.5f);
  const float row = sv + 0.5f * g.cropH;
  return {g.cropX + g.cropW - 1 - static_cast<int32_t>(std::nearbyint(column)),
          g.cropY + g.cropH - 1 - static_cast<int32_t>(std::nearbyint(row))};
}

struct WrapCase {
  int32_t fw, fh;
  RingGeometry ring;
};

class SampleWrap : public testing::TestWithParam<WrapCase> {};

TEST_P(SampleWrap, FastUnwrapSamplesReadThePatternBack) {
  const WrapCase wc = GetParam();
  const RingPlacement g = PlaceRing(wc.fw, wc.fh, wc.ring);
  ASSERT_TRUE(g.valid());
  const FrameImage pattern = MakePanoramaPattern(g.W, g.H, 7);
  const FrameImage frame = WrapPanorama(pattern, wc.fw, wc.fh, wc.ring);
  ASSERT_EQ(frame.width, wc.fw);
  ASSERT_EQ(frame.height, wc.fh);

  std::map<std::pair<int32_t, int32_t>, int32_t> uses;
  for (int32_t y = 0; y < g.H; ++y)
    for (int32_t x = 0; x < g.W; ++x) ++uses[UnwrapSample(g, x, y)];

  int64_t checked = 0, exact = 0, outerChecked = 0, outerExact = 0;
  for (int32_t y = g.cutRows; y < g.H; ++y) {
    for (int32_t x = 0; x < g.W; ++x) {
      const auto [px, py] = UnwrapSample(g, x, y);
      if (px < 0 || px >= wc.fw || py < 0 || py >= wc.fh) continue;
      if (uses[{px, py}] != 1) continue;  // shared samples cannot all be right
      ++checked;
      const bool same = frame.AtPicture(px, py) == pattern.Row(y)[x];
      exact += same;
      if (y >= g.H / 2) {
        ++outerChecked;
        outerExact += same;
      }
    }
  }
  EXPECT_EQ(exact, checked);
  // Most of the outer half has samples of its own, so the check above has teeth.
  EXPECT_GT(outerChecked, static_cast<int64_t>(g.W) * (g.H / 2) * 7 / 10);
  EXPECT_EQ(outerExact, outerChecked);
}

TEST_P(SampleWrap, EverythingBeyondTheOuterCircleIsBlack) {
  const WrapCase wc = GetParam();
  const RingPlacement g = PlaceRing(wc.fw, wc.fh, wc.ring);
  const FrameImage frame = WrapPanorama(MakePanoramaPattern(g.W, g.H, 0), wc.fw, wc.fh, wc.ring);
  int64_t ringPixels = 0;
  for (int32_t y = 0; y < wc.fh; ++y) {
    for (int32_t x = 0; x < wc.fw; ++x) {
      const double r = std::hypot(x - g.centreX, y - g.centreY);
      if (r > g.H + 1) {
        ASSERT_EQ(frame.AtPicture(x, y), 0u) << x << "," << y;
      } else if (r < g.H - 2) {
        ++ringPixels;
        ASSERT_NE(frame.AtPicture(x, y), 0u) << x << "," << y;
      }
    }
  }
  EXPECT_GT(ringPixels, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SampleWrap,
    testing::Values(WrapCase{640, 480, kSampleRing}, WrapCase{400, 300, kSampleRing},
                    WrapCase{638, 360, RingGeometry{100, 10, 400, 330, 40}},
                    // The ring reaches past the left and top edges of the frame.
                    WrapCase{320, 240, RingGeometry{-60, -40, 400, 400, 20}}));

TEST(SampleWrap, AnyPatternSizeIsScaledOntoTheRing) {
  // A coarse 8 x 4 pattern of distinct colours wraps like its blown-up copy.
  const RingPlacement g = PlaceRing(640, 480, kSampleRing);
  FrameImage coarse(8, 4);
  for (size_t i = 0; i < coarse.pixels.size(); ++i) {
    coarse.pixels[i] = PackBgrx(static_cast<uint8_t>(10 + i), 200, static_cast<uint8_t>(i * 7));
  }
  FrameImage fine(g.W, g.H);
  for (int32_t y = 0; y < g.H; ++y)
    for (int32_t x = 0; x < g.W; ++x) fine.Row(y)[x] = coarse.Row(y * 4 / g.H)[x * 8 / g.W];
  const FrameImage a = WrapPanorama(coarse, 640, 480, kSampleRing);
  const FrameImage b = WrapPanorama(fine, 640, 480, kSampleRing);
  EXPECT_EQ(a.pixels, b.pixels);
}

TEST(SampleFrameRate, ParsesCommonSpellings) {
  auto check = [](const char* text, int32_t num, int32_t den) {
    const auto r = ParseFrameRate(text);
    ASSERT_TRUE(r.has_value()) << text;
    EXPECT_EQ(r->num, num) << text;
    EXPECT_EQ(r->den, den) << text;
  };
  check("25", 25, 1);
  check("29.97", 30000, 1001);
  check("23.976", 24000, 1001);
  check("59.94", 60000, 1001);
  check("12.5", 25, 2);
  check("30000/1001", 30000, 1001);
  for (const char* bad : {"", "0", "-5", "abc", "25fps", "1/0", "/3", "nan"}) {
    EXPECT_FALSE(ParseFrameRate(bad).has_value()) << bad;
  }
}

TEST(SampleCodecs, FollowTheExtensionAndRefuseWhatCannotWork) {
  EXPECT_TRUE(CodecsForOutput("a.MP4", false).error.empty());
  EXPECT_EQ(CodecsForOutput("a.avi", false).video.at(1), "mpeg4");
  EXPECT_EQ(CodecsForOutput("a.mkv", true).video.at(1), "ffv1");
  EXPECT_EQ(CodecsForOutput("a.mov", true).video.at(1), "libx264rgb");
  EXPECT_FALSE(CodecsForOutput("a.wmv", true).error.empty());
  EXPECT_FALSE(CodecsForOutput("a.txt", false).error.empty());
  EXPECT_FALSE(CodecsForOutput("noextension", false).error.empty());
}

}  // namespace
}  // namespace corvinex::sample
