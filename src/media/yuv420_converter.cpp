#include "media/yuv420_converter.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace corvinex {

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
  const int w = Even(width);
  const int h = Even(height);
  // The encoder tool's default conversion: bicubic, and no other flag.
  context_ = sws_getCachedContext(context_, w, h, AV_PIX_FMT_BGR0, w, h, AV_PIX_FMT_YUV420P,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (context_ == nullptr) return false;
  // The top row is the buffer's last; a negative stride reads the picture top-down,
  // and the odd bottom row (the buffer's first) is left out.
  const size_t rowBytes = 4 * static_cast<size_t>(width);
  const uint8_t* top = pixels + static_cast<size_t>(height - 1) * rowBytes;
  const uint8_t* source[4] = {top, nullptr, nullptr, nullptr};
  const int sourceStride[4] = {-static_cast<int>(rowBytes), 0, 0, 0};
  const size_t luma = static_cast<size_t>(w) * static_cast<size_t>(h);
  uint8_t* planes[4] = {out, out + luma, out + luma + luma / 4, nullptr};
  const int strides[4] = {w, w / 2, w / 2, 0};
  return sws_scale(context_, source, sourceStride, 0, h, planes, strides) == h;
}

}  // namespace corvinex
