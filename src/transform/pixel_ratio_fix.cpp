#include "transform/pixel_ratio_fix.h"

#include "transform/warp_resample.h"

namespace corvinex {

bool FixAspect(const uint32_t* sample, size_t sampleCount, FrameImage& frame, float factor) {
  const size_t pixels = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
  if (!sample || pixels == 0 || sampleCount < pixels || frame.pixels.size() < pixels) {
    return false;
  }
  return WarpResample(ConstPixels{sample, frame.width, frame.height},
                      Pixels{frame.pixels.data(), frame.width, frame.height},
                      WarpMode::HorizontalScale, factor);
}

}  // namespace corvinex
