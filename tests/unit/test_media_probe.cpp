#include <gtest/gtest.h>
#include <sys/stat.h>

#include "media/frame_source.h"
#include "media/media_probe.h"
#include "media/movie_info.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

using namespace std::chrono_literals;

TEST(MediaProbe, KeepsStreamAndDurationLinesLowerCased) {
  ProbeTexts t;
  ParseProbeReport("Movie One.MP4",
                   "ffmpeg version 5.1\n"
                   "Input #0, mov,mp4, from 'x':\n"
                   "  Duration: 00:00:10.00, start: 0.000000, bitrate: 900 kb/s\r\n"
                   "    Stream #0:0(und): Video: h264 (High), 1920x1080, 29.97 fps, 29.97 tbr\n"
                   "  Stream #0:1[0x2](eng): Audio: aac (LC), 48000 Hz, stereo, fltp:\n"
                   "  Stream #0:10: Data: none\n",
                   t);
  EXPECT_EQ(t.fileLine, " Video file: Movie One.MP4 ");
  EXPECT_EQ(t.videoLine, " 0(und): video: h264 (high), 1920x1080, 29.97 fps, 29.97 tbr ");
  EXPECT_EQ(t.soundLine, " 1[0x2](eng): audio: aac (lc), 48000 hz, stereo, fltp: ");
  EXPECT_EQ(t.probeText,
            " Video file: Movie One.MP4\r\n"
            "\r\nduration: 00:00:10.00, start: 0.000000, bitrate: 900 kb/s"
            "\r\nstream #0:0(und): video: h264 (high), 1920x1080, 29.97 fps, 29.97 tbr"
            "\r\nstream #0:1[0x2](eng): audio: aac (lc), 48000 hz, stereo, fltp");
  // A repeated stream line (one per program) replaces the kept one.
  ParseProbeReport("m", "Stream #0:0: Video: a\nProgram 1\n  Stream #0:0: Video: b\n", t);
  EXPECT_EQ(t.videoLine, " 0: video: b ");
}

TEST(MediaProbe, LongDescriptionsAreCutTo120Characters) {
  ProbeTexts t;
  ParseProbeReport("m", "Stream #0:0: Video: " + std::string(300, 'x') + "\n", t);
  EXPECT_EQ(t.videoLine.size(), 120u);
  EXPECT_EQ(t.videoLine.rfind(" 0: video: xxx", 0), 0u);
  EXPECT_TRUE(t.soundLine.empty());
}

class ProbeToolTest : public ::testing::Test {
 protected:
  std::filesystem::path Tool(const std::string& body) {
    auto tool = dir / "fake tool";
    test::WriteFileBytes(tool, "#!/bin/sh\n" + body + "\n");
    chmod(tool.c_str(), 0755);
    return tool;
  }
  test::TempDir dir{"probe $x; \"q\""};
};

TEST_F(ProbeToolTest, MoviePathReachesTheToolAsOneArgumentAndTheReportIsRemoved) {
  auto movie = dir / "-My $HOME; \"Movie\" Żółw.avi";
  test::WriteFileBytes(movie, "x");
  auto tool = Tool("printf '  Stream #0:0: Video: [%s] [%s] [%s]\\n' \"$1\" \"$2\" \"$3\" >&2");
  auto report = dir / "metrixVideoVstl.txt";
  ProbeTexts t;
  ProbeRun run = ProbeMovie(tool, " " + movie.string() + " ", report, t);
  EXPECT_TRUE(run.probed);
  EXPECT_FALSE(run.timedOut);
  std::string expectedMovie = movie.string();
  for (auto& c : expectedMovie) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(t.videoLine, " 0: video: [-i] [" + expectedMovie + "] [] ");
  EXPECT_EQ(t.fileLine, " Video file: -My $HOME; \"Movie\" Żółw.avi ");
  EXPECT_FALSE(std::filesystem::exists(report));
}

TEST_F(ProbeToolTest, AToolThatNeverEndsIsStoppedAtTheTimeLimit) {
  auto movie = dir / "movie.avi";
  test::WriteFileBytes(movie, "x");
  auto tool = Tool("echo 'Duration: 00:00:01.00' >&2\nexec sleep 600");
  ProbeTexts t;
  ProbeRun run = ProbeMovie(tool, movie.string(), dir / "report.txt", t, 300ms);
  EXPECT_TRUE(run.timedOut);
  EXPECT_EQ(t.probeText, " Video file: movie.avi\r\n\r\nduration: 00:00:01.00");
}

TEST_F(ProbeToolTest, MissingMovieOrEmptyPathChangesNothingMissingToolKeepsTheName) {
  ProbeTexts t;
  t.videoLine = "old";
  EXPECT_FALSE(ProbeMovie(Tool("exit 0"), "   ", dir / "r.txt", t).probed);
  EXPECT_FALSE(ProbeMovie(Tool("exit 0"), (dir / "none.avi").string(), dir / "r.txt", t).probed);
  EXPECT_EQ(t.videoLine, "old");
  auto movie = dir / "movie.avi";
  test::WriteFileBytes(movie, "x");
  ProbeRun run = ProbeMovie(dir / "no such tool", movie.string(), dir / "r.txt", t);
  EXPECT_TRUE(run.probed);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(t.probeText, " Video file: movie.avi\r\n");
  EXPECT_TRUE(t.videoLine.empty());
}

// The rate read from the open movie stands in for the tool's report: the time per
// frame must come out the same for the rates and containers cameras use.
TEST(MediaProbe, StatedRateGivesTheTimePerFrameOfTheToolsReport) {
  test::TempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"25", ".mp4"}, {"30000/1001", ".mp4"}, {"24000/1001", ".mov"},
      {"50", ".mkv"}, {"12.5", ".avi"},       {"30000/1001", ".ts"}};
  int n = 0;
  for (const auto& [fps, extension] : cases) {
    const auto movie = dir / ("rate " + std::to_string(++n) + extension);
    test::MakeSampleMovie(movie, {.frames = 6, .fps = fps});
    ProbeTexts texts;
    ASSERT_TRUE(ProbeMovie("ffmpeg", movie.string(), dir / "probe.txt", texts, 30s).probed);
    ASSERT_NE(texts.probeText.find("fps,"), std::string::npos) << texts.probeText;
    FrameSource source;
    MovieInfo info;
    ASSERT_TRUE(source.Open(movie, info).ok()) << movie;
    EXPECT_EQ(TimePerFrameFromRate(source.StatedFrameRate(), source.AverageTimePerFrame()),
              TimePerFrameFrom(texts.probeText, source.AverageTimePerFrame()))
        << fps << extension << ": " << texts.probeText;
  }
}

TEST(MediaProbe, ReportedRatesAreRoundedAsTheToolWritesThem) {
  EXPECT_DOUBLE_EQ(ReportedFrameRate(24000, 1001), 23.98);
  EXPECT_DOUBLE_EQ(ReportedFrameRate(25, 1), 25);
  EXPECT_DOUBLE_EQ(ReportedFrameRate(90000, 1), 90);  // written "90k"
  EXPECT_DOUBLE_EQ(ReportedFrameRate(1, 100000), 0);  // "0.0000"
  EXPECT_EQ(ReportedFrameRate(0, 1), 0);
  EXPECT_EQ(ReportedFrameRate(-25, 1), 0);
  EXPECT_EQ(ReportedFrameRate(25, 0), 0);
}

}  // namespace
}  // namespace corvinex
