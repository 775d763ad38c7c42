// The preview refresh on a 1920 x 1080 frame with the fallback Cut Area: the copy of
// the grabbed frame, noise (one pass), brightness, contrast, the fast unwrap and
// sharpening, single-threaded. Its peer is the same refresh without adjustments
// (copy and fast unwrap), measured in the same run; the goal is at least 30
// refreshes a second.

#include <benchmark/benchmark.h>

#include "bench_frames.h"
#include "settings/diagnostic_log.h"
#include "transform/preview_refresh.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

struct Scene {
  FrameImage grabbed = PatternedFrame();
  FrameImage shown;
  UnwrapGeometry g;
  UnwrapBuffers buffers;
};

Scene& SharedScene() {
  static Scene* scene = [] {
    auto* s = new Scene;
    DiagnosticLog log;
    s->g = PrepareUnwrapGeometry(1920, 1080, RingGeometry{150, 20, 316, 306, 32}, 0,
                                 GeometryVariant::Preview, s->buffers, log);
    return s;
  }();
  return *scene;
}

void Refresh(benchmark::State& state, const FrameOptions& options) {
  Scene& s = SharedScene();
  RefreshPreviewFrame(s.grabbed, s.shown, s.g, options, s.buffers);  // builds the table
  for (auto _ : state) {
    RefreshPreviewFrame(s.grabbed, s.shown, s.g, options, s.buffers);
    benchmark::DoNotOptimize(s.buffers.P1.pixels.data());
  }
  state.counters["refreshes/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PreviewRefreshAllAdjustments(benchmark::State& state) {
  FrameOptions options;
  options.adjust = {.noiseOn = true,
                    .noisePasses = 1,
                    .brightnessOn = true,
                    .brightness = 160,
                    .contrastOn = true,
                    .contrast = 150};
  options.sharpen = {.on = true, .amount = 3, .radius = 0};
  Refresh(state, options);
}
BENCHMARK(BM_PreviewRefreshAllAdjustments)->Unit(benchmark::kMillisecond);

void BM_PeerPreviewRefreshPlain(benchmark::State& state) {
  Refresh(state, FrameOptions{});
}
BENCHMARK(BM_PeerPreviewRefreshPlain)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvinex

BENCHMARK_MAIN();
