#include "media/photo_ring.h"

#include <span>

#include "media/photo_decode.h"
#include "transform/ring_cut_area.h"

namespace corvinex {

MovieRing FindRingInPhoto(const FrameImage& picture) {
  MovieRing found;
  found.frameWidth = picture.width;
  found.frameHeight = picture.height;
  found.framesSearched = 1;
  found.ring = FindRing(std::span<const FrameImage>(&picture, 1));
  if (found.ring.found) found.cutArea = CutAreaForRing(picture.width, picture.height, found.ring);
  return found;
}

MovieRing FindRingInPhotoFile(const std::filesystem::path& path) {
  const DecodedPhoto photo = DecodePhoto(path);
  if (!photo.ok()) {
    MovieRing failed;
    failed.error = photo.error;
    failed.ring.reason = photo.error;
    return failed;
  }
  return FindRingInPhoto(photo.image);
}

}  // namespace corvinex
