#include <gtest/gtest.h>

#include <cstdint>

#include "transform/cut_area.h"
#include "transform/lens_profile.h"

namespace corvinex {
namespace {

CutAreaClick Click(RingGeometry& ring, int32_t id) {
  return ClickCutAreaButton(ring, id, /*movieOpen=*/true, /*adjustable=*/true, 1920, 1080);
}

TEST(CutAreaButtons, EachButtonChangesItsValues) {
  const RingGeometry start = ResetRing();
  struct Case {
    int32_t id;
    RingGeometry expected;
  } cases[] = {
      {kCutLeft, {149, 20, 316, 306, 32}},         {kCutRight, {151, 20, 316, 306, 32}},
      {kCutUp, {150, 19, 316, 306, 32}},           {kCutDown, {150, 21, 316, 306, 32}},
      {kCutGrowExternal, {149, 19, 318, 308, 32}}, {kCutShrinkExternal, {151, 21, 314, 304, 32}},
      {kCutGrowInternal, {150, 20, 316, 306, 33}}, {kCutShrinkInternal, {150, 20, 316, 306, 31}},
  };
  for (const Case& c : cases) {
    RingGeometry ring = start;
    EXPECT_EQ(Click(ring, c.id), CutAreaClick::Applied) << c.id;
    EXPECT_EQ(ring, c.expected) << c.id;
  }
}

TEST(CutAreaButtons, GrowingTenTimesKeepsTheCentre) {
  RingGeometry ring = ResetRing();
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Click(ring, kCutGrowExternal), CutAreaClick::Applied);
  EXPECT_EQ(ring, (RingGeometry{140, 10, 336, 326, 32}));
  EXPECT_EQ((2 * ring.X1 + ring.X2) / 2, 308);
  EXPECT_EQ((2 * ring.Y1 + ring.Y2) / 2, 173);
}

TEST(CutAreaButtons, ResetRestoresWhateverTheValuesWere) {
  RingGeometry ring{-40, 900, 3, 7000, -3};
  EXPECT_EQ(Click(ring, kCutReset), CutAreaClick::Applied);
  EXPECT_EQ(ring, (RingGeometry{150, 20, 316, 306, 32}));
}

TEST(CutAreaButtons, IgnoredWithoutMovieOrWhenNotAdjustable) {
  RingGeometry ring = ResetRing();
  EXPECT_EQ(ClickCutAreaButton(ring, kCutLeft, false, true, 1920, 1080), CutAreaClick::Ignored);
  EXPECT_EQ(ClickCutAreaButton(ring, kCutReset, true, false, 1920, 1080), CutAreaClick::Ignored);
  EXPECT_EQ(ClickCutAreaButton(ring, 3905, true, true, 1920, 1080), CutAreaClick::Ignored);
  EXPECT_EQ(ring, ResetRing());
}

TEST(CutAreaButtons, SquareMayLeaveTheFrame) {
  RingGeometry ring{0, 0, 316, 306, 32};
  EXPECT_EQ(Click(ring, kCutLeft), CutAreaClick::Applied);
  EXPECT_EQ(Click(ring, kCutUp), CutAreaClick::Applied);
  EXPECT_EQ(ring.X1, -1);
  EXPECT_EQ(ring.Y1, -1);
}

TEST(CutAreaButtons, ClicksThatWouldBreakTheGeometryAreRefused) {
  // Internal circle: never negative.
  RingGeometry ring{150, 20, 316, 306, 0};
  EXPECT_EQ(Click(ring, kCutShrinkInternal), CutAreaClick::Refused);
  EXPECT_EQ(ring.RSIZE, 0);
  // Internal circle: must stay inside the external one (H 488 rows on 1920 x 1080).
  ring.RSIZE = 150;                                                 // cutRows 480 of 488
  EXPECT_EQ(Click(ring, kCutGrowInternal), CutAreaClick::Applied);  // 483 -> 482
  int clicks = 0;
  while (Click(ring, kCutGrowInternal) == CutAreaClick::Applied) ++clicks;
  EXPECT_LT(clicks, 5);
  EXPECT_EQ(CutAreaViolations(ring, 1920, 1080), kLimitNone);
  EXPECT_EQ(ComputeUnwrapGeometry(1920, 1080, ring, 0).cutRows, 486);
  // External circle: shrinking stops before the crop falls below 4 pixels.
  ring = RingGeometry{150, 20, 10, 10, 0};
  while (Click(ring, kCutShrinkExternal) == CutAreaClick::Applied) {
  }
  const UnwrapGeometry g = ComputeUnwrapGeometry(1920, 1080, ring, 0);
  EXPECT_GE(g.cropH, kMinCropSide);
  EXPECT_EQ(g.limits, kLimitNone);
  EXPECT_EQ(ring.Y2, 2);  // sy 3.195: 2 units are 6 pixels, 0 units would be 0
}

TEST(CutAreaButtons, ValuesOutsideTheLimitsCanBeMovedBack) {
  // As a settings file may leave them: negative internal radius, tiny square.
  RingGeometry ring{150, 20, 316, 306, -5};
  EXPECT_EQ(Click(ring, kCutGrowInternal), CutAreaClick::Applied);
  EXPECT_EQ(ring.RSIZE, -4);
  EXPECT_EQ(Click(ring, kCutLeft), CutAreaClick::Applied);  // unrelated moves still work
  ring = RingGeometry{150, 20, 0, 0, 0};
  EXPECT_EQ(Click(ring, kCutGrowExternal), CutAreaClick::Applied);
  EXPECT_EQ(ring.Y2, 2);
}

TEST(CutAreaButtons, ExtremeValuesStopAtTheEndsOfTheRange) {
  RingGeometry ring{INT32_MAX, INT32_MIN, INT32_MAX, 306, INT32_MIN};
  EXPECT_EQ(ApplyCutAreaButton(ring, kCutRight).X1, INT32_MAX);
  EXPECT_EQ(ApplyCutAreaButton(ring, kCutUp).Y1, INT32_MIN);
  EXPECT_EQ(ApplyCutAreaButton(ring, kCutGrowExternal).X2, INT32_MAX);
  EXPECT_EQ(ApplyCutAreaButton(ring, kCutShrinkInternal).RSIZE, INT32_MIN);
  EXPECT_EQ(RefreshCutAreaLabels(RingGeometry{INT32_MIN, 0, INT32_MAX, 0, 0})[2].text,
            "4294967295");
}

TEST(CutAreaLabels, SixTextsFromTheValues) {
  const auto labels = RefreshCutAreaLabels(RingGeometry{-8, 20, 316, 306, 32});
  const std::pair<int32_t, const char*> expected[] = {{300, "-8"},  {301, "20"},  {302, "324"},
                                                      {310, "316"}, {311, "306"}, {322, "32"}};
  ASSERT_EQ(labels.size(), 6u);
  for (size_t i = 0; i < labels.size(); ++i) {
    EXPECT_EQ(labels[i].control, expected[i].first);
    EXPECT_EQ(labels[i].text, expected[i].second);
  }
}

TEST(CutAreaButtons, TableHoldsTheNineButtons) {
  ASSERT_EQ(kCutAreaButtons.size(), 9u);
  EXPECT_STREQ(kCutAreaButtons[4].bitmap, "stop");
  EXPECT_STREQ(kCutAreaButtons[4].tooltip, " Reset ");
  EXPECT_STREQ(kCutAreaButtons[5].tooltip, " Increase the size of External circle ");
  for (const CutAreaButton& b : kCutAreaButtons) EXPECT_TRUE(IsCutAreaButton(b.id));
}

TEST(LensProfiles, SelectSetsCoefficientCheckAndName) {
  float hsize = 0.0f;
  LensMenuState menu;
  ShowLens(hsize, menu);
  EXPECT_EQ(menu.checked, (std::array<bool, 5>{true, false, false, false, false}));
  EXPECT_EQ(menu.lensName, "Vistrel Lens ");
  ASSERT_TRUE(SelectLens(802, hsize, menu));
  EXPECT_EQ(hsize, 0.0352f);
  EXPECT_EQ(menu.checked, (std::array<bool, 5>{false, true, false, false, false}));
  EXPECT_EQ(menu.lensName, "Vistrel II Lens ");
  ASSERT_TRUE(SelectLens(805, hsize, menu));
  EXPECT_EQ(hsize, 0.0502f);
  EXPECT_EQ(menu.lensName, "Kestrone Lens ");
  EXPECT_FALSE(SelectLens(806, hsize, menu));
  EXPECT_EQ(hsize, 0.0502f);
}

TEST(LensProfiles, UnmatchedCoefficientChecksNothingAndKeepsTheName) {
  LensMenuState menu;
  float hsize = 0.0251f;
  ShowLens(hsize, menu);
  EXPECT_EQ(menu.lensName, "Ovalto Lens ");
  // Near but not equal as 32-bit floats: no row matches.
  ShowLens(0.0251001f, menu);
  EXPECT_EQ(menu.checked, (std::array<bool, 5>{}));
  EXPECT_EQ(menu.lensName, "Ovalto Lens ");
}

}  // namespace
}  // namespace corvinex
