// Frames per second of the 360 viewer's projection at 640 x 388 from a 2000 x 500
// panorama: the optimised kernel against the plain scalar reference, single-threaded.
#include <benchmark/benchmark.h>

#include <random>

#include "transform/view_projection.h"

namespace corvinex {
namespace {

struct ViewBench {
  FrameImage panorama{2000, 500};
  ViewProjection projection;
  ViewerState state;
  FrameImage view;

  ViewBench() {
    std::mt19937 random(11);
    for (auto& px : panorama.pixels) px = random() & 0x00FFFFFFu;
    OpenViewProjection(panorama.width, panorama.height, projection, state);
    view.Reset(projection.size.width, projection.size.height);
  }
};

template <void (*Render)(ViewProjection&, const ViewerState&, const uint32_t*, FrameImage&)>
void BM_View(benchmark::State& bench) {
  ViewBench b;
  for (auto _ : bench) {
    // Turning a little every frame so that the matrix is rebuilt as in the viewer.
    b.state.yaw += 0.15f;
    if (b.state.yaw > 180) b.state.yaw -= 360;
    Render(b.projection, b.state, b.panorama.pixels.data(), b.view);
    benchmark::DoNotOptimize(b.view.pixels.data());
  }
  bench.counters["fps"] =
      benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_View<RenderView>)->Name("RenderView_optimised")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_View<RenderViewScalar>)->Name("RenderView_scalar")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvinex

BENCHMARK_MAIN();
