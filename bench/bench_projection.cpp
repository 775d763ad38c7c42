// Cost of the 2:1 equirectangular output against the panorama strip: the whole
// per-frame pipeline (adjustments, unwrap, output assembly) on 1920 x 1080 frames
// with the fallback Cut Area (W 1228), each frame new to the caches, single-threaded,
// into a sink that recycles its buffers. Prints each projection's time as a ratio to
// the strip's on the same unwrap path. The machines are shared: run it with
// --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true, so that the
// medians compare like with like.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "settings/app_settings.h"
#include "settings/diagnostic_log.h"
#include "transform/output_projection.h"
#include "transform/process_frame.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

// Keeps one buffer and hands it back every frame, as the spool does once it runs.
class RecyclingSink : public FrameSink {
 public:
  std::vector<uint8_t> AcquireBuffer(size_t size) override {
    spare_.reserve(size);
    return std::move(spare_);
  }
  void Submit(OutputFrame&& frame) override {
    benchmark::DoNotOptimize(frame.bytes.data());
    spare_ = std::move(frame.bytes);
  }

 private:
  std::vector<uint8_t> spare_;
};

struct Scene {
  std::vector<FrameImage> frames;  // more than the caches hold
  UnwrapGeometry g;
  UnwrapBuffers buffers;
  FrameImage frame;
};

Scene& SharedScene() {
  static Scene* scene = [] {
    auto* s = new Scene;
    for (int i = 0; i < 8; ++i) s->frames.push_back(PatternedFrame());
    DiagnosticLog log;
    s->g = PrepareUnwrapGeometry(1920, 1080, RingGeometry{150, 20, 316, 306, 32}, 0,
                                 GeometryVariant::Conversion, s->buffers, log);
    s->frame = PatternedFrame();
    return s;
  }();
  return *scene;
}

void RunPipeline(benchmark::State& state, bool draft, ProjectionOptions projection) {
  Scene& s = SharedScene();
  AppSettings settings;
  SessionOptions session;
  session.OS_PREVIEW = draft ? 1 : 0;
  const FrameOptions options = FrameOptionsFrom(settings, session);
  OutputLayout layout;
  if (!PrepareOutputLayout(s.g, projection, nullptr, layout).empty()) {
    state.SkipWithError("projection refused");
    return;
  }
  RecyclingSink sink;
  FramePipeline pipeline{.geometry = &s.g,
                         .buffers = &s.buffers,
                         .frame = &s.frame,
                         .sink = &sink,
                         .layout = &layout,
                         .afterAdjust = {}};
  s.buffers.cacheValid = false;
  ProcessFrame(pipeline, options, 0);  // tables and cache built here
  size_t next = 0;
  int64_t number = 1;
  for (auto _ : state) {
    // The next cold frame goes into the frame buffer, as a decoded frame is taken.
    std::swap(s.frame.pixels, s.frames[next++ % s.frames.size()].pixels);
    if (!ProcessFrame(pipeline, options, number++)) state.SkipWithError("pipeline refused");
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_QualityStrip(benchmark::State& state) {
  RunPipeline(state, false, {});
}
void BM_QualityEquirectBlack(benchmark::State& state) {
  RunPipeline(state, false, {.projection = kProjectionEquirect});
}
void BM_QualityEquirectSoft(benchmark::State& state) {
  RunPipeline(state, false, {.projection = kProjectionEquirect, .fill = kFillSoft});
}
void BM_DraftStrip(benchmark::State& state) {
  RunPipeline(state, true, {});
}
void BM_DraftEquirectBlack(benchmark::State& state) {
  RunPipeline(state, true, {.projection = kProjectionEquirect});
}
void BM_DraftEquirectSoft(benchmark::State& state) {
  RunPipeline(state, true, {.projection = kProjectionEquirect, .fill = kFillSoft});
}
BENCHMARK(BM_QualityStrip)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_QualityEquirectBlack)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_QualityEquirectSoft)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_DraftStrip)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_DraftEquirectBlack)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_DraftEquirectSoft)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The output assembly alone, to show what each projection adds to a frame in
// microseconds (the pipeline's ratios above move by several per cent on a busy machine).
void Assemble(benchmark::State& state, ProjectionOptions projection) {
  Scene& s = SharedScene();
  UnwrapFast(s.g, 0, s.frame, s.buffers);
  OutputLayout layout;
  if (!PrepareOutputLayout(s.g, projection, nullptr, layout).empty()) {
    state.SkipWithError("projection refused");
    return;
  }
  std::vector<uint8_t> out(layout.plan.view.ByteSize());
  for (auto _ : state) {
    AssembleProjectedView(s.g, s.buffers.P1, 0, layout, out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
void BM_AssembleStrip(benchmark::State& state) {
  Assemble(state, {});
}
void BM_AssembleEquirectBlack(benchmark::State& state) {
  Assemble(state, {.projection = kProjectionEquirect});
}
void BM_AssembleEquirectSoft(benchmark::State& state) {
  Assemble(state, {.projection = kProjectionEquirect, .fill = kFillSoft});
}
BENCHMARK(BM_AssembleStrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssembleEquirectBlack)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssembleEquirectSoft)->Unit(benchmark::kMicrosecond);

// Console output plus, at the end, each projection's time as a ratio to the strip's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !medians_.count(name)) {
        seconds_[name] = run.GetAdjustedCPUTime();
      } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        seconds_[name] = run.GetAdjustedCPUTime();
        medians_[name] = true;
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const std::pair<const char*, const char*> pairs[] = {
        {"BM_QualityEquirectBlack", "BM_QualityStrip"},
        {"BM_QualityEquirectSoft", "BM_QualityStrip"},
        {"BM_DraftEquirectBlack", "BM_DraftStrip"},
        {"BM_DraftEquirectSoft", "BM_DraftStrip"},
    };
    // Processor time of every thread (the quality unwrap splits its rows over threads),
    // not wall time: the machines that run this are shared.
    std::printf("\nTime as a ratio to the strip's, by processor time (at most 1.10 wanted):\n");
    for (const auto& [ours, strip] : pairs) {
      const auto a = seconds_.find(ours);
      const auto b = seconds_.find(strip);
      if (a == seconds_.end() || b == seconds_.end()) continue;
      std::printf("  %-24s vs %-16s %.3fx\n", ours, strip, a->second / b->second);
    }
  }

 private:
  std::map<std::string, double> seconds_;
  std::map<std::string, bool> medians_;
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
