#include "media/bgrx_scaler.h"

#include <cstdint>  // before the C headers, which need its constant macros

extern "C" {
#include <libswscale/swscale.h>
}

namespace corvinex {

BgrxScaler::~BgrxScaler() {
  sws_freeContext(context_);
}

SwsContext* BgrxScaler::For(int srcWidth, int srcHeight, AVPixelFormat format, int dstWidth,
                            int dstHeight, int colourSpace, bool fullRange) {
  if (context_ == nullptr || srcWidth != srcWidth_ || srcHeight != srcHeight_ ||
      format != format_ || dstWidth != dstWidth_ || dstHeight != dstHeight_) {
    sws_freeContext(context_);
    context_ = sws_getContext(srcWidth, srcHeight, format, dstWidth, dstHeight, AV_PIX_FMT_BGR0,
                              SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (context_ == nullptr) return nullptr;
    srcWidth_ = srcWidth;
    srcHeight_ = srcHeight;
    format_ = format;
    dstWidth_ = dstWidth;
    dstHeight_ = dstHeight;
    colourSpace_ = -1;
  }
  // Rebuilding the colour tables is costly: only when the stream's colours change.
  if (colourSpace != colourSpace_ || fullRange != fullRange_) {
    int* inverse = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(context_, &inverse, &srcRange, &table, &dstRange, &brightness,
                                 &contrast, &saturation) >= 0) {
      sws_setColorspaceDetails(context_, sws_getCoefficients(colourSpace), fullRange || srcRange,
                               table, dstRange, brightness, contrast, saturation);
    }
    colourSpace_ = colourSpace;
    fullRange_ = fullRange;
  }
  return context_;
}

}  // namespace corvinex
