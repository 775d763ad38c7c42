#pragma once
// Sharpening of the unwrapped panorama: centre weight m, four neighbours weight n,
// blended with the unsharpened pixel by the radius value.

#include <cstdint>

#include "transform/frame_image.h"

namespace corvinex {

struct AppSettings;

struct SharpenOptions {
  bool on = false;     // checkbox on and amount not 0
  int32_t amount = 1;  // 1..5; other non-zero amounts act as 1
  int32_t radius = 0;  // 0 all, 1 half, 2 quarter, 3 (or other) an eighth sharpened
};

SharpenOptions SharpenOptionsFrom(const AppSettings& settings);

struct SharpenWeights {
  int32_t neighbour = 1;  // n
  int32_t centre = 5;     // m = 4n + 1
  int32_t shift = 0;      // blend (s + (2^shift - 1) p) >> shift
};

SharpenWeights SharpenWeightsFor(const SharpenOptions& options);

// Sharpens buffer rows 1 .. H - 2 of P1 (W columns) in place, each pixel from the
// unsharpened values of its four neighbours (the row's ends neighbour the rows before
// and after it); rows 0 and H - 1 stay unsharpened. P2 is scratch. Both buffers need
// at least W x H pixels. Does nothing when sharpening is off or H < 3.
void SharpenPanorama(int32_t W, int32_t H, FrameImage& P1, FrameImage& P2,
                     const SharpenOptions& options);

// The plain per-channel version, the reference for tests: it writes the sharpened rows
// to P2, then copies them back to P1.
void SharpenPanoramaReference(int32_t W, int32_t H, FrameImage& P1, FrameImage& P2,
                              const SharpenOptions& options);

}  // namespace corvinex
