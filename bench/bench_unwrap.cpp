// Speed of both unwrap paths on a 1920 x 1080 frame with the fallback Cut Area
// (W 1228, H 488), single-threaded, beside OpenCV's cv::remap with equivalent
// maps: nearest neighbour for the fast path, cubic for the quality path. Prints
// frames per second and, at the end, each kernel's speed as a ratio to its peer.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "settings/diagnostic_log.h"
#include "transform/pixel_ratio_fix.h"
#include "transform/process_frame.h"
#include "transform/unwrap_geometry.h"
#include "transform/warp_resample.h"

#ifdef CORVINEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace corvinex {
namespace {

struct Scene {
  FrameImage frame;
  UnwrapGeometry g;
  UnwrapBuffers buffers;
};

// A frame with some structure (so that nothing is trivially constant) and the
// geometry of a conversion run.
Scene& SharedScene() {
  static Scene* scene = [] {
    auto* s = new Scene;
    s->frame = PatternedFrame();
    DiagnosticLog log;
    s->g = PrepareUnwrapGeometry(1920, 1080, RingGeometry{150, 20, 316, 306, 32}, 0,
                                 GeometryVariant::Conversion, s->buffers, log);
    return s;
  }();
  return *scene;
}

void SetFrameRate(benchmark::State& state) {
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_UnwrapFast(benchmark::State& state) {
  Scene& s = SharedScene();
  UnwrapFast(s.g, 0, s.frame, s.buffers);  // builds the table
  for (auto _ : state) {
    UnwrapFast(s.g, 0, s.frame, s.buffers);
    benchmark::DoNotOptimize(s.buffers.P1.pixels.data());
  }
  SetFrameRate(state);
}
BENCHMARK(BM_UnwrapFast)->Unit(benchmark::kMillisecond);

void BM_UnwrapQuality(benchmark::State& state) {
  Scene& s = SharedScene();
  s.buffers.cacheValid = false;
  UnwrapQuality(s.g, 0, s.frame, s.buffers);  // fills the cache: later frames run warm
  for (auto _ : state) {
    UnwrapQuality(s.g, 0, s.frame, s.buffers);
    benchmark::DoNotOptimize(s.buffers.P1.pixels.data());
  }
  SetFrameRate(state);
}
BENCHMARK(BM_UnwrapQuality)->Unit(benchmark::kMillisecond);

// In a run every frame is new and comes from memory, not from the caches: the same
// kernels over frames that are each used once in a cycle larger than the caches.
std::vector<FrameImage>& ColdFrames() {
  static auto* frames = [] {
    auto* f = new std::vector<FrameImage>;
    for (int i = 0; i < 8; ++i) f->push_back(PatternedFrame());
    return f;
  }();
  return *frames;
}

// `unwrap` once on the shared frame (the fast table or the quality cache is built
// there), then timed over the cold frames in turn.
void UnwrapColdFrames(benchmark::State& state, UnwrapFunction unwrap) {
  Scene& s = SharedScene();
  std::vector<FrameImage>& frames = ColdFrames();
  s.buffers.cacheValid = false;
  unwrap(s.g, 0, s.frame, s.buffers);
  size_t next = 0;
  for (auto _ : state) {
    unwrap(s.g, 0, frames[next++ % frames.size()], s.buffers);
    benchmark::DoNotOptimize(s.buffers.P1.pixels.data());
  }
  SetFrameRate(state);
}

void BM_UnwrapFastColdFrames(benchmark::State& state) {
  UnwrapColdFrames(state, &UnwrapFast);
}
BENCHMARK(BM_UnwrapFastColdFrames)->Unit(benchmark::kMillisecond);

void BM_UnwrapQualityColdFrames(benchmark::State& state) {
  UnwrapColdFrames(state, &UnwrapQuality);
}
BENCHMARK(BM_UnwrapQualityColdFrames)->Unit(benchmark::kMillisecond);

// The quality path's first step alone: the mirrored copy of the Cut Area square.
void BM_CropCutArea(benchmark::State& state) {
  Scene& s = SharedScene();
  for (auto _ : state) {
    CropCutArea(s.g, s.frame, s.buffers.crop);
    benchmark::DoNotOptimize(s.buffers.crop.pixels.data());
  }
  SetFrameRate(state);
}
BENCHMARK(BM_CropCutArea)->Unit(benchmark::kMillisecond);

void BM_UnwrapQualityScalar(benchmark::State& state) {
  Scene& s = SharedScene();
  s.buffers.cacheValid = false;
  UnwrapQuality(s.g, 0, s.frame, s.buffers);
  const size_t slots = size_t(s.g.W) * s.g.H;
  for (auto _ : state) {
    CropCutArea(s.g, s.frame, s.buffers.crop);
    ResampleCachedScalar(
        ConstPixels{s.buffers.crop.pixels.data(), s.buffers.crop.width, s.buffers.crop.height},
        Pixels{s.buffers.P1.pixels.data(), s.g.W, s.g.H}, s.buffers.cache.data(),
        s.buffers.cache.data() + slots);
    benchmark::DoNotOptimize(s.buffers.P1.pixels.data());
  }
  SetFrameRate(state);
}
BENCHMARK(BM_UnwrapQualityScalar)->Unit(benchmark::kMillisecond);

void BM_FixAspect(benchmark::State& state) {
  Scene& s = SharedScene();
  FrameImage out(s.frame.width, s.frame.height);
  for (auto _ : state) {
    FixAspect(s.frame.pixels.data(), s.frame.pixels.size(), out, kAspectIntakeFactor);
    benchmark::DoNotOptimize(out.pixels.data());
  }
  SetFrameRate(state);
}
BENCHMARK(BM_FixAspect)->Unit(benchmark::kMillisecond);

#ifdef CORVINEX_HAVE_OPENCV
// Maps equivalent to our paths, in frame buffer coordinates: the fast table's
// source pixel per slot (nearest), and the quality path's cached position
// translated from the mirrored crop buffer back into the frame (cubic).
struct PeerMaps {
  cv::Mat nearestX, nearestY, cubicX, cubicY;
  cv::Mat nearestFixed, nearestFixedFraction;
  cv::Mat aspectX, aspectY;
};

PeerMaps& SharedPeerMaps() {
  static PeerMaps* maps = [] {
    Scene& s = SharedScene();
    UnwrapFast(s.g, 0, s.frame, s.buffers);
    s.buffers.cacheValid = false;
    UnwrapQuality(s.g, 0, s.frame, s.buffers);
    auto* m = new PeerMaps;
    const int W = s.g.W;
    const int H = s.g.H;
    m->nearestX.create(H, W, CV_32FC1);
    m->nearestY.create(H, W, CV_32FC1);
    m->cubicX.create(H, W, CV_32FC1);
    m->cubicY.create(H, W, CV_32FC1);
    const size_t slots = size_t(W) * H;
    const float cropCx = 0.5f * s.g.cropW - 0.5f;
    const float cropCy = 0.5f * float(s.g.cropH + 1) - 0.5f;
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        const size_t slot = size_t(y) * W + x;
        const int32_t index = s.buffers.tableIndex[slot];
        m->nearestX.at<float>(y, x) = float(index % s.g.Fw);
        m->nearestY.at<float>(y, x) = float(index / s.g.Fw);
        // Crop column C is frame column cropX + cropW - 1 - C; crop buffer row R
        // is frame buffer row (Fh - cropY - cropH) + R.
        const float fx = s.buffers.cache[slot] + cropCx;
        const float fy = s.buffers.cache[slots + slot] + cropCy;
        m->cubicX.at<float>(y, x) = float(s.g.cropX + s.g.cropW - 1) - fx;
        m->cubicY.at<float>(y, x) = float(s.g.Fh - s.g.cropY - s.g.cropH) + fy;
      }
    }
    m->aspectX.create(s.g.Fh, s.g.Fw, CV_32FC1);
    m->aspectY.create(s.g.Fh, s.g.Fw, CV_32FC1);
    for (int y = 0; y < s.g.Fh; ++y) {
      for (int x = 0; x < s.g.Fw; ++x) {
        m->aspectX.at<float>(y, x) =
            (float(x) - (0.5f * s.g.Fw - 0.5f)) * kAspectIntakeFactor + (0.5f * s.g.Fw - 0.5f);
        m->aspectY.at<float>(y, x) = float(y);
      }
    }
    cv::convertMaps(m->nearestX, m->nearestY, m->nearestFixed, m->nearestFixedFraction, CV_16SC2,
                    true);
    return m;
  }();
  return *maps;
}

cv::Mat FrameMat(Scene& s) {
  return cv::Mat(s.g.Fh, s.g.Fw, CV_8UC4, s.frame.pixels.data());
}

void BM_PeerRemapNearest(benchmark::State& state) {
  cv::setNumThreads(1);
  Scene& s = SharedScene();
  PeerMaps& m = SharedPeerMaps();
  const cv::Mat src = FrameMat(s);
  cv::Mat dst(s.g.H, s.g.W, CV_8UC4);
  for (auto _ : state) {
    cv::remap(src, dst, m.nearestX, m.nearestY, cv::INTER_NEAREST, cv::BORDER_CONSTANT);
    benchmark::DoNotOptimize(dst.data);
  }
  SetFrameRate(state);
}
BENCHMARK(BM_PeerRemapNearest)->Unit(benchmark::kMillisecond);

void BM_PeerRemapNearestFixedMaps(benchmark::State& state) {
  cv::setNumThreads(1);
  Scene& s = SharedScene();
  PeerMaps& m = SharedPeerMaps();
  const cv::Mat src = FrameMat(s);
  cv::Mat dst(s.g.H, s.g.W, CV_8UC4);
  for (auto _ : state) {
    cv::remap(src, dst, m.nearestFixed, cv::Mat(), cv::INTER_NEAREST, cv::BORDER_CONSTANT);
    benchmark::DoNotOptimize(dst.data);
  }
  SetFrameRate(state);
}
BENCHMARK(BM_PeerRemapNearestFixedMaps)->Unit(benchmark::kMillisecond);

void BM_PeerRemapCubic(benchmark::State& state) {
  cv::setNumThreads(1);
  Scene& s = SharedScene();
  PeerMaps& m = SharedPeerMaps();
  const cv::Mat src = FrameMat(s);
  cv::Mat dst(s.g.H, s.g.W, CV_8UC4, cv::Scalar::all(0));
  for (auto _ : state) {
    cv::remap(src, dst, m.cubicX, m.cubicY, cv::INTER_CUBIC, cv::BORDER_TRANSPARENT);
    benchmark::DoNotOptimize(dst.data);
  }
  SetFrameRate(state);
}
BENCHMARK(BM_PeerRemapCubic)->Unit(benchmark::kMillisecond);

void BM_PeerRemapCubicAspect(benchmark::State& state) {
  cv::setNumThreads(1);
  Scene& s = SharedScene();
  PeerMaps& m = SharedPeerMaps();
  const cv::Mat src = FrameMat(s);
  cv::Mat dst(s.g.Fh, s.g.Fw, CV_8UC4, cv::Scalar::all(0));
  for (auto _ : state) {
    cv::remap(src, dst, m.aspectX, m.aspectY, cv::INTER_CUBIC, cv::BORDER_TRANSPARENT);
    benchmark::DoNotOptimize(dst.data);
  }
  SetFrameRate(state);
}
BENCHMARK(BM_PeerRemapCubicAspect)->Unit(benchmark::kMillisecond);
#endif

// Console output plus, at the end, each kernel's frame rate as a ratio to its peer.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With --benchmark_repetitions the median stands for the kernel.
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !medians_.count(name)) {
        seconds_[name] = run.GetAdjustedCPUTime();
      } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        seconds_[name] = run.GetAdjustedCPUTime();
        medians_.insert(name);
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const std::pair<const char*, const char*> pairs[] = {
        {"BM_UnwrapFast", "BM_PeerRemapNearest"},
        {"BM_UnwrapFast", "BM_PeerRemapNearestFixedMaps"},
        {"BM_UnwrapQuality", "BM_PeerRemapCubic"},
        {"BM_UnwrapQualityScalar", "BM_PeerRemapCubic"},
        {"BM_FixAspect", "BM_PeerRemapCubicAspect"},
    };
    // Processor time, not wall time: the machines that run this are shared.
    std::printf("\nSpeed as a ratio to the peer, by processor time (higher is faster):\n");
    for (const auto& [ours, peer] : pairs) {
      const auto a = seconds_.find(ours);
      const auto b = seconds_.find(peer);
      if (a == seconds_.end() || b == seconds_.end()) continue;
      std::printf("  %-24s vs %-30s %.2fx\n", ours, peer, b->second / a->second);
    }
  }

 private:
  std::map<std::string, double> seconds_;
  std::set<std::string> medians_;
};

}  // namespace
}  // namespace corvinex

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  corvinex::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
