#include "sample_encoder.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <numeric>
#include <sstream>

#include "convert/child_process.h"
#include "ring_wrap.h"
#include "sample_pattern.h"

namespace corvinex::sample {
namespace {

constexpr int32_t kToneRate = 44100;
constexpr double kToneHz = 440.0;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

void PutLe(std::ofstream& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Sends all bytes; false when the reader has gone (no SIGPIPE: it is a socket).
bool SendAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string LastLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line, last;
  while (std::getline(in, line)) {
    if (!line.empty()) last = line;
  }
  return last;
}

// A private working folder for the WAV and ffmpeg's messages.
class WorkFolder {
 public:
  WorkFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("corvinex-sample-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::error_code ec;
    std::filesystem::create_directories(path_, ec);
  }
  ~WorkFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

std::string FrameRate::Text() const {
  return den == 1 ? std::to_string(num) : std::to_string(num) + "/" + std::to_string(den);
}

std::optional<FrameRate> ParseFrameRate(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const auto slash = text.find('/');
  try {
    size_t used = 0;
    if (slash != std::string::npos) {
      FrameRate r{std::stoi(text.substr(0, slash), &used), 1};
      if (used != slash) return std::nullopt;
      const std::string d = text.substr(slash + 1);
      r.den = std::stoi(d, &used);
      if (used != d.size() || r.num <= 0 || r.den <= 0) return std::nullopt;
      return r;
    }
    const double v = std::stod(text, &used);
    if (used != text.size() || !(v > 0) || v > 1000) return std::nullopt;
    for (int32_t base : {24, 30, 48, 60, 120}) {
      if (std::abs(v - base * 1000.0 / 1001.0) < 0.006) return FrameRate{base * 1000, 1001};
    }
    const auto scaled = static_cast<int32_t>(std::lround(v * 1000.0));
    if (scaled <= 0) return std::nullopt;
    const int32_t divisor = std::gcd(scaled, 1000);
    return FrameRate{scaled / divisor, 1000 / divisor};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

OutputCodecs CodecsForOutput(const std::filesystem::path& output, bool lossless) {
  const std::string ext = Lower(output.extension().string());
  const std::vector<std::string> h264 = {"-c:v", "libx264", "-preset",  "veryfast",
                                         "-crf", "18",      "-pix_fmt", "yuv420p"};
  const std::vector<std::string> h264Rgb = {"-c:v", "libx264rgb", "-preset",  "veryfast",
                                            "-qp",  "0",          "-pix_fmt", "bgr0"};
  const std::vector<std::string> ffv1 = {"-c:v", "ffv1", "-pix_fmt", "bgr0"};
  const std::vector<std::string> aac = {"-c:a", "aac", "-b:a", "128k"};
  const std::vector<std::string> pcm = {"-c:a", "pcm_s16le"};
  OutputCodecs c;
  if (ext == ".mp4" || ext == ".m4v" || ext == ".mov") {
    c.video = lossless ? h264Rgb : h264;
    c.audio = aac;
  } else if (ext == ".mkv") {
    c.video = lossless ? ffv1 : h264;
    c.audio = lossless ? std::vector<std::string>{"-c:a", "flac"} : aac;
  } else if (ext == ".avi") {
    c.video = lossless ? ffv1 : std::vector<std::string>{"-c:v",     "mpeg4",   "-q:v",  "3",
                                                         "-pix_fmt", "yuv420p", "-vtag", "XVID"};
    c.audio = pcm;
  } else if (ext == ".3gp" || ext == ".3g2") {
    c.video = h264;
    c.audio = {"-c:a", "aac", "-b:a", "64k"};
  } else if (ext == ".wmv" || ext == ".asf") {
    c.video = {"-c:v", "wmv2", "-q:v", "3", "-pix_fmt", "yuv420p"};
    c.audio = {"-c:a", "wmav2"};
  } else if (ext == ".flv") {
    c.video = {"-c:v", "flv", "-q:v", "3", "-pix_fmt", "yuv420p"};
    c.audio = aac;
  } else if (ext == ".mpg" || ext == ".mpeg" || ext == ".ts" || ext == ".m2ts" || ext == ".vob") {
    c.video = {"-c:v", "mpeg2video", "-q:v", "3", "-pix_fmt", "yuv420p"};
    c.audio = {"-c:a", "mp2", "-b:a", "192k"};
  } else if (ext == ".webm") {
    c.video = {"-c:v", "libvpx", "-b:v", "2M", "-pix_fmt", "yuv420p"};
    c.audio = {"-c:a", "libvorbis"};
  } else if (ext == ".ogv" || ext == ".ogg") {
    c.video = {"-c:v", "libtheora", "-q:v", "7", "-pix_fmt", "yuv420p"};
    c.audio = {"-c:a", "libvorbis"};
  } else {
    c.error = "no movie container is known for the extension \"" + ext + "\"";
    return c;
  }
  if (lossless && c.video.size() > 1 && c.video[1] != "ffv1" && c.video[1] != "libx264rgb") {
    c.error = "no lossless codec is available for \"" + ext + "\" (use .mkv, .avi, .mp4 or .mov)";
  }
  return c;
}

bool WriteToneWav(const std::filesystem::path& file, double seconds) {
  const auto frames = static_cast<uint32_t>(std::ceil(std::max(0.0, seconds) * kToneRate));
  const uint32_t dataBytes = frames * 4;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write("RIFF", 4);
  PutLe(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, 2, 2);  // stereo
  PutLe(out, kToneRate, 4);
  PutLe(out, kToneRate * 4, 4);
  PutLe(out, 4, 2);
  PutLe(out, 16, 2);
  out.write("data", 4);
  PutLe(out, dataBytes, 4);
  std::vector<char> block;
  block.reserve(static_cast<size_t>(dataBytes));
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kToneRate;
    const auto v = static_cast<int16_t>(
        std::lround(0.3 * 32767.0 * std::sin(2.0 * std::numbers::pi * kToneHz * t)));
    const auto u = static_cast<uint16_t>(v);
    for (int ch = 0; ch < 2; ++ch) {
      block.push_back(static_cast<char>(u & 0xFF));
      block.push_back(static_cast<char>(u >> 8));
    }
  }
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
  return static_cast<bool>(out);
}

std::string EncodeSampleMovie(const SampleMovieRecipe& recipe) {
  if (recipe.width < 16 || recipe.height < 16 || recipe.width > 8192 || recipe.height > 8192) {
    return "the frame size must be between 16x16 and 8192x8192";
  }
  if (recipe.frames < 1) return "the movie needs at least one frame";
  if (recipe.fps.num <= 0 || recipe.fps.den <= 0) return "the frame rate must be positive";
  const OutputCodecs codecs = CodecsForOutput(recipe.output, recipe.lossless);
  if (!codecs.error.empty()) return codecs.error;
  const bool subsampled =
      std::find(codecs.video.begin(), codecs.video.end(), "yuv420p") != codecs.video.end();
  if (subsampled && (recipe.width % 2 != 0 || recipe.height % 2 != 0)) {
    return "this codec needs an even width and height";
  }
  const RingPlacement placement = PlaceRing(recipe.width, recipe.height, recipe.ring);
  if (!placement.valid()) return "the Cut Area is too small for this frame size";

  WorkFolder work;
  const std::filesystem::path wav = work.path() / "tone.wav";
  const std::filesystem::path messages = work.path() / "ffmpeg.txt";
  if (recipe.sound && !WriteToneWav(wav, recipe.frames / recipe.fps.value())) {
    return "cannot write the tone to " + wav.string();
  }

  std::vector<std::string> argv = {
      recipe.ffmpeg, "-hide_banner",
      "-nostdin",    "-loglevel",
      "error",       "-y",
      "-f",          "rawvideo",
      "-pix_fmt",    "bgra",
      "-s",          std::to_string(recipe.width) + "x" + std::to_string(recipe.height),
      "-framerate",  recipe.fps.Text(),
      "-i",          "pipe:0"};
  if (recipe.sound) {
    argv.insert(argv.end(), {"-i", "file:" + wav.string(), "-map", "0:v", "-map", "1:a"});
    argv.insert(argv.end(), codecs.audio.begin(), codecs.audio.end());
  } else {
    argv.insert(argv.end(), {"-map", "0:v"});
  }
  argv.insert(argv.end(), codecs.video.begin(), codecs.video.end());
  argv.push_back("file:" + std::filesystem::absolute(recipe.output).string());

  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    return std::string("cannot make a pipe: ") + std::strerror(errno);
  }
  ChildIo io;
  io.stdinPipeFd = fds[1];
  io.stderrFile = messages;
  const ChildStart child = StartProcess(argv, io);
  close(fds[1]);
  if (!child.ok()) {
    close(fds[0]);
    return child.error;
  }

  const RingMap map = BuildRingMap(placement, placement.W, placement.H);
  FrameImage pattern(placement.W, placement.H);
  FrameImage frame(recipe.width, recipe.height);
  bool sent = true;
  for (int32_t i = 0; i < recipe.frames && sent; ++i) {
    DrawPanoramaPattern(pattern, i);
    WrapPanorama(pattern, map, frame);
    // ffmpeg's raw frames run top-down; ours bottom-up.
    for (int32_t row = recipe.height - 1; row >= 0 && sent; --row) {
      sent = SendAll(fds[0], reinterpret_cast<const uint8_t*>(frame.Row(row)),
                     static_cast<size_t>(recipe.width) * 4);
    }
  }
  close(fds[0]);
  const ChildExit exit = WaitProcess(child.pid);
  if (!exit.exited || exit.exitCode != 0 || !sent) {
    std::ostringstream why;
    why << "ffmpeg failed (exit code " << exit.exitCode << ")";
    const std::string last = LastLines(messages);
    if (!last.empty()) why << ": " << last;
    return why.str();
  }
  return {};
}

}  // namespace corvinex::sample
