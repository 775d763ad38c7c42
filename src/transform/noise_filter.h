#pragma once
// The "Noise Median" filter: in fact an in-place average of eight samples per pixel.

#include "transform/frame_image.h"

namespace corvinex {

// One pass over buffer rows 1 .. height - 2 (the last pixel of row height - 2 left out).
// Each channel becomes the truncated mean of the pixel, its left and right neighbours,
// the three pixels of the row above and the pixel below with its right neighbour; all
// neighbours in buffer order. Written back at once, so later pixels see the new values
// of their left and lower neighbours.
// Uses AVX2 where the processor has it.
void NoiseFilterPass(FrameImage& frame);
// The same without AVX2, as on processors that lack it.
void NoiseFilterPassSse2(FrameImage& frame);

// The plain per-channel version of the same pass, the reference for tests.
void NoiseFilterPassReference(FrameImage& frame);

}  // namespace corvinex
