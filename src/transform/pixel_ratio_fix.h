#pragma once
// The aspect fix at frame intake: the middle 75 % of each row stretched to the
// full width, rows unchanged.

#include <cstddef>
#include <cstdint>

#include "transform/frame_image.h"

namespace corvinex {

inline constexpr float kAspectIntakeFactor = 0.7501f;         // conversion intake
inline constexpr float kAspectPreviewFactor = 1.0f / 1.333f;  // live preview grab

// Resamples `sample` (frame.width x frame.height pixels, same layout) into
// `frame`. Buffer rows 0, height - 2 and height - 1 cannot take a full cubic
// window and keep their previous contents. Returns false, changing nothing,
// when `sampleCount` is smaller than the frame.
bool FixAspect(const uint32_t* sample, size_t sampleCount, FrameImage& frame, float factor);

}  // namespace corvinex
