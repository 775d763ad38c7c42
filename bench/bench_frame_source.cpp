// Decode throughput of the frame source in push mode (as a conversion takes frames)
// beside the ffmpeg command-line tool decoding the same 1080p H.264 movie to nothing.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "convert/child_process.h"
#include "media/frame_source.h"
#include "sample_encoder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kFrames = 150;

std::filesystem::path g_movie;
double g_ourFps = 0;
double g_peerFps = 0;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void BM_FrameSourcePush(benchmark::State& state) {
  corvinex::FrameSource source;
  corvinex::MovieInfo info;
  if (!source.Open(g_movie, info).ok()) {
    state.SkipWithError("cannot open the movie");
    return;
  }
  std::atomic<int64_t> frames{0};
  source.SetFrameCallback([&frames](const uint8_t* bytes, size_t, int64_t) {
    benchmark::DoNotOptimize(bytes[0]);
    frames.fetch_add(1, std::memory_order_relaxed);
  });
  source.SetMute(true);
  int64_t total = 0;
  double seconds = 0;
  for (auto _ : state) {
    frames = 0;
    const auto start = Clock::now();
    source.Seek(0);
    source.Play();
    if (!source.WaitEndOfMovie(std::chrono::minutes(2))) {
      state.SkipWithError("no end of movie");
      return;
    }
    const double s = Seconds(Clock::now() - start);
    source.Pause();
    state.SetIterationTime(s);
    total += frames;
    seconds += s;
  }
  g_ourFps = static_cast<double>(total) / seconds;
  state.counters["fps"] = g_ourFps;
}

void BM_FfmpegToolToNull(benchmark::State& state) {
  int64_t total = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto exit = corvinex::RunProcess(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", "file:" + g_movie.string(), "-f", "null", "-"});
    const double s = Seconds(Clock::now() - start);
    if (!exit.exited || exit.exitCode != 0) {
      state.SkipWithError("ffmpeg failed");
      return;
    }
    state.SetIterationTime(s);
    total += kFrames;
    seconds += s;
  }
  g_peerFps = static_cast<double>(total) / seconds;
  state.counters["fps"] = g_peerFps;
}

BENCHMARK(BM_FrameSourcePush)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_FfmpegToolToNull)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto dir = std::filesystem::temp_directory_path() / "corvinex-bench-frame-source";
  std::filesystem::create_directories(dir);
  g_movie = dir / "doughnut 1080p.mp4";
  if (!std::filesystem::exists(g_movie)) {
    corvinex::sample::SampleMovieRecipe recipe;
    recipe.output = g_movie;
    recipe.width = 1920;
    recipe.height = 1080;
    recipe.frames = kFrames;
    const std::string error = corvinex::sample::EncodeSampleMovie(recipe);
    if (!error.empty()) {
      std::fprintf(stderr, "cannot make the benchmark movie: %s\n", error.c_str());
      return 1;
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_ourFps > 0 && g_peerFps > 0) {
    std::printf("frame source %.1f fps, ffmpeg -f null %.1f fps, ratio %.3f\n", g_ourFps, g_peerFps,
                g_ourFps / g_peerFps);
  }
  return 0;
}
