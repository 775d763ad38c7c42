#pragma once
// ffprobe read-back and lavfi-generated inputs for the encoder tests.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace corvinex::test {

struct ProbedMovie {
  bool ok = false;
  std::string formatName;  // ffprobe's container name, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
  std::string majorBrand;  // MP4 family only
  std::string videoCodec;
  std::string pixelFormat;
  int width = 0;
  int height = 0;
  int64_t videoFrames = 0;  // frames actually decoded
  double duration = 0;
  int audioStreams = 0;
  int audioRate = 0;
  int audioChannels = 0;
  std::string audioCodec;
};

// Reads a movie back with ffprobe, counting its frames by decoding them.
ProbedMovie ProbeWithFfprobe(const std::filesystem::path& movie);

// Runs the system ffmpeg with the given arguments (no shell); true when it succeeded.
bool RunFfmpeg(const std::vector<std::string>& args);

// A sample doughnut movie of `frames` frames, with a sound track when `withSound`.
void MakeMovie(const std::filesystem::path& movie, int width, int height, int frames, int fps,
               bool withSound);

// 44,100 Hz stereo 16-bit WAV of the given length, as the sound extraction writes it.
void MakeWav(const std::filesystem::path& wav, double seconds);

}  // namespace corvinex::test
