#pragma once
// How a movie's display matrix turns its stored pictures upright, as ffmpeg's own
// autorotation reads it, for the frame source (which turns the frames it shows) and
// the frame sampler (which searches the stored frames and must say they are turned).

#include <string>

struct AVStream;

namespace corvinex {

// The filters that turn the picture upright; empty when it is shown as stored.
// `swapsSides` tells whether width and height trade places.
std::string RotationFilters(const AVStream* stream, bool& swapsSides);

}  // namespace corvinex
