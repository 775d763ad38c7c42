// Adjustment, sharpening and stereo kernels on a 1920 x 1080 frame with the fallback
// Cut Area's panorama (W 1228, H 488). Each vector kernel runs beside its plain scalar
// reference; the table at the end gives frames per second and the speed ratio.
// "vector" is the variant the program runs (AVX2 where the processor has it).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>

#include "transform/brightness_contrast.h"
#include "transform/noise_filter.h"
#include "transform/sharpen.h"
#include "transform/stereo.h"
#include "transform/unwrap_geometry.h"

namespace {

using namespace corvinex;

constexpr int32_t kFw = 1920, kFh = 1080, kW = 1228, kH = 488;

FrameImage Noise(int32_t w, int32_t h) {
  FrameImage img(w, h);
  std::mt19937 rng(42);
  for (uint32_t& p : img.pixels) p = static_cast<uint32_t>(rng());
  return img;
}

template <void (*Pass)(FrameImage&)>
void BM_Noise(benchmark::State& state) {
  FrameImage frame = Noise(kFw, kFh);
  for (auto _ : state) {
    Pass(frame);
    benchmark::DoNotOptimize(frame.pixels.data());
  }
}

template <void (*Apply)(FrameImage&, const BrightnessContrast&)>
void BM_BrightnessContrast(benchmark::State& state) {
  FrameImage frame = Noise(kFw, kFh);
  const BrightnessContrast params{true, 17, true, 150};
  for (auto _ : state) {
    Apply(frame, params);
    benchmark::DoNotOptimize(frame.pixels.data());
  }
}

template <void (*Sharpen)(int32_t, int32_t, FrameImage&, FrameImage&, const SharpenOptions&)>
void BM_Sharpen(benchmark::State& state) {
  FrameImage p1 = Noise(kW, kH + 1);
  FrameImage p2(kW, kH + 1);
  const SharpenOptions options{true, 1, 1};
  for (auto _ : state) {
    Sharpen(kW, kH, p1, p2, options);
    benchmark::DoNotOptimize(p1.pixels.data());
  }
}

void BM_RenderStereo(benchmark::State& state) {
  UnwrapBuffers b;
  for (FrameImage* img : {&b.P1, &b.P2, &b.previous, &b.currentCopy, &b.stereoA, &b.stereoB}) {
    img->Reset(kW, kH + 1);
  }
  const FrameImage panorama = Noise(kW, kH + 1);
  const StereoOptions options{true, StereoType::Dynamic, true, 20, 6, false};
  for (auto _ : state) {
    b.P1 = panorama;  // RenderStereo rewrites P1
    RenderStereo(kW, kH, b, options);
    benchmark::DoNotOptimize(b.P1.pixels.data());
  }
}

BENCHMARK(BM_Noise<NoiseFilterPass>)->Name("noise_pass/vector")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Noise<NoiseFilterPassSse2>)->Name("noise_pass/sse2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Noise<NoiseFilterPassReference>)
    ->Name("noise_pass/scalar")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrightnessContrast<ApplyBrightnessContrast>)
    ->Name("brightness_contrast/vector")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrightnessContrast<ApplyBrightnessContrastReference>)
    ->Name("brightness_contrast/scalar")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen<SharpenPanorama>)->Name("sharpen/vector")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen<SharpenPanoramaReference>)
    ->Name("sharpen/scalar")
    ->Unit(benchmark::kMillisecond);
// No scalar twin: the depth pass is a gather and the merge a plain masked copy.
BENCHMARK(BM_RenderStereo)->Name("render_stereo/vector")->Unit(benchmark::kMillisecond);

// Remembers the time per iteration of every run to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // With --benchmark_repetitions the mean stands for the kernel.
      const bool single = run.run_type == Run::RT_Iteration && run.iterations > 0;
      const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
      const std::string name = run.run_name.str();
      if (mean || (single && !means_.count(name))) {
        // CPU time: the machine is shared, so wall time carries other processes.
        seconds_[name] = run.GetAdjustedCPUTime() / 1e3;  // unit is ms
        if (mean) means_.insert(name);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\n%-28s %12s %12s %8s\n", "kernel (CPU time)", "fps", "scalar fps", "ratio");
    for (const auto& [name, seconds] : seconds_) {
      const auto slash = name.find('/');
      if (name.substr(slash + 1) == "scalar") continue;
      const auto scalar = seconds_.find(name.substr(0, slash) + "/scalar");
      if (scalar == seconds_.end()) {
        std::printf("%-28s %12.1f %12s %8s\n", name.c_str(), 1.0 / seconds, "-", "-");
      } else {
        std::printf("%-28s %12.1f %12.1f %7.2fx\n", name.c_str(), 1.0 / seconds,
                    1.0 / scalar->second, scalar->second / seconds);
      }
    }
  }

 private:
  std::map<std::string, double> seconds_;
  std::set<std::string> means_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
