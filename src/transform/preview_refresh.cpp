#include "transform/preview_refresh.h"

#include <algorithm>

namespace corvinex {

bool RefreshPreviewFrame(const FrameImage& grabbed, FrameImage& shown,
                         const UnwrapGeometry& geometry, const FrameOptions& options,
                         UnwrapBuffers& buffers) {
  if (grabbed.width != geometry.Fw || grabbed.height != geometry.Fh) return false;
  // Adjusted on a copy: the grabbed frame may be grabbed again unchanged while paused,
  // and adjusting it in place would compound.
  if (shown.width != grabbed.width || shown.height != grabbed.height) {
    shown.Reset(grabbed.width, grabbed.height);
  }
  std::copy(grabbed.pixels.begin(), grabbed.pixels.end(), shown.pixels.begin());
  AdjustFrame(shown, options.adjust);
  if (!UnwrapFast(geometry, options.flipMode, shown, buffers)) return false;
  if (options.sharpen.on) {
    SharpenPanorama(geometry.W, geometry.H, buffers.P1, buffers.P2, options.sharpen);
  }
  return true;
}

}  // namespace corvinex
