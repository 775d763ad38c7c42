#include <gtest/gtest.h>

#include "convert/encoder_command.h"
#include "convert/sound_extract.h"
#include "convert/spool_writer.h"
#include "convert/temp_files.h"
#include "settings/diagnostic_log.h"
#include "support/probe_helpers_h4.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

const fs::path kTool = fs::path(CORVINEX_PLUGIN_DIR) / "ffmpeg_III";

void Spool(const fs::path& folder, int width, int height, int first, int count) {
  SpoolWriter writer(folder, nullptr);
  for (int n = first; n < first + count; ++n) {
    OutputFrame f;
    f.number = n;
    f.width = width;
    f.height = height;
    f.bytes = writer.AcquireBuffer(4u * width * height);
    for (size_t i = 0; i < f.bytes.size(); ++i) f.bytes[i] = static_cast<uint8_t>(i / 4 + n * 5);
    writer.Submit(std::move(f));
  }
  writer.Finish();
  ASSERT_EQ(writer.Stats().written, count);
}

ExportSettings Settings(const fs::path& output, int width, int height) {
  ExportSettings s;
  s.output = output;
  s.pictureWidth = width;
  s.pictureHeight = height;
  s.timePerFrame = 400000;
  s.durationText = "00:00:01.000";
  return s;
}

TEST(EncodeMovie, LogsTheCommandAndAnUnknownExtensionWritesNothing) {
  test::TempDir dir;
  DiagnosticLog log(dir / "log.txt");
  std::atomic<int32_t> started{0}, running{1};
  ExportResult r = EncodeMovie(kTool, dir.path(), Settings(dir / "movie.mxf", 64, 64), log,
                               {.started = &started, .running = &running});
  EXPECT_FALSE(r.started);
  EXPECT_EQ(started.load(), 1);
  EXPECT_EQ(running.load(), 0);
  EXPECT_EQ(test::ReadFileBytes(dir / "log.txt"),
            "ConvertRectFFMPEG aVideoEXT .mxf\r\nFFMPEG : \r\n");
  EXPECT_FALSE(fs::exists(dir / "movie.mxf"));
}

TEST(EncodeMovie, AFailedExportIsReportedWithTheToolsLastWords) {
  test::TempDir dir;
  DiagnosticLog log(dir / "log.txt");
  ExportSettings s = Settings(dir / "Movie.MP4", 64, 64);  // no frames were spooled
  ExportResult r = EncodeMovie(kTool, dir.path(), s, log);
  EXPECT_TRUE(r.started);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(r.errorLine.empty());
  std::string text = test::ReadFileBytes(dir / "log.txt");
  EXPECT_EQ(
      text.rfind("ConvertRectFFMPEG aVideoEXT .mp4\r\nFFMPEG : \"" + kTool.string() + "\"", 0), 0u)
      << text;
  EXPECT_NE(text.find("\r\nFFMPEG ERR "), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "temp_encoder.txt"));
}

TEST(EncodeMovie, AMissingToolIsLoggedAndNothingElseStarts) {
  test::TempDir dir;
  DiagnosticLog log(dir / "log.txt");
  fs::path missing = dir / "PLUG-IN" / "ffmpeg_III";
  std::atomic<int32_t> running{1};
  ExportResult r =
      EncodeMovie(missing, dir.path(), Settings(dir / "m.avi", 64, 64), log, {.running = &running});
  EXPECT_FALSE(r.started);
  EXPECT_EQ(running.load(), 0);
  EXPECT_NE(test::ReadFileBytes(dir / "log.txt").find("\r\nFFMPEG ERR cannot start "),
            std::string::npos);
  const std::atomic<bool> cancel{false};
  EXPECT_FALSE(ExtractSound(missing, dir / "m.avi", dir.path(), cancel).exited);
  EXPECT_EQ(DecodeFrames(missing, dir / "m.avi", dir.path()), 0);
}

TEST(EncodeMovie, OddPictureSizesBecomeEvenForPlayers) {
  test::TempDir dir;
  Spool(dir.path(), 321, 241, 0, 25);
  DiagnosticLog log;
  ExportSettings s = Settings(dir / "odd.mp4", 321, 241);
  ASSERT_TRUE(EncodeMovie(kTool, dir.path(), s, log).ok());
  test::ProbedMovie m = test::ProbeWithFfprobe(s.output);
  EXPECT_EQ(m.width, 320);
  EXPECT_EQ(m.height, 240);
  EXPECT_EQ(m.pixelFormat, "yuv420p");
}

TEST(EncodeMovie, DecoderRouteFramesStartAtOneAndRawLeftoversAreKeptOut) {
  test::TempDir dir;
  Spool(dir.path(), 128, 64, 1, 24);
  // The decoder's own last frame, never processed: another size and 24-bit.
  ASSERT_TRUE(test::RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240", "-frames:v", "1",
                               "-pix_fmt", "bgr24", (dir / "temp000025.bmp").string()}));
  EXPECT_EQ(RemoveSpoolFilesAfter(dir.path(), 24), 1);
  DiagnosticLog log;
  ExportSettings s = Settings(dir / "decoded.avi", 128, 64);
  ASSERT_TRUE(EncodeMovie(kTool, dir.path(), s, log).ok());
  test::ProbedMovie m = test::ProbeWithFfprobe(s.output);
  EXPECT_EQ(m.videoFrames, 24);
  EXPECT_EQ(m.width, 128);
}

}  // namespace
}  // namespace corvinex
