#pragma once
// A photo decoded into one upright frame: the picture the unwrap reads, turned by the
// camera's orientation tag first so that a photo taken with the camera turned is
// unwrapped upright.

#include <cstdint>
#include <filesystem>
#include <string>

#include "transform/frame_image.h"

namespace corvinex {

// True for the photo types the program opens: .jpg .jpeg .png .tif .tiff .webp
// (any letter case). Anything else is taken as a movie.
bool IsPhotoPath(const std::filesystem::path& path);

struct DecodedPhoto {
  FrameImage image;         // upright, bottom-up BGRX
  int32_t orientation = 1;  // the tag applied (1..8); 1 when there was none
  std::string note;         // something changed on the way in (16 bits taken to 8), or empty
  std::string error;        // why there is no picture; empty when `image` holds it
  bool ok() const { return error.empty(); }
};

// Decodes the first picture of `path` with the FFmpeg libraries. Refuses, with a
// reason a user understands: a file that is no picture, a JPEG cut short, an animated
// picture (WebP or GIF), a picture whose decoding reports damage.
DecodedPhoto DecodePhoto(const std::filesystem::path& path);

// The video filters that turn a picture stored with EXIF orientation `orientation`
// upright (empty for 1 and for values outside 1..8); `swapsSides` tells whether width
// and height trade places.
std::string OrientationFilters(int32_t orientation, bool& swapsSides);

// The filters for the photo at `path` (empty for a movie or an upright photo).
std::string PhotoOrientationFilters(const std::filesystem::path& path, bool& swapsSides);

// `stored` turned upright by EXIF orientation `orientation` (1..8; anything else
// leaves it as it is) into `upright`, which is resized to fit.
void TurnUpright(const FrameImage& stored, int32_t orientation, FrameImage& upright);

}  // namespace corvinex
