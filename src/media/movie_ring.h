#pragma once
// The ring of a doughnut movie found from frames spread over it, and the Cut Area
// that unwraps it.

#include <cstdint>
#include <filesystem>
#include <string>

#include "transform/ring_finder.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

struct MovieRing {
  FoundRing ring;                           // in the movie's pixels
  RingGeometry cutArea;                     // valid when ring.found
  int32_t frameWidth = 0, frameHeight = 0;  // the movie's picture size, as stored
  bool shownTurned = false;  // shown turned or mirrored: the ring is not where it shows
  int32_t framesSearched = 0;
  double sampleScale = 1;  // movie pixels per pixel searched
  std::string error;       // the movie could not be read; empty otherwise
};

inline constexpr int32_t kRingSampleFrames = 8;

// Samples the movie, finds the ring and its Cut Area. A readable movie without a
// ring found gives ring.found false with ring.reason, and error empty.
MovieRing FindRingInMovie(const std::filesystem::path& path, int32_t frames = kRingSampleFrames);

}  // namespace corvinex
