// Hardware encoders on a machine without a device, and a device that breaks during
// the run: the run is never lost, and the user learns which encoder wrote the movie.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/ffprobe.h"
#include "support/hostile_batch.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

size_t Count(const std::string& text, const std::string& words) {
  size_t n = 0;
  for (size_t at = text.find(words); at != std::string::npos; at = text.find(words, at + 1)) ++n;
  return n;
}

struct HostileEncoders : test::HostileBatchTest {
  fs::path movie;
  fs::path output;

  void SetUp() override {
    HostileBatchTest::SetUp();
    movie = Movie("take ü.mp4");
    output = dir / "panorama out.mp4";
  }

  // A tool that lists a VA-API and an NVENC encoder; the VA-API one passes its
  // one-frame test, then, on a real movie, takes some frames and dies as a device
  // does that is lost. Everything else goes to the real adapter.
  void InstallBrokenDevice(const std::string& name) {
    program = CopyProgram(name);
    const fs::path plugin = program / "PLUG-IN";
    fs::rename(plugin / "ffmpeg_III", plugin / "real adapter");
    test::WriteFileBytes(
        plugin / "ffmpeg_III",
        "#!/bin/sh\n"
        "case \"$*\" in\n"
        "  *-encoders*) echo ' V....D h264_vaapi  H.264/AVC (VAAPI) (codec h264)';\n"
        "               echo ' V....D hevc_nvenc  NVIDIA NVENC hevc encoder (codec hevc)';\n"
        "               exit 0;;\n"
        "  *'-f null'*h264_vaapi*|*h264_vaapi*'-f null'*) exit 0;;\n"
        "  *'-f null'*) echo 'Cannot load libcuda.so.1' >&2; exit 1;;\n"
        "  *h264_vaapi*) head -c 60000 > /dev/null;\n"
        "                echo '[h264_vaapi] Failed to sync surface: 1 (operation failed).' >&2;\n"
        "                exit 1;;\n"
        "esac\n"
        "exec \"$(dirname \"$0\")/real adapter\" \"$@\"\n");
    fs::permissions(plugin / "ffmpeg_III",
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  }

  void ExpectSoftwareH264Movie(const test::ToolRun& run) {
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto facts = test::ProbeFile(output);
    ASSERT_TRUE(facts) << "no readable movie";
    EXPECT_EQ(facts->videoCodec, "h264");
    EXPECT_EQ(facts->frameCount, 30);  // 1 s at the .mp4 rate of 30
    EXPECT_TRUE(facts->hasAudio);
    EXPECT_NE(run.out.find("encoder: libx264"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("h264_vaapi failed during the run"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("fell back to software"), std::string::npos) << run.out;
  }
};

TEST_F(HostileEncoders, AutoWithoutADeviceSaysSoOnceAndEncodesInSoftware) {
  const fs::path second = Movie("second take.mp4");
  const test::ToolRun run = Run({movie.string(), second.string(), "--codec", "h265"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  // The tool here lists hardware encoders but no device answers: each is tried once
  // for the whole batch, not once per movie.
  EXPECT_EQ(Count(run.log, "Hardware encoder hevc_vaapi: test encode failed"), 1u) << run.log;
  EXPECT_EQ(Count(run.log, "passed"), 0u) << run.log;
  EXPECT_EQ(Count(run.out, "auto: no working hardware encoder for H.265, software used)"), 1u)
      << run.out;
  EXPECT_EQ(Count(run.out, "encoder: libx265"), 2u) << run.out;
  for (const char* name : {"take ü_Unwrapped.mp4", "second take_Unwrapped.mp4"}) {
    const auto facts = test::ProbeFile(dir / name);
    ASSERT_TRUE(facts) << name;
    EXPECT_EQ(facts->videoCodec, "hevc") << name;
  }
}

TEST_F(HostileEncoders, ANamedEncoderThatFailsItsTestIsNotUsedAndAWrongNameIsRefused) {
  InstallBrokenDevice("named encoder");
  test::ToolRun run =
      Run({movie.string(), "-o", output.string(), "--codec", "h265", "--encoder", "hevc_nvenc"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("hevc_nvenc did not pass its test encode"), std::string::npos) << run.out;
  EXPECT_EQ(test::ProbeFile(output)->videoCodec, "hevc");

  run = Run({movie.string(), "-o", (dir / "other.mp4").string(), "--encoder", "h264_magic"},
            "wrong name");
  EXPECT_TRUE(test::FailedSaying(run, "--encoder takes auto, software or one of"));
  EXPECT_FALSE(fs::exists(dir / "other.mp4"));
}

TEST_F(HostileEncoders, ADeviceLostInOnePassIsRetriedFromTheMovieInSoftware) {
  InstallBrokenDevice("lost device");
  const test::InputGuard guard(movie);
  const test::ToolRun run = Run({movie.string(), "-o", output.string(), "--codec", "h264"});
  test::ExpectNothingLost(run, temp, guard);
  ExpectSoftwareH264Movie(run);
  EXPECT_NE(run.log.find("auto: h264_vaapi passed its test encode"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("The movie is converted again in software"), std::string::npos);
  EXPECT_NE(run.out.find("converting the movie again"), std::string::npos) << run.out;
}

TEST_F(HostileEncoders, ADeviceLostWhileSpoolingIsRetriedFromTheSpooledFrames) {
  InstallBrokenDevice("lost device spooled");
  const test::InputGuard guard(movie);
  const test::ToolRun run =
      Run({movie.string(), "-o", output.string(), "--codec", "h264", "--spool"});
  test::ExpectNothingLost(run, temp, guard);
  ExpectSoftwareH264Movie(run);
  EXPECT_NE(run.log.find("the spooled frames are exported"), std::string::npos) << run.log;
  EXPECT_EQ(run.log.find("converted again"), std::string::npos) << run.log;
}

// An encoder that takes its time (a slow preset at 8K, a busy machine) holds the frames
// back for many seconds; the run waits for it rather than ending early with part of
// the movie reported as the whole.
TEST_F(HostileEncoders, ASlowEncoderGetsTheWholeMovie) {
  program = CopyProgram("slow encoder");
  const fs::path plugin = program / "PLUG-IN";
  fs::rename(plugin / "ffmpeg_III", plugin / "real adapter");
  test::WriteFileBytes(plugin / "ffmpeg_III",
                       "#!/bin/sh\n"
                       "case \"$*\" in *pipe:0*) sleep 10;; esac\n"
                       "exec \"$(dirname \"$0\")/real adapter\" \"$@\"\n");
  fs::permissions(plugin / "ffmpeg_III",
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  // Frames large enough that the encoder's pipe fills after a few of them.
  const fs::path large = Movie("large take.mp4", {.width = 960, .height = 720, .frames = 25});
  const test::ToolRun run = Run({large.string(), "-o", output.string()});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->frameCount, 30) << "the movie was cut off: " << run.log;
}

}  // namespace
}  // namespace corvinex
