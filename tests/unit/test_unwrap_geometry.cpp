#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "settings/diagnostic_log.h"
#include "support/temp_dir.h"
#include "transform/cut_area.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

constexpr RingGeometry kFallback{150, 20, 316, 306, 32};

TEST(UnwrapGeometry, FullHdFrameWithFallbackCutArea) {
  const UnwrapGeometry g = ComputeUnwrapGeometry(1920, 1080, kFallback, 0.0352f);
  EXPECT_EQ(g.PH, 338);
  EXPECT_EQ(g.cropX, 480);
  EXPECT_EQ(g.cropY, 64);
  EXPECT_EQ(g.cropW, 1011);
  EXPECT_EQ(g.cropH, 978);
  EXPECT_EQ(g.halfW, 506);
  EXPECT_EQ(g.halfH, 489);
  EXPECT_EQ(g.cutRows, 102);
  EXPECT_EQ(g.H, 488);
  EXPECT_EQ(g.W, 1228);
  EXPECT_EQ(g.c, 243.0f);
  EXPECT_EQ(g.halfPW, 614);
  EXPECT_EQ(g.halfPH, 244);
  EXPECT_EQ(g.outRows, 386);
  EXPECT_EQ(g.corrRows, 14);  // the " 7%" lens: output frames 1228 x 400
  EXPECT_EQ(g.outRows + g.corrRows, 400);
  EXPECT_EQ(g.k, 5.0f / 978.0f);
  EXPECT_EQ(g.limits, kLimitNone);
  EXPECT_EQ(GeometryLabelText(g), " 1228x386");
}

TEST(UnwrapGeometry, SmallFrameWithFallbackCutArea) {
  const UnwrapGeometry g = ComputeUnwrapGeometry(400, 300, kFallback, 0.0f);
  EXPECT_EQ(g.PH, 450);
  EXPECT_EQ(g.cropX, 100);
  EXPECT_EQ(g.cropY, 13);
  EXPECT_EQ(g.cropW, 211);
  EXPECT_EQ(g.cropH, 204);
  EXPECT_EQ(g.cutRows, 20);
  EXPECT_EQ(g.H, 102);
  EXPECT_EQ(g.W, 256);
  EXPECT_EQ(g.outRows, 82);
  EXPECT_EQ(g.corrRows, 0);
}

// On a 600 x 600 frame one preview unit is one pixel, so Y2 is cropH.
UnwrapGeometry WithCropHeight(int32_t cropH) {
  return ComputeUnwrapGeometry(600, 600, RingGeometry{0, 0, cropH, cropH, 0}, 0.0f);
}

TEST(UnwrapGeometry, StripCoversTheCircleWithinTheStatedMargin) {
  const UnwrapGeometry g978 = WithCropHeight(978);
  ASSERT_EQ(g978.cropH, 978);
  EXPECT_NEAR(g978.W * double{g978.k}, 6.2781, 5e-5);
  EXPECT_NEAR(2 * std::numbers::pi - g978.W * double{g978.k}, 0.005, 5e-4);
  const UnwrapGeometry g22 = WithCropHeight(22);
  EXPECT_EQ(g22.W, 28);
  EXPECT_NEAR(g22.W * double{g22.k} - 2 * std::numbers::pi, 0.08, 5e-3);
  for (int32_t cropH = 4; cropH <= 3000; ++cropH) {
    const UnwrapGeometry g = WithCropHeight(cropH);
    ASSERT_EQ(g.cropH, cropH);
    ASSERT_EQ(g.W % 2, 0) << cropH;
    ASSERT_EQ(g.H % 2, 0) << cropH;
    ASSERT_GT(g.outRows, 0) << cropH;
    const double span = g.W * double{g.k};
    ASSERT_GE(span, 2 * std::numbers::pi - 7.5 / cropH - 1e-6) << cropH;
    ASSERT_LE(span, 2 * std::numbers::pi + 2.5 / cropH + 1e-6) << cropH;
  }
}

// The scale factors are floats, but their products with the Cut Area are taken
// in double: sx = 330 / 600 = 0.550000012f, and 0.550000012 x 30 = 16.50000036
// rounds to 17, where a float product (16.5 exactly) would give 16.
TEST(UnwrapGeometry, ScaledValuesUseDoubleProductsAndHalvesToEven) {
  EXPECT_EQ(ComputeUnwrapGeometry(330, 330, RingGeometry{30, 0, 316, 306, 0}, 0).cropX, 17);
  // Halves go to the even neighbour: 0.5 x 1011 = 505.5 -> 506, 0.5 x 205 -> 102.
  EXPECT_EQ(ComputeUnwrapGeometry(1920, 1080, kFallback, 0).halfW, 506);
  EXPECT_EQ(ComputeUnwrapGeometry(600, 600, RingGeometry{0, 0, 205, 205, 0}, 0).halfW, 102);
}

TEST(UnwrapGeometry, OddCutAreasAreKeptInsideTheLimits) {
  // Tiny square: the crop is raised to 4 x 4 pixels, the output keeps two rows.
  UnwrapGeometry g = ComputeUnwrapGeometry(1920, 1080, RingGeometry{10, 10, 0, -5, 3}, 0);
  EXPECT_EQ(g.cropW, kMinCropSide);
  EXPECT_EQ(g.cropH, kMinCropSide);
  EXPECT_EQ(g.H, 2);
  EXPECT_EQ(g.W, 4);
  EXPECT_EQ(g.cutRows, 0);
  EXPECT_EQ(g.outRows, 2);
  EXPECT_TRUE(g.limits & kLimitCropTooSmall);
  EXPECT_TRUE(g.limits & kLimitCutRows);
  // Internal circle at least as large as the external one: two rows stay.
  g = ComputeUnwrapGeometry(1920, 1080, RingGeometry{150, 20, 316, 306, 400}, 0);
  EXPECT_EQ(g.cutRows, g.H - 2);
  EXPECT_EQ(g.outRows, 2);
  EXPECT_EQ(g.limits, kLimitCutRows);
  // Negative internal radius: nothing is cut.
  g = ComputeUnwrapGeometry(1920, 1080, RingGeometry{150, 20, 316, 306, -7}, 0);
  EXPECT_EQ(g.cutRows, 0);
  EXPECT_EQ(g.outRows, g.H);
  // Extreme values from a settings file: no overflow, buffers within budget.
  g = ComputeUnwrapGeometry(1920, 1080, RingGeometry{INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MIN},
                            std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(g.cropW, kMaxCropSide);
  EXPECT_EQ(g.cropH, kMaxCropSide);
  EXPECT_LE(int64_t{g.W} * g.H, kMaxCachePairs);
  EXPECT_EQ(g.corrRows, 0);
  EXPECT_TRUE(g.limits & kLimitCropTooLarge);
  // A negative or absurd lens coefficient adds no negative or huge correction.
  EXPECT_EQ(ComputeUnwrapGeometry(1920, 1080, kFallback, -0.5f).corrRows, 0);
  EXPECT_EQ(ComputeUnwrapGeometry(1920, 1080, kFallback, 1e9f).corrRows, 4 * 386);
  // A lens coefficient that matches no lens row still sets corrRows.
  EXPECT_EQ(ComputeUnwrapGeometry(1920, 1080, kFallback, 0.1f).corrRows, 38);
  // No pixels: nothing usable, and nothing to read.
  g = ComputeUnwrapGeometry(0, 1080, kFallback, 0);
  EXPECT_FALSE(g.Usable());
  EXPECT_EQ(g.limits, kLimitFrameSize);
  EXPECT_FALSE(GeometryLimitText(g.limits).empty());
  EXPECT_TRUE(GeometryLimitText(kLimitNone).empty());
  // A frame far wider than high keeps a finite vertical scale.
  g = ComputeUnwrapGeometry(4000, 2, kFallback, 0);
  EXPECT_EQ(g.PH, 1);
  EXPECT_TRUE(std::isfinite(g.sy));
  EXPECT_TRUE(g.Usable());
}

std::vector<std::string> LogLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  const std::string text = test::ReadFileBytes(file);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

TEST(PrepareUnwrapGeometry, ConversionLogsItsStepsAndSizesEveryBuffer) {
  test::TempDir dir;
  DiagnosticLog log(dir / "TLVPUB.log");
  UnwrapBuffers buffers;
  buffers.tableValid = true;
  buffers.cacheValid = true;
  const UnwrapGeometry g = PrepareUnwrapGeometry(1920, 1080, kFallback, 0.0352f,
                                                 GeometryVariant::Conversion, buffers, log);
  EXPECT_EQ(g, ComputeUnwrapGeometry(1920, 1080, kFallback, 0.0352f));
  EXPECT_EQ(LogLines(dir / "TLVPUB.log"),
            (std::vector<std::string>{"Set MovieDuration", "Checking 16x16", "Determine CUTOFF",
                                      "Determine XS1,YS1", "Determine DMEM1, DMEM2, DMEM3, DMEM4",
                                      "Determine DMEM1, DMEM2, DMEM3, DMEM4 END"}));
  EXPECT_FALSE(buffers.tableValid);
  EXPECT_FALSE(buffers.cacheValid);
  EXPECT_EQ(g.cropW, 1011);
  EXPECT_EQ(g.cropH + 1, 979);
  EXPECT_EQ(buffers.crop.pixels.capacity(), 0u) << "sized by the first copy";
  for (const FrameImage* p : {&buffers.P1, &buffers.P2}) {
    EXPECT_EQ(p->width, 1228);
    EXPECT_EQ(p->height, 489);
    EXPECT_EQ(p->pixels.size(), 1228u * 489u);
  }
  for (const FrameImage* p :
       {&buffers.previous, &buffers.currentCopy, &buffers.stereoA, &buffers.stereoB}) {
    EXPECT_EQ(p->pixels.capacity(), 0u) << "sized by the first stereo frame";
  }
  EXPECT_EQ(buffers.tableIndex.capacity() + buffers.cache.capacity(), 0u)
      << "sized by the first unwrap of their path";
  EXPECT_EQ(g.panoramaBytes, 386 * 1228 * 4);
  const std::array<uint8_t, 40> header = {40, 0, 0, 0, 0xCC, 4, 0,    0,    0x82, 1, 0, 0, 1, 0,
                                          32, 0, 0, 0, 0,    0, 0x60, 0xEE, 0x1C, 0, 0, 0, 0, 0,
                                          0,  0, 0, 0, 0,    0, 0,    0,    0,    0, 0, 0};
  EXPECT_EQ(buffers.infoHeader, header);  // 1228 x 386, 1 plane, 32 bits, 1,896,032 bytes
}

TEST(PrepareUnwrapGeometry, PreviewLogsNothingAndKeepsTheStereoHistory) {
  test::TempDir dir;
  DiagnosticLog log(dir / "TLVPUB.log");
  UnwrapBuffers buffers;
  PrepareUnwrapGeometry(400, 300, kFallback, 0.0352f, GeometryVariant::Conversion, buffers, log);
  buffers.previous.Reset(256, 97);  // as the conversion's first stereo frame sizes it
  buffers.currentCopy.Reset(256, 97);
  buffers.previous.pixels[5] = 0x123456;
  std::filesystem::remove(dir / "TLVPUB.log");
  const UnwrapGeometry g =
      PrepareUnwrapGeometry(1920, 1080, kFallback, 0.0352f, GeometryVariant::Preview, buffers, log);
  EXPECT_FALSE(std::filesystem::exists(dir / "TLVPUB.log"));
  EXPECT_EQ(g.corrRows, 0);
  EXPECT_EQ(GeometryLabelText(g), " 1228x386");
  EXPECT_EQ(buffers.P1.width, 1228);
  EXPECT_EQ(buffers.previous.width, 256);  // left as the last conversion had it
  EXPECT_EQ(buffers.previous.pixels[5], 0x123456u);
  EXPECT_EQ(buffers.currentCopy.width, 256);
}

TEST(RingGeometry, StartupAndResetValues) {
  EXPECT_EQ(StartupRing(), (RingGeometry{-8, -8, 616, 606, 79}));
  EXPECT_EQ(StartupRing(), RingGeometry{});
  EXPECT_EQ(ResetRing(), kFallback);
}

}  // namespace
}  // namespace corvinex
