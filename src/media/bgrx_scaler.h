#pragma once
// A scaler from decoded pictures to BGRX with the stream's colours, kept from frame to
// frame. sws_getCachedContext is no help here: setting the colour details makes it
// take the context for changed and build a new one, which may come back at the old
// address, and the colours set on the old one were then silently lost (BT.709 frames
// after the first were converted as BT.601).

extern "C" {
#include <libavutil/pixfmt.h>
}

struct SwsContext;

namespace corvinex {

class BgrxScaler {
 public:
  BgrxScaler() = default;
  ~BgrxScaler();
  BgrxScaler(const BgrxScaler&) = delete;
  BgrxScaler& operator=(const BgrxScaler&) = delete;

  // The context for these sizes, format and colours (SWS_CS_* and full range or
  // not); built anew only when the sizes or the format change. Null when the
  // libraries refuse them.
  SwsContext* For(int srcWidth, int srcHeight, AVPixelFormat format, int dstWidth, int dstHeight,
                  int colourSpace, bool fullRange);

 private:
  SwsContext* context_ = nullptr;
  int srcWidth_ = 0, srcHeight_ = 0, dstWidth_ = 0, dstHeight_ = 0;
  AVPixelFormat format_ = AV_PIX_FMT_NONE;
  int colourSpace_ = -1;
  bool fullRange_ = false;
};

}  // namespace corvinex
