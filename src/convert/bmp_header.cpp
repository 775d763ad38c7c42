#include "convert/bmp_header.h"

#include <algorithm>

namespace corvinex {
namespace {

void Put16(SpoolHeader& h, size_t at, uint32_t v) {
  h[at] = static_cast<uint8_t>(v);
  h[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(SpoolHeader& h, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) h[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

SpoolHeader MakeSpoolHeader(int32_t width, int32_t height) {
  SpoolHeader h{};
  h[0] = 'B';
  h[1] = 'M';
  uint64_t size = 54 + 4ull * static_cast<uint64_t>(std::max(width, 0)) *
                           static_cast<uint64_t>(std::max(height, 0));
  Put32(h, 2, static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX)));
  Put32(h, 10, 54);
  Put32(h, 14, 40);
  Put32(h, 18, static_cast<uint32_t>(width));
  Put32(h, 22, static_cast<uint32_t>(height));
  Put16(h, 26, 1);
  Put16(h, 28, 32);
  return h;
}

int32_t SpoolPictureHeight(int32_t outRows, int32_t corrRows, int32_t canvasHeight,
                           bool stereoPair) {
  int32_t view = canvasHeight > 0 ? canvasHeight : outRows + corrRows;
  return stereoPair ? 2 * view : view;
}

int32_t LogoCanvasHeight(int32_t width, bool decoderRoute) {
  int32_t half = width / 2;
  return decoderRoute ? half : half / 2 * 2;
}

}  // namespace corvinex
