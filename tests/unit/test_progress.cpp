#include <gtest/gtest.h>

#include "convert/progress.h"

namespace corvinex {
namespace {

TEST(Progress, TimeTextPadsEachFieldToTwoDigits) {
  EXPECT_EQ(TimeText(3725), "01:02:05");
  EXPECT_EQ(TimeText(0), "00:00:00");
  EXPECT_EQ(TimeText(59), "00:00:59");
  EXPECT_EQ(TimeText(360000), "100:00:00");
}

TEST(Progress, EstimateProjectsTheWholeRunEveryThirtyFrames) {
  ProgressState p;
  p.frameCount = 300;
  double now = 5000.0;  // any monotonic origin
  ProgressStart(p, now);
  EXPECT_EQ(p.label.text, "     RECORD");
  EXPECT_EQ(p.label.textRgb, kRgbGrey);
  EXPECT_EQ(p.label.backRgb, kRgbRed);
  for (int frame = 1; frame <= 29; ++frame) {
    now += 0.1;  // ten frames a second
    ProgressFrame(p, now, true);
  }
  EXPECT_EQ(p.estimateText, "00.00.00");
  EXPECT_EQ(p.passedText, "00.00.00");
  now += 0.1;
  ProgressFrame(p, now, true);
  EXPECT_EQ(p.estimateText, "00:00:30");  // round(0.0333 x 3 s x 300)
  EXPECT_EQ(p.passedText, "00:00:03");
  EXPECT_EQ(p.framesDone.load(), 30);
  for (int frame = 0; frame < 30; ++frame) {
    now += 0.1;
    ProgressFrame(p, now, false);
  }
  EXPECT_EQ(p.estimateText, "00:00:30");
  EXPECT_EQ(p.passedText, "00:00:06");
  EXPECT_EQ(p.framesDone.load(), 30);  // the decoder route counts by its own index
}

TEST(Progress, TickBlinksTheLabelAndMovesTheBar) {
  ProgressState p;
  p.frameCount = 200;
  ProgressStart(p, 0);
  ProgressTick(p, 51, 50);
  EXPECT_EQ(p.label.textRgb, kRgbRed);
  EXPECT_EQ(p.label.backRgb, kRgbGrey);
  EXPECT_EQ(p.frameLabel, "51");
  EXPECT_EQ(p.barWidth, 150);  // round(598 x 50 / 200)
  ProgressTick(p, 52, 400);
  EXPECT_EQ(p.label.textRgb, kRgbWhite);
  EXPECT_EQ(p.label.backRgb, kRgbRed);
  EXPECT_EQ(p.barWidth, 598);
  ProgressEnd(p);
  EXPECT_EQ(p.label, OperationLabel{});
}

TEST(Progress, OverlayLinesNameTheRunsOptions) {
  ProgressState p;
  const auto lines = ProgressOverlayLines(p, {.lensName = "Vistrel Lens",
                                              .resizeStep = 3,
                                              .transformMode = 2,
                                              .stereoOn = true,
                                              .stereoType = 1});
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].text, " Estimated processing time = 00.00.00 ");
  EXPECT_EQ(lines[1].text, " Time passed = 00.00.00 ");
  EXPECT_EQ(lines[2].text, " Lens uses = Vistrel Lens");
  EXPECT_EQ(lines[3].text, " Resize Mode = 70% ");
  EXPECT_EQ(lines[3].y, 70);
  EXPECT_EQ(lines[4].text, " Transform mode = FFMpeg Internal ");
  EXPECT_EQ(lines[5].text, " 3DP Stereo Mode = Static ");
  EXPECT_GT(lines[5].y, lines[4].y);  // both stay readable

  const auto plain = ProgressOverlayLines(p, {.lensName = "x", .transformMode = 1});
  EXPECT_EQ(plain.size(), 4u);
}

}  // namespace
}  // namespace corvinex
