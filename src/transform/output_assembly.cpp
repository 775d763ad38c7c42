#include "transform/output_assembly.h"

#include <cmath>
#include <cstring>

#include "transform/unwrap_geometry.h"

namespace corvinex {

ViewSize OutputViewSize(const UnwrapGeometry& g, const FrameImage* logoCanvas) {
  if (logoCanvas != nullptr) return {logoCanvas->width, logoCanvas->height};
  return {g.W, g.outRows + g.corrRows};
}

int32_t LogoCanvasFirstRow(int32_t canvasHeight, int32_t outRows) {
  const double half = (static_cast<double>(canvasHeight) - (outRows - 2)) / 2.0;
  return static_cast<int32_t>(std::nearbyint(half));
}

namespace {

// Buffer row `row` of `panorama`, counted from `first`.
const uint32_t* PanoramaRow(const UnwrapGeometry& g, const FrameImage& panorama, int32_t first,
                            int32_t row) {
  return panorama.pixels.data() + static_cast<size_t>(first + row) * static_cast<size_t>(g.W);
}

}  // namespace

size_t AssembleView(const UnwrapGeometry& g, const FrameImage& panorama, int32_t flipMode,
                    FrameImage* logoCanvas, uint8_t* out) {
  const size_t rowBytes = static_cast<size_t>(g.W) * 4;
  const int32_t first = FirstPanoramaRow(g, flipMode);
  if (logoCanvas == nullptr) {
    const size_t partBytes = rowBytes * static_cast<size_t>(g.outRows);
    std::memcpy(out, PanoramaRow(g, panorama, first, 0), partBytes);
    std::memset(out + partBytes, 0, rowBytes * static_cast<size_t>(g.corrRows));
    return partBytes + rowBytes * static_cast<size_t>(g.corrRows);
  }
  FrameImage& canvas = *logoCanvas;
  const int32_t r0 = LogoCanvasFirstRow(canvas.height, g.outRows);
  // Without lens correction the two outermost radii are left out: the top rows of the
  // panorama part, or its bottom rows once a vertical flip has put them there.
  const int32_t count = g.corrRows > 0 ? g.outRows : g.outRows - 2;
  const int32_t start = g.corrRows > 0 ? r0 - g.corrRows : r0;
  const int32_t skipped = (flipMode & 2) != 0 ? g.outRows - count : 0;
  if (canvas.width == g.W) {
    for (int32_t t = 0; t < count; ++t) {
      const int32_t row = start + t;
      if (row < 0 || row >= canvas.height) continue;  // a canvas too small for the strip
      std::memcpy(canvas.Row(row), PanoramaRow(g, panorama, first, skipped + t), rowBytes);
    }
  }
  std::memcpy(out, canvas.Bytes(), canvas.ByteSize());
  return canvas.ByteSize();
}

}  // namespace corvinex
