#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "transform/view_projection.h"

namespace corvinex {
namespace {

constexpr ViewerSize kFullView{640, 388};

TEST(ViewerLimits, ViewSizeFollowsThePanoramaHeight) {
  EXPECT_EQ(ViewerSizeFor(500).width, 640);
  EXPECT_EQ(ViewerSizeFor(388).height, 388);
  const ViewerSize low = ViewerSizeFor(200);
  EXPECT_EQ(low.height, 200);
  EXPECT_EQ(low.width, 352);  // 4 x integer part of (round(355.4) / 4)
}

TEST(ViewerLimits, A2000By500PanoramaFitsItsFieldOfView) {
  ViewProjection p;
  ViewerState s;
  s.yaw = 33;
  s.pitch = 12;
  ASSERT_TRUE(OpenViewProjection(2000, 500, p, s));
  EXPECT_FLOAT_EQ(s.pitchMax, 45);
  EXPECT_FLOAT_EQ(s.pitchMin, -45);
  EXPECT_NEAR(s.maxFov, 120 / std::pow(1.01, 3), 1e-3);  // divided three times
  EXPECT_NEAR(s.maxFov, 116.47, 0.01);
  EXPECT_FLOAT_EQ(s.fov, s.maxFov);
  EXPECT_NEAR(HalfVerticalFov(s.fov, kFullView), 44.4, 0.05);
  EXPECT_FLOAT_EQ(s.minFov, 24);
  EXPECT_FLOAT_EQ(s.yaw, -90);
  EXPECT_FLOAT_EQ(s.pitch, 0);
}

TEST(ViewerLimits, ATallPanoramaKeepsTheQuarterTurnLimits) {
  ViewerState s;
  ApplyViewLimits(2000, 1200, kFullView, s);
  EXPECT_FLOAT_EQ(s.pitchMax, 90);
  EXPECT_FLOAT_EQ(s.pitchMin, -90);
  EXPECT_NEAR(s.maxFov, 120 / 1.01, 1e-3);  // the field is always narrowed once
}

TEST(ViewerTables, EndsAndQuarterTurns) {
  ViewTables t;
  BuildViewTables(2000, t);
  EXPECT_EQ(t.quarter, 128000);
  EXPECT_NEAR(t.atan[4096], t.quarter, 1);
  EXPECT_EQ(t.sqrt[4096], 5793);
  EXPECT_EQ(t.sqrt[0], 4096);
  EXPECT_EQ(t.product[255 * 256 + 255], 255 * 255);
  for (size_t i = 1; i < t.atan.size(); ++i) ASSERT_LE(t.atan[i - 1], t.atan[i]) << i;
  // Entry 2047 is t = 0.5: atan(1) = an eighth of the turn.
  EXPECT_NEAR(t.atan[2047], 64000, 2);
}

TEST(ViewerTables, FixedAtan2FollowsTheAngleInEveryQuadrant) {
  ViewTables t;
  BuildViewTables(2000, t);
  const double unitsPerRadian = 2000 / (2 * std::numbers::pi) * 256;
  const int32_t q = t.quarter;
  EXPECT_EQ(FixedAtan2(t, 0, 5), q);
  EXPECT_EQ(FixedAtan2(t, 0, -5), -q);
  EXPECT_EQ(FixedAtan2(t, 0, 0), -q);
  for (int32_t a : {-90000, -700, -3, 1, 40, 120000}) {
    for (int32_t b : {-100000, -9, 0, 7, 350, 99000}) {
      const double expected = std::atan2(static_cast<double>(b), a) * unitsPerRadian;
      // One table step is at most about 0.05 degree here.
      EXPECT_NEAR(FixedAtan2(t, a, b), expected, 180) << a << ", " << b;
    }
  }
}

TEST(ViewerMotion, DragTurnsFiveDegreesPerFrameAndWraps) {
  ViewerState s;
  ApplyViewLimits(2000, 500, kFullView, s);
  s.originX = 200;
  s.originY = 50;
  s.mouseX = 300;  // 100 pixels right of the press point
  s.mouseY = 50;
  s.dragging = true;
  UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.yaw, -85, 1e-4);
  s.yaw = 178;
  UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.yaw, -177, 1e-4);
  s.mouseX = 100;
  s.yaw = -178;
  UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.yaw, 177, 1e-4);
  // Without a drag nothing turns.
  s.dragging = false;
  UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.yaw, 177, 1e-4);
}

TEST(ViewerMotion, PitchStaysInsideTheLimitsLessTheHalfField) {
  ViewerState s;
  ApplyViewLimits(2000, 500, kFullView, s);
  s.mouseY = 1000;  // far below the origin: turns up fast
  s.dragging = true;
  for (int i = 0; i < 20; ++i) UpdateMotion(s, kFullView);
  const float h = HalfVerticalFov(s.fov, kFullView);
  EXPECT_NEAR(s.pitch, 45 - h, 1e-4);
  s.mouseY = -1000;
  for (int i = 0; i < 20; ++i) UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.pitch, -45 + h, 1e-4);

  // With the quarter-turn limits the pitch stops at 90 itself.
  ApplyViewLimits(2000, 1200, kFullView, s);
  s.mouseY = 1000;
  s.originY = 0;
  s.dragging = true;
  for (int i = 0; i < 20; ++i) UpdateMotion(s, kFullView);
  EXPECT_FLOAT_EQ(s.pitch, 90);
}

TEST(ViewerMotion, ZoomRunsToItsLimitsAndStops) {
  ViewerState s;
  ApplyViewLimits(2000, 500, kFullView, s);
  PressViewKey(s, ViewKey::ZoomIn);
  EXPECT_TRUE(s.zoomIn);
  UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.fov, s.maxFov / 1.002f, 1e-3);
  for (int i = 0; i < 2000; ++i) UpdateMotion(s, kFullView);
  EXPECT_FLOAT_EQ(s.fov, 24);
  // Zooming out clears zooming in and stops at the fitted maximum.
  PressViewKey(s, ViewKey::ZoomOut);
  EXPECT_FALSE(s.zoomIn);
  for (int i = 0; i < 2000; ++i) UpdateMotion(s, kFullView);
  EXPECT_FLOAT_EQ(s.fov, s.maxFov);
  // The same key again ends the zoom; so does stop.
  PressViewKey(s, ViewKey::ZoomIn);
  PressViewKey(s, ViewKey::ZoomIn);
  EXPECT_FALSE(s.zoomIn);
  PressViewKey(s, ViewKey::ZoomIn);
  const float before = s.fov;
  StopMotion(s);
  UpdateMotion(s, kFullView);
  EXPECT_FLOAT_EQ(s.fov, before);
}

TEST(ViewerMotion, ArrowKeysTurnContinuously) {
  ViewerState s;
  ApplyViewLimits(2000, 500, kFullView, s);
  PressViewKey(s, ViewKey::Left);
  for (int i = 0; i < 10; ++i) UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.yaw, -91.5, 1e-3);  // 0.15 degree per frame
  PressViewKey(s, ViewKey::Right);
  for (int i = 0; i < 10; ++i) UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.yaw, -90, 1e-3);
  PressViewKey(s, ViewKey::Down);
  UpdateMotion(s, kFullView);
  EXPECT_NEAR(s.pitch, 0.15, 1e-4);
}

FrameImage GradientPanorama(int32_t pw, int32_t ph) {
  FrameImage pano(pw, ph);
  for (int32_t y = 0; y < ph; ++y) {
    for (int32_t x = 0; x < pw; ++x) {
      pano.Row(y)[x] = PackBgrx(static_cast<uint8_t>(x * 255 / (pw - 1)),
                                static_cast<uint8_t>(y * 255 / (ph - 1)), 0);
    }
  }
  return pano;
}

TEST(ViewerRender, TheViewCentreLooksAlongTheYaw) {
  const FrameImage pano = GradientPanorama(2000, 500);
  ViewProjection p;
  ViewerState s;
  ASSERT_TRUE(OpenViewProjection(2000, 500, p, s));
  FrameImage view(p.size.width, p.size.height);
  const int32_t cx = (p.size.width - 1) / 2;
  const int32_t cy = p.size.height / 2;
  // The blend's weights sum to 255 of 256, so values come out a little darker.
  RenderView(p, s, pano.pixels.data(), view);
  EXPECT_NEAR(BlueOf(view.Row(cy)[cx]), 63, 3);  // yaw -90: column pw / 4
  EXPECT_NEAR(GreenOf(view.Row(cy)[cx]), 127, 3);
  s.yaw = 0;
  RenderView(p, s, pano.pixels.data(), view);
  EXPECT_NEAR(BlueOf(view.Row(cy)[cx]), 127, 3);
  s.yaw = 90;
  RenderView(p, s, pano.pixels.data(), view);
  EXPECT_NEAR(BlueOf(view.Row(cy)[cx]), 191, 3);
  // Looking up moves the centre towards the panorama's top rows.
  s.pitch = 20;
  RenderView(p, s, pano.pixels.data(), view);
  EXPECT_GT(std::abs(GreenOf(view.Row(cy)[cx]) - 127), 20);
}

TEST(ViewerRender, PixelsOutsideThePanoramaKeepTheirValue) {
  const FrameImage pano = GradientPanorama(2000, 500);
  ViewProjection p;
  ViewerState s;
  ASSERT_TRUE(OpenViewProjection(2000, 500, p, s));
  s.pitch = 80;  // beyond the limits: part of the view is above the panorama
  const uint32_t marker = PackBgrx(1, 2, 3);
  FrameImage view(p.size.width, p.size.height);
  std::fill(view.pixels.begin(), view.pixels.end(), marker);
  RenderView(p, s, pano.pixels.data(), view);
  const auto kept = std::count(view.pixels.begin(), view.pixels.end(), marker);
  EXPECT_GT(kept, 1000);
  EXPECT_LT(kept, static_cast<long>(view.PixelCount()) - 1000);
}

TEST(ViewerRender, OptimisedKernelMatchesTheScalarReference) {
  std::mt19937 random(7);
  for (const auto& [pw, ph] :
       {std::pair{2000, 500}, std::pair{1228, 386}, std::pair{3001, 900}, std::pair{600, 150}}) {
    FrameImage pano(pw, ph);
    for (auto& px : pano.pixels) px = random() & 0x00FFFFFFu;
    ViewProjection p;
    ViewerState s;
    ASSERT_TRUE(OpenViewProjection(pw, ph, p, s));
    std::uniform_real_distribution<float> yaw(-180, 180), pitch(-90, 90), fov(24, 120);
    for (int trial = 0; trial < 6; ++trial) {
      s.yaw = yaw(random);
      s.pitch = pitch(random);
      s.fov = trial == 0 ? 24 : trial == 1 ? s.maxFov : fov(random);
      FrameImage fast(p.size.width, p.size.height);
      FrameImage plain(p.size.width, p.size.height);
      RenderView(p, s, pano.pixels.data(), fast);
      RenderViewScalar(p, s, pano.pixels.data(), plain);
      ASSERT_EQ(fast.pixels, plain.pixels)
          << pw << "x" << ph << " yaw " << s.yaw << " pitch " << s.pitch << " fov " << s.fov;
    }
  }
}

TEST(ViewerRender, RefusesMismatchedBuffers) {
  ViewProjection p;
  ViewerState s;
  EXPECT_FALSE(OpenViewProjection(1, 500, p, s));
  ASSERT_TRUE(OpenViewProjection(2000, 500, p, s));
  const FrameImage pano = GradientPanorama(2000, 500);
  FrameImage wrong(320, 200);
  RenderView(p, s, pano.pixels.data(), wrong);
  RenderView(p, s, nullptr, wrong);
  EXPECT_TRUE(
      std::all_of(wrong.pixels.begin(), wrong.pixels.end(), [](uint32_t v) { return v == 0; }));
}

}  // namespace
}  // namespace corvinex
