// Frame files of a conversion: the 24-to-32-bit read-back of decoded frames (peer:
// OpenCV's cvtColor on the same padded rows), spooling frames through the writer
// thread (peer: writing the same files with std::ofstream on the calling thread), and
// the conversions between 4:2:0 and BGRX, for the decoded pictures and for the encoder
// pipe (peer: the scaler each reproduces).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "convert/bmp_header.h"
#include "convert/decoded_frame.h"
#include "convert/spool_writer.h"
#include "convert/temp_files.h"
#include "media/bgrx_scaler.h"
#include "media/yuv420_converter.h"
#include "media/yuv420_to_bgrx.h"

extern "C" {
#include <libswscale/swscale.h>
}

#if CORVINEX_HAVE_OPENCV
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kWidth = 1918;  // odd row length: 5754 bytes padded to 5756
constexpr int kHeight = 1080;

size_t Stride() {
  return (kWidth * 3 + 3) & ~3;
}

std::vector<uint8_t> Rows() {
  std::vector<uint8_t> rows(Stride() * kHeight);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i * 31);
  return rows;
}

void BM_ConvertBgr24Rows(benchmark::State& state) {
  auto rows = Rows();
  corvinex::FrameImage image(kWidth, kHeight);
  for (auto _ : state) {
    corvinex::ConvertBgr24Rows(rows.data(), kWidth, kHeight, true, image);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
}
BENCHMARK(BM_ConvertBgr24Rows);

#if CORVINEX_HAVE_OPENCV
void BM_Peer_OpenCvBgrToBgra(benchmark::State& state) {
  auto rows = Rows();
  cv::Mat src(kHeight, kWidth, CV_8UC3, rows.data(), Stride());
  cv::Mat dst(kHeight, kWidth, CV_8UC4);
  cv::setNumThreads(1);  // one thread, as the read-back runs
  for (auto _ : state) {
    cv::cvtColor(src, dst, cv::COLOR_BGR2BGRA);
    benchmark::DoNotOptimize(dst.data);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
}
BENCHMARK(BM_Peer_OpenCvBgrToBgra);
#endif

// A panorama of the bench movie's size, bottom-up BGRX.
constexpr int kPanoramaWidth = 1228;
constexpr int kPanoramaHeight = 386;

std::vector<uint8_t> Panorama() {
  std::vector<uint8_t> pixels(size_t{kPanoramaWidth} * kPanoramaHeight * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + i / 4093);
  return pixels;
}

void BM_Yuv420Converter(benchmark::State& state) {
  const auto pixels = Panorama();
  std::vector<uint8_t> out(corvinex::Yuv420Converter::ByteSize(kPanoramaWidth, kPanoramaHeight));
  corvinex::Yuv420Converter converter;
  for (auto _ : state) {
    converter.Convert(pixels.data(), kPanoramaWidth, kPanoramaHeight, out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Yuv420Converter);

void BM_Peer_SwscaleBgr0ToYuv420(benchmark::State& state) {
  const auto pixels = Panorama();
  std::vector<uint8_t> out(corvinex::Yuv420Converter::ByteSize(kPanoramaWidth, kPanoramaHeight));
  SwsContext* scaler =
      sws_getContext(kPanoramaWidth, kPanoramaHeight, AV_PIX_FMT_BGR0, kPanoramaWidth,
                     kPanoramaHeight, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
  const uint8_t* source[4] = {pixels.data() + size_t{kPanoramaHeight - 1} * kPanoramaWidth * 4};
  const int sourceStride[4] = {-kPanoramaWidth * 4};
  const size_t luma = size_t{kPanoramaWidth} * kPanoramaHeight;
  uint8_t* planes[4] = {out.data(), out.data() + luma, out.data() + luma * 5 / 4};
  const int strides[4] = {kPanoramaWidth, kPanoramaWidth / 2, kPanoramaWidth / 2};
  for (auto _ : state) {
    sws_scale(scaler, source, sourceStride, 0, kPanoramaHeight, planes, strides);
    benchmark::DoNotOptimize(out.data());
  }
  sws_freeContext(scaler);
}
BENCHMARK(BM_Peer_SwscaleBgr0ToYuv420);

// A decoded 1080p 4:2:0 picture to BGRX (the whole frame; the batch tool converts only
// the Cut Area's square).
struct Decoded {
  static constexpr int kW = 1920, kH = 1080;
  std::vector<uint8_t> y = std::vector<uint8_t>(size_t{kW} * kH);
  std::vector<uint8_t> u = std::vector<uint8_t>(y.size() / 4), v = u;
  std::vector<uint8_t> out = std::vector<uint8_t>(y.size() * 4);
  Decoded() {
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<uint8_t>(i * 13 + i / 1999);
    for (size_t i = 0; i < u.size(); ++i) u[i] = static_cast<uint8_t>(i * 7), v[i] = u[i] ^ 0x5A;
  }
};

void BM_Yuv420RowsToBgrx(benchmark::State& state) {
  Decoded d;
  const auto k = corvinex::Yuv420CoefficientsFor(SWS_CS_ITU709, false);
  for (auto _ : state) {
    for (int row = 0; row < Decoded::kH; ++row) {
      const size_t c = size_t(row / 2) * (Decoded::kW / 2);
      corvinex::Yuv420RowToBgrx(&d.y[size_t(row) * Decoded::kW], &d.u[c], &d.v[c], Decoded::kW, k,
                                &d.out[size_t(row) * Decoded::kW * 4]);
    }
    benchmark::DoNotOptimize(d.out.data());
  }
}
BENCHMARK(BM_Yuv420RowsToBgrx);

void BM_Peer_SwscaleYuv420ToBgr0(benchmark::State& state) {
  Decoded d;
  corvinex::BgrxScaler scaler;
  SwsContext* context = scaler.For(Decoded::kW, Decoded::kH, AV_PIX_FMT_YUV420P, Decoded::kW,
                                   Decoded::kH, SWS_CS_ITU709, false);
  const uint8_t* planes[4] = {d.y.data(), d.u.data(), d.v.data()};
  const int strides[4] = {Decoded::kW, Decoded::kW / 2, Decoded::kW / 2};
  uint8_t* out[4] = {d.out.data()};
  const int outStride[4] = {Decoded::kW * 4};
  for (auto _ : state) {
    sws_scale(context, planes, strides, 0, Decoded::kH, out, outStride);
    benchmark::DoNotOptimize(d.out.data());
  }
}
BENCHMARK(BM_Peer_SwscaleYuv420ToBgr0);

std::filesystem::path Folder() {
  auto dir =
      std::filesystem::temp_directory_path() / ("corvinex-bench-spool-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

constexpr int kSpoolWidth = 2000;
constexpr int kSpoolHeight = 500;

void BM_SpoolWriter(benchmark::State& state) {
  auto dir = Folder();
  int64_t n = 0;
  {
    corvinex::SpoolWriter writer(dir, nullptr);
    for (auto _ : state) {
      corvinex::OutputFrame frame;
      frame.number = n++ % 64;
      frame.width = kSpoolWidth;
      frame.height = kSpoolHeight;
      frame.bytes = writer.AcquireBuffer(4u * kSpoolWidth * kSpoolHeight);
      frame.bytes[0] = static_cast<uint8_t>(n);
      writer.Submit(std::move(frame));
    }
    writer.Finish();
  }
  state.SetItemsProcessed(state.iterations());
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SpoolWriter)->UseRealTime();

void BM_Peer_OfstreamOnCallingThread(benchmark::State& state) {
  auto dir = Folder();
  std::vector<uint8_t> bytes(4u * kSpoolWidth * kSpoolHeight);
  auto header = corvinex::MakeSpoolHeader(kSpoolWidth, kSpoolHeight);
  int64_t n = 0;
  for (auto _ : state) {
    bytes[0] = static_cast<uint8_t>(n);
    std::ofstream out(corvinex::SpoolFilePath(dir, n++ % 64), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), header.size());
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  state.SetItemsProcessed(state.iterations());
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Peer_OfstreamOnCallingThread)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
