#pragma once
// Finds the picture ring of a doughnut movie in a few of its frames: the outer
// circle (picture to dark surround) and the inner circle (the dark centre that the
// camera's reflection or the lens hub leaves).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "transform/frame_image.h"

namespace corvinex {

// One grey picture: rows top-down, one byte a pixel, stride = width.
struct GreyImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

struct FoundRing {
  bool found = false;
  // In the pixels of the frames searched; y counts from the top.
  double centreX = 0, centreY = 0;
  double outerRadius = 0, innerRadius = 0;  // innerRadius 0: no dark centre seen
  double confidence = 0;                    // 0 .. 1
  std::string reason;                       // why found is false; empty when found
};

// The largest side the search works at; larger frames are shrunk first.
inline constexpr int32_t kRingSearchSide = 640;
// Grey frames larger than this on either side are refused (shrink them first).
inline constexpr int32_t kMaxRingSearchSide = 4096;

// Luma of a frame, shrunk by an integer factor (box average), rows turned top-down.
GreyImage GreyFromFrame(const FrameImage& frame, int32_t shrink);

// Searches frames of one size (the scene may move between them). Coordinates of the
// result are those of the frames given.
FoundRing FindRing(std::span<const GreyImage> frames);

// The same for full-size frames: shrinks them to at most kRingSearchSide first and
// returns frame pixels.
FoundRing FindRing(std::span<const FrameImage> frames);

// A ring found in a picture scaled by 1/scaleX, 1/scaleY, in the original's pixels
// (pixel centres map onto pixel centres).
FoundRing ScaleFoundRing(const FoundRing& ring, double scaleX, double scaleY);

}  // namespace corvinex
