// The read-back check of a finished movie against the conversion it follows: a 10 s
// 1080p H.264 movie with sound, checked by packet counting, beside the time the
// encoder tool alone takes to write that movie (a lower bound of a conversion).
// The check must stay under 2 % of it.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "convert/child_process.h"
#include "media/output_check.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kFrames = 300;  // 10 s at 30 frames a second

std::filesystem::path g_movie;
double g_encodeSeconds = 0;
double g_checkSeconds = 0;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void BM_CheckOutputMovie(benchmark::State& state) {
  double seconds = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const corvinex::OutputCheck check =
        corvinex::CheckOutputMovie(g_movie, {kFrames, 333333, true});
    const double s = Seconds(Clock::now() - start);
    if (!check.ok) {
      state.SkipWithError(check.reason.c_str());
      return;
    }
    state.SetIterationTime(s);
    seconds += s;
    ++runs;
  }
  g_checkSeconds = seconds / static_cast<double>(runs);
  state.counters["share_of_encoding_pct"] = 100.0 * g_checkSeconds / g_encodeSeconds;
}

BENCHMARK(BM_CheckOutputMovie)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto dir = std::filesystem::temp_directory_path() / "corvinex-bench-output-check";
  std::filesystem::create_directories(dir);
  g_movie = dir / "check 1080p.mp4";
  // Made afresh each time: its encoding time is the yardstick.
  const auto start = Clock::now();
  const corvinex::ChildExit made = corvinex::RunProcess({"ffmpeg",
                                                         "-nostdin",
                                                         "-v",
                                                         "error",
                                                         "-y",
                                                         "-f",
                                                         "lavfi",
                                                         "-i",
                                                         "testsrc2=size=1920x1080:rate=30",
                                                         "-f",
                                                         "lavfi",
                                                         "-i",
                                                         "sine=sample_rate=48000",
                                                         "-t",
                                                         "10",
                                                         "-c:v",
                                                         "libx264",
                                                         "-pix_fmt",
                                                         "yuv420p",
                                                         "-c:a",
                                                         "aac",
                                                         g_movie.string()});
  g_encodeSeconds = Seconds(Clock::now() - start);
  if (!made.exited || made.exitCode != 0) {
    std::fprintf(stderr, "cannot make the benchmark movie\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_checkSeconds > 0) {
    std::printf("check %.2f ms, encoding the movie %.2f s: %.3f %%\n", 1000 * g_checkSeconds,
                g_encodeSeconds, 100.0 * g_checkSeconds / g_encodeSeconds);
  }
  return 0;
}
