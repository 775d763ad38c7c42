// Brightness, contrast and the averaging noise filter on the doughnut frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "support/pixel_images.h"
#include "transform/brightness_contrast.h"
#include "transform/noise_filter.h"

namespace corvinex {
namespace {

using test::Gray;

// One value per channel, so a single byte tells the result.
FrameImage Ramp() {
  FrameImage img(256, 1);
  for (int v = 0; v < 256; ++v) img.pixels[v] = Gray(static_cast<uint8_t>(v));
  return img;
}

uint8_t After(const FrameImage& img, int v) {
  return BlueOf(img.pixels[v]);
}

BrightnessContrast Params(bool bOn, int brightness, bool cOn, int contrast) {
  return {bOn, brightness - 127, cOn, contrast + 1};
}

TEST(BrightnessContrast, NeutralValuesLeaveEveryByteUnchanged) {
  const FrameImage original = test::RandomImage(37, 11, 1);
  FrameImage img = original;
  ApplyBrightnessContrast(img, Params(true, 127, true, 127));
  EXPECT_EQ(img.pixels, original.pixels);
}

TEST(BrightnessContrast, WorkedValuesSaturateAndRoundDown) {
  FrameImage img = Ramp();
  ApplyBrightnessContrast(img, Params(true, 255, false, 127));
  for (int v = 0; v < 256; ++v) EXPECT_EQ(After(img, v), v >= 127 ? 255 : v + 128) << v;
  EXPECT_EQ(img.pixels[200], Gray(255)) << "the fourth byte is adjusted alike";

  img = Ramp();
  ApplyBrightnessContrast(img, Params(true, 1, false, 127));  // offset -126
  EXPECT_EQ(After(img, 100), 0);
  EXPECT_EQ(After(img, 200), 74);

  img = Ramp();
  ApplyBrightnessContrast(img, Params(false, 127, true, 20));
  EXPECT_EQ(After(img, 0), 107);
  EXPECT_EQ(After(img, 255), 148);
  // Negative products shift towards minus infinity: -28 x 21 / 128 = -4.6 gives -5.
  EXPECT_EQ(After(img, 100), 123);
  EXPECT_EQ(After(img, 127), 127);
  EXPECT_EQ(After(img, 128), 128);

  img = Ramp();
  ApplyBrightnessContrast(img, Params(false, 127, true, 235));
  EXPECT_EQ(After(img, 0), 0);
  EXPECT_EQ(After(img, 255), 255);
  EXPECT_EQ(After(img, 140), 150);  // 12 x 236 / 128 = 22.1

  img = Ramp();
  ApplyBrightnessContrast(img, Params(false, 127, true, 0));  // factor 1/128
  EXPECT_EQ(After(img, 0), 127);
  EXPECT_EQ(After(img, 255), 128);
}

TEST(BrightnessContrast, BrightnessIsClampedBeforeContrast) {
  FrameImage img = Ramp();
  ApplyBrightnessContrast(img, Params(true, 200, true, 20));
  // 200 + 73 clamps to 255, then contrast 20 gives 148 (the other order would give 212).
  EXPECT_EQ(After(img, 200), 148);
}

TEST(BrightnessContrast, VectorKernelMatchesScalarReference) {
  const int brightness[] = {0, 1, 60, 127, 200, 255};
  const int contrast[] = {0, 20, 100, 127, 235, 255};
  for (int w : {1, 3, 4, 5, 17, 64}) {
    const FrameImage original = test::RandomImage(w, 7, static_cast<uint32_t>(w));
    for (int b : brightness) {
      for (int c : contrast) {
        for (int mode = 1; mode < 4; ++mode) {
          const BrightnessContrast p = Params(mode & 1, b, mode & 2, c);
          FrameImage fast = original;
          FrameImage ref = original;
          ApplyBrightnessContrast(fast, p);
          ApplyBrightnessContrastReference(ref, p);
          ASSERT_EQ(fast.pixels, ref.pixels) << "w " << w << " b " << b << " c " << c;
        }
      }
    }
  }
}

TEST(BrightnessContrast, OutOfRangeParametersSaturateInsteadOfWrapping) {
  FrameImage fast = Ramp();
  FrameImage ref = Ramp();
  const BrightnessContrast p{true, 400, true, 1000};
  ApplyBrightnessContrast(fast, p);
  ApplyBrightnessContrastReference(ref, p);
  EXPECT_EQ(fast.pixels, ref.pixels);
  EXPECT_EQ(After(fast, 0), 255);
}

// 5 x 4 frame, all zero but one pixel of 160 at buffer row 1, column 1. Each value
// below follows from the in-place order: later pixels see the new values of their
// left and lower neighbours, including across row ends.
TEST(NoiseFilter, InPlaceOrderSpreadsNewValuesForward) {
  FrameImage img = test::GrayImage(5, 4, 0);
  img.Row(1)[1] = Gray(160);
  NoiseFilterPassReference(img);
  const uint8_t expected[4][5] = {
      {0, 0, 0, 0, 0},
      {20, 22, 2, 0, 2},  // the last pixel's lower-right sample is this row's new first pixel
      {5, 3, 0, 0, 0},    // row 2, column 4 is left out of the pass
      {0, 0, 0, 0, 0},
  };
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 5; ++col) {
      EXPECT_EQ(img.Row(row)[col], Gray(expected[row][col])) << row << "," << col;
    }
  }
}

TEST(NoiseFilter, AveragesWithTruncationAndSkipsTheBorderRows) {
  FrameImage img = test::RandomImage(12, 6, 3);
  const FrameImage before = img;
  NoiseFilterPass(img);
  EXPECT_TRUE(std::equal(img.Row(0), img.Row(1), before.Row(0)));
  EXPECT_TRUE(std::equal(img.Row(5), img.Row(5) + 12, before.Row(5)));
  EXPECT_EQ(img.Row(4)[11], before.Row(4)[11]);
  EXPECT_NE(img.Row(2)[5], before.Row(2)[5]);

  // The first pixel visited sees only old values: seven samples of 255 and one of 0
  // give 223, not 224, because the mean is truncated.
  FrameImage flat = test::GrayImage(12, 3, 255);
  flat.Row(1)[0] = Gray(0);
  NoiseFilterPass(flat);
  EXPECT_EQ(flat.Row(1)[0], Gray(223));
}

TEST(NoiseFilter, VectorKernelMatchesScalarReference) {
  // Widths around the chunking limits: narrower than a chunk, at 256 + 1, beyond it.
  for (int w : {2, 8, 9, 10, 13, 64, 255, 257, 258, 600}) {
    for (int h : {1, 2, 3, 4, 9}) {
      FrameImage fast = test::RandomImage(w, h, static_cast<uint32_t>(w * 31 + h));
      FrameImage sse2 = fast;
      FrameImage ref = fast;
      for (int pass = 0; pass < 3; ++pass) {
        NoiseFilterPass(fast);
        NoiseFilterPassSse2(sse2);
        NoiseFilterPassReference(ref);
        ASSERT_EQ(fast.pixels, ref.pixels) << w << " x " << h << " pass " << pass;
        ASSERT_EQ(sse2.pixels, ref.pixels) << w << " x " << h << " pass " << pass;
      }
    }
  }
}

TEST(NoiseFilter, RepeatedPassesKeepSmoothing) {
  FrameImage img = test::RandomImage(40, 30, 9);
  auto roughness = [](const FrameImage& f) {
    long sum = 0;
    for (int row = 1; row < f.height - 1; ++row) {
      for (int col = 1; col < f.width; ++col) {
        sum += std::abs(int{GreenOf(f.Row(row)[col])} - GreenOf(f.Row(row)[col - 1]));
      }
    }
    return sum;
  };
  long last = roughness(img);
  for (int pass = 0; pass < 5; ++pass) {
    NoiseFilterPass(img);
    const long now = roughness(img);
    EXPECT_LT(now, last) << pass;
    last = now;
  }
}

}  // namespace
}  // namespace corvinex
