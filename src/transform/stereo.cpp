#include "transform/stereo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "settings/app_settings.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

StereoOptions StereoOptionsFrom(const AppSettings& settings, const SessionOptions& session) {
  StereoOptions o;
  o.on = session.STEREO_3DP != 0;
  o.type = session.STEREO_TYPE == 1 ? StereoType::Static : StereoType::Dynamic;
  o.depthOn = session.DEPTH_CH != 0;
  o.depth = session.DEPTH;
  o.glasses = session.GLASSES;
  o.pairOn = settings.STEREO_OUT_TYPE == 8;
  return o;
}

namespace {

// Displacement for each channel value: value x (1 / depth) in single precision,
// rounded half to even.
std::array<uint8_t, 256> ShiftTable(float f) {
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    table[v] = static_cast<uint8_t>(std::nearbyint(static_cast<float>(v) * f));
  }
  return table;
}

void DisplaceByDepth(size_t n, UnwrapBuffers& b, int32_t depth) {
  // Depths below 20 would shift past the margin; the controls never go outside 20..90.
  const float f = 1.0f / static_cast<float>(std::clamp(depth, 20, 90));
  const std::array<uint8_t, 256> shift = ShiftTable(f);
  const uint32_t* A = b.stereoA.pixels.data();
  const uint32_t* B = b.stereoB.pixels.data();
  uint32_t* P1 = b.P1.pixels.data();
  uint32_t* P2 = b.P2.pixels.data();
  const size_t margin = kDepthMargin;
  if (n <= 2 * margin) return;
  for (size_t i = margin; i < n - margin; ++i) {
    const uint32_t p = A[i];  // P1's colour before this pass changed it
    const size_t sR = shift[RedOf(p)];
    const size_t sC = shift[(BlueOf(p) + GreenOf(p)) / 2];
    P1[i] = A[i + sR];
    P2[i] = B[i - sC];
  }
}

// P1 keeps blue and green and takes red and the fourth byte from P2, 2 x glasses further.
void MergeAnaglyph(size_t n, UnwrapBuffers& b, int32_t glasses) {
  const ptrdiff_t offset = 2 * static_cast<ptrdiff_t>(std::clamp(glasses, -10, 10));
  uint32_t* P1 = b.P1.pixels.data();
  const uint32_t* P2 = b.P2.pixels.data();
  const size_t p2Size = b.P2.PixelCount();
  constexpr uint32_t kCyan = 0x0000FFFFu;
  constexpr uint32_t kRed = 0xFFFF0000u;
  if (n <= kMergeStart) return;
  // Reads past the end of P2 (a panorama narrower than 20 columns) count as black.
  const size_t inside = std::min(n, static_cast<size_t>(static_cast<ptrdiff_t>(p2Size) - offset));
  size_t j = kMergeStart;
  for (; j < inside; ++j) P1[j] = (P1[j] & kCyan) | (P2[j + offset] & kRed);
  for (; j < n; ++j) P1[j] &= kCyan;
}

}  // namespace

bool RenderStereo(int32_t W, int32_t H, UnwrapBuffers& b, const StereoOptions& options) {
  if (W < 1 || H < 1) return false;
  const size_t n = static_cast<size_t>(W) * static_cast<size_t>(H);
  const size_t full = n + static_cast<size_t>(W);
  for (const FrameImage* img : {&b.P1, &b.P2, &b.previous, &b.stereoA, &b.stereoB}) {
    if (img->PixelCount() < full) return false;
  }
  const FrameImage& second = options.type == StereoType::Dynamic ? b.previous : b.P1;
  std::copy_n(second.pixels.begin(), full, b.P2.pixels.begin());
  std::copy_n(b.P1.pixels.begin(), full, b.stereoA.pixels.begin());
  std::copy_n(b.P2.pixels.begin(), full, b.stereoB.pixels.begin());
  if (options.depthOn) DisplaceByDepth(n, b, options.depth);
  if (!options.pairOn) MergeAnaglyph(n, b, options.glasses);
  return true;
}

}  // namespace corvinex
