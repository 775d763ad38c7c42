// A 24-megapixel (6000 x 4000) doughnut photo unwrapped on the quality path into a JPEG
// (decode, unwrap, encode, metadata, read-back check and the move onto its name),
// beside ImageMagick's polar unwrap (-distort DePolar) of the same ring in the same
// run. The photo must stay under one second.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "convert/child_process.h"
#include "convert/photo_convert.h"
#include "media/photo_decode.h"
#include "media/photo_write.h"
#include "ring_wrap.h"
#include "sample_encoder.h"
#include "sample_pattern.h"
#include "settings/diagnostic_log.h"
#include "transform/ring_cut_area.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

fs::path g_dir;
fs::path g_photo;
double g_ourSeconds = 0;
double g_ourSlowest = 0;
double g_magickSeconds = 0;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// A camera's sensor grain: a smooth drawing codes to a few hundred kilobytes and
// decodes far faster than a real 24-megapixel photo of 6 to 10 MB.
void AddGrain(corvinex::FrameImage& picture) {
  uint32_t state = 2024;
  for (uint32_t& pixel : picture.pixels) {
    uint32_t grained = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      state = state * 1664525u + 1013904223u;
      // -16 .. 15 in each channel
      const int value = static_cast<int>((pixel >> shift) & 0xFFu) + static_cast<int>(state >> 27) -
                        16;  // -8 .. 7
      grained |= static_cast<uint32_t>(std::clamp(value, 0, 255)) << shift;
    }
    pixel = grained;
  }
}

corvinex::AppSettings RingSettings() {
  corvinex::AppSettings settings;
  corvinex::StoreRing(corvinex::sample::kSampleRing, settings);
  return settings;
}

void BM_PhotoToJpeg(benchmark::State& state) {
  const corvinex::AppSettings settings = RingSettings();
  corvinex::SessionOptions session;
  session.OS_PREVIEW = 0;  // the quality path
  corvinex::DiagnosticLog quiet;
  double seconds = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const fs::path out = g_dir / "photo_Unwrapped.jpg";
    const auto start = Clock::now();
    corvinex::DecodedPhoto photo = corvinex::DecodePhoto(g_photo);
    if (!photo.ok()) {
      state.SkipWithError(photo.error.c_str());
      return;
    }
    const corvinex::PhotoOutcome outcome = corvinex::ConvertPhoto(
        {.input = g_photo, .output = out, .jpegQuality = 92, .overwrite = true},
        std::move(photo.image), settings, session, quiet);
    const double s = Seconds(Clock::now() - start);
    if (!outcome.ok()) {
      state.SkipWithError(outcome.error.c_str());
      return;
    }
    state.SetIterationTime(s);
    g_ourSlowest = std::max(g_ourSlowest, s);
    state.counters["width"] = outcome.width;
    state.counters["height"] = outcome.height;
    seconds += s;
    ++runs;
  }
  g_ourSeconds = seconds / static_cast<double>(runs);
}

// The ring as the unwrap reads it, unwrapped by ImageMagick into a JPEG.
void BM_ImageMagickDePolar(benchmark::State& state) {
  const corvinex::CutAreaCircle c =
      corvinex::CircleOfCutArea(kWidth, kHeight, corvinex::sample::kSampleRing);
  char arguments[160];
  std::snprintf(arguments, sizeof arguments, "%.1f,%.1f %.1f,%.1f", c.outerRadius, c.innerRadius,
                c.centreX, c.centreY);
  const std::string tool = fs::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
  double seconds = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const corvinex::ChildExit exit = corvinex::RunProcess(
        {tool, g_photo.string(), "-virtual-pixel", "Black", "-distort", "DePolar", arguments,
         "-quality", "92", (g_dir / "magick.jpg").string()},
        {}, std::chrono::minutes(5));
    const double s = Seconds(Clock::now() - start);
    if (!exit.exited || exit.exitCode != 0) {
      state.SkipWithError("ImageMagick's convert failed");
      return;
    }
    state.SetIterationTime(s);
    seconds += s;
    ++runs;
  }
  g_magickSeconds = seconds / static_cast<double>(runs);
}

// The decoding alone, the part of the photo's time that is the JPEG library's.
void BM_DecodeOnly(benchmark::State& state) {
  for (auto _ : state) {
    const corvinex::DecodedPhoto photo = corvinex::DecodePhoto(g_photo);
    if (!photo.ok()) state.SkipWithError(photo.error.c_str());
  }
}

BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PhotoToJpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ImageMagickDePolar)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_dir = fs::temp_directory_path() / "corvinex-bench-photo";
  fs::create_directories(g_dir);
  g_photo = g_dir / "doughnut 6000x4000.jpg";
  const corvinex::FrameImage panorama = corvinex::sample::MakePanoramaPattern(4096, 1024, 0);
  corvinex::FrameImage picture =
      corvinex::sample::WrapPanorama(panorama, kWidth, kHeight, corvinex::sample::kSampleRing);
  AddGrain(picture);
  if (const std::string why =
          corvinex::WritePhoto(g_photo, corvinex::PhotoType::Jpeg,
                               {picture.Bytes(), picture.ByteSize()}, kWidth, kHeight, 100);
      !why.empty()) {
    std::fprintf(stderr, "cannot make the benchmark photo: %s\n", why.c_str());
    return 1;
  }
  std::printf("photo %s: %.1f MB\n", g_photo.filename().c_str(),
              static_cast<double>(fs::file_size(g_photo)) / 1e6);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_ourSeconds > 0 && g_magickSeconds > 0) {
    std::printf(
        "photo to JPEG %.0f ms (slowest %.0f ms), ImageMagick DePolar %.0f ms: %.1f times as "
        "fast%s\n",
        1000 * g_ourSeconds, 1000 * g_ourSlowest, 1000 * g_magickSeconds,
        g_magickSeconds / g_ourSeconds, g_ourSlowest < 1.0 ? "" : " (over the one-second budget)");
  }
  fs::remove_all(g_dir);
  return 0;
}
