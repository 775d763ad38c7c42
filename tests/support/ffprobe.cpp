#include "support/ffprobe.h"

#include <chrono>
#include <sstream>

#include "convert/child_process.h"
#include "support/temp_dir.h"

namespace corvinex::test {

std::map<std::string, std::string> ParseFlat(const std::string& text) {
  std::map<std::string, std::string> values;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    values[line.substr(0, eq)] = value;
  }
  return values;
}

std::optional<ProbeFacts> ProbeFile(const std::filesystem::path& file) {
  TempDir work("ffprobe");
  const auto report = work / "report.txt";
  ChildIo io;
  io.stdoutFile = report;
  const ChildExit exit = RunProcess({"ffprobe", "-v", "error", "-show_streams", "-show_format",
                                     "-count_frames", "-of", "flat", "file:" + file.string()},
                                    io, std::chrono::minutes(2));
  if (!exit.exited || exit.exitCode != 0) return std::nullopt;
  const auto values = ParseFlat(ReadFileBytes(report));
  auto get = [&](const std::string& key) {
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
  };
  ProbeFacts facts;
  facts.formatName = get("format.format_name");
  try {
    const std::string duration = get("format.duration");
    if (!duration.empty() && duration != "N/A") facts.durationSeconds = std::stod(duration);
    for (int i = 0;; ++i) {
      const std::string prefix = "streams.stream." + std::to_string(i) + ".";
      const std::string type = get(prefix + "codec_type");
      if (type.empty()) break;
      const std::string streamDuration = get(prefix + "duration");
      const double seconds =
          streamDuration.empty() || streamDuration == "N/A" ? 0 : std::stod(streamDuration);
      if (type == "audio" && !facts.hasAudio) facts.audioSeconds = seconds;
      if (type == "audio") facts.hasAudio = true;
      if (type != "video" || facts.hasVideo) continue;
      facts.hasVideo = true;
      facts.videoSeconds = seconds;
      facts.width = std::stoi(get(prefix + "width"));
      facts.height = std::stoi(get(prefix + "height"));
      facts.videoCodec = get(prefix + "codec_name");
      facts.frameRate = get(prefix + "r_frame_rate");
      const std::string frames = get(prefix + "nb_read_frames");
      if (!frames.empty() && frames != "N/A") facts.frameCount = std::stoll(frames);
      for (int d = 0;; ++d) {
        const std::string side = prefix + "side_data_list.side_data." + std::to_string(d) + ".";
        const std::string kind = get(side + "side_data_type");
        if (kind.empty()) break;
        if (kind == "Spherical Mapping") facts.projection = get(side + "projection");
        if (kind == "Stereo 3D") facts.stereoType = get(side + "type");
      }
    }
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return facts;
}

}  // namespace corvinex::test
