// OpenMovie and RunStream: flags, log lines, labels and error messages around a
// real movie, with a host that records what the window would show.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "convert/child_process.h"
#include "media/movie_stream.h"
#include "sample_encoder.h"
#include "settings/diagnostic_log.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace corvinex::test {
namespace {

using namespace std::chrono_literals;

class RecordingHost : public StreamHost {
 public:
  void ShowStreamError(const std::string& text) override {
    std::lock_guard lock(mutex);
    errors.push_back(text);
  }
  void ShowFatalMovieError(const std::string& text) override {
    std::lock_guard lock(mutex);
    fatal.push_back(text);
  }
  std::optional<std::filesystem::path> TranscodeToTempAvi(
      const std::filesystem::path& movie) override {
    std::lock_guard lock(mutex);
    transcoded.push_back(movie);
    if (!canTranscode) return std::nullopt;
    const auto avi = movie.parent_path() / (movie.stem().string() + ".avi");
    RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", "file:" + movie.string(), "-c:v",
                "mpeg4", "-q:v", "3", "-c:a", "pcm_s16le", "file:" + avi.string()});
    return avi;
  }
  void ShowStatus(StreamStatus s) override {
    std::lock_guard lock(mutex);
    statuses.push_back(s);
  }
  void ShowMovieLabels(const MovieLabels& l) override {
    std::lock_guard lock(mutex);
    labels = l;
  }
  void PreviewRefresh() override {
    std::lock_guard lock(mutex);
    ++refreshes;
  }
  std::mutex mutex;
  std::vector<std::string> errors, fatal;
  std::vector<std::filesystem::path> transcoded;
  std::vector<StreamStatus> statuses;
  MovieLabels labels;
  int refreshes = 0;
  bool canTranscode = true;
};

std::vector<std::string> LogLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  if (!std::filesystem::exists(file)) return lines;
  std::istringstream in(ReadFileBytes(file));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

constexpr const char* kProbe =
    "  Stream #0:0(und): Video: h264 (High), yuv420p, 320x240, 25 fps, 25 tbr, 12800 tbn";

struct Fixture {
  TempDir dir{"movie stream"};
  DiagnosticLog log{dir / "TLVPUB.log"};
  RecordingHost host;
  MovieStream stream{host, log};

  // Runs OpenMovie on a load thread of its own, as the Load command does.
  std::thread Load(const std::filesystem::path& movie, const std::string& probe = kProbe) {
    return std::thread([this, movie, probe] { stream.OpenMovie(movie, probe); });
  }
};

TEST(MovieStream, OpensShowsLogsAndClosesInOrder) {
  Fixture f;
  const auto movie = f.dir / "doughnut one.mp4";
  MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 10});
  f.stream.OS_ASPECT = 1;
  std::thread load = f.Load(movie);
  ASSERT_TRUE(WaitFor([&] { return f.stream.StreamState == 1; }));
  EXPECT_EQ(f.stream.graphBusy, 1);
  EXPECT_EQ(f.stream.movieOpen, 1);
  EXPECT_EQ(f.stream.geometryChanged, 1);
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(f.host.mutex);
    return f.host.refreshes >= 2;
  }));
  // With OS_ASPECT on the grab is the stretched picture, without it the decoded one.
  f.stream.source().Pause();
  f.stream.GrabCurrentFrame();
  FrameImage raw;
  ASSERT_TRUE(f.stream.source().CopyCurrentFrame(raw));
  const FrameImage& grabbed = f.stream.currentFrame();
  ASSERT_EQ(grabbed.width, 320);
  ASSERT_EQ(grabbed.PixelCount(), 320u * 240u);
  EXPECT_NE(grabbed.pixels, raw.pixels);
  f.stream.OS_ASPECT = 0;
  f.stream.GrabCurrentFrame();
  EXPECT_EQ(f.stream.currentFrame().pixels, raw.pixels);
  f.stream.RequestClose();
  load.join();

  EXPECT_EQ(f.stream.graphBusy, 0);
  EXPECT_EQ(f.stream.movieOpen, 0);
  EXPECT_EQ(f.stream.movieLoaded, 1);
  EXPECT_TRUE(f.host.errors.empty());
  EXPECT_EQ(f.host.statuses,
            (std::vector<StreamStatus>{StreamStatus::Buffering, StreamStatus::StreamOn,
                                       StreamStatus::StreamOff}));
  EXPECT_EQ(f.host.labels.videoFile, " " + movie.string() + " ");
  EXPECT_EQ(f.host.labels.frameSize, "320x240");
  EXPECT_EQ(f.host.labels.frameRate, "25.00 fps");
  EXPECT_EQ(f.host.labels.frameCount, "10");
  EXPECT_EQ(f.host.labels.duration, "00:00:00.400");
  EXPECT_EQ(f.stream.info().timePerFrame, 400000);
  EXPECT_EQ(LogLines(f.dir / "TLVPUB.log"),
            (std::vector<std::string>{"OS_ASPECT = 1", "Render file: " + movie.string(),
                                      "Video File Duration = 0.4", "Frame Size = 320x240",
                                      "getTimePerFrame = 0.04", "FPS = 25.00", "numframes = 10",
                                      "File exit Ok", "File exit Final"}));
}

TEST(MovieStream, NtscProbeTextGivesItsRateAndAllFrames) {
  Fixture f;
  const auto movie = f.dir / "ntsc.mp4";
  MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 30, .fps = "29.97"});
  std::thread load =
      f.Load(movie, "Stream #0:0: Video: h264, yuv420p, 320x240, 29.97 fps, 29.97 tbr, 30k tbn");
  ASSERT_TRUE(WaitFor([&] { return f.stream.StreamState == 1; }));
  EXPECT_EQ(f.stream.info().timePerFrame, 333667);
  EXPECT_EQ(f.stream.info().frameCount, 30);
  {
    std::lock_guard lock(f.host.mutex);
    EXPECT_EQ(f.host.labels.frameRate, "29.97 fps");
    EXPECT_EQ(f.host.labels.duration, "00:00:01.001");
  }
  f.stream.RequestClose();
  load.join();
}

TEST(MovieStream, FailuresShowTheirMessageAndCloseCleanly) {
  Fixture f;
  struct Case {
    std::filesystem::path file;
    std::string message;
    bool logsRender;
  };
  const auto wav = f.dir / "sound only.wav";
  ASSERT_TRUE(sample::WriteToneWav(wav, 0.3));
  const auto empty = f.dir / "empty.mp4";
  WriteFileBytes(empty, "");
  const Case cases[] = {{wav, kUnsupportedMediaText, false},
                        {empty, kFormatNotSupportedText, true},
                        {f.dir / "not there.mp4", kAddSourceFileText, false}};
  for (const Case& c : cases) {
    std::filesystem::remove(f.dir / "TLVPUB.log");
    f.host.errors.clear();
    f.stream.OpenMovie(c.file, kProbe);
    ASSERT_EQ(f.host.errors, std::vector<std::string>{c.message}) << c.file;
    EXPECT_EQ(f.stream.graphBusy, 0);
    EXPECT_EQ(f.stream.StreamState, 0);
    EXPECT_FALSE(f.stream.source().IsOpen());
    std::vector<std::string> expected;
    if (c.logsRender) {
      expected = {"OS_ASPECT = 0", "Render file: " + c.file.string()};
    }
    expected.push_back("File exit Ok");
    expected.push_back("File exit Final");
    EXPECT_EQ(LogLines(f.dir / "TLVPUB.log"), expected) << c.file;
  }
  EXPECT_TRUE(f.host.fatal.empty());
}

TEST(MovieStream, MovieWithoutTimingIsTranscodedThenOpened) {
  Fixture f;
  const auto mp4 = f.dir / "source.mp4";
  MakeSampleMovie(mp4, {.width = 320, .height = 240, .frames = 10, .sound = false});
  const auto raw = f.dir / "raw stream.h264";
  ASSERT_EQ(RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", "file:" + mp4.string(), "-c:v",
                        "copy", "-f", "h264", "file:" + raw.string()})
                .exitCode,
            0);
  std::thread load = f.Load(raw);
  ASSERT_TRUE(WaitFor([&] { return f.stream.StreamState == 1; }));
  EXPECT_EQ(f.stream.currentMovie(), (f.dir / "raw stream.avi").string());
  EXPECT_EQ(f.stream.info().width, 320);
  f.stream.RequestClose();
  load.join();
  ASSERT_EQ(f.host.transcoded.size(), 1u);
  EXPECT_EQ(f.host.transcoded[0], raw);
  EXPECT_TRUE(f.host.errors.empty());
  EXPECT_TRUE(f.host.fatal.empty());

  // Without a converter the movie cannot be shown, and the user is told so.
  f.host.canTranscode = false;
  f.stream.OpenMovie(raw, kProbe);
  EXPECT_EQ(f.host.fatal, std::vector<std::string>{kNoSupportAfterTranscodeText});
  EXPECT_EQ(f.stream.graphBusy, 0);
}

TEST(MovieStream, ASecondMovieEndsTheFirstStream) {
  Fixture f;
  const auto first = f.dir / "first.mp4";
  const auto second = f.dir / "second movie.mkv";
  MakeSampleMovie(first, {.width = 320, .height = 240, .frames = 10});
  MakeSampleMovie(second, {.width = 400, .height = 300, .frames = 5});
  std::thread one = f.Load(first);
  ASSERT_TRUE(WaitFor([&] { return f.stream.StreamState == 1; }));
  std::thread two = f.Load(second);
  one.join();  // the first load thread ends once its stream is closed
  ASSERT_TRUE(WaitFor([&] { return f.stream.StreamState == 1 && f.stream.info().width == 400; }));
  EXPECT_EQ(f.stream.currentMovie(), second.string());
  f.stream.RequestClose();
  two.join();
  EXPECT_TRUE(f.host.errors.empty());
  EXPECT_EQ(f.host.statuses.size(), 6u);
}

TEST(MovieStream, PlayAtTheEndStartsAgainAndPauseHolds) {
  Fixture f;
  const auto movie = f.dir / "short.mp4";
  MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 5});
  std::thread load = f.Load(movie);
  ASSERT_TRUE(WaitFor([&] { return f.stream.StreamState == 1; }));
  FrameSource& source = f.stream.source();
  ASSERT_TRUE(WaitFor([&] { return source.Position() == source.Duration(); }));
  f.stream.TogglePlayPause();  // pause
  EXPECT_EQ(f.stream.paused, 1);
  EXPECT_FALSE(source.IsPlaying());
  f.stream.TogglePlayPause();  // play again: from the start
  EXPECT_EQ(f.stream.paused, 0);
  EXPECT_LT(source.Position(), source.Duration());
  ASSERT_TRUE(source.WaitEndOfMovie(5s));
  // Paused, a refresh request leads to exactly one more preview refresh soon.
  f.stream.TogglePlayPause();
  std::this_thread::sleep_for(120ms);
  int before;
  {
    std::lock_guard lock(f.host.mutex);
    before = f.host.refreshes;
  }
  f.stream.RequestRefresh();
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(f.host.mutex);
    return f.host.refreshes == before + 1;
  }));
  f.stream.RequestClose();
  load.join();
}

}  // namespace
}  // namespace corvinex::test
