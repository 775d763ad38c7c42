// Finding the ring of a 1080p movie: the whole search (sampling eight frames, then
// finding), the finding alone on frames already sampled, and beside them the peers:
// our sampler alone, and the libraries seeking and decoding the same eight
// positions with no shrinking and no search.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "media/frame_sampler.h"
#include "media/movie_ring.h"
#include "sample_encoder.h"
#include "transform/ring_finder.h"

namespace {

constexpr int32_t kFrames = 100;
constexpr int32_t kSamples = corvinex::kRingSampleFrames;

std::filesystem::path g_movie;

void BM_FindRingInMovie(benchmark::State& state) {
  for (auto _ : state) {
    const corvinex::MovieRing ring = corvinex::FindRingInMovie(g_movie, kSamples);
    if (!ring.ring.found) {
      state.SkipWithError(("no ring: " + ring.ring.reason + ring.error).c_str());
      return;
    }
  }
}

void BM_SampleFramesOnly(benchmark::State& state) {
  for (auto _ : state) {
    const corvinex::SampledFrames frames = corvinex::SampleMovieFrames(g_movie, kSamples);
    if (frames.frames.size() != kSamples) {
      state.SkipWithError("sampling failed");
      return;
    }
  }
}

void BM_FindRingOnly(benchmark::State& state) {
  const corvinex::SampledFrames frames = corvinex::SampleMovieFrames(g_movie, kSamples);
  for (auto _ : state) {
    const corvinex::FoundRing ring = corvinex::FindRing(frames.frames);
    benchmark::DoNotOptimize(ring.centreX);
    if (!ring.found) {
      state.SkipWithError("no ring");
      return;
    }
  }
}

// The peer: open, then at each of the same positions seek back to a key frame and
// decode one frame; no colour conversion, no shrinking.
int32_t DecodeAtPositions() {
  AVFormatContext* format = nullptr;
  const std::string url = "file:" + g_movie.string();
  if (avformat_open_input(&format, url.c_str(), nullptr, nullptr) < 0) return -1;
  avformat_find_stream_info(format, nullptr);
  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  AVCodecContext* video = index >= 0 ? avcodec_alloc_context3(codec) : nullptr;
  int32_t decoded = -1;
  if (video && avcodec_parameters_to_context(video, format->streams[index]->codecpar) >= 0) {
    video->thread_count = 0;
    video->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(video, codec, nullptr) >= 0) {
      decoded = 0;
      AVPacket* packet = av_packet_alloc();
      AVFrame* frame = av_frame_alloc();
      const AVStream* stream = format->streams[index];
      for (int32_t i = 0; i < kSamples; ++i) {
        const int64_t at = av_rescale(stream->duration, 2 * i + 1, 2 * kSamples);
        av_seek_frame(format, index, at, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(video);
        bool got = false;
        while (!got && av_read_frame(format, packet) >= 0) {
          if (packet->stream_index == index && avcodec_send_packet(video, packet) >= 0) {
            got = avcodec_receive_frame(video, frame) == 0;
          }
          av_packet_unref(packet);
        }
        if (got) ++decoded;
        av_frame_unref(frame);
      }
      av_frame_free(&frame);
      av_packet_free(&packet);
    }
  }
  avcodec_free_context(&video);
  avformat_close_input(&format);
  return decoded;
}

void BM_RawSeekAndDecode(benchmark::State& state) {
  for (auto _ : state) {
    if (DecodeAtPositions() != kSamples) {
      state.SkipWithError("raw decode failed");
      return;
    }
  }
}

BENCHMARK(BM_FindRingInMovie)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_SampleFramesOnly)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_RawSeekAndDecode)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_FindRingOnly)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto dir = std::filesystem::temp_directory_path() / "corvinex-bench-ring-finder";
  std::filesystem::create_directories(dir);
  g_movie = dir / "doughnut 1080p.mp4";
  if (!std::filesystem::exists(g_movie)) {
    corvinex::sample::SampleMovieRecipe recipe;
    recipe.output = g_movie;
    recipe.width = 1920;
    recipe.height = 1080;
    recipe.frames = kFrames;
    recipe.sound = false;
    const std::string error = corvinex::sample::EncodeSampleMovie(recipe);
    if (!error.empty()) {
      std::fprintf(stderr, "cannot make the benchmark movie: %s\n", error.c_str());
      return 1;
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
