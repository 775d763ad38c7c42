#pragma once
// Sample doughnut movies for tests, made by our own generator and the real ffmpeg.

#include <cstdint>
#include <filesystem>
#include <string>

#include "sample_encoder.h"

namespace corvinex::test {

struct SampleMovieOptions {
  int32_t width = 320;
  int32_t height = 240;
  int32_t frames = 10;
  std::string fps = "25";
  bool sound = true;
  RingGeometry ring = sample::kSampleRing;
  bool lossless = false;
};

// Writes the movie to `path` (container from its extension); throws std::runtime_error
// with the generator's message when it cannot.
void MakeSampleMovie(const std::filesystem::path& path, const SampleMovieOptions& options = {});

}  // namespace corvinex::test
