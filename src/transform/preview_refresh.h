#pragma once
// The preview's work on one grabbed frame, so that both previews show what the
// output gets: the output's adjustments on a copy of the doughnut, the fast unwrap
// of the adjusted doughnut, and sharpening of the panorama. Stereo is left out (it
// needs the previous frame of a run).

#include <cstdint>

#include "transform/frame_image.h"
#include "transform/process_frame.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

// `grabbed` stays as it was; `shown` (resized only when the frame size changes)
// receives the adjusted doughnut and P1 the panorama. False, with P1 untouched, when
// the frame does not fit the geometry.
bool RefreshPreviewFrame(const FrameImage& grabbed, FrameImage& shown,
                         const UnwrapGeometry& geometry, const FrameOptions& options,
                         UnwrapBuffers& buffers);

}  // namespace corvinex
