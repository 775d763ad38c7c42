#include <gtest/gtest.h>

#include "convert/encoder_command.h"
#include "convert/spool_writer.h"
#include "media/output_check.h"
#include "settings/diagnostic_log.h"
#include "support/probe_helpers_h4.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

const fs::path kTool = fs::path(CORVINEX_PLUGIN_DIR) / "ffmpeg_III";
constexpr int kFrames = 50;
constexpr int64_t kTimePerFrame = 400000;  // 25 frames a second

void SpoolFrames(const fs::path& folder, int width, int height, int frames) {
  SpoolWriter writer(folder, nullptr);
  for (int n = 0; n < frames; ++n) {
    OutputFrame frame;
    frame.number = n;
    frame.width = width;
    frame.height = height;
    frame.bytes = writer.AcquireBuffer(4u * width * height);
    for (size_t i = 0; i < frame.bytes.size(); ++i) {
      frame.bytes[i] = static_cast<uint8_t>(i * 7 + n * 13);
    }
    writer.Submit(std::move(frame));
  }
  writer.Finish();
  ASSERT_EQ(writer.Stats().written, frames);
}

// Movies of every container the export writes, with and without sound, made by the
// real encoder from spooled frames; shared by the cases below.
class OutputCheckContainers : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() {
    frames_ = new test::TempDir("check frames");
    SpoolFrames(frames_->path(), 160, 120, kFrames);
    test::MakeWav(frames_->path() / "temp.wav", 2.0);
  }
  static void TearDownTestSuite() {
    delete frames_;
    frames_ = nullptr;
  }

  fs::path Export(const std::string& name, bool sound) {
    ExportSettings s;
    s.output = out_ / (name + GetParam());
    s.pictureWidth = 160;
    s.pictureHeight = 120;
    s.timePerFrame = kTimePerFrame;
    s.durationText = "00:00:02.000";
    s.soundAvailable = sound;
    DiagnosticLog log;
    const ExportResult r = EncodeMovie(kTool, frames_->path(), s, log);
    EXPECT_TRUE(r.ok()) << r.errorLine;
    return s.output;
  }

  static test::TempDir* frames_;
  test::TempDir out_{"check out $x"};
};

test::TempDir* OutputCheckContainers::frames_ = nullptr;

TEST_P(OutputCheckContainers, AWholeMoviePassesAndAShortOrSilentOneDoesNot) {
  const fs::path movie = Export("whole", true);
  const OutputCheck whole = CheckOutputMovie(movie, {kFrames, kTimePerFrame, true});
  EXPECT_TRUE(whole.ok) << whole.reason;
  EXPECT_GT(whole.framesPerSecond, 0);
  // One frame more or less is within the count; two are not.
  EXPECT_TRUE(CheckOutputMovie(movie, {kFrames + 1, kTimePerFrame, true}).ok);
  const OutputCheck more = CheckOutputMovie(movie, {2 * kFrames, kTimePerFrame, true});
  EXPECT_FALSE(more.ok);
  EXPECT_EQ(more.reason, "the movie holds 50 of the 100 frames sent");
  const OutputCheck fewer = CheckOutputMovie(movie, {kFrames / 2, kTimePerFrame, true});
  EXPECT_FALSE(fewer.ok);
  EXPECT_EQ(fewer.reason, "the movie holds 50 frames where 25 were sent");

  const fs::path silent = Export("silent", false);
  EXPECT_TRUE(CheckOutputMovie(silent, {kFrames, kTimePerFrame, false}).ok);
  const OutputCheck noSound = CheckOutputMovie(silent, {kFrames, kTimePerFrame, true});
  EXPECT_FALSE(noSound.ok);
  EXPECT_EQ(noSound.reason, "the movie has no sound track");
}

// An encoder killed halfway leaves a movie that must not pass for the result.
TEST_P(OutputCheckContainers, ACutMovieFails) {
  const fs::path movie = Export("cut", false);
  const std::string bytes = test::ReadFileBytes(movie);
  const fs::path cut = out_ / (std::string("half") + GetParam());
  test::WriteFileBytes(cut, bytes.substr(0, bytes.size() / 2));
  const OutputCheck check = CheckOutputMovie(cut, {kFrames, kTimePerFrame, false});
  EXPECT_FALSE(check.ok) << check.pictureFrames << " frames";
  EXPECT_FALSE(check.reason.empty());
}

INSTANTIATE_TEST_SUITE_P(AllExtensions, OutputCheckContainers,
                         ::testing::Values(".flv", ".mov", ".avi", ".mp4", ".m4v", ".ogg", ".ogv",
                                           ".webm"),
                         [](const auto& info) { return std::string(info.param + 1); });

TEST(OutputCheck, WhatIsNoMovieIsToldInPlainWords) {
  test::TempDir dir;
  EXPECT_EQ(CheckOutputMovie(dir / "none.mp4", {10, 0, false})
                .reason.rfind("the encoder wrote no movie", 0),
            0u);
  test::WriteFileBytes(dir / "empty.mp4", "");
  EXPECT_EQ(CheckOutputMovie(dir / "empty.mp4", {10, 0, false}).reason,
            "the encoder wrote an empty file");
  // What an encoder that writes 8 bytes and ends with 0 leaves.
  test::WriteFileBytes(dir / "eight.mp4",
                       "\x00\x00\x00\x08"
                       "free");
  const OutputCheck eight = CheckOutputMovie(dir / "eight.mp4", {10, 0, false});
  EXPECT_FALSE(eight.ok);
  EXPECT_FALSE(eight.reason.empty());
  std::string garbage(100000, '\0');
  for (size_t i = 0; i < garbage.size(); ++i)
    garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
  for (const char* ext : {".mp4", ".mkv", ".avi", ".flv", ".ogv", ".webm", ".mov"}) {
    const fs::path file = dir / (std::string("garbage") + ext);
    test::WriteFileBytes(file, garbage);
    const OutputCheck check = CheckOutputMovie(file, {10, 0, false});
    EXPECT_FALSE(check.ok) << ext;
    EXPECT_FALSE(check.reason.empty()) << ext;
  }
}

TEST(OutputCheck, AMovieOfSoundAloneHasNoPictureStream) {
  test::TempDir dir;
  const fs::path movie = dir / "sound only.mp4";
  ASSERT_TRUE(
      test::RunFfmpeg({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", movie.string()}));
  const OutputCheck check = CheckOutputMovie(movie, {25, kTimePerFrame, true});
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.reason, "the encoder wrote no picture stream");
}

// Frames sent one for one (no rate known) are compared as counts.
TEST(OutputCheck, CountsWithoutARate) {
  test::TempDir dir;
  const fs::path movie = dir / "ten.mkv";
  ASSERT_TRUE(test::RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-frames:v", "10",
                               "-c:v", "libx264", movie.string()}));
  EXPECT_TRUE(CheckOutputMovie(movie, {10, 0, false}).ok);
  EXPECT_TRUE(CheckOutputMovie(movie, {11, 0, false}).ok);
  EXPECT_EQ(CheckOutputMovie(movie, {12, 0, false}).reason,
            "the movie holds 10 of the 12 frames sent");
  const OutputCheck unchecked = CheckOutputMovie(movie, {0, 0, false});
  EXPECT_TRUE(unchecked.ok);
  EXPECT_EQ(unchecked.pictureFrames, 10);
}

}  // namespace
}  // namespace corvinex
