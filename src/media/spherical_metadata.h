#pragma once
// Marks a finished movie as 360-degree video: a remux that copies every packet and
// adds the standard spherical mapping (equirectangular) and stereo mode to the
// picture stream, so that players and video sites show it in a 360 viewer.

#include <filesystem>
#include <string>

namespace corvinex {

enum class StereoLayout {
  Mono,       // one view
  TopBottom,  // the stacked stereo pair: left eye in the upper half
};

enum class SphericalStatus {
  Marked,      // the movie now carries the metadata
  NotCarried,  // its container has no place for it; the movie is unchanged
  Failed,      // the remux failed; the movie is unchanged, `reason` says why
};

struct SphericalResult {
  SphericalStatus status = SphericalStatus::Failed;
  std::string reason;
};

// Rewrites `movie` with the metadata. The new file is written beside it and
// replaces it only when complete, so a failure leaves the movie as it was.
SphericalResult AddSphericalMetadata(const std::filesystem::path& movie, StereoLayout layout);

// What the log says about a result, for `movie`.
std::string SphericalLogText(const SphericalResult& result, const std::filesystem::path& movie);

}  // namespace corvinex
