// The frame source on real movies made by the sample generator.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "media/audio_output.h"
#include "media/frame_source.h"
#include "ring_wrap.h"
#include "sample_pattern.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace corvinex::test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kColour = 0x00FFFFFFu;  // the fourth byte carries no colour

// Frame `index` as the generator drew it.
FrameImage ExpectedFrame(const SampleMovieOptions& o, int32_t index) {
  const auto placement = sample::PlaceRing(o.width, o.height, o.ring);
  return sample::WrapPanorama(sample::MakePanoramaPattern(placement.W, placement.H, index), o.width,
                              o.height, o.ring);
}

int64_t ColourMismatches(const FrameImage& a, const FrameImage& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  int64_t n = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    n += (a.pixels[i] & kColour) != (b.pixels[i] & kColour);
  return n;
}

// Mean absolute difference per colour byte.
double MeanError(const FrameImage& a, const uint8_t* bytes) {
  const uint8_t* e = a.Bytes();
  double sum = 0;
  for (size_t i = 0; i < a.ByteSize(); ++i) {
    if (i % 4 != 3) sum += std::abs(int(e[i]) - int(bytes[i]));
  }
  return sum / (static_cast<double>(a.PixelCount()) * 3);
}

struct Delivered {
  std::mutex mutex;
  std::vector<int64_t> times;
  std::vector<std::vector<uint8_t>> frames;  // only those asked for
  std::vector<size_t> keep;                  // indexes to keep
};

// Runs push mode from the start and collects every frame. The frames kept are taken
// from the decoder as the conversion takes them, by swapping in a buffer of filler,
// which the next frame must then cover entirely.
void PushAll(FrameSource& source, Delivered& out) {
  source.SetFrameCallback([&out](FrameImage& frame, int64_t time) {
    std::lock_guard lock(out.mutex);
    const size_t index = out.times.size();
    out.times.push_back(time);
    for (size_t k : out.keep) {
      if (k != index) continue;
      std::vector<uint32_t> taken(frame.pixels.size(), 0xDEADBEEFu);
      std::swap(taken, frame.pixels);
      const auto* bytes = reinterpret_cast<const uint8_t*>(taken.data());
      out.frames.emplace_back(bytes, bytes + taken.size() * 4);
    }
  });
  source.SetMute(true);
  source.Seek(0);
  source.Play();
  ASSERT_TRUE(source.WaitEndOfMovie(20s));
  source.SetFrameCallback({});
}

class LosslessMovie : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir("frame source");
    movie_ = dir_->path() / "exact movie.mkv";
    MakeSampleMovie(movie_, kOptions);
  }
  static void TearDownTestSuite() { delete dir_; }
  static constexpr SampleMovieOptions kOptions{
      .width = 320, .height = 240, .frames = 10, .lossless = true};
  static inline TempDir* dir_ = nullptr;
  static inline std::filesystem::path movie_;
};

TEST_F(LosslessMovie, OpensPausedOnTheFirstFrameWithItsProperties) {
  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie_, info).ok());
  EXPECT_EQ(info.path, movie_.string());
  EXPECT_EQ(info.width, 320);
  EXPECT_EQ(info.height, 240);
  EXPECT_EQ(info.sampleSize, 320 * 240 * 4);
  EXPECT_EQ(info.duration, 4'000'000);
  EXPECT_DOUBLE_EQ(info.durationSeconds, 0.4);
  EXPECT_EQ(source.AverageTimePerFrame(), 400'000);
  EXPECT_FALSE(source.IsPlaying());
  FrameImage frame;
  ASSERT_TRUE(source.CopyCurrentFrame(frame));
  EXPECT_EQ(ColourMismatches(frame, ExpectedFrame(kOptions, 0)), 0);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(source.Position(), 0);  // paused: the clock stands
}

TEST_F(LosslessMovie, PushModeDeliversEveryFrameOnceInOrderExactly) {
  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie_, info).ok());
  Delivered out;
  out.keep = {0, 4, 9};
  PushAll(source, out);
  ASSERT_EQ(out.times.size(), 10u);
  for (size_t i = 0; i < out.times.size(); ++i) EXPECT_EQ(out.times[i], int64_t(i) * 400'000);
  ASSERT_EQ(out.frames.size(), 3u);
  const int32_t indexes[] = {0, 4, 9};
  for (size_t k = 0; k < 3; ++k) {
    FrameImage got(320, 240);
    std::memcpy(got.Bytes(), out.frames[k].data(), got.ByteSize());
    EXPECT_EQ(ColourMismatches(got, ExpectedFrame(kOptions, indexes[k])), 0) << indexes[k];
  }
  EXPECT_EQ(source.CurrentFrameTime(), 9 * 400'000);
  EXPECT_EQ(source.Position(), source.Duration());
  FrameImage shown;
  EXPECT_TRUE(source.CopyCurrentFrame(shown)) << "the frame before push mode is kept";
  // A second run from the start gives the same frames again, also for a caller
  // that keeps no picture, whose current frame push mode frees.
  source.SetKeepsCurrentFrame(false);
  Delivered again;
  PushAll(source, again);
  EXPECT_EQ(again.times, out.times);
  EXPECT_FALSE(source.CopyCurrentFrame(shown));
}

TEST_F(LosslessMovie, RemovingTheCallbackWaitsForTheRunningOne) {
  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie_, info).ok());
  std::atomic<bool> entered{false}, finished{false};
  source.SetFrameCallback([&](FrameImage&, int64_t) {
    entered = true;
    std::this_thread::sleep_for(100ms);
    finished = true;
  });
  source.Play();
  ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
  source.SetFrameCallback({});
  EXPECT_TRUE(finished.load());  // what the callback used may now be destroyed
}

TEST_F(LosslessMovie, SeekShowsTheFrameAtThatTime) {
  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie_, info).ok());
  FrameImage frame;
  for (int32_t target : {6, 3, 8, 0}) {
    // Halfway into the frame still shows that frame.
    source.Seek(target * 400'000 + 200'000);
    ASSERT_TRUE(WaitFor([&] { return source.CurrentFrameTime() == target * 400'000; })) << target;
    ASSERT_TRUE(source.CopyCurrentFrame(frame));
    EXPECT_EQ(ColourMismatches(frame, ExpectedFrame(kOptions, target)), 0) << target;
    EXPECT_EQ(source.Position(), target * 400'000 + 200'000);
  }
  // Past the end: clamped to the duration, showing the last frame.
  source.Seek(50'000'000);
  EXPECT_EQ(source.Position(), 4'000'000);
  ASSERT_TRUE(WaitFor([&] { return source.CurrentFrameTime() == 9 * 400'000; }));
  ASSERT_TRUE(source.CopyCurrentFrame(frame));
  EXPECT_EQ(ColourMismatches(frame, ExpectedFrame(kOptions, 9)), 0);
}

TEST_F(LosslessMovie, PlaysToTheEndThenRestartsFromASeek) {
  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie_, info).ok());
  EXPECT_FALSE(source.PollEndOfMovie());
  source.Play();
  EXPECT_TRUE(source.IsPlaying());
  std::this_thread::sleep_for(100ms);
  const int64_t early = source.Position();
  EXPECT_GT(early, 0);
  EXPECT_LT(early, 4'000'000);
  ASSERT_TRUE(source.WaitEndOfMovie(5s));
  EXPECT_TRUE(source.PollEndOfMovie());
  EXPECT_FALSE(source.PollEndOfMovie());  // one event per end
  EXPECT_EQ(source.Position(), source.Duration());
  FrameImage frame;
  ASSERT_TRUE(source.CopyCurrentFrame(frame));
  EXPECT_EQ(ColourMismatches(frame, ExpectedFrame(kOptions, 9)), 0);
  // Play at the end restarts from the start after a seek to 0.
  source.Seek(0);
  EXPECT_EQ(source.Position() < 400'000, true);
  ASSERT_TRUE(source.WaitEndOfMovie(5s));
}

TEST_F(LosslessMovie, PauseHoldsTheClockAndTheFrame) {
  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie_, info).ok());
  source.Play();
  std::this_thread::sleep_for(120ms);
  source.Pause();
  const int64_t held = source.Position();
  const int64_t frameTime = source.CurrentFrameTime();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(source.Position(), held);
  EXPECT_EQ(source.CurrentFrameTime(), frameTime);
  EXPECT_FALSE(source.PollEndOfMovie());
  source.Stop();
  EXPECT_EQ(source.Position(), 0);
  EXPECT_FALSE(source.IsPlaying());
}

struct ContainerCase {
  const char* name;
  SampleMovieOptions options;
};

class LossyMovies : public testing::TestWithParam<ContainerCase> {};

TEST_P(LossyMovies, DeliverAsManyFramesAsTheFileHoldsCloseToThePattern) {
  const ContainerCase c = GetParam();
  TempDir dir;
  const auto movie = dir / c.name;
  MakeSampleMovie(movie, c.options);
  const auto probe = ProbeFile(movie);
  ASSERT_TRUE(probe.has_value());

  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie, info).ok());
  EXPECT_EQ(info.width, c.options.width);
  EXPECT_EQ(info.height, c.options.height);
  const double seconds = c.options.frames / (c.options.fps == "29.97" ? 30000.0 / 1001 : 25.0);
  EXPECT_NEAR(info.durationSeconds, seconds, 0.05);
  info.timePerFrame = TimePerFrameFrom("", source.AverageTimePerFrame());
  info.frameCount = FrameCountFrom(info.duration, info.timePerFrame);
  EXPECT_EQ(info.frameCount, c.options.frames);

  Delivered out;
  out.keep = {0, static_cast<size_t>(c.options.frames - 1)};
  PushAll(source, out);
  EXPECT_EQ(static_cast<int64_t>(out.times.size()), probe->frameCount);
  EXPECT_EQ(static_cast<int32_t>(out.times.size()), c.options.frames);
  ASSERT_EQ(out.frames.size(), 2u);
  EXPECT_LT(MeanError(ExpectedFrame(c.options, 0), out.frames[0].data()), 6.0);
  EXPECT_LT(MeanError(ExpectedFrame(c.options, c.options.frames - 1), out.frames[1].data()), 6.0);
  // A seek into a compressed stream lands on the frame at that time.
  const int32_t middle = c.options.frames / 2;
  const int64_t tpf = source.AverageTimePerFrame();
  source.Pause();  // paused, the frame stays until it has been looked at
  source.Seek(middle * tpf + tpf / 2);
  ASSERT_TRUE(WaitFor([&] {
    return std::llabs(source.CurrentFrameTime() - middle * tpf) < tpf / 4;
  })) << source.CurrentFrameTime()
      << " " << middle * tpf;
  FrameImage shown;
  ASSERT_TRUE(source.CopyCurrentFrame(shown));
  EXPECT_LT(MeanError(ExpectedFrame(c.options, middle), shown.Bytes()), 6.0);
  EXPECT_GT(MeanError(ExpectedFrame(c.options, middle + 1), shown.Bytes()),
            MeanError(ExpectedFrame(c.options, middle), shown.Bytes()));
  // The last frame is not the first one: the moving block really moved.
  EXPECT_GT(MeanError(ExpectedFrame(c.options, 0), out.frames[1].data()),
            MeanError(ExpectedFrame(c.options, c.options.frames - 1), out.frames[1].data()));
}

INSTANTIATE_TEST_SUITE_P(
    Containers, LossyMovies,
    testing::Values(ContainerCase{"h264 movie.mp4", {.width = 320, .height = 240, .frames = 12}},
                    ContainerCase{"mpeg4 movie.avi", {.width = 320, .height = 240, .frames = 12}},
                    ContainerCase{"movie.mkv", {.width = 320, .height = 240, .frames = 12}},
                    ContainerCase{"movie.mov",
                                  {.width = 320, .height = 240, .frames = 12, .sound = false}},
                    ContainerCase{"odd width ntsc.mp4",
                                  {.width = 638, .height = 360, .frames = 30, .fps = "29.97"}}),
    [](const testing::TestParamInfo<ContainerCase>& info) {
      std::string name;
      for (char ch : std::string(info.param.name)) name += std::isalnum(ch) ? ch : '_';
      return name;
    });

class RecordingAudio : public AudioOutput {
 public:
  void Start(int32_t rate, int32_t channels) override {
    rate_ = rate;
    channels_ = channels;
  }
  void Write(const int16_t* samples, size_t frames) override {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < frames * 2; ++i) peak_ = std::max<int>(peak_, std::abs(samples[i]));
    frames_ += frames;
  }
  void Flush() override {}
  size_t Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
  }
  int Peak() {
    std::lock_guard lock(mutex_);
    return peak_;
  }
  int32_t rate_ = 0, channels_ = 0;

 private:
  std::mutex mutex_;
  size_t frames_ = 0;
  int peak_ = 0;
};

TEST(FrameSourceSound, PlaysTheToneUnlessMuted) {
  TempDir dir;
  const auto movie = dir / "tone.mp4";
  MakeSampleMovie(movie, {.frames = 10});
  RecordingAudio audio;
  FrameSource source;
  source.SetAudioOutput(&audio);
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie, info).ok());
  EXPECT_EQ(audio.rate_, 44100);
  EXPECT_EQ(audio.channels_, 2);
  source.Play();
  ASSERT_TRUE(source.WaitEndOfMovie(5s));
  // 0.4 s of a 0.3 full-scale sine.
  EXPECT_GT(audio.Frames(), 44100u * 3 / 10);
  EXPECT_NEAR(audio.Peak(), 0.3 * 32767, 2000);

  const size_t before = audio.Frames();
  source.SetMute(true);
  source.Seek(0);
  source.Play();
  ASSERT_TRUE(source.WaitEndOfMovie(5s));
  EXPECT_EQ(audio.Frames(), before);
  source.Close();
}

TEST(FrameSourceErrors, BadFilesGiveAClearStatusAndTheSourceStaysUsable) {
  TempDir dir;
  FrameSource source;
  MovieInfo info;
  const auto empty = dir / "empty.mp4";
  WriteFileBytes(empty, "");
  EXPECT_EQ(source.Open(empty, info).status, OpenStatus::Unreadable);
  const auto text = dir / "notes.avi";
  WriteFileBytes(text, "this is not a movie at all\n");
  EXPECT_EQ(source.Open(text, info).status, OpenStatus::Unreadable);
  EXPECT_EQ(source.Open(dir / "missing.mp4", info).status, OpenStatus::Unreadable);
  EXPECT_FALSE(source.IsOpen());

  // Sound only: there is no picture to show.
  const auto wav = dir / "tone only.wav";
  ASSERT_TRUE(sample::WriteToneWav(wav, 0.5));
  const OpenResult soundOnly = source.Open(wav, info);
  EXPECT_EQ(soundOnly.status, OpenStatus::NoVideo);

  // A movie cut off halfway: opens or not, but never crashes and never hangs.
  const auto whole = dir / "whole.mkv";
  MakeSampleMovie(whole, {.frames = 20, .lossless = true});
  std::string bytes = ReadFileBytes(whole);
  const auto cut = dir / "cut.mkv";
  WriteFileBytes(cut, bytes.substr(0, bytes.size() / 2));
  if (source.Open(cut, info).ok()) {
    Delivered out;
    PushAll(source, out);
    EXPECT_LT(out.times.size(), 20u);
    EXPECT_GT(out.times.size(), 0u);
  }
  // A broken header start: the same.
  const auto mp4 = dir / "whole.mp4";
  MakeSampleMovie(mp4, {.frames = 10});
  bytes = ReadFileBytes(mp4);
  WriteFileBytes(dir / "cut.mp4", bytes.substr(0, bytes.size() * 2 / 3));
  const OpenResult truncated = source.Open(dir / "cut.mp4", info);
  EXPECT_NE(truncated.status, OpenStatus::NoVideo);

  // After all that, a good movie opens normally.
  ASSERT_TRUE(source.Open(whole, info).ok());
  EXPECT_EQ(info.width, 320);
  FrameImage frame;
  EXPECT_TRUE(source.CopyCurrentFrame(frame));
}

}  // namespace
}  // namespace corvinex::test
