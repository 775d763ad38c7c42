// The fast path: a nearest-pixel look-up table built once per geometry and flip
// mode, then one indexed 32-bit copy per panorama pixel and frame. The table follows
// the quality path's polar mapping, so both paths show the same panorama.

#include <cmath>
#include <cstddef>

#include "transform/unwrap_geometry.h"
#include "transform/warp_resample.h"

namespace corvinex {

void BuildFastTable(const UnwrapGeometry& g, int32_t flipMode, UnwrapBuffers& buffers) {
  const size_t slots = static_cast<size_t>(g.W) * static_cast<size_t>(g.H);
  // Slots whose sample leaves the frame show the frame's first pixel. Starting
  // from 0 on every build keeps a table rebuilt for another flip mode from
  // holding entries of the old one.
  buffers.tableIndex.assign(slots, 0);
  PolarWarp polar;
  polar.k = g.k;
  polar.c = g.c;
  polar.angleC = g.angleC;
  polar.radiusStep = g.radiusStep;
  polar.turn = g.turn;
  // The quality path samples the crop buffer (cropW x (cropH + 1), bottom-up, the Cut
  // Area square mirrored left-right) at the centred offset (r sin a, r cos a). Its
  // column i and buffer row j show picture pixel (cropX + cropW - 1 - i,
  // cropY + cropH - 1 - j). Each slot takes the picture pixel at the centre of that
  // sample, so that the preview, draft and quality outputs show the same panorama.
  constexpr float kFarOff = 1 << 30;
  const float cropCx = CentreOf(g.cropW);
  const float cropCy = CentreOf(g.cropH + 1);
  const int64_t rightColumn = int64_t{g.cropX} + g.cropW - 1;
  const int64_t bottomRow = int64_t{g.cropY} + g.cropH - 1;
  const bool flipX = (flipMode & 1) != 0;
  const bool flipY = (flipMode & 2) != 0;
  int32_t* table = buffers.tableIndex.data();
  for (int32_t x = 0; x < g.W; ++x) {
    const float a = PolarAngle(polar, x, g.W);
    const float sinA = GeometrySin(a);
    const float cosA = GeometryCos(a);
    const int32_t column = flipX ? g.W - 1 - x : x;
    for (int32_t y = 0; y < g.H; ++y) {
      const float r = PolarRadius(polar, y, g.H);
      const float i = std::nearbyint(r * sinA + cropCx);
      const float j = std::nearbyint(r * cosA + cropCy);
      // Checked before the conversion, so that no position of an odd geometry, however
      // far off, is converted out of range.
      if (!(std::abs(i) <= kFarOff && std::abs(j) <= kFarOff)) continue;
      const int64_t px = rightColumn - static_cast<int64_t>(i);
      const int64_t py = bottomRow - static_cast<int64_t>(j);
      if (!(px >= 0 && px < g.Fw && py >= 0 && py < g.Fh)) continue;
      const int32_t row = flipY ? g.H - 1 - y : y;
      table[static_cast<size_t>(row) * static_cast<size_t>(g.W) + static_cast<size_t>(column)] =
          static_cast<int32_t>((g.Fh - 1 - py) * g.Fw + px);
    }
  }
  buffers.tableFlipMode = flipMode;
  buffers.tableValid = true;
}

void GatherPixelsScalar(const uint32_t* src, const int32_t* index, uint32_t* dst, size_t count) {
  for (size_t s = 0; s < count; ++s) dst[s] = src[index[s]];
}

// A plain loop: on the processors measured, vector gather instructions were
// slower than scalar loads for this access pattern. A new frame's pixels are
// mostly out of the caches, and each panorama row reaches them along a circle,
// in no order a prefetcher can follow: the pixel read kAhead slots later is asked
// for now, into the second-level cache.
void GatherPixels(const uint32_t* src, const int32_t* index, uint32_t* dst, size_t count) {
  constexpr size_t kAhead = 1024;
  size_t s = 0;
  for (; s + kAhead < count; ++s) {
    __builtin_prefetch(src + index[s + kAhead], 0, 2);
    dst[s] = src[index[s]];
  }
  for (; s < count; ++s) dst[s] = src[index[s]];
}

bool UnwrapFast(const UnwrapGeometry& g, int32_t flipMode, const FrameImage& frame,
                UnwrapBuffers& buffers) {
  const size_t slots = static_cast<size_t>(g.W) * static_cast<size_t>(g.H);
  // The table indexes a frame of exactly Fw x Fh pixels and a P1 of W x (H + 1).
  if (!g.Usable() || frame.width != g.Fw || frame.height != g.Fh ||
      frame.pixels.size() < static_cast<size_t>(g.Fw) * static_cast<size_t>(g.Fh) ||
      buffers.P1.width != g.W || buffers.P1.height != g.H + 1) {
    return false;
  }
  // The table is sized by its first build: a quality run never needs it.
  if (!buffers.tableValid || buffers.tableFlipMode != (flipMode & 3) ||
      buffers.tableIndex.size() != slots) {
    BuildFastTable(g, flipMode & 3, buffers);
  }
  const RowSpan rows = WantedRows(g, buffers);
  const size_t first = static_cast<size_t>(rows.first) * static_cast<size_t>(g.W);
  GatherPixels(frame.pixels.data(), buffers.tableIndex.data() + first,
               buffers.P1.pixels.data() + first,
               static_cast<size_t>(rows.count) * static_cast<size_t>(g.W));
  return true;
}

}  // namespace corvinex
