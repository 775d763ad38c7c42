#include "support/sample_photo.h"

#include <algorithm>
#include <cstdlib>
#include <exiv2/exiv2.hpp>
#include <sstream>
#include <stdexcept>

#include "convert/child_process.h"
#include "ring_wrap.h"
#include "sample_pattern.h"
#include "support/temp_dir.h"

namespace corvinex::test {
namespace fs = std::filesystem;

std::string RunTool(const std::vector<std::string>& argv, const fs::path& outFile) {
  ChildIo io;
  io.stdoutFile = outFile;
  io.stderrFile = outFile.string() + ".err";
  const ChildExit exit = RunProcess(argv, io, std::chrono::minutes(2));
  if (exit.exitCode != 0) {
    throw std::runtime_error(argv[0] + " failed: " + ReadFileBytes(io.stderrFile));
  }
  return ReadFileBytes(outFile);
}

FrameImage MakeDoughnutPicture(int32_t width, int32_t height, const RingGeometry& ring) {
  const FrameImage panorama = sample::MakePanoramaPattern(1024, 256, 0);
  return sample::WrapPanorama(panorama, width, height, ring);
}

void WritePictureFile(const FrameImage& picture, const fs::path& file, const std::string& filters,
                      const std::string& pixelFormat) {
  // Top-down rows for ffmpeg's raw reader.
  std::string raw;
  raw.reserve(picture.ByteSize());
  for (int32_t y = 0; y < picture.height; ++y) {
    const auto* row = reinterpret_cast<const char*>(picture.Row(picture.height - 1 - y));
    raw.append(row, static_cast<size_t>(picture.width) * 4);
  }
  const fs::path rawFile = file.string() + ".raw";
  WriteFileBytes(rawFile, raw);
  std::vector<std::string> argv = {
      "ffmpeg",
      "-nostdin",
      "-y",
      "-v",
      "error",
      "-f",
      "rawvideo",
      "-pix_fmt",
      "bgr0",
      "-s",
      std::to_string(picture.width) + "x" + std::to_string(picture.height),
      "-i",
      rawFile.string(),
      "-frames:v",
      "1"};
  if (!filters.empty()) argv.insert(argv.end(), {"-vf", filters});
  if (!pixelFormat.empty()) argv.insert(argv.end(), {"-pix_fmt", pixelFormat});
  if (file.extension() == ".jpg") argv.insert(argv.end(), {"-q:v", "2"});
  argv.push_back(file.string());
  RunTool(argv, file.string() + ".log");
  fs::remove(rawFile);
}

FrameImage ReadPictureFile(const fs::path& file) {
  const std::string size =
      RunTool({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
               "stream=width,height", "-of", "csv=p=0:s=x", file.string()},
              file.string() + ".probe");
  int32_t width = 0, height = 0;
  char x = 0;
  std::istringstream in(size);
  if (!(in >> width >> x >> height) || width <= 0 || height <= 0) {
    throw std::runtime_error("ffprobe gave no size for " + file.string() + ": " + size);
  }
  const std::string raw = RunTool({"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(),
                                   "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgr0", "-"},
                                  file.string() + ".bgr0");
  if (raw.size() != static_cast<size_t>(width) * height * 4) {
    throw std::runtime_error("ffmpeg gave the wrong number of bytes for " + file.string());
  }
  FrameImage picture(width, height);
  for (int32_t y = 0; y < height; ++y) {
    std::copy_n(raw.data() + static_cast<size_t>(y) * width * 4, static_cast<size_t>(width) * 4,
                reinterpret_cast<char*>(picture.Row(height - 1 - y)));
  }
  return picture;
}

void SetExif(const fs::path& file, const std::map<std::string, std::string>& tags) {
  auto image = Exiv2::ImageFactory::open(file.string());
  image->readMetadata();
  Exiv2::ExifData exif = image->exifData();
  for (const auto& [key, value] : tags) exif[key].setValue(value);
  image->setExifData(exif);
  image->writeMetadata();
}

std::map<std::string, std::string> ReadMetadata(const fs::path& file) {
  auto image = Exiv2::ImageFactory::open(file.string());
  image->readMetadata();
  std::map<std::string, std::string> tags;
  for (const auto& datum : image->exifData()) tags[datum.key()] = datum.value().toString();
  for (const auto& datum : image->xmpData()) tags[datum.key()] = datum.value().toString();
  return tags;
}

size_t PixelsApart(const FrameImage& a, const FrameImage& b, int tolerance) {
  if (a.width != b.width || a.height != b.height) return std::max(a.PixelCount(), b.PixelCount());
  size_t apart = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const uint32_t p = a.pixels[i], q = b.pixels[i];
    if (std::abs(BlueOf(p) - BlueOf(q)) > tolerance ||
        std::abs(GreenOf(p) - GreenOf(q)) > tolerance ||
        std::abs(RedOf(p) - RedOf(q)) > tolerance) {
      ++apart;
    }
  }
  return apart;
}

}  // namespace corvinex::test
