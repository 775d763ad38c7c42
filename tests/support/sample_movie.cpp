#include "support/sample_movie.h"

#include <stdexcept>

namespace corvinex::test {

void MakeSampleMovie(const std::filesystem::path& path, const SampleMovieOptions& options) {
  sample::SampleMovieRecipe recipe;
  recipe.output = path;
  recipe.width = options.width;
  recipe.height = options.height;
  recipe.frames = options.frames;
  const auto rate = sample::ParseFrameRate(options.fps);
  if (!rate) throw std::runtime_error("bad frame rate " + options.fps);
  recipe.fps = *rate;
  recipe.sound = options.sound;
  recipe.ring = options.ring;
  recipe.lossless = options.lossless;
  const std::string error = sample::EncodeSampleMovie(recipe);
  if (!error.empty()) throw std::runtime_error("sample movie " + path.string() + ": " + error);
}

}  // namespace corvinex::test
