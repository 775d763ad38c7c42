#pragma once
// Grey frames spread over a movie, for looking at the whole movie cheaply (the ring
// finder): a few seeks, one decoded frame after each, shrunk on the way out.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "transform/ring_finder.h"

namespace corvinex {

struct SampledFrames {
  std::vector<GreyImage> frames;            // all of one size, rows top-down
  int32_t frameWidth = 0, frameHeight = 0;  // the movie's own picture size
  // The movie's display matrix turns or mirrors these stored frames when they are
  // shown: a place found in them is not the place on screen.
  bool shownTurned = false;
  // Movie pixels per sample pixel; a sample pixel's centre (x, y) lies at
  // ((x + 0.5) scaleX - 0.5, (y + 0.5) scaleY - 0.5) in the movie's pixels.
  double scaleX = 1, scaleY = 1;
  std::string error;  // why no frame came; empty when at least one did
  bool ok() const { return error.empty() && !frames.empty(); }
};

// Up to `count` frames at positions spread evenly over the movie's duration: each
// seek goes back to the key frame before its position and takes the first frame that
// decodes cleanly after it (frames flagged corrupt are skipped, and a frame already
// taken is not taken twice). Frames larger than `maxSide` on their longer side are
// shrunk to it. A movie without a known duration gives its first frames.
SampledFrames SampleMovieFrames(const std::filesystem::path& path, int32_t count,
                                int32_t maxSide = kRingSearchSide);

}  // namespace corvinex
