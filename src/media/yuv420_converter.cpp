#include "media/yuv420_converter.h"

#include <cstring>

#include "media/yuv420_rows.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace corvinex {

namespace {
constexpr int32_t kNarrow = 16;
constexpr int32_t kMaxTaps = 16;  // the halving filter has 8 at most
}  // namespace

Yuv420Converter::~Yuv420Converter() {
  sws_freeContext(context_);
}

size_t Yuv420Converter::ByteSize(int32_t width, int32_t height) {
  if (width < 2 || height < 2) return 0;
  const size_t luma = static_cast<size_t>(Even(width)) * static_cast<size_t>(Even(height));
  return luma + luma / 2;
}

bool Yuv420Converter::Convert(const uint8_t* pixels, int32_t width, int32_t height, uint8_t* out) {
  if (pixels == nullptr || out == nullptr || width < 2 || height < 2) return false;
  if (width < kNarrow) return ConvertNarrow(pixels, width, height, out);
  const int32_t w = Even(width);
  const int32_t h = Even(height);
  const int32_t cw = w / 2;
  if (filterRows_ != h) {
    filter_ = BuildHalvingFilter(h);
    filterRows_ = h;
  }
  const int32_t size = filter_.size;
  if (size < 1 || size > kMaxTaps) return false;
  window_.resize(2 * static_cast<size_t>(size) * static_cast<size_t>(cw));
  const size_t rowBytes = 4 * static_cast<size_t>(width);
  // Row y from the top is the buffer's row height - 1 - y; the odd bottom row (the
  // buffer's first) is left out.
  auto pictureRow = [&](int32_t y) {
    return pixels + static_cast<size_t>(height - 1 - y) * rowBytes;
  };
  const size_t lumaBytes = static_cast<size_t>(w) * static_cast<size_t>(h);
  uint8_t* planeU = out + lumaBytes;
  uint8_t* planeV = planeU + lumaBytes / 4;
  for (int32_t y = 0; y < h; ++y) LumaRow(pictureRow(y), w, out + static_cast<size_t>(y) * w);

  // Source row r's intermediates live in window slot r % size: each output row's
  // first row only grows, so a slot is reused only once its row is no longer read.
  auto slotU = [&](int32_t r) {
    return window_.data() + static_cast<size_t>(r % size) * 2 * static_cast<size_t>(cw);
  };
  const int16_t* rowsU[kMaxTaps];
  const int16_t* rowsV[kMaxTaps];
  int32_t made = 0;
  for (int32_t i = 0; i < h / 2; ++i) {
    const int32_t first = filter_.first[i];
    if (first < made - size) made = first;  // a row already dropped is made again
    for (; made < first + size; ++made) {
      ChromaPairRow(pictureRow(made), cw, slotU(made), slotU(made) + cw);
    }
    for (int32_t j = 0; j < size; ++j) {
      rowsU[j] = slotU(first + j);
      rowsV[j] = rowsU[j] + cw;
    }
    const int16_t* taps = filter_.taps.data() + static_cast<size_t>(i) * size;
    // The scaler makes its last rows with its plain code.
    const bool last = i == h / 2 - 1;
    HalveChromaRow(rowsU, taps, size, cw, last, planeU + static_cast<size_t>(i) * cw);
    HalveChromaRow(rowsV, taps, size, cw, last, planeV + static_cast<size_t>(i) * cw);
  }
  return true;
}

bool Yuv420Converter::ConvertNarrow(const uint8_t* pixels, int32_t width, int32_t height,
                                    uint8_t* out) {
  const int w = Even(width);
  const int h = Even(height);
  // The encoder tool's default conversion: bicubic, and no other flag.
  context_ = sws_getCachedContext(context_, w, h, AV_PIX_FMT_BGR0, w, h, AV_PIX_FMT_YUV420P,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (context_ == nullptr) return false;
  // The scaler's vector code stores whole blocks past the end of narrow rows.
  const size_t bytes = ByteSize(width, height);
  roomy_.resize(bytes + 64);
  const size_t rowBytes = 4 * static_cast<size_t>(width);
  const uint8_t* top = pixels + static_cast<size_t>(height - 1) * rowBytes;
  const uint8_t* source[4] = {top, nullptr, nullptr, nullptr};
  const int sourceStride[4] = {-static_cast<int>(rowBytes), 0, 0, 0};
  const size_t luma = static_cast<size_t>(w) * static_cast<size_t>(h);
  uint8_t* planes[4] = {roomy_.data(), roomy_.data() + luma, roomy_.data() + luma + luma / 4,
                        nullptr};
  const int strides[4] = {w, w / 2, w / 2, 0};
  if (sws_scale(context_, source, sourceStride, 0, h, planes, strides) != h) return false;
  std::memcpy(out, roomy_.data(), bytes);
  return true;
}

}  // namespace corvinex
