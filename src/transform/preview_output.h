#pragma once
// The panorama preview's picture of the output: the stereo rendering and the view
// assembly a conversion runs, applied to the preview's panorama, so that the preview
// shows the lens-correction rows, the logo frame, the stereo pair and the anaglyph
// as the movie written will have them.

#include <cstdint>

#include "transform/frame_image.h"
#include "transform/output_projection.h"
#include "transform/process_frame.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

// Buffers kept from one preview frame to the next; sized when the panorama size
// changes, never per frame.
struct PreviewOutput {
  UnwrapBuffers stereo;      // P1, P2, previous, stereoA, stereoB of the preview's stereo
  bool hasPrevious = false;  // `stereo.previous` holds an earlier shown panorama
  FrameImage picture;        // the output picture, bottom-up BGRX (both views for a pair)
  // The projection's layout, prepared again only when the geometry, the options or the
  // logo canvas change.
  OutputLayout layout;
  ProjectionOptions layoutOptions;
  UnwrapGeometry layoutGeometry;
  const FrameImage* layoutCanvas = nullptr;
  int32_t layoutCanvasHeight = -1;
  bool layoutReady = false;
};

// Builds in `out.picture` what a conversion would write for `panorama` (W x (H + 1),
// unwrapped and sharpened with `options`). With stereo on, the dynamic type's second
// view is the panorama passed before this one (black for the first); `still` (a
// paused movie, where that would be the same frame) takes the static type instead.
// `logoCanvas` is a canvas PrepareLogoFrame made for W, or null; the assembly writes
// the strip into it. `projection` places the strip as the run does (a 2:1 frame with
// its fill and horizon); a horizon this geometry cannot follow, which a run refuses,
// shows level. False, leaving `out.picture` as it was, when the panorama does not fit
// the geometry.
bool AssemblePreviewOutput(const UnwrapGeometry& geometry, const FrameImage& panorama,
                           const FrameOptions& options, bool still, FrameImage* logoCanvas,
                           PreviewOutput& out, const ProjectionOptions& projection = {});

}  // namespace corvinex
