#pragma once
// The ring of a doughnut photo, found in its one upright picture: the picture the
// previews show and the conversion unwraps, with the EXIF orientation applied, so the
// ring found lies where the user sees it.

#include <filesystem>

#include "media/movie_ring.h"
#include "transform/frame_image.h"

namespace corvinex {

// Finds the ring in `picture` (upright BGRX). frameWidth/Height are the picture's;
// shownTurned is always false, since the picture is already the one shown.
MovieRing FindRingInPhoto(const FrameImage& picture);

// Decodes the photo at `path` (orientation applied) and finds its ring; `error` tells
// why a photo that cannot be decoded was not searched.
MovieRing FindRingInPhotoFile(const std::filesystem::path& path);

}  // namespace corvinex
