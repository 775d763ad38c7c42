#include "support/probe_helpers_h4.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "convert/child_process.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"

namespace corvinex::test {
namespace {

std::string Get(const std::map<std::string, std::string>& m, const std::string& key) {
  auto it = m.find(key);
  return it == m.end() ? std::string() : it->second;
}

int64_t ToInt(const std::string& text) {
  try {
    return text.empty() || text == "N/A" ? 0 : std::stoll(text);
  } catch (...) {
    return 0;
  }
}

}  // namespace

ProbedMovie ProbeWithFfprobe(const std::filesystem::path& movie) {
  TempDir scratch("probe");
  auto out = scratch / "probe.txt";
  ChildIo io;
  io.stdoutFile = out;
  ChildExit e = RunProcess({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                            "format=format_name,duration:format_tags=major_brand:stream=codec_"
                            "type,codec_name,pix_fmt,width,height,nb_read_frames,sample_rate,"
                            "channels",
                            "-of", "default=noprint_wrappers=0", movie.string()},
                           io, std::chrono::minutes(2));
  ProbedMovie result;
  if (!e.exited || e.exitCode != 0) return result;
  std::istringstream in(ReadFileBytes(out));
  std::string line;
  std::map<std::string, std::string> section;
  auto flush = [&](const std::string& end) {
    if (end == "[/STREAM]" && Get(section, "codec_type") == "video" && result.width == 0) {
      result.videoCodec = Get(section, "codec_name");
      result.pixelFormat = Get(section, "pix_fmt");
      result.width = static_cast<int>(ToInt(Get(section, "width")));
      result.height = static_cast<int>(ToInt(Get(section, "height")));
      result.videoFrames = ToInt(Get(section, "nb_read_frames"));
    } else if (end == "[/STREAM]" && Get(section, "codec_type") == "audio") {
      if (result.audioStreams++ == 0) {
        result.audioCodec = Get(section, "codec_name");
        result.audioRate = static_cast<int>(ToInt(Get(section, "sample_rate")));
        result.audioChannels = static_cast<int>(ToInt(Get(section, "channels")));
      }
    } else if (end == "[/FORMAT]") {
      result.formatName = Get(section, "format_name");
      result.majorBrand = Get(section, "TAG:major_brand");
      try {
        result.duration = std::stod(Get(section, "duration"));
      } catch (...) {
      }
      result.ok = true;
    }
    section.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("[/", 0) == 0) {
      flush(line);
    } else if (auto eq = line.find('='); eq != std::string::npos) {
      section[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return result;
}

bool RunFfmpeg(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"ffmpeg",    "-nostdin", "-hide_banner",
                                   "-loglevel", "error",    "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildExit e = RunProcess(argv, {}, std::chrono::minutes(2));
  return e.exited && e.exitCode == 0;
}

void MakeMovie(const std::filesystem::path& movie, int width, int height, int frames, int fps,
               bool withSound) {
  SampleMovieOptions options;
  options.width = width;
  options.height = height;
  options.frames = frames;
  options.fps = std::to_string(fps);
  options.sound = withSound;
  ASSERT_NO_THROW(MakeSampleMovie(movie, options));
}

void MakeWav(const std::filesystem::path& wav, double seconds) {
  ASSERT_TRUE(RunFfmpeg({"-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=44100:duration=" + std::to_string(seconds),
                         "-ac", "2", "-acodec", "pcm_s16le", wav.string()}));
}

}  // namespace corvinex::test
