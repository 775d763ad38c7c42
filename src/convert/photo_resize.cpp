#include "convert/photo_resize.h"

#include <algorithm>
#include <new>
#include <vector>

#include "convert/encoder_command.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace corvinex {
namespace {

// Bicubic as the encoder's scaling, but in full colour: without the full-chroma
// flags swscale halves the colour resolution of a packed RGB picture on the way.
constexpr int kScaleFlags =
    SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_ACCURATE_RND;

}  // namespace

std::string ResizePhotoOutput(int32_t resize, OutputFrame& picture) {
  PictureSize size = ExportPictureSize(resize, picture.width, picture.height);
  // Each side is rounded on its own, which can leave a 2:1 frame or a band of one a
  // row or two higher than half its width, and viewers then no longer take it for a
  // panorama: it stays within its 2:1 frame.
  if (picture.height <= picture.width / 2) size.height = std::min(size.height, size.width / 2);
  if (size.width == picture.width && size.height == picture.height) return {};
  if (picture.bytes.size() < static_cast<size_t>(picture.width) * picture.height * 4) {
    return "the picture to scale is incomplete";
  }
  SwsContext* context =
      sws_getContext(picture.width, picture.height, AV_PIX_FMT_BGR0, size.width, size.height,
                     AV_PIX_FMT_BGR0, kScaleFlags, nullptr, nullptr, nullptr);
  if (context == nullptr) {
    return "the picture cannot be scaled to " + std::to_string(size.width) + "x" +
           std::to_string(size.height);
  }
  std::vector<uint8_t> scaled;
  try {
    scaled.resize(static_cast<size_t>(size.width) * size.height * 4);
  } catch (const std::bad_alloc&) {
    sws_freeContext(context);
    return "not enough memory to scale the picture";
  }
  const uint8_t* const from[4] = {picture.bytes.data(), nullptr, nullptr, nullptr};
  const int fromStride[4] = {picture.width * 4, 0, 0, 0};
  uint8_t* const to[4] = {scaled.data(), nullptr, nullptr, nullptr};
  const int toStride[4] = {size.width * 4, 0, 0, 0};
  const int rows = sws_scale(context, from, fromStride, 0, picture.height, to, toStride);
  sws_freeContext(context);
  if (rows != size.height) return "the picture could not be scaled";
  picture.bytes = std::move(scaled);
  picture.width = size.width;
  picture.height = size.height;
  return {};
}

}  // namespace corvinex
