// The fast path: a nearest-pixel look-up table built once per geometry and flip
// mode, then one indexed 32-bit copy per panorama pixel and frame.

#include <cmath>
#include <cstddef>

#include "transform/unwrap_geometry.h"

namespace corvinex {

void BuildFastTable(const UnwrapGeometry& g, int32_t flipMode, UnwrapBuffers& buffers) {
  const size_t slots = static_cast<size_t>(g.W) * static_cast<size_t>(g.H);
  // Slots whose sample leaves the frame show the frame's first pixel. Starting
  // from 0 on every build keeps a table rebuilt for another flip mode from
  // holding entries of the old one.
  buffers.tableIndex.assign(slots, 0);
  const double cx = g.cropX + g.halfW;
  const double cy = g.cropY + g.halfH;
  const bool flipX = (flipMode & 1) != 0;
  const bool flipY = (flipMode & 2) != 0;
  int32_t* table = buffers.tableIndex.data();
  for (int32_t x = 0; x < g.W; ++x) {
    const float a = g.k * static_cast<float>(x + g.halfPW - g.halfPH);
    // Widened to double: the radius times the float sine is exact there, as in
    // the extended precision the mapping was designed for.
    const double sinA = GeometrySin(a);
    const double cosA = GeometryCos(a);
    const int32_t column = flipX ? g.W - 1 - x : x;
    for (int32_t y = 0; y < g.H; ++y) {
      const double px = std::nearbyint(cx + y * sinA);
      const double py = std::nearbyint(cy + y * cosA);
      if (!(px >= 0 && px < g.Fw && py >= 0 && py < g.Fh)) continue;
      const int32_t row = flipY ? g.H - 1 - y : y;
      const int32_t sourceRow = g.Fh - 1 - static_cast<int32_t>(py);
      table[static_cast<size_t>(row) * static_cast<size_t>(g.W) + static_cast<size_t>(column)] =
          sourceRow * g.Fw + static_cast<int32_t>(px);
    }
  }
  buffers.tableFlipMode = flipMode;
  buffers.tableValid = true;
}

void GatherPixelsScalar(const uint32_t* src, const int32_t* index, uint32_t* dst, size_t count) {
  for (size_t s = 0; s < count; ++s) dst[s] = src[index[s]];
}

// A plain loop: on the processors measured, vector gather instructions were
// slower than scalar loads for this access pattern.
void GatherPixels(const uint32_t* src, const int32_t* index, uint32_t* dst, size_t count) {
  GatherPixelsScalar(src, index, dst, count);
}

bool UnwrapFast(const UnwrapGeometry& g, int32_t flipMode, const FrameImage& frame,
                UnwrapBuffers& buffers) {
  const size_t slots = static_cast<size_t>(g.W) * static_cast<size_t>(g.H);
  // The table indexes a frame of exactly Fw x Fh pixels and a P1 of W x (H + 1).
  if (!g.Usable() || frame.width != g.Fw || frame.height != g.Fh ||
      frame.pixels.size() < static_cast<size_t>(g.Fw) * static_cast<size_t>(g.Fh) ||
      buffers.P1.width != g.W || buffers.P1.height != g.H + 1 ||
      buffers.tableIndex.size() != slots) {
    return false;
  }
  if (!buffers.tableValid || buffers.tableFlipMode != (flipMode & 3)) {
    BuildFastTable(g, flipMode & 3, buffers);
  }
  GatherPixels(frame.pixels.data(), buffers.tableIndex.data(), buffers.P1.pixels.data(), slots);
  return true;
}

}  // namespace corvinex
