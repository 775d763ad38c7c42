#include <gtest/gtest.h>

#include <cmath>

#include "convert/encoder_command.h"
#include "convert/spool_writer.h"
#include "settings/diagnostic_log.h"
#include "support/probe_helpers_h4.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

const fs::path kTool = fs::path(CORVINEX_PLUGIN_DIR) / "ffmpeg_III";

// Spools `frames` pictures through the real writer, numbered from `first`.
void SpoolSequence(const fs::path& folder, int width, int height, int frames, int first) {
  SpoolWriter writer(folder, nullptr);
  for (int n = 0; n < frames; ++n) {
    OutputFrame frame;
    frame.number = first + n;
    frame.width = width;
    frame.height = height;
    frame.bytes = writer.AcquireBuffer(4u * width * height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        uint8_t* p = &frame.bytes[4u * (static_cast<size_t>(y) * width + x)];
        p[0] = static_cast<uint8_t>(x * 2 + n * 8);
        p[1] = static_cast<uint8_t>(y * 3);
        p[2] = static_cast<uint8_t>((x ^ y) + n);
        p[3] = 0;
      }
    writer.Submit(std::move(frame));
  }
  writer.Finish();
  ASSERT_EQ(writer.Stats().written, frames);
}

struct Container {
  const char* ext;
  const char* formatName;
  const char* brand;  // MP4 family: the kind of file
  bool resampledTo30;
};

const Container kContainers[] = {
    {".flv", "flv", "", false},
    {".mov", "mov,mp4,m4a,3gp,3g2,mj2", "qt  ", false},
    {".avi", "avi", "", false},
    {".mp4", "mov,mp4,m4a,3gp,3g2,mj2", "isom", true},
    {".m4v", "mov,mp4,m4a,3gp,3g2,mj2", "M4V ", true},
    {".ogg", "ogg", "", true},
    {".ogv", "ogg", "", true},
    {".webm", "matroska,webm", "", true},
};

void PrintTo(const Container& c, std::ostream* os) {
  *os << c.ext;
}

class ExportContainers : public ::testing::TestWithParam<Container> {
 protected:
  static void SetUpTestSuite() {
    temp_ = new test::TempDir("export $HOME; \"q\"");
    SpoolSequence(temp_->path(), kWidth, kHeight, kFrames, 0);
    test::MakeWav(temp_->path() / "temp.wav", 2.0);
  }
  static void TearDownTestSuite() {
    delete temp_;
    temp_ = nullptr;
  }

  ExportSettings Settings(const std::string& name) const {
    ExportSettings s;
    s.output = out_ / (name + GetParam().ext);
    s.pictureWidth = kWidth;
    s.pictureHeight = kHeight;
    s.timePerFrame = 400000;  // 25 fps
    s.durationText = "00:00:02.000";
    s.soundAvailable = SoundTrackUsable(temp_->path());
    return s;
  }

  test::ProbedMovie Export(const ExportSettings& s) {
    DiagnosticLog log;
    std::atomic<int32_t> running{1};
    ExportResult r = EncodeMovie(kTool, temp_->path(), s, log, {.running = &running});
    EXPECT_TRUE(r.ok()) << r.exitCode << ": " << r.errorLine;
    EXPECT_EQ(running.load(), 0);
    return test::ProbeWithFfprobe(s.output);
  }

  void ExpectMovie(const test::ProbedMovie& m, int width, int height, bool sound) {
    const Container& c = GetParam();
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.formatName, c.formatName);
    if (*c.brand) {
      EXPECT_EQ(m.majorBrand, c.brand);
    }
    EXPECT_EQ(m.width, width);
    EXPECT_EQ(m.height, height);
    EXPECT_EQ(m.pixelFormat, "yuv420p");
    int expected = c.resampledTo30 ? 60 : kFrames;
    EXPECT_LE(std::abs(m.videoFrames - expected), 1) << m.videoFrames;
    EXPECT_EQ(m.audioStreams, sound ? 1 : 0);
  }

  static constexpr int kWidth = 320;
  static constexpr int kHeight = 240;
  static constexpr int kFrames = 50;
  static test::TempDir* temp_;
  test::TempDir out_{"-out ; $x \"q\" Żółw"};
};

test::TempDir* ExportContainers::temp_ = nullptr;

TEST_P(ExportContainers, DefaultQualityWithSound) {
  ExportSettings s = Settings("-movie default");
  ExpectMovie(Export(s), kWidth, kHeight, true);
}

TEST_P(ExportContainers, ChosenQualityCodecModeBitRateAndResize) {
  ExportSettings s = Settings("movie q7");
  s.quality = 7;
  s.codecMode = 3;
  s.bitRate = 2;
  s.resize = 5;
  s.channels = 1;
  s.audioRate = 1;
  test::ProbedMovie m = Export(s);
  ExpectMovie(m, 160, 120, true);
  EXPECT_EQ(m.audioChannels, 1);
}

TEST_P(ExportContainers, WithoutSoundTrack) {
  ExportSettings s = Settings("silent");
  s.soundAvailable = false;
  s.quality = 21;
  ExpectMovie(Export(s), kWidth, kHeight, false);
}

TEST_P(ExportContainers, BestQualityMakesTheBiggerFile) {
  ExportSettings best = Settings("best");
  best.quality = 1;
  ExportSettings smallest = Settings("smallest");
  smallest.quality = 21;
  best.soundAvailable = smallest.soundAvailable = false;  // compare the pictures alone
  ASSERT_TRUE(Export(best).ok);
  ASSERT_TRUE(Export(smallest).ok);
  EXPECT_GT(fs::file_size(best.output), fs::file_size(smallest.output) * 3 / 2);
}

// Every codec mode and every bit rate with the qualities at both ends and every audio
// choice: the tool must accept each combination the menus can make.
TEST_P(ExportContainers, EveryCodecModeAndBitRateIsAccepted) {
  for (int mode = 0; mode <= 5; ++mode) {
    ExportSettings s = Settings("mode " + std::to_string(mode));
    s.codecMode = mode;
    s.bitRate = (mode * 2) % 10;
    s.quality = mode % 2 == 0 ? 0 : (mode == 3 ? 21 : 1);
    s.audioRate = mode % 5;
    s.channels = mode % 2;
    s.resize = mode;
    s.durationText = "00:00:00.400";
    DiagnosticLog log;
    ExportResult r = EncodeMovie(kTool, temp_->path(), s, log);
    EXPECT_TRUE(r.ok()) << "mode " << mode << ": " << r.errorLine;
    test::ProbedMovie m = test::ProbeWithFfprobe(s.output);
    EXPECT_GT(m.videoFrames, 0) << "mode " << mode;
    EXPECT_EQ(m.audioStreams, 1) << "mode " << mode;
  }
}

INSTANTIATE_TEST_SUITE_P(AllExtensions, ExportContainers, ::testing::ValuesIn(kContainers),
                         [](const auto& info) { return std::string(info.param.ext + 1); });

}  // namespace
}  // namespace corvinex
