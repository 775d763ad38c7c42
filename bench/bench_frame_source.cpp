// Decode throughput of the frame source in push mode (as a conversion takes frames)
// beside the ffmpeg command-line tool decoding the same 1080p H.264 movie to nothing,
// and beside the libraries decoding it with no conversion at all.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "convert/child_process.h"
#include "media/frame_source.h"
#include "sample_encoder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kFrames = 150;

std::filesystem::path g_movie;
double g_ourFps = 0;
double g_peerFps = 0;
double g_rawFps = 0;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void BM_FrameSourcePush(benchmark::State& state) {
  corvinex::FrameSource source;
  corvinex::MovieInfo info;
  if (!source.Open(g_movie, info).ok()) {
    state.SkipWithError("cannot open the movie");
    return;
  }
  std::atomic<int64_t> frames{0};
  source.SetFrameCallback([&frames](corvinex::FrameImage& frame, int64_t) {
    benchmark::DoNotOptimize(frame.pixels[0]);
    frames.fetch_add(1, std::memory_order_relaxed);
  });
  source.SetMute(true);
  int64_t total = 0;
  double seconds = 0;
  for (auto _ : state) {
    frames = 0;
    const auto start = Clock::now();
    source.Seek(0);
    source.Play();
    if (!source.WaitEndOfMovie(std::chrono::minutes(2))) {
      state.SkipWithError("no end of movie");
      return;
    }
    const double s = Seconds(Clock::now() - start);
    source.Pause();
    state.SetIterationTime(s);
    total += frames;
    seconds += s;
  }
  g_ourFps = static_cast<double>(total) / seconds;
  state.counters["fps"] = g_ourFps;
}

void BM_FfmpegToolToNull(benchmark::State& state) {
  int64_t total = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto exit = corvinex::RunProcess(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", "file:" + g_movie.string(), "-f", "null", "-"});
    const double s = Seconds(Clock::now() - start);
    if (!exit.exited || exit.exitCode != 0) {
      state.SkipWithError("ffmpeg failed");
      return;
    }
    state.SetIterationTime(s);
    total += kFrames;
    seconds += s;
  }
  g_peerFps = static_cast<double>(total) / seconds;
  state.counters["fps"] = g_peerFps;
}

// The libraries alone: demux and decode every picture, no colour conversion, no
// thread hand-over; what our frame source adds on top is the difference.
int64_t DecodeAllRaw() {
  AVFormatContext* format = nullptr;
  const std::string url = "file:" + g_movie.string();
  if (avformat_open_input(&format, url.c_str(), nullptr, nullptr) < 0) return -1;
  avformat_find_stream_info(format, nullptr);
  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  AVCodecContext* video = index >= 0 ? avcodec_alloc_context3(codec) : nullptr;
  int64_t frames = -1;
  if (video && avcodec_parameters_to_context(video, format->streams[index]->codecpar) >= 0) {
    video->thread_count = 0;
    if (avcodec_open2(video, codec, nullptr) >= 0) {
      frames = 0;
      AVPacket* packet = av_packet_alloc();
      AVFrame* frame = av_frame_alloc();
      auto drain = [&] {
        while (avcodec_receive_frame(video, frame) == 0) {
          ++frames;
          av_frame_unref(frame);
        }
      };
      while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(video, packet) >= 0) drain();
        av_packet_unref(packet);
      }
      avcodec_send_packet(video, nullptr);
      drain();
      av_frame_free(&frame);
      av_packet_free(&packet);
    }
  }
  avcodec_free_context(&video);
  avformat_close_input(&format);
  return frames;
}

void BM_RawLibavDecode(benchmark::State& state) {
  int64_t total = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const int64_t frames = DecodeAllRaw();
    const double s = Seconds(Clock::now() - start);
    if (frames != kFrames) {
      state.SkipWithError("raw decode failed");
      return;
    }
    state.SetIterationTime(s);
    total += frames;
    seconds += s;
  }
  g_rawFps = static_cast<double>(total) / seconds;
  state.counters["fps"] = g_rawFps;
}

BENCHMARK(BM_FrameSourcePush)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_FfmpegToolToNull)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_RawLibavDecode)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto dir = std::filesystem::temp_directory_path() / "corvinex-bench-frame-source";
  std::filesystem::create_directories(dir);
  g_movie = dir / "doughnut 1080p.mp4";
  if (!std::filesystem::exists(g_movie)) {
    corvinex::sample::SampleMovieRecipe recipe;
    recipe.output = g_movie;
    recipe.width = 1920;
    recipe.height = 1080;
    recipe.frames = kFrames;
    const std::string error = corvinex::sample::EncodeSampleMovie(recipe);
    if (!error.empty()) {
      std::fprintf(stderr, "cannot make the benchmark movie: %s\n", error.c_str());
      return 1;
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_ourFps > 0 && g_peerFps > 0) {
    std::printf("frame source %.1f fps, ffmpeg -f null %.1f fps, ratio %.3f\n", g_ourFps, g_peerFps,
                g_ourFps / g_peerFps);
  }
  if (g_ourFps > 0 && g_rawFps > 0) {
    std::printf("frame source %.1f fps, raw libav decode %.1f fps, ratio %.3f\n", g_ourFps,
                g_rawFps, g_ourFps / g_rawFps);
  }
  return 0;
}
