// The quality path: the Cut Area square is copied (mirrored) into the crop
// buffer, then resampled into the panorama with the cubic kernel; the polar
// coordinates are computed on the first frame of a run and cached. A square that
// lies inside the frame is sampled straight from the frame instead, with the same
// results.

#include <algorithm>
#include <cstddef>

#include "transform/large_buffer.h"
#include "transform/unwrap_geometry.h"
#include "transform/warp_resample.h"

namespace corvinex {

void CropCutArea(const UnwrapGeometry& g, const FrameImage& frame, FrameImage& crop) {
  // Sized by its first use: a square inside the frame never needs the copy.
  if (crop.width != g.cropW || crop.height != g.cropH + 1) crop.Reset(g.cropW, g.cropH + 1);
  // Only the part of the square inside the frame is copied; the rest of the
  // crop buffer is never written and stays black.
  const int64_t iBegin = std::max<int64_t>(0, -int64_t{g.cropX});
  const int64_t iEnd = std::min<int64_t>(g.cropW, int64_t{g.Fw} - g.cropX);
  const int64_t jBegin = std::max<int64_t>(0, -int64_t{g.cropY});
  const int64_t jEnd = std::min<int64_t>(g.cropH, int64_t{g.Fh} - g.cropY);
  if (iBegin >= iEnd || jBegin >= jEnd) return;
  for (int64_t j = jBegin; j < jEnd; ++j) {
    // Both buffers are bottom-up: picture row cropY + j is frame buffer row
    // Fh - 1 - cropY - j, and lands in crop buffer row cropH - 1 - j.
    const uint32_t* source = frame.Row(static_cast<int32_t>(g.Fh - 1 - g.cropY - j)) + g.cropX;
    uint32_t* target = crop.Row(static_cast<int32_t>(g.cropH - 1 - j)) + (g.cropW - 1);
    for (int64_t i = iBegin; i < iEnd; ++i) target[-i] = source[i];
  }
}

namespace {

// The crop as a mirrored view of the frame, when the whole Cut Area square lies in
// the frame: then the unwrap samples the frame itself and the copy is saved. The
// crop's extra top row is black; the frame row beside the square stands in for it,
// so the square must not touch the frame's top.
bool MirrorFromFrame(const UnwrapGeometry& g, const FrameImage& frame, int64_t slots,
                     MirroredSource& mirrored) {
  if (g.cropX < 0 || g.cropY < 1 || int64_t{g.cropX} + g.cropW > g.Fw ||
      int64_t{g.cropY} + g.cropH > g.Fh || !CanSampleMirrored(slots)) {
    return false;
  }
  mirrored.frame = frame.pixels.data();
  mirrored.frameWidth = g.Fw;
  mirrored.rowShift = g.Fh - g.cropY - g.cropH;
  mirrored.columnEnd = g.cropX + g.cropW - 1;
  mirrored.blackRow = g.cropH;
  return true;
}

}  // namespace

bool UnwrapQuality(const UnwrapGeometry& g, int32_t flipMode, const FrameImage& frame,
                   UnwrapBuffers& buffers) {
  const size_t slots = static_cast<size_t>(g.W) * static_cast<size_t>(g.H);
  if (!g.Usable() || frame.width != g.Fw || frame.height != g.Fh ||
      frame.pixels.size() < static_cast<size_t>(g.Fw) * static_cast<size_t>(g.Fh) ||
      buffers.P1.width != g.W || buffers.P1.height != g.H + 1) {
    return false;
  }
  flipMode &= 3;
  // The preview variant of the preparation leaves the cache alone; it is sized
  // here on first use, which happens on the first frame of a run only.
  if (buffers.cache.size() != 2 * slots) {
    ReserveLarge(buffers.cache, 2 * slots);
    buffers.cache.assign(2 * slots, 0.0f);
    buffers.cacheValid = false;
  }
  if (buffers.cacheFlipMode != flipMode) buffers.cacheValid = false;
  const bool haveAngles = buffers.angleSin.size() == static_cast<size_t>(g.W) &&
                          buffers.angleCos.size() == static_cast<size_t>(g.W);
  PolarWarp polar;
  polar.k = g.k;
  polar.c = g.c;
  polar.angleC = g.angleC;
  polar.radiusStep = g.radiusStep;
  polar.turn = g.turn;
  polar.flipMode = flipMode;
  polar.su = buffers.cache.data();
  polar.sv = buffers.cache.data() + slots;
  polar.angleSin = haveAngles ? buffers.angleSin.data() : nullptr;
  polar.angleCos = haveAngles ? buffers.angleCos.data() : nullptr;
  const RowSpan rows = WantedRows(g, buffers);
  const Pixels panorama{buffers.P1.pixels.data(), g.W, g.H};
  MirroredSource mirrored;
  if (MirrorFromFrame(g, frame, int64_t{rows.count} * g.W, mirrored)) {
    const ConstPixels shape{nullptr, g.cropW, g.cropH + 1};
    WarpResample(shape, panorama, polar, buffers.cacheValid, rows.first, rows.count, &mirrored);
  } else {
    CropCutArea(g, frame, buffers.crop);
    const ConstPixels crop{buffers.crop.pixels.data(), buffers.crop.width, buffers.crop.height};
    WarpResample(crop, panorama, polar, buffers.cacheValid, rows.first, rows.count);
  }
  buffers.cacheFlipMode = flipMode;
  return true;
}

}  // namespace corvinex
