#pragma once
// Encodes a generated doughnut movie with the real ffmpeg: raw frames through a
// pipe, a sine tone as a WAV file, into the container the output name asks for.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "transform/unwrap_geometry.h"

namespace corvinex::sample {

struct FrameRate {
  int32_t num = 25;
  int32_t den = 1;
  double value() const { return static_cast<double>(num) / den; }
  std::string Text() const;  // "25" or "30000/1001"
};

// "25", "29.97" (the NTSC rates become n * 1000 / 1001), "12.5", "30000/1001".
std::optional<FrameRate> ParseFrameRate(const std::string& text);

// The Cut Area that the "Reset" button gives: a ring well inside a 4:3 frame.
inline constexpr RingGeometry kSampleRing{150, 20, 316, 306, 32};

struct SampleMovieRecipe {
  std::filesystem::path output;
  int32_t width = 640;
  int32_t height = 480;
  int32_t frames = 50;
  FrameRate fps;
  bool sound = true;
  RingGeometry ring = kSampleRing;
  bool lossless = false;
  std::string ffmpeg = "ffmpeg";
};

// The codec arguments ffmpeg gets for an output name; empty `error` when supported.
struct OutputCodecs {
  std::vector<std::string> video;  // -c:v ... -pix_fmt ...
  std::vector<std::string> audio;  // -c:a ...
  std::string error;
};
OutputCodecs CodecsForOutput(const std::filesystem::path& output, bool lossless);

// 16-bit stereo 44,100 Hz sine tone (440 Hz) of the given length.
bool WriteToneWav(const std::filesystem::path& file, double seconds);

// Draws, wraps and encodes; returns an empty string on success, else what went wrong
// (with ffmpeg's own last message when ffmpeg failed).
std::string EncodeSampleMovie(const SampleMovieRecipe& recipe);

}  // namespace corvinex::sample
