#pragma once
// Brightness offset and contrast factor, per 8-bit channel (the fourth byte alike).

#include <cstdint>

#include "transform/frame_image.h"

namespace corvinex {

struct BrightnessContrast {
  bool brightnessOn = false;
  int32_t offset = 0;  // brightness - 127, -127..128
  bool contrastOn = false;
  int32_t factor = 128;  // contrast + 1, 1..256; v' = ((v - 128) x factor >> 7) + 128
};

void ApplyBrightnessContrast(FrameImage& frame, const BrightnessContrast& params);

// The plain per-channel version, the reference for tests.
void ApplyBrightnessContrastReference(FrameImage& frame, const BrightnessContrast& params);

}  // namespace corvinex
