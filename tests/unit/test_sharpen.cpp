// SharpenPanorama: weights, radius blend, rows left alone, and the vector kernel.
#include <gtest/gtest.h>

#include "settings/app_settings.h"
#include "support/pixel_images.h"
#include "transform/sharpen.h"

namespace corvinex {
namespace {

using test::Gray;

SharpenOptions On(int amount, int radius) {
  return {true, amount, radius};
}

// W x (H + 1) buffers as the pipeline has them, flat 100 with one pixel of 200.
struct Spot {
  static constexpr int W = 9, H = 6;
  FrameImage P1 = test::GrayImage(W, H + 1, 100);
  FrameImage P2 = FrameImage(W, H + 1);
  Spot(int row, int col) { P1.Row(row)[col] = Gray(200); }
  void Sharpen(const SharpenOptions& o, bool reference = false) {
    if (reference) {
      SharpenPanoramaReference(W, H, P1, P2, o);
    } else {
      SharpenPanorama(W, H, P1, P2, o);
    }
  }
};

TEST(Sharpen, WeightsFollowAmountAndRadius) {
  const int expected[][3] = {{1, 1, 5},  {2, 2, 9}, {3, 3, 13}, {4, 4, 17},
                             {5, 5, 21}, {6, 1, 5}, {-2, 1, 5}};
  for (const auto& e : expected) {
    const SharpenWeights w = SharpenWeightsFor(On(e[0], 0));
    EXPECT_EQ(w.neighbour, e[1]) << e[0];
    EXPECT_EQ(w.centre, e[2]) << e[0];
  }
  const int shifts[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {-1, 3}};
  for (const auto& s : shifts) EXPECT_EQ(SharpenWeightsFor(On(1, s[0])).shift, s[1]) << s[0];

  AppSettings settings;
  settings.SHARPEN_CH = 1;
  settings.SHARPEN = 0;
  EXPECT_FALSE(SharpenOptionsFrom(settings).on) << "amount 0 switches sharpening off";
  settings.SHARPEN = 3;
  EXPECT_TRUE(SharpenOptionsFrom(settings).on);
}

TEST(Sharpen, BrightSpotWorkedValuesForEachRadius) {
  // 5 x 200 - 4 x 100 = 600 clamps to 255; a neighbour gives 500 - 500 = 0.
  const std::pair<int, int> centreAndNeighbour[] = {{255, 0}, {227, 50}, {213, 75}, {206, 87}};
  for (int radius = 0; radius < 4; ++radius) {
    for (bool reference : {false, true}) {
      Spot s(3, 4);
      s.Sharpen(On(1, radius), reference);
      const auto [centre, neighbour] = centreAndNeighbour[radius];
      EXPECT_EQ(s.P1.Row(3)[4], Gray(static_cast<uint8_t>(centre))) << radius;
      // Each neighbour sees the unsharpened centre, not the new 255.
      for (uint32_t p : {s.P1.Row(3)[3], s.P1.Row(3)[5], s.P1.Row(2)[4], s.P1.Row(4)[4]}) {
        EXPECT_EQ(p, Gray(static_cast<uint8_t>(neighbour))) << radius;
      }
      EXPECT_EQ(s.P1.Row(3)[2], Gray(100)) << "flat areas stay unchanged";
    }
  }
}

TEST(Sharpen, NeighboursWrapAcrossRowEndsAndBorderRowsStay) {
  Spot s(2, Spot::W - 1);  // last pixel of buffer row 2
  s.Sharpen(On(1, 0));
  EXPECT_EQ(s.P1.Row(3)[0], Gray(0)) << "the first pixel of the next row is its right neighbour";
  EXPECT_EQ(s.P1.Row(2)[0], Gray(100)) << "no wrap within the same row";

  Spot edge(0, 4);
  edge.P1.Row(Spot::H - 1)[2] = Gray(10);
  edge.Sharpen(On(5, 0));
  EXPECT_EQ(edge.P1.Row(0)[4], Gray(200));
  EXPECT_EQ(edge.P1.Row(Spot::H - 1)[2], Gray(10));
  EXPECT_EQ(edge.P1.Row(1)[4], Gray(0)) << "row 1 sees the border row as its lower neighbour";
  EXPECT_EQ(edge.P1.Row(Spot::H - 2)[2], Gray(255));
}

TEST(Sharpen, OffOrTooSmallLeavesThePanoramaAlone) {
  Spot s(3, 3);
  const FrameImage before = s.P1;
  s.Sharpen({false, 1, 0});
  s.Sharpen({true, 0, 0});
  EXPECT_EQ(s.P1.pixels, before.pixels);
  FrameImage tiny = test::RandomImage(4, 3, 2);
  FrameImage scratch(4, 3);
  const FrameImage tinyBefore = tiny;
  SharpenPanorama(4, 2, tiny, scratch, On(1, 0));
  SharpenPanorama(4, 5, tiny, scratch, On(1, 0));  // buffers shorter than W x H
  EXPECT_EQ(tiny.pixels, tinyBefore.pixels);
}

TEST(Sharpen, VectorKernelMatchesScalarReference) {
  for (int W : {1, 2, 3, 5, 8, 31, 256}) {
    for (int H : {3, 4, 7}) {
      for (int amount = 1; amount <= 6; ++amount) {
        for (int radius = 0; radius <= 4; ++radius) {
          FrameImage fast = test::RandomImage(W, H + 1, static_cast<uint32_t>(W * H + amount));
          FrameImage ref = fast;
          FrameImage scratchFast(W, H + 1);
          FrameImage scratchRef(W, H + 1);
          SharpenPanorama(W, H, fast, scratchFast, On(amount, radius));
          SharpenPanoramaReference(W, H, ref, scratchRef, On(amount, radius));
          ASSERT_EQ(fast.pixels, ref.pixels) << W << "x" << H << " a" << amount << " r" << radius;
        }
      }
    }
  }
}

}  // namespace
}  // namespace corvinex
