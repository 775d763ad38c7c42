#include <gtest/gtest.h>

#include "transform/pixel_ratio_fix.h"
#include "unwrap_test_helpers.h"

namespace corvinex {
namespace {

TEST(FixAspect, StretchesTheMiddleOfEachRowAndKeepsRowsInPlace) {
  constexpr int32_t fw = 200;
  constexpr int32_t fh = 40;
  FrameImage sample(fw, fh);
  for (int32_t y = 0; y < fh; ++y) {
    for (int32_t x = 0; x < fw; ++x) sample.Row(y)[x] = PackBgrx(uint8_t(x), uint8_t(5 * y), 77, 9);
  }
  FrameImage frame(fw, fh);
  for (uint32_t& p : frame.pixels) p = 0xDEADBEEF;
  ASSERT_TRUE(FixAspect(sample.pixels.data(), sample.pixels.size(), frame, kAspectIntakeFactor));
  for (int32_t y = 0; y < fh; ++y) {
    for (int32_t x = 0; x < fw; ++x) {
      const uint32_t p = frame.Row(y)[x];
      if (y == 0 || y == fh - 2 || y == fh - 1) {
        ASSERT_EQ(p, 0xDEADBEEFu) << "row " << y << " has no full window and keeps its contents";
        continue;
      }
      const double column = 0.7501 * (x - fw / 2.0 + 0.5) + fw / 2.0 - 0.5;
      ASSERT_NEAR(BlueOf(p), column, 0.5001) << x << "," << y;
      ASSERT_EQ(GreenOf(p), 5 * y) << "rows keep their place";
      ASSERT_EQ(RedOf(p), 77);
      ASSERT_EQ(SpareOf(p), 0xDE) << "the fourth byte is the frame's own";
    }
  }
}

TEST(FixAspect, FactorsAndRefusals) {
  EXPECT_EQ(kAspectIntakeFactor, 0.7501f);
  EXPECT_NEAR(kAspectPreviewFactor, 0.7501875, 1e-7);
  EXPECT_NE(kAspectPreviewFactor, kAspectIntakeFactor);
  FrameImage frame(10, 10);
  const FrameImage sample = test::RandomFrame(10, 10, 1);
  EXPECT_FALSE(FixAspect(sample.pixels.data(), 99, frame, kAspectIntakeFactor));
  EXPECT_FALSE(FixAspect(nullptr, 100, frame, kAspectIntakeFactor));
  for (uint32_t p : frame.pixels) ASSERT_EQ(p, 0u);
  // The preview factor stretches a little more than the intake factor.
  FrameImage ramp(200, 8);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 200; ++x) ramp.Row(y)[x] = PackBgrx(uint8_t(x), 0, 0);
  }
  FrameImage preview(200, 8);
  ASSERT_TRUE(FixAspect(ramp.pixels.data(), ramp.pixels.size(), preview, kAspectPreviewFactor));
  EXPECT_EQ(BlueOf(preview.Row(3)[0]), 25);  // 0.7501875 x -99.5 + 99.5 = 24.86
  EXPECT_EQ(BlueOf(preview.Row(3)[199]), 174);
}

}  // namespace
}  // namespace corvinex
