// RenderStereo: second view, depth displacement, anaglyph merge and the pair.
#include <gtest/gtest.h>

#include "settings/app_settings.h"
#include "support/pixel_images.h"
#include "transform/stereo.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

struct Stereo {
  int W, H;
  size_t n;
  UnwrapBuffers b;
  Stereo(int w, int h) : W(w), H(h), n(static_cast<size_t>(w) * h) {
    for (FrameImage* img : {&b.P1, &b.P2, &b.previous, &b.currentCopy, &b.stereoA, &b.stereoB}) {
      img->Reset(W, H + 1);
    }
  }
  // Panorama pixels coded by position in blue and green (red 0), so every move shows.
  void FillCoded() {
    for (size_t i = 0; i < n; ++i) {
      b.P1.pixels[i] = PackBgrx(static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 7);
    }
  }
};

StereoOptions Options(StereoType type, bool depthOn, int depth, int glasses, bool pair) {
  return {true, type, depthOn, depth, glasses, pair};
}

TEST(Stereo, RedPixelMovesViewOneForwardByRedOverDepth) {
  for (auto [depth, shift] : {std::pair{20, 13}, {90, 3}, {50, 5}}) {
    Stereo s(40, 5);
    s.FillCoded();
    s.b.P1.pixels[60] = PackBgrx(0, 0, 255, 0);
    const FrameImage A = s.b.P1;
    ASSERT_TRUE(RenderStereo(s.W, s.H, s.b, Options(StereoType::Static, true, depth, 0, true)));
    EXPECT_EQ(s.b.P1.pixels[60], A.pixels[60 + shift]) << depth;
    EXPECT_EQ(s.b.P1.pixels[61], A.pixels[61]) << "red 0 does not move";
  }
}

TEST(Stereo, BlueOrGreenPixelMovesViewTwoBack) {
  for (uint32_t colour : {PackBgrx(255, 0, 0), PackBgrx(0, 255, 0)}) {
    Stereo s(40, 5);
    for (size_t i = 0; i < s.n; ++i) s.b.P1.pixels[i] = PackBgrx(0, 0, 0, static_cast<uint8_t>(i));
    s.b.P1.pixels[70] = colour;
    const FrameImage B = s.b.P1;  // static: the second view starts as the panorama
    RenderStereo(s.W, s.H, s.b, Options(StereoType::Static, true, 20, 0, true));
    EXPECT_EQ(s.b.P2.pixels[70], B.pixels[70 - 6]) << "127 x (1 / 20) = 6.35 rounds to 6";
    EXPECT_EQ(s.b.P1.pixels[70], colour) << "view one moves by red only";
  }
}

TEST(Stereo, ShiftsUseSinglePrecisionRoundedHalfToEven) {
  // red 10 at depth 20: 10 x 0.05f is 0.5 in single precision, which rounds to 0;
  // red 30: 1.5 rounds to 2.
  for (auto [red, shift] : {std::pair{10, 0}, {30, 2}, {50, 2}}) {
    Stereo s(40, 5);
    s.FillCoded();
    s.b.P1.pixels[50] = PackBgrx(0, 0, static_cast<uint8_t>(red));
    const FrameImage A = s.b.P1;
    RenderStereo(s.W, s.H, s.b, Options(StereoType::Static, true, 20, 0, true));
    EXPECT_EQ(s.b.P1.pixels[50], A.pixels[50 + shift]) << red;
  }
}

TEST(Stereo, DepthLeavesMarginsAndNeverReadsOutside) {
  Stereo s(20, 3);
  // White everywhere: both shifts are round(255 / 20) = 13; the fourth byte tells pixels apart.
  for (size_t i = 0; i < s.n; ++i)
    s.b.P1.pixels[i] = PackBgrx(255, 255, 255, static_cast<uint8_t>(i));
  const FrameImage A = s.b.P1;
  RenderStereo(s.W, s.H, s.b, Options(StereoType::Static, true, 20, 0, true));
  for (size_t i = 0; i < s.n; ++i) {
    const bool margin = i < kDepthMargin || i >= s.n - kDepthMargin;
    EXPECT_EQ(s.b.P1.pixels[i], margin ? A.pixels[i] : A.pixels[i + 13]) << i;
    EXPECT_EQ(s.b.P2.pixels[i], margin ? A.pixels[i] : A.pixels[i - 13]) << i;
  }
}

TEST(Stereo, StaticWithoutDepthAtGlassesZeroGivesThePanorama) {
  Stereo s(64, 8);
  s.b.P1 = test::RandomImage(64, 9, 4);
  const FrameImage before = s.b.P1;
  RenderStereo(s.W, s.H, s.b, Options(StereoType::Static, false, 30, 0, false));
  EXPECT_EQ(s.b.P1.pixels, before.pixels);
}

TEST(Stereo, GlassesShiftTakesRedFromTwiceTheValueAlong) {
  for (int glasses : {6, -10, 10, 3}) {
    Stereo s(64, 8);
    s.b.P1 = test::RandomImage(64, 9, 8);
    const FrameImage before = s.b.P1;
    RenderStereo(s.W, s.H, s.b, Options(StereoType::Static, false, 30, glasses, false));
    for (size_t j = 0; j < 24; ++j) ASSERT_EQ(s.b.P1.pixels[j], before.pixels[j]);
    for (size_t j = 24; j < s.n; ++j) {
      const uint32_t cyan = before.pixels[j] & 0xFFFF;
      const uint32_t red = before.pixels[j + 2 * glasses] & 0xFFFF0000;
      ASSERT_EQ(s.b.P1.pixels[j], cyan | red) << glasses << " " << j;
    }
  }
}

TEST(Stereo, DynamicTakesThePreviousFrameAsSecondView) {
  Stereo s(32, 6);
  s.b.P1 = test::RandomImage(32, 7, 1);
  const FrameImage first = s.b.P1;
  RenderStereo(s.W, s.H, s.b, Options(StereoType::Dynamic, false, 30, 6, false));
  for (size_t j = 0; j < s.n; ++j) {
    const uint32_t expected = j < 24 ? first.pixels[j] : (first.pixels[j] & 0xFFFF);
    ASSERT_EQ(s.b.P1.pixels[j], expected) << "first frame: no red from a black previous " << j;
  }
  s.b.previous = first;
  s.b.P1 = test::RandomImage(32, 7, 2);
  RenderStereo(s.W, s.H, s.b, Options(StereoType::Dynamic, false, 30, 0, true));
  EXPECT_EQ(s.b.P2.pixels, first.pixels) << "pair: the second view is the previous frame";
}

TEST(Stereo, NarrowPanoramaReadsPastTheEndAsBlack) {
  Stereo s(4, 8);  // 32 pixels: glasses 10 reads up to 20 beyond the last one
  for (uint32_t& p : s.b.P1.pixels) p = PackBgrx(1, 2, 3, 4);
  ASSERT_TRUE(RenderStereo(s.W, s.H, s.b, Options(StereoType::Static, true, 20, 10, false)));
  EXPECT_EQ(s.b.P1.pixels[31], PackBgrx(1, 2, 0, 0));
  EXPECT_EQ(s.b.P1.pixels[24], PackBgrx(1, 2, 0, 0)) << "position 44 lies past P2";
  EXPECT_EQ(s.b.P1.pixels[23], PackBgrx(1, 2, 3, 4));
}

TEST(Stereo, RefusesBuffersSmallerThanThePanorama) {
  Stereo s(16, 4);
  s.b.stereoB.Reset(16, 4);  // one row short
  EXPECT_FALSE(RenderStereo(s.W, s.H, s.b, Options(StereoType::Static, true, 20, 6, false)));
}

TEST(Stereo, OptionsComeFromSessionAndPairSetting) {
  AppSettings settings;
  SessionOptions session;
  session.STEREO_3DP = 1;
  session.STEREO_TYPE = 1;
  session.DEPTH_CH = 1;
  session.DEPTH = 45;
  session.GLASSES = -3;
  settings.STEREO_OUT_TYPE = 8;
  const StereoOptions o = StereoOptionsFrom(settings, session);
  EXPECT_TRUE(o.on && o.depthOn && o.pairOn);
  EXPECT_EQ(o.type, StereoType::Static);
  EXPECT_EQ(o.depth, 45);
  EXPECT_EQ(o.glasses, -3);
  settings.STEREO_OUT_TYPE = 1;
  EXPECT_FALSE(StereoOptionsFrom(settings, session).pairOn);
}

}  // namespace
}  // namespace corvinex
