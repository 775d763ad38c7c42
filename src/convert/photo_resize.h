#pragma once
// The resize choice on a photo: the picture is scaled to the size a movie's export
// would get for the same step, so a photo and a movie of one ring match.

#include <cstdint>
#include <string>

#include "transform/frame_sink.h"

namespace corvinex {

// Scales `picture` (BGRX rows, either order) in place by the resize step (0 natural
// size, 1..5 = 90%..50%), to the size ExportPictureSize gives, with the bicubic
// filter the encoder's scaling uses; a picture no higher than half its width stays so
// (rounding each side could make a panorama band too high by a row). Empty when done (step 0
// changes nothing), else why it could not be scaled; `picture` is then unchanged.
std::string ResizePhotoOutput(int32_t resize, OutputFrame& picture);

}  // namespace corvinex
