// The sample generator end to end: real ffmpeg writes the movie, ffprobe reads it back.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "convert/child_process.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"

namespace corvinex::test {
namespace {

struct ContainerCase {
  const char* extension;
  const char* formatPart;  // expected inside ffprobe's format name
};

class SampleMovieContainers : public testing::TestWithParam<ContainerCase> {};

TEST_P(SampleMovieContainers, HoldTheFramesSizeAndSoundAskedFor) {
  const ContainerCase c = GetParam();
  TempDir dir;
  const auto movie = dir / (std::string("sample movie ") + c.extension);
  MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 12});
  const auto facts = ProbeFile(movie);
  ASSERT_TRUE(facts.has_value());
  EXPECT_NE(facts->formatName.find(c.formatPart), std::string::npos) << facts->formatName;
  EXPECT_EQ(facts->width, 320);
  EXPECT_EQ(facts->height, 240);
  EXPECT_EQ(facts->frameCount, 12);
  EXPECT_TRUE(facts->hasAudio);
  EXPECT_NEAR(facts->durationSeconds, 12 / 25.0, 0.15);
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, SampleMovieContainers,
    testing::Values(ContainerCase{".mp4", "mp4"}, ContainerCase{".mov", "mov"},
                    ContainerCase{".m4v", "mp4"}, ContainerCase{".mkv", "matroska"},
                    ContainerCase{".avi", "avi"}, ContainerCase{".wmv", "asf"},
                    ContainerCase{".flv", "flv"}, ContainerCase{".mpg", "mpeg"},
                    ContainerCase{".3gp", "3gp"}, ContainerCase{".webm", "webm"},
                    ContainerCase{".ogv", "ogg"}),
    [](const testing::TestParamInfo<ContainerCase>& info) {
      return std::string(info.param.extension + 1);
    });

TEST(SampleMovie, WithoutSoundHasNoAudioStream) {
  TempDir dir;
  const auto movie = dir / "silent.mp4";
  MakeSampleMovie(movie, {.frames = 5, .sound = false});
  const auto facts = ProbeFile(movie);
  ASSERT_TRUE(facts.has_value());
  EXPECT_TRUE(facts->hasVideo);
  EXPECT_FALSE(facts->hasAudio);
  EXPECT_EQ(facts->frameCount, 5);
}

TEST(SampleMovie, NtscRateOddSizeAndLosslessCodecs) {
  TempDir dir;
  const auto ntsc = dir / "ntsc.mp4";
  MakeSampleMovie(ntsc, {.width = 638, .height = 360, .frames = 30, .fps = "29.97"});
  auto facts = ProbeFile(ntsc);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->frameRate, "30000/1001");
  EXPECT_EQ(facts->width, 638);
  EXPECT_EQ(facts->frameCount, 30);

  for (const char* name : {"exact.mkv", "exact.avi", "exact.mov"}) {
    const auto lossless = dir / name;
    MakeSampleMovie(lossless, {.frames = 4, .lossless = true});
    facts = ProbeFile(lossless);
    ASSERT_TRUE(facts.has_value()) << name;
    EXPECT_EQ(facts->frameCount, 4) << name;
    EXPECT_TRUE(facts->videoCodec == "ffv1" || facts->videoCodec == "h264") << facts->videoCodec;
  }
}

TEST(SampleMovie, BadRequestsFailClearlyAndWriteNothing) {
  TempDir dir;
  auto expectFailure = [&](const std::filesystem::path& movie, SampleMovieOptions options,
                           const std::string& part) {
    try {
      MakeSampleMovie(movie, options);
      ADD_FAILURE() << "no error for " << movie;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(movie)) << movie;
  };
  expectFailure(dir / "notes.txt", {}, "extension");
  expectFailure(dir / "odd.mp4", {.width = 321}, "even");
  expectFailure(dir / "lossy only.wmv", {.lossless = true}, "lossless");
  expectFailure(dir / "tiny.mp4", {.ring = {0, 0, 1, 1, 0}}, "Cut Area");
  expectFailure(dir / "missing folder" / "x.mp4", {}, "ffmpeg failed");
}

TEST(SampleMovie, CommandLineToolWritesNamesThatLookLikeOptions) {
  TempDir dir;
  const std::filesystem::path tool =
      std::filesystem::path(CORVINEX_PROGRAM_DIR) / "corvinex-sample";
  const auto movie = dir / "-odd 'name' $x.mkv";
  ChildExit exit = RunProcess({tool.string(), movie.string(), "--size", "200x150", "--frames", "3",
                               "--fps", "12.5", "--no-sound", "--cut", "100,10,400,280,20"});
  ASSERT_TRUE(exit.exited);
  EXPECT_EQ(exit.exitCode, 0);
  const auto facts = ProbeFile(movie);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->width, 200);
  EXPECT_EQ(facts->frameCount, 3);
  EXPECT_EQ(facts->frameRate, "25/2");
  EXPECT_FALSE(facts->hasAudio);

  exit = RunProcess({tool.string(), (dir / "b.mp4").string(), "--size", "wide"});
  EXPECT_EQ(exit.exitCode, 2);
  exit = RunProcess({tool.string()});
  EXPECT_EQ(exit.exitCode, 2);
}

TEST(SampleMovie, BundledDemoMovieIsThere) {
  const auto demo = std::filesystem::path(CORVINEX_PROGRAM_DIR) / "samples" / "demo-doughnut.mp4";
  const auto facts = ProbeFile(demo);
  ASSERT_TRUE(facts.has_value()) << demo;
  EXPECT_EQ(facts->width, 640);
  EXPECT_EQ(facts->height, 480);
  EXPECT_EQ(facts->frameCount, 50);
  EXPECT_TRUE(facts->hasAudio);
}

}  // namespace
}  // namespace corvinex::test
