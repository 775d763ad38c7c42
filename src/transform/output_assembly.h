#pragma once
// The bytes of one output view: the panorama rows of a view buffer (those left after
// the internal cut, wherever the flip put them), either followed by the black
// lens-correction rows or written into the logo canvas.

#include <cstddef>
#include <cstdint>

#include "transform/frame_image.h"

namespace corvinex {

struct UnwrapGeometry;

// Picture size of one view.
struct ViewSize {
  int32_t width = 0;
  int32_t height = 0;
  size_t ByteSize() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 4; }
};

// W x (outRows + corrRows) without a logo, the whole canvas with one.
ViewSize OutputViewSize(const UnwrapGeometry& geometry, const FrameImage* logoCanvas);

// First canvas row (bottom-up) of the panorama part: round((E - (outRows - 2)) / 2).
int32_t LogoCanvasFirstRow(int32_t canvasHeight, int32_t outRows);

// Writes the view taken from `panorama` (W x (H + 1), unwrapped with `flipMode`) to
// `out`, which must hold OutputViewSize(...).ByteSize() bytes. With a logo canvas the
// panorama rows are first written into the canvas (rows that fall outside it are left
// out), then the canvas is copied out. A vertical flip turns the panorama rows upside
// down and leaves the lens-correction rows and the canvas layout where they are.
// Returns the number of bytes written.
size_t AssembleView(const UnwrapGeometry& geometry, const FrameImage& panorama, int32_t flipMode,
                    FrameImage* logoCanvas, uint8_t* out);

}  // namespace corvinex
