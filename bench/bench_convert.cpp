// A whole conversion of a 10-second 1080p doughnut movie to MP4 by the batch tool (one
// pass, with default quality and with --draft; and the window's route: frames spooled
// to files, then the export), beside FFmpeg doing the same in one pass with its remap
// filter and equivalent maps; and our frame loop beside a plain FFmpeg decode. Each run
// is a child process. Counters: processor seconds of the whole process tree per run
// (cpu_s), the largest single process (peak_MB, from wait4, which folds in the waited
// descendants) and the sampled peak of the tree's summed resident size (tree_peak_MB:
// tool and encoder run at once), and of its summed proportional size (tree_pss_MB:
// library pages that the tool and the encoder share count once, as the machine holds them). After
// the runs, a table gives the ratios of wall and processor time against the FFmpeg peer measured in
// the same run.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/output_check.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "transform/unwrap_geometry.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using corvinex::CheckOutputMovie;
using corvinex::RingGeometry;

const fs::path kProgram = CORVINEX_PROGRAM_DIR;
const fs::path kWork = fs::temp_directory_path() / "corvinex-bench-convert";
constexpr RingGeometry kRing{150, 20, 316, 306, 32};
const char* kCut = "150,20,316,306,32";

struct ChildRun {
  int exitCode = -1;
  double peakMegabytes = 0;      // the largest single process of the tree
  double treePeakMegabytes = 0;  // the tree's summed resident size, sampled
  double treePssMegabytes = 0;   // the same with shared pages counted once
  double cpuSeconds = 0;         // user + system of the whole tree
  double wallSeconds = 0;
};

struct TreeSize {
  long resident = 0;      // kilobytes
  long proportional = 0;  // kilobytes, shared pages split between their processes
};

long ProportionalKilobytes(pid_t pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  while (std::getline(rollup, line)) {
    if (line.rfind("Pss:", 0) == 0) return std::atol(line.c_str() + 4);
  }
  return 0;
}

// Resident and proportional kilobytes of `root` and every process below it, from /proc.
TreeSize TreeKilobytes(pid_t root) {
  std::map<pid_t, std::vector<pid_t>> children;
  std::map<pid_t, long> resident;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return {};
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream status("/proc/" + std::string(entry->d_name) + "/status");
    std::string line;
    pid_t parent = 0;
    long kilobytes = 0;
    while (std::getline(status, line)) {
      if (line.rfind("PPid:", 0) == 0) parent = static_cast<pid_t>(std::atoi(line.c_str() + 5));
      if (line.rfind("VmRSS:", 0) == 0) kilobytes = std::atol(line.c_str() + 6);
    }
    children[parent].push_back(pid);
    resident[pid] = kilobytes;
  }
  closedir(proc);
  TreeSize sum;
  std::vector<pid_t> todo = {root};
  while (!todo.empty()) {
    const pid_t pid = todo.back();
    todo.pop_back();
    sum.resident += resident[pid];
    sum.proportional += ProportionalKilobytes(pid);
    for (pid_t child : children[pid]) todo.push_back(child);
  }
  return sum;
}

// Runs argv to its end with its output discarded.
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
  const auto start = std::chrono::steady_clock::now();
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    // Sampled a few times a second: enough for a run of several seconds, and cheap.
    std::atomic<bool> ended{false};
    long treePeak = 0;
    long treePss = 0;
    std::thread sampler([&] {
      while (!ended) {
        const TreeSize size = TreeKilobytes(pid);
        treePeak = std::max(treePeak, size.resident);
        treePss = std::max(treePss, size.proportional);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
    });
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    ended = true;
    sampler.join();
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    result.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    result.treePeakMegabytes = static_cast<double>(treePeak) / 1024.0;
    result.treePssMegabytes = static_cast<double>(treePss) / 1024.0;
    // wait4's times include the descendants the child waited for (the encoder).
    auto seconds = [](const timeval& t) {
      return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

// Mean wall and processor seconds per run of each benchmark, for the ratio table.
struct Means {
  double wall = 0;
  double cpu = 0;
  double treePeak = 0;
  double treePss = 0;
};
std::map<std::string, Means>& Measured() {
  static std::map<std::string, Means> measured;
  return measured;
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

// The peer's maps for a geometry: the fast path's table gives every panorama pixel its
// source pixel.
void WriteMapsFor(const corvinex::UnwrapGeometry& g, const fs::path& xmap, const fs::path& ymap) {
  corvinex::UnwrapBuffers buffers;
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
}

// The movie, our settings file and the peer's maps, made once.
struct Fixture {
  fs::path movie = kWork / "doughnut 1080p.mp4";
  // For the codecs, whose slower encoders make the 10-second runs take minutes.
  fs::path shortMovie = kWork / "doughnut 1080p 2s.mp4";
  fs::path settings = kWork / "bench.ini";
  fs::path xmap = kWork / "xmap.pgm";
  fs::path ymap = kWork / "ymap.pgm";
  // The same at full detail: the ring's outer circumference across.
  fs::path xmapFull = kWork / "xmap full.pgm";
  fs::path ymapFull = kWork / "ymap full.pgm";
  bool ready = false;

  Fixture() {
    fs::create_directories(kWork / "TEMP");
    if (!fs::exists(movie)) {
      Run({(kProgram / "corvinex-sample").string(), movie.string(), "--size", "1920x1080",
           "--frames", "250", "--fps", "25"});
    }
    if (!fs::exists(shortMovie)) {
      Run({(kProgram / "corvinex-sample").string(), shortMovie.string(), "--size", "1920x1080",
           "--frames", "50", "--fps", "25"});
    }
    corvinex::AppSettings s;
    s.APATH = (kWork / "TEMP").string();
    s.OPATH = kWork.string();
    corvinex::WriteSettings(settings, s);

    WriteMapsFor(corvinex::ComputeUnwrapGeometry(1920, 1080, kRing, 0.0f), xmap, ymap);
    WriteMapsFor(
        corvinex::ComputeUnwrapGeometry(1920, 1080, kRing, 0.0f, {corvinex::kWidthFullDetail, 0.0}),
        xmapFull, ymapFull);
    ready = fs::exists(movie) && fs::exists(shortMovie);
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

// The picture frames `movie` holds, counted from its packets once per movie.
int64_t FramesIn(const fs::path& movie) {
  static std::map<fs::path, int64_t> counted;
  auto found = counted.find(movie);
  if (found == counted.end()) {
    found = counted.emplace(movie, CheckOutputMovie(movie, {}).pictureFrames).first;
  }
  return found->second;
}

// Runs `args` as the benchmark's child; the frame rate counts the frames of `movie`,
// the input each run converts.
void Report(benchmark::State& state, const char* name, const std::vector<std::string>& args,
            const fs::path& movie) {
  Fixture& f = Shared();
  if (!f.ready) {
    state.SkipWithError("sample movie could not be made");
    return;
  }
  const int64_t frames = FramesIn(movie);
  if (frames <= 0) {
    state.SkipWithError("the input's frames could not be counted");
    return;
  }
  double peak = 0;
  Means sum;
  for (auto _ : state) {
    const ChildRun run = Run(args);
    if (run.exitCode != 0) {
      state.SkipWithError(("exit status " + std::to_string(run.exitCode)).c_str());
      return;
    }
    peak = std::max(peak, run.peakMegabytes);
    sum.wall += run.wallSeconds;
    sum.cpu += run.cpuSeconds;
    sum.treePeak = std::max(sum.treePeak, run.treePeakMegabytes);
    sum.treePss = std::max(sum.treePss, run.treePssMegabytes);
  }
  const double n = static_cast<double>(state.iterations());
  Measured()[name] = {sum.wall / n, sum.cpu / n, sum.treePeak, sum.treePss};
  state.counters["peak_MB"] = peak;
  state.counters["tree_peak_MB"] = sum.treePeak;
  state.counters["tree_pss_MB"] = sum.treePss;
  state.counters["cpu_s"] = sum.cpu / n;
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(frames) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void Report(benchmark::State& state, const char* name, const std::vector<std::string>& args) {
  Report(state, name, args, Shared().movie);
}

void BM_FrameLoop_Corvinex(benchmark::State& state) {
  Fixture& f = Shared();
  const fs::path frames = kWork / "frames";
  fs::remove_all(frames);
  Report(state, __func__,
         {(kProgram / "corvinex-batch").string(), "--settings", f.settings.string(), "--cut", kCut,
          "--frames-only", frames.string(), f.movie.string()});
}

void BM_FrameLoop_FfmpegDecodeOnly(benchmark::State& state) {
  Report(state, __func__,
         {"ffmpeg", "-v", "error", "-i", Shared().movie.string(), "-f", "null", "-"});
}

std::vector<std::string> BatchRun(const std::string& output, std::vector<std::string> extra) {
  Fixture& f = Shared();
  std::vector<std::string> args = {(kProgram / "corvinex-batch").string(),
                                   "--settings",
                                   f.settings.string(),
                                   "--cut",
                                   kCut,
                                   "-y",
                                   "-o",
                                   (kWork / output).string()};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(f.movie.string());
  return args;
}

// The batch tool: frames to the encoder while they are made.
void BM_WholeRun_Corvinex(benchmark::State& state) {
  Report(state, __func__, BatchRun("ours.mp4", {}));
}

void BM_WholeRun_CorvinexDraft(benchmark::State& state) {
  Report(state, __func__, BatchRun("ours draft.mp4", {"--draft"}));
}

// The default run without the sharpening: sharpened pictures cost the encoder about a
// fifth more than the peer's softer nearest-sample pictures, and this shows how much
// of the gap to the peer is the encoder's.
void BM_WholeRun_CorvinexUnsharpened(benchmark::State& state) {
  Report(state, __func__, BatchRun("ours unsharpened.mp4", {"--no-sharpen"}));
}

// The window's route: every frame spooled to a file, the sound extracted, then the export.
void BM_WholeRun_CorvinexSpooled(benchmark::State& state) {
  Report(state, __func__, BatchRun("ours spooled.mp4", {"--spool"}));
}

void BM_WholeRun_CorvinexFullDetail(benchmark::State& state) {
  Report(state, __func__, BatchRun("ours full detail.mp4", {"--width", "full"}));
}

// Nearest pixels and no sharpening, as the peer's remap gives them.
void BM_WholeRun_CorvinexFullDetailDraft(benchmark::State& state) {
  Report(state, __func__,
         BatchRun("ours full detail draft.mp4", {"--width", "full", "--draft", "--no-sharpen"}));
}

// One pass: decode, remap with the same source pixels, encode with the x264
// settings our default MP4 export ends up with.
std::vector<std::string> PeerRun(const fs::path& xmap, const fs::path& ymap,
                                 const std::string& output) {
  Fixture& f = Shared();
  return {"ffmpeg",
          "-v",
          "error",
          "-i",
          f.movie.string(),
          "-i",
          xmap.string(),
          "-i",
          ymap.string(),
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
          (kWork / output).string()};
}

void BM_WholeRun_FfmpegRemap(benchmark::State& state) {
  Report(state, __func__, PeerRun(Shared().xmap, Shared().ymap, "peer.mp4"));
}

void BM_WholeRun_FfmpegRemapFullDetail(benchmark::State& state) {
  Report(state, __func__, PeerRun(Shared().xmapFull, Shared().ymapFull, "peer full detail.mp4"));
}

// Each codec on the 2-second movie: the batch tool beside FFmpeg doing the same unwrap
// in one pass with the same encoder and settings. Argument: index into kCodecRuns.
struct CodecRun {
  const char* codec;
  const char* output;
  std::vector<std::string> peerVideo;  // the encoder options our run ends up with
  std::vector<std::string> peerAudio;
};
const std::vector<CodecRun> kCodecRuns = {
    {"h264", "h264.mkv", {"-c:v", "libx264", "-crf", "22"}, {"-c:a", "aac", "-ar", "44100"}},
    {"h265",
     "h265.mkv",
     {"-c:v", "libx265", "-preset", "fast", "-crf", "27"},
     {"-c:a", "aac", "-ar", "44100"}},
    {"av1",
     "av1.mkv",
     {"-c:v", "libsvtav1", "-preset", "8", "-crf", "35"},
     {"-c:a", "aac", "-ar", "44100"}},
    {"vp9",
     "vp9.webm",
     {"-c:v", "libvpx-vp9", "-crf", "31", "-b:v", "0", "-row-mt", "1", "-cpu-used", "4", "-r", "30",
      "-fps_mode", "cfr"},
     {"-c:a", "libopus", "-ar", "48000"}},
};

std::string CodecName(const char* side, int64_t index) {
  return std::string(side) + "/" + kCodecRuns[static_cast<size_t>(index)].codec;
}

void BM_Codec_Corvinex(benchmark::State& state) {
  const CodecRun& c = kCodecRuns[static_cast<size_t>(state.range(0))];
  // Software, as the peer: auto would add the hardware probe (a test encode per
  // listed encoder, once per program run) to every run of this one-movie batch.
  std::vector<std::string> args =
      BatchRun(std::string("ours ") + c.output, {"--codec", c.codec, "--encoder", "software"});
  args.back() = Shared().shortMovie.string();
  Report(state, CodecName("ours", state.range(0)).c_str(), args, Shared().shortMovie);
}

void BM_Codec_FfmpegRemap(benchmark::State& state) {
  const CodecRun& c = kCodecRuns[static_cast<size_t>(state.range(0))];
  Fixture& f = Shared();
  // The picture from the filter, the sound from the movie, as our one pass maps them.
  std::vector<std::string> args = {"ffmpeg",
                                   "-v",
                                   "error",
                                   "-i",
                                   f.shortMovie.string(),
                                   "-i",
                                   f.xmap.string(),
                                   "-i",
                                   f.ymap.string(),
                                   "-filter_complex",
                                   "[0:v][1:v][2:v]remap,format=yuv420p[v]",
                                   "-map",
                                   "[v]",
                                   "-map",
                                   "0:a",
                                   "-ac",
                                   "2"};
  args.insert(args.end(), c.peerVideo.begin(), c.peerVideo.end());
  args.insert(args.end(), c.peerAudio.begin(), c.peerAudio.end());
  args.insert(args.end(), {"-y", (kWork / (std::string("peer ") + c.output)).string()});
  Report(state, CodecName("peer", state.range(0)).c_str(), args, Shared().shortMovie);
}

// Nearest pixels and no sharpening: the same unwrap as the peer's remap, so the same
// picture for the encoder. Sharpened pictures carry about twice the detail, and the
// encoder spends its time on it.
void BM_Codec_CorvinexNearest(benchmark::State& state) {
  const CodecRun& c = kCodecRuns[static_cast<size_t>(state.range(0))];
  std::vector<std::string> args =
      BatchRun(std::string("ours nearest ") + c.output,
               {"--codec", c.codec, "--encoder", "software", "--draft", "--no-sharpen"});
  args.back() = Shared().shortMovie.string();
  Report(state, CodecName("nearest", state.range(0)).c_str(), args, Shared().shortMovie);
}

// Each codec's three runs one after another, so that a change in the machine's load
// falls on all three alike.
void RegisterCodecRuns() {
  for (int64_t i = 0; i < static_cast<int64_t>(kCodecRuns.size()); ++i) {
    using Run = void (*)(benchmark::State&);
    const std::pair<const char*, Run> runs[] = {
        {"BM_Codec_FfmpegRemap", BM_Codec_FfmpegRemap},
        {"BM_Codec_Corvinex", BM_Codec_Corvinex},
        {"BM_Codec_CorvinexNearest", BM_Codec_CorvinexNearest}};
    for (const auto& [name, run] : runs) {
      benchmark::RegisterBenchmark(name, run)
          ->Arg(i)
          ->Unit(benchmark::kSecond)
          ->Iterations(2)
          ->UseRealTime();
    }
  }
}

BENCHMARK(BM_FrameLoop_FfmpegDecodeOnly)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FrameLoop_Corvinex)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_FfmpegRemap)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_Corvinex)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_CorvinexDraft)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_CorvinexSpooled)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_CorvinexUnsharpened)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_FfmpegRemapFullDetail)
    ->Unit(benchmark::kSecond)
    ->Iterations(2)
    ->UseRealTime();
BENCHMARK(BM_WholeRun_CorvinexFullDetail)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_WholeRun_CorvinexFullDetailDraft)
    ->Unit(benchmark::kSecond)
    ->Iterations(2)
    ->UseRealTime();

// Each codec against its own one-pass FFmpeg peer.
void PrintCodecRatios() {
  const auto& measured = Measured();
  bool header = false;
  for (const CodecRun& c : kCodecRuns) {
    const auto peer = measured.find(std::string("peer/") + c.codec);
    if (peer == measured.end() || peer->second.wall <= 0 || peer->second.cpu <= 0) continue;
    if (!header) {
      std::printf("\n%-6s %-8s %8s %8s %8s %8s\n", "codec", "ours", "ours_s", "peer_s", "wall_x",
                  "cpu_x");
      header = true;
    }
    // "default": cubic and sharpened, as the tool converts unless told otherwise;
    // "nearest": the peer's own unwrap.
    const std::pair<const char*, const char*> sides[] = {{"ours/", "default"},
                                                         {"nearest/", "nearest"}};
    for (const auto& [side, label] : sides) {
      const auto ours = measured.find(std::string(side) + c.codec);
      if (ours == measured.end()) continue;
      std::printf("%-6s %-8s %8.2f %8.2f %8.2f %8.2f\n", c.codec, label, ours->second.wall,
                  peer->second.wall, ours->second.wall / peer->second.wall,
                  ours->second.cpu / peer->second.cpu);
    }
  }
}

// Every run against the one-pass FFmpeg peer of this same invocation.
void PrintRatios() {
  PrintCodecRatios();
  const auto& measured = Measured();
  // Full detail against the peer remapping to the same size.
  const auto fullPeer = measured.find("BM_WholeRun_FfmpegRemapFullDetail");
  for (const char* name :
       {"BM_WholeRun_CorvinexFullDetail", "BM_WholeRun_CorvinexFullDetailDraft"}) {
    const auto full = measured.find(name);
    if (fullPeer != measured.end() && full != measured.end() && fullPeer->second.wall > 0 &&
        fullPeer->second.cpu > 0) {
      std::printf("\n%s against BM_WholeRun_FfmpegRemapFullDetail: wall %.2fx, cpu %.2fx\n", name,
                  full->second.wall / fullPeer->second.wall,
                  full->second.cpu / fullPeer->second.cpu);
    }
  }
  const auto peer = measured.find("BM_WholeRun_FfmpegRemap");
  if (peer == measured.end() || peer->second.wall <= 0 || peer->second.cpu <= 0) return;
  std::printf("\n%-52s %8s %8s %8s %8s %12s %12s\n", "against BM_WholeRun_FfmpegRemap", "wall_s",
              "wall_x", "cpu_s", "cpu_x", "tree_peak_MB", "tree_pss_MB");
  for (const auto& [name, m] : measured) {
    std::printf("%-30s %8.2f %8.2f %8.2f %8.2f %12.0f %12.0f\n", name.c_str(), m.wall,
                m.wall / peer->second.wall, m.cpu, m.cpu / peer->second.cpu, m.treePeak, m.treePss);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterCodecRuns();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  return 0;
}
