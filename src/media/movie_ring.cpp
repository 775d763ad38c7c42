#include "media/movie_ring.h"

#include "media/frame_sampler.h"
#include "transform/ring_cut_area.h"

namespace corvinex {

MovieRing FindRingInMovie(const std::filesystem::path& path, int32_t frames) {
  MovieRing result;
  const SampledFrames sampled = SampleMovieFrames(path, frames);
  result.frameWidth = sampled.frameWidth;
  result.frameHeight = sampled.frameHeight;
  result.shownTurned = sampled.shownTurned;
  result.framesSearched = static_cast<int32_t>(sampled.frames.size());
  result.sampleScale = 0.5 * (sampled.scaleX + sampled.scaleY);
  if (!sampled.ok()) {
    result.error = sampled.error;
    result.ring.reason = sampled.error;
    return result;
  }
  result.ring = ScaleFoundRing(FindRing(sampled.frames), sampled.scaleX, sampled.scaleY);
  if (result.ring.found) {
    result.cutArea = CutAreaForRing(sampled.frameWidth, sampled.frameHeight, result.ring);
  }
  return result;
}

}  // namespace corvinex
