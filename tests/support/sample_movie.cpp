#include "support/sample_movie.h"

#include <stdexcept>

namespace corvinex::test {

void MakeSampleMovie(const std::filesystem::path& path, const SampleMovieOptions& options) {
  sample::SampleMovieSpec spec;
  spec.output = path;
  spec.width = options.width;
  spec.height = options.height;
  spec.frames = options.frames;
  const auto rate = sample::ParseFrameRate(options.fps);
  if (!rate) throw std::runtime_error("bad frame rate " + options.fps);
  spec.fps = *rate;
  spec.sound = options.sound;
  spec.ring = options.ring;
  spec.lossless = options.lossless;
  const std::string error = sample::EncodeSampleMovie(spec);
  if (!error.empty()) throw std::runtime_error("sample movie " + path.string() + ": " + error);
}

}  // namespace corvinex::test
