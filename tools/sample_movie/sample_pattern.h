#pragma once
// The known panorama that sample movies carry: colour bars, a degree scale and a
// block that moves from frame to frame, so that a decoded and unwrapped frame can
// be checked against what was drawn.

#include <array>
#include <cstdint>

#include "transform/frame_image.h"

namespace corvinex::sample {

// Buffer row = distance from the ring centre (row 0 is the centre); column = angle.
// Bands by row, as fractions of the height:
//   [0, 1/4)    inner band, plain grey (the internal circle usually drops it)
//   [1/4, 3/4)  eight colour bars across the width, the moving block on top
//   [3/4, 1]    degree scale: light background, a dark tick every 10 degrees
// Every 90 degrees a dark line runs through all bands.
inline constexpr int32_t kBarCount = 8;
inline constexpr uint32_t kInnerGrey = PackBgrx(96, 96, 96);
inline constexpr uint32_t kScaleBackground = PackBgrx(224, 224, 224);
inline constexpr uint32_t kMarkColour = PackBgrx(16, 16, 16);
inline constexpr uint32_t kMovingColour = PackBgrx(0, 128, 255);  // orange
inline constexpr std::array<uint32_t, kBarCount> kBarColours = {
    PackBgrx(192, 192, 192), PackBgrx(0, 192, 192), PackBgrx(192, 192, 0), PackBgrx(0, 192, 0),
    PackBgrx(192, 0, 192),   PackBgrx(0, 0, 192),   PackBgrx(192, 0, 0),   PackBgrx(40, 40, 40)};

// First column of the moving block in a given frame (it advances W / 64 columns a
// frame and wraps around); the block is max(2, W / 16) columns wide.
int32_t MovingBlockColumn(int32_t frameIndex, int32_t width);
int32_t MovingBlockWidth(int32_t width);

// Draws frame `frameIndex` of the pattern at width x height (both at least 1).
FrameImage MakePanoramaPattern(int32_t width, int32_t height, int32_t frameIndex);
// The same into an existing image (reused storage, no allocation when the size holds).
void DrawPanoramaPattern(FrameImage& pattern, int32_t frameIndex);

}  // namespace corvinex::sample
