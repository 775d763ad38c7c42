// A whole conversion of a 10-second 1080p doughnut movie to MP4, beside FFmpeg doing
// the same in one pass with its remap filter and equivalent maps, and our frame loop
// beside a plain FFmpeg decode. Each run is a child process; its peak memory is
// reported as the counter peak_MB.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "transform/unwrap_geometry.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using corvinex::RingGeometry;

const fs::path kProgram = CORVINEX_PROGRAM_DIR;
const fs::path kWork = fs::temp_directory_path() / "corvinex-bench-convert";
constexpr RingGeometry kRing{150, 20, 316, 306, 32};
const char* kCut = "150,20,316,306,32";

struct ChildRun {
  int exitCode = -1;
  double peakMegabytes = 0;
};

// Runs argv to its end with its output discarded; the peak resident size of the
// child itself comes from wait4.
ChildRun Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  ChildRun result;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    result.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
  }
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

// 16-bit binary PGM, as FFmpeg's remap filter reads its maps.
void WriteMap(const fs::path& file, int32_t width, int32_t height,
              const std::vector<uint16_t>& values) {
  std::ofstream out(file, std::ios::binary);
  out << "P5\n" << width << " " << height << "\n65535\n";
  for (uint16_t v : values) {
    const char bytes[2] = {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
    out.write(bytes, 2);
  }
}

// The movie, our settings file and the peer's maps, made once.
struct Fixture {
  fs::path movie = kWork / "doughnut 1080p.mp4";
  fs::path settings = kWork / "bench.ini";
  fs::path xmap = kWork / "xmap.pgm";
  fs::path ymap = kWork / "ymap.pgm";
  bool ready = false;

  Fixture() {
    fs::create_directories(kWork / "TEMP");
    if (!fs::exists(movie)) {
      Run({(kProgram / "corvinex-sample").string(), movie.string(), "--size", "1920x1080",
           "--frames", "250", "--fps", "25"});
    }
    corvinex::AppSettings s;
    s.APATH = (kWork / "TEMP").string();
    s.OPATH = kWork.string();
    corvinex::WriteSettings(settings, s);

    // The fast path's table gives every panorama pixel its source pixel.
    corvinex::UnwrapBuffers buffers;
    const auto g = corvinex::ComputeUnwrapGeometry(1920, 1080, kRing, 0.0f);
    corvinex::BuildFastTable(g, 0, buffers);
    std::vector<uint16_t> xs, ys;
    for (int32_t row = g.H - 1; row >= g.cutRows; --row) {  // top line first
      for (int32_t col = 0; col < g.W; ++col) {
        const int32_t index = buffers.tableIndex[static_cast<size_t>(row) * g.W + col];
        xs.push_back(static_cast<uint16_t>(index % g.Fw));
        ys.push_back(static_cast<uint16_t>(g.Fh - 1 - index / g.Fw));
      }
    }
    WriteMap(xmap, g.W, g.outRows, xs);
    WriteMap(ymap, g.W, g.outRows, ys);
    ready = fs::exists(movie);
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void Report(benchmark::State& state, const std::vector<std::string>& args) {
  Fixture& f = Shared();
  if (!f.ready) {
    state.SkipWithError("sample movie could not be made");
    return;
  }
  double peak = 0;
  for (auto _ : state) {
    const ChildRun run = Run(args);
    if (run.exitCode != 0) {
      state.SkipWithError(("exit status " + std::to_string(run.exitCode)).c_str());
      return;
    }
    peak = std::max(peak, run.peakMegabytes);
  }
  state.counters["peak_MB"] = peak;
  state.counters["frames_per_s"] = benchmark::Counter(
      250.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_FrameLoop_Corvinex(benchmark::State& state) {
  Fixture& f = Shared();
  const fs::path frames = kWork / "frames";
  fs::remove_all(frames);
  Report(state, {(kProgram / "corvinex-batch").string(), "--settings", f.settings.string(), "--cut",
                 kCut, "--frames-only", frames.string(), f.movie.string()});
}

void BM_FrameLoop_FfmpegDecodeOnly(benchmark::State& state) {
  Report(state, {"ffmpeg", "-v", "error", "-i", Shared().movie.string(), "-f", "null", "-"});
}

void BM_WholeRun_Corvinex(benchmark::State& state) {
  Fixture& f = Shared();
  Report(state, {(kProgram / "corvinex-batch").string(), "--settings", f.settings.string(), "--cut",
                 kCut, "-o", (kWork / "ours.mp4").string(), f.movie.string()});
}

// One pass: decode, remap with the same source pixels, encode with the x264
// settings our default MP4 export ends up with.
void BM_WholeRun_FfmpegRemap(benchmark::State& state) {
  Fixture& f = Shared();
  Report(state, {"ffmpeg",
                 "-v",
                 "error",
                 "-i",
                 f.movie.string(),
                 "-i",
                 f.xmap.string(),
                 "-i",
                 f.ymap.string(),
                 "-filter_complex",
                 "[0:v][1:v][2:v]remap,format=yuv420p",
                 "-c:v",
                 "libx264",
                 "-crf",
                 "22",
                 "-r",
                 "30",
                 "-fps_mode",
                 "cfr",
                 "-ac",
                 "2",
                 "-ar",
                 "44100",
                 "-f",
                 "mp4",
                 "-y",
                 (kWork / "peer.mp4").string()});
}

BENCHMARK(BM_FrameLoop_FfmpegDecodeOnly)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FrameLoop_Corvinex)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_FfmpegRemap)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_Corvinex)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
