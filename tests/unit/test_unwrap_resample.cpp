#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "transform/cubic_sample.h"
#include "transform/warp_resample.h"
#include "unwrap_test_helpers.h"

namespace corvinex {
namespace {

TEST(CubicSample, WeightsAreTheLagrangeWeightsWithTheRoundedConstants) {
  for (float t = -0.5f; t <= 0.5f; t += 0.0625f) {
    float w[4];
    CubicWeights(t, w);
    const double d = t;
    // Exact Lagrange weights of nodes -1, 0, 1, 2.
    const double exact[4] = {-d * (d - 1) * (d - 2) / 6, (d + 1) * (d - 1) * (d - 2) / 2,
                             -(d + 1) * d * (d - 2) / 2, (d + 1) * d * (d - 1) / 6};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(w[i], exact[i], 2e-5) << t << " " << i;
    EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 1.0, 2e-5);
  }
  float w[4];
  CubicWeights(0.0f, w);
  EXPECT_EQ(w[1], 1.0f);
  EXPECT_EQ(w[0] + w[2] + w[3], 0.0f);
}

TEST(CubicSample, RoundsSaturatesAndKeepsTheFourthByte) {
  // A hard step overshoots on both sides: clamped to 0 and 255.
  const uint32_t a = PackBgrx(0, 255, 10, 0x11);
  const uint32_t b = PackBgrx(255, 0, 10, 0x22);
  std::vector<uint32_t> img(16);
  for (int r = 0; r < 4; ++r) {
    img[r * 4 + 0] = a;
    img[r * 4 + 1] = a;
    img[r * 4 + 2] = b;
    img[r * 4 + 3] = b;
  }
  // At t = -0.25 the step's weights a x 1.172 + b x -0.172: blue undershoots
  // to -44 and gives 0, green overshoots to 299 and gives 255.
  const uint32_t low = CubicSample(img.data(), 4, 1, 1, -0.25f, 0.0f, 0xAB000000u);
  EXPECT_EQ(SpareOf(low), 0xAB);
  EXPECT_EQ(RedOf(low), 10);  // a constant channel stays exact
  EXPECT_EQ(BlueOf(low), 0);
  EXPECT_EQ(GreenOf(low), 255);
  EXPECT_EQ(SpareOf(CubicSample(img.data(), 4, 1, 1, 0.25f, 0.0f, 0x00FFFFFFu)), 0);
  // A linear ramp is reproduced: 0, 2, 4, 6 at t = 0.5 gives 3.
  std::vector<uint32_t> ramp(16);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c)
      ramp[r * 4 + c] = PackBgrx(uint8_t(2 * c), uint8_t(100 + 20 * c), 0);
  }
  const uint32_t mid = CubicSample(ramp.data(), 4, 1, 1, 0.5f, 0.0f, 0);
  EXPECT_EQ(BlueOf(mid), 3);
  EXPECT_EQ(GreenOf(mid), 130);
  EXPECT_EQ(BlueOf(CubicSample(ramp.data(), 4, 1, 1, -0.5f, 0.0f, 0)), 1);
  EXPECT_EQ(BlueOf(CubicSample(ramp.data(), 4, 1, 1, 0.0f, 0.3f, 0)), 2);
}

TEST(WarpResample, UniformScaleOfOneCopiesTheInteriorAndLeavesTheBorder) {
  const FrameImage src = test::RandomFrame(37, 23, 5);
  FrameImage dst(37, 23);
  for (uint32_t& p : dst.pixels) p = 0x5A5A5A5A;
  ASSERT_TRUE(WarpResample(ConstPixels{src.pixels.data(), 37, 23},
                           Pixels{dst.pixels.data(), 37, 23}, WarpMode::UniformScale, 1.0f));
  for (int32_t y = 0; y < 23; ++y) {
    for (int32_t x = 0; x < 37; ++x) {
      const bool inside = x >= 1 && y >= 1 && x <= 37 - 3 && y <= 23 - 3;
      const uint32_t expected = inside ? (src.Row(y)[x] & 0xFFFFFF) | 0x5A000000u : 0x5A5A5A5Au;
      ASSERT_EQ(dst.Row(y)[x], expected) << x << "," << y;
    }
  }
}

TEST(WarpResample, UniformScaleShrinksAboutTheCentre) {
  // A horizontal and a vertical ramp halved in size: every output pixel reads
  // the source at twice its distance from the centre.
  FrameImage src(64, 64);
  for (int32_t y = 0; y < 64; ++y) {
    for (int32_t x = 0; x < 64; ++x) src.Row(y)[x] = PackBgrx(uint8_t(3 * x), uint8_t(3 * y), 0);
  }
  FrameImage dst(32, 32);
  ASSERT_TRUE(WarpResample(ConstPixels{src.pixels.data(), 64, 64},
                           Pixels{dst.pixels.data(), 32, 32}, WarpMode::UniformScale, 2.0f));
  for (int32_t y = 0; y < 32; ++y) {
    for (int32_t x = 0; x < 32; ++x) {
      const double fx = (x - 15.5) * 2 + 31.5;
      const double fy = (y - 15.5) * 2 + 31.5;
      if (fx < 1.5 || fy < 1.5 || fx > 60.5 || fy > 60.5) {
        ASSERT_EQ(dst.Row(y)[x], 0u) << "window leaves the source: unchanged";
        continue;
      }
      ASSERT_NEAR(BlueOf(dst.Row(y)[x]), 3 * fx, 0.5) << x << "," << y;
      ASSERT_NEAR(GreenOf(dst.Row(y)[x]), 3 * fy, 0.5) << x << "," << y;
    }
  }
  EXPECT_FALSE(WarpResample(ConstPixels{src.pixels.data(), 64, 64},
                            Pixels{dst.pixels.data(), 32, 32}, WarpMode::Polar, 1.0f));
  EXPECT_FALSE(
      WarpResample(ConstPixels{}, Pixels{dst.pixels.data(), 32, 32}, WarpMode::UniformScale, 1.0f));
}

TEST(WarpResample, VectorKernelMatchesTheScalarReference) {
  const FrameImage src = test::RandomFrame(53, 41, 8);
  std::mt19937 random(4);
  std::uniform_real_distribution<float> spread(-32.0f, 32.0f);
  const int32_t w = 45;
  const int32_t h = 17;
  std::vector<float> su(w * h), sv(w * h);
  for (size_t i = 0; i < su.size(); ++i) {
    su[i] = spread(random);
    sv[i] = spread(random);
  }
  // Exact halves and integers too, where rounding to even matters.
  for (size_t i = 0; i < 40; ++i) {
    su[i] = float(int(i) - 20) * 0.5f;
    sv[i] = float(int(i % 7) - 3) * 0.5f;
  }
  FrameImage a(w, h), b(w, h);
  for (size_t i = 0; i < a.pixels.size(); ++i)
    a.pixels[i] = b.pixels[i] = uint32_t(i * 2654435761u);
  for (const SkippedPixels skipped : {SkippedPixels::Keep, SkippedPixels::Clear}) {
    ResampleCached(ConstPixels{src.pixels.data(), 53, 41}, Pixels{a.pixels.data(), w, h}, su.data(),
                   sv.data(), skipped);
    ResampleCachedScalar(ConstPixels{src.pixels.data(), 53, 41}, Pixels{b.pixels.data(), w, h},
                         su.data(), sv.data(), skipped);
    EXPECT_EQ(a.pixels, b.pixels) << (skipped == SkippedPixels::Clear ? "clear" : "keep");
  }

  // The scaling modes run through the same kernel, in stretches of a row.
  const FrameImage big = test::RandomFrame(611, 37, 9);
  for (const WarpMode mode : {WarpMode::HorizontalScale, WarpMode::UniformScale}) {
    for (const float factor : {0.7501f, 1.0f / 1.333f, 1.9f, 0.37f}) {
      FrameImage x(603, 29), y(603, 29);
      for (size_t i = 0; i < x.pixels.size(); ++i) x.pixels[i] = y.pixels[i] = uint32_t(i * 40503u);
      ASSERT_TRUE(WarpResample(ConstPixels{big.pixels.data(), 611, 37},
                               Pixels{x.pixels.data(), 603, 29}, mode, factor));
      ASSERT_TRUE(WarpResampleScalar(ConstPixels{big.pixels.data(), 611, 37},
                                     Pixels{y.pixels.data(), 603, 29}, mode, factor));
      EXPECT_EQ(x.pixels, y.pixels) << int(mode) << " " << factor;
    }
  }
}

}  // namespace
}  // namespace corvinex
