#include <gtest/gtest.h>

#include "convert/child_process.h"
#include "convert/decoded_frame.h"
#include "convert/encoder_command.h"
#include "convert/sound_extract.h"
#include "convert/temp_files.h"
#include "media/media_probe.h"
#include "settings/whole_file.h"
#include "support/probe_helpers_h4.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kTool = fs::path(CORVINEX_PLUGIN_DIR) / "ffmpeg_III";

// The movie's frames as the system ffmpeg decodes them, 24-bit, top row first.
std::string RawFrames(const fs::path& movie, const fs::path& raw) {
  EXPECT_TRUE(
      test::RunFfmpeg({"-i", movie.string(), "-f", "rawvideo", "-pix_fmt", "bgr24", raw.string()}));
  return test::ReadFileBytes(raw);
}

TEST(DecoderRoute, DecodedFramesGiveTheMoviesPixelsAtAnOddRowLength) {
  test::TempDir dir("decode -x $y; \"q\"");
  const int width = 638, height = 360, frames = 12;
  fs::path movie = dir / "-in movie;$x.mp4";
  test::MakeMovie(movie, width, height, frames, 25, false);
  fs::path temp = dir / "TEMP";
  fs::create_directory(temp);

  pid_t decoder = DecodeFrames(kTool, movie, temp);
  ASSERT_GT(decoder, 0);
  DecodedFrameSource source;
  source.tempFolder = temp;
  source.frameCount = frames;
  source.width = width;
  source.height = height;
  source.decoderPid = decoder;
  DecodedFrameReader reader;
  FrameImage grab;
  std::vector<FrameImage> loaded;
  for (int index = 0; index <= frames - 2; ++index) {
    ASSERT_EQ(reader.LoadDecodedFrame(source, index + 1, grab), 1)
        << index << ": " << reader.LastError();
    loaded.push_back(grab);
  }
  KillProcess(decoder);

  std::string raw = RawFrames(movie, dir / "raw.bgr");
  const size_t frameBytes = static_cast<size_t>(width) * height * 3;
  ASSERT_EQ(raw.size(), frameBytes * frames);
  for (size_t f = 0; f < loaded.size(); ++f) {
    const uint8_t* expected = reinterpret_cast<const uint8_t*>(raw.data()) + f * frameBytes;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = expected + (static_cast<size_t>(y) * width + x) * 3;
        ASSERT_EQ(loaded[f].AtPicture(x, y) & 0xFFFFFF, PackBgrx(p[0], p[1], p[2]))
            << "frame " << f + 1 << " at " << x << "," << y;
      }
  }
}

TEST(DecoderRoute, ABrokenMovieGivesNoFrameAndNoEndlessWait) {
  test::TempDir dir;
  fs::path movie = dir / "broken.avi";
  test::WriteFileBytes(movie, std::string(5000, 'z'));
  const fs::path report = DecoderReportPath(dir.path());
  pid_t decoder = DecodeFrames(kTool, movie, dir.path(), report);
  ASSERT_GT(decoder, 0);
  DecodedFrameSource source;
  source.tempFolder = dir.path();
  source.frameCount = 50;
  source.width = 320;
  source.height = 240;
  source.decoderPid = decoder;
  DecodedFrameReader reader;
  FrameImage grab;
  EXPECT_EQ(reader.LoadDecodedFrame(source, 1, grab), 0);
  EXPECT_NE(reader.LastError().find("not found"), std::string::npos);
  KillProcess(decoder);
  // The decoder's own words say why.
  EXPECT_NE(LastLineOf(report), "");

  // A report that cannot be created does not keep the decoder from starting.
  decoder = DecodeFrames(kTool, movie, dir.path(), dir / "no such folder" / "report.txt");
  EXPECT_GT(decoder, 0);
  KillProcess(decoder);
}

TEST(SoundExtraction, WritesCdQualityWavOrNothingForASilentMovie) {
  test::TempDir dir("sound $x; \"q\"");
  fs::path withSound = dir / "-with sound.mp4";
  fs::path silent = dir / "silent.mp4";
  test::MakeMovie(withSound, 160, 120, 25, 25, true);
  test::MakeMovie(silent, 160, 120, 25, 25, false);
  std::atomic<bool> cancel{false};

  ChildExit e = ExtractSound(kTool, withSound, dir.path(), cancel);
  EXPECT_TRUE(e.exited);
  EXPECT_EQ(e.exitCode, 0);
  ASSERT_TRUE(SoundTrackUsable(dir.path()));
  test::ProbedMovie wav = test::ProbeWithFfprobe(dir / "temp.wav");
  EXPECT_EQ(wav.formatName, "wav");
  EXPECT_EQ(wav.audioCodec, "pcm_s16le");
  EXPECT_EQ(wav.audioRate, 44100);
  EXPECT_EQ(wav.audioChannels, 2);
  EXPECT_NEAR(wav.duration, 1.0, 0.1);

  fs::remove(dir / "temp.wav");
  ExtractSound(kTool, silent, dir.path(), cancel);
  EXPECT_FALSE(SoundTrackUsable(dir.path()));
}

TEST(MediaProbeTool, GeneratedMoviesWithAndWithoutSound) {
  test::TempDir dir("probe $x; \"q\"");
  fs::path withSound = dir / "Sound Movie.mp4";
  fs::path silent = dir / "-silent;$x.mp4";
  test::MakeMovie(withSound, 320, 240, 25, 25, true);
  test::MakeMovie(silent, 320, 240, 25, 25, false);
  fs::path report = dir / "metrixVideoVstl.txt";

  ProbeTexts t;
  ProbeRun run = ProbeMovie(kTool, withSound.string(), report, t);
  EXPECT_TRUE(run.probed);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(t.fileLine, " Video file: Sound Movie.mp4 ");
  EXPECT_NE(t.videoLine.find("video: h264"), std::string::npos) << t.videoLine;
  EXPECT_NE(t.videoLine.find("320x240"), std::string::npos) << t.videoLine;
  EXPECT_NE(t.soundLine.find("audio: aac"), std::string::npos) << t.soundLine;
  EXPECT_NE(t.probeText.find("\r\nduration: 00:00:01.0"), std::string::npos) << t.probeText;
  // The frame source reads the rate between "fps," and "tbr".
  size_t fps = t.probeText.find("fps,");
  ASSERT_NE(fps, std::string::npos);
  EXPECT_EQ(std::stod(t.probeText.substr(fps + 4, t.probeText.find("tbr", fps) - fps - 4)), 25.0);
  EXPECT_FALSE(fs::exists(report));

  ProbeMovie(kTool, silent.string(), report, t);
  EXPECT_EQ(t.fileLine, " Video file: -silent;$x.mp4 ");
  EXPECT_NE(t.videoLine.find("video: h264"), std::string::npos);
  EXPECT_TRUE(t.soundLine.empty());
}

TEST(MovieConversion, CopiesAMovieIntoAvi) {
  test::TempDir dir("convert $x; \"q\"");
  fs::path movie = dir / "-source;$x.mp4";
  test::MakeMovie(movie, 320, 240, 25, 25, true);
  fs::path copy = dir / "copy of movie.avi";
  CommandLine c = MovieConversionCommand(kTool, movie, copy);
  ChildExit e = RunProcess(c.Argv(), {}, 2min);
  ASSERT_TRUE(e.exited);
  EXPECT_EQ(e.exitCode, 0);
  test::ProbedMovie m = test::ProbeWithFfprobe(copy);
  EXPECT_EQ(m.formatName, "avi");
  EXPECT_EQ(m.width, 320);
  EXPECT_EQ(m.videoFrames, 25);
  EXPECT_EQ(m.audioCodec, "pcm_s16le");
  EXPECT_EQ(m.audioRate, 44100);
}

}  // namespace
}  // namespace corvinex
