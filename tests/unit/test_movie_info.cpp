// Movie properties as the window and the log show them.

#include <gtest/gtest.h>

#include "media/movie_info.h"

namespace corvinex {
namespace {

TEST(DurationText, FormatsHoursMinutesSecondsAndRoundedMilliseconds) {
  EXPECT_EQ(DurationText(3600), "01:00:00.000");
  EXPECT_EQ(DurationText(61.5), "00:01:01.500");
  EXPECT_EQ(DurationText(0), "00:00:00.000");
  EXPECT_EQ(DurationText(0.48), "00:00:00.480");
  // A rounded 1000 ms carries into the seconds, and on into minutes and hours.
  EXPECT_EQ(DurationText(0.9996), "00:00:01.000");
  EXPECT_EQ(DurationText(59.9996), "00:01:00.000");
  EXPECT_EQ(DurationText(3599.9999), "01:00:00.000");
  EXPECT_EQ(DurationText(100 * 3600 + 1.25), "100:00:01.250");
  EXPECT_EQ(DurationText(-1), "00:00:00.000");
}

TEST(ProbeFrameRate, ReadsTheNumberAfterTheFirstFpsComma) {
  const char* line =
      "Stream #0:0: Video: h264 (High), yuv420p, 638x360, 29.97 fps, 29.97 tbr, 30k tbn";
  EXPECT_DOUBLE_EQ(FrameRateFromProbeText(line), 29.97);
  EXPECT_EQ(TimePerFrameFrom(line, 1), 333667);
  EXPECT_DOUBLE_EQ(FrameRateFromProbeText("Video: mpeg4, 25 fps, 25 tbr"), 25);
  // No "tbr" after it: the text runs to the end.
  EXPECT_DOUBLE_EQ(FrameRateFromProbeText("Video: x, 12.5 fps,  24"), 24);
  // No rate: the stream's own average frame duration.
  EXPECT_EQ(TimePerFrameFrom("Video: h264, 25 tbr", 400000), 400000);
  EXPECT_EQ(TimePerFrameFrom("", 417083), 417083);
  EXPECT_EQ(TimePerFrameFrom("Video: x, 25 fps, tbr", 400000), 400000);
  EXPECT_EQ(TimePerFrameFrom("Video: x, 25 fps, garbage tbr", 123), 123);
}

TEST(FrameCount, IsTheWholeFramesInTheDuration) {
  EXPECT_EQ(FrameCountFrom(4'800'000, 400'000), 12);
  EXPECT_EQ(FrameCountFrom(4'999'999, 400'000), 12);
  // 30 frames at 30000/1001 last 10,010,000 units; the rounded time per frame
  // (333,667) times 30 is 10 units longer, still 30 frames.
  EXPECT_EQ(FrameCountFrom(10'010'000, 333'667), 30);
  EXPECT_EQ(FrameCountFrom(3'600'000'000, 333'667), 10789);
  EXPECT_EQ(FrameCountFrom(10'000'000, 0), 0);
  EXPECT_EQ(FrameCountFrom(0, 400'000), 0);
}

TEST(MovieLabels, ShowTheMovieAsTheWindowDoes) {
  MovieInfo info;
  info.width = 638;
  info.height = 360;
  info.timePerFrame = 333667;
  info.frameCount = 30;
  EXPECT_EQ(FrameSizeLabel(info), "638x360");
  EXPECT_EQ(FrameRateLabel(info), "29.97 fps");
  EXPECT_EQ(FrameCountLabel(info), "30");
  EXPECT_EQ(FrameRateText(400000), "25.00");
  EXPECT_EQ(FrameRateText(2'000'000), "05.00");
  EXPECT_EQ(FrameRateText(0), "00.00");
  EXPECT_EQ(VideoFileLabel("  /m/a b.mp4 "), " /m/a b.mp4 ");
  EXPECT_EQ(TrimPathText(std::string(" x\0", 3)), "x");
  EXPECT_EQ(LogNumber(0.04), "0.04");
  EXPECT_EQ(LogNumber(333667 / 1e7), "0.0333667");
  EXPECT_EQ(LogNumber(12), "12");
}

}  // namespace
}  // namespace corvinex
