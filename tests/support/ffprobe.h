#pragma once
// What ffprobe says about a movie file: the facts that tests check.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace corvinex::test {

struct ProbeFacts {
  std::string formatName;  // e.g. "mov,mp4,m4a,3gp,3g2,mj2", "avi", "matroska,webm"
  int32_t width = 0;       // first video stream
  int32_t height = 0;
  int64_t frameCount = -1;  // decoded frames of the first video stream (-1: unknown)
  std::string videoCodec;
  std::string frameRate;  // r_frame_rate, e.g. "25/1"
  bool hasVideo = false;
  bool hasAudio = false;
  double durationSeconds = 0;  // of the container
  double videoSeconds = 0;     // of the first video stream (0: not stated)
  double audioSeconds = 0;     // of the first audio stream
  // The picture's 360-degree metadata: "equirectangular", "2D", "top and bottom", ...
  std::string projection;
  std::string stereoType;
};

// Runs `ffprobe -show_streams -show_format -count_frames -of flat` on the file;
// nullopt when ffprobe cannot read it.
std::optional<ProbeFacts> ProbeFile(const std::filesystem::path& file);

// The raw key=value lines of ffprobe's flat output (keys like "streams.stream.0.width").
std::map<std::string, std::string> ParseFlat(const std::string& text);

}  // namespace corvinex::test
