#include "transform/sharpen.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "settings/app_settings.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvinex {

SharpenOptions SharpenOptionsFrom(const AppSettings& s) {
  SharpenOptions o;
  o.on = s.SHARPEN_CH != 0 && s.SHARPEN != 0;
  o.amount = s.SHARPEN;
  o.radius = s.RADIUS;
  return o;
}

SharpenWeights SharpenWeightsFor(const SharpenOptions& options) {
  SharpenWeights w;
  w.neighbour = (options.amount >= 1 && options.amount <= 5) ? options.amount : 1;
  w.centre = 4 * w.neighbour + 1;
  w.shift = (options.radius >= 0 && options.radius <= 2) ? options.radius : 3;
  return w;
}

namespace {

bool Usable(int32_t W, int32_t H, const FrameImage& P1, const FrameImage& P2,
            const SharpenOptions& options) {
  if (!options.on || options.amount == 0 || W < 1 || H < 3) return false;
  const size_t n = static_cast<size_t>(W) * static_cast<size_t>(H);
  return P1.PixelCount() >= n && P2.PixelCount() >= n;
}

void CopyInnerRowsBack(int32_t W, int32_t H, FrameImage& P1, const FrameImage& P2) {
  const size_t first = static_cast<size_t>(W);
  const size_t count = static_cast<size_t>(W) * static_cast<size_t>(H - 2);
  std::memcpy(P1.pixels.data() + first, P2.pixels.data() + first, count * 4);
}

// One channel of one pixel: p with the sum of its four neighbours.
inline uint8_t SharpenChannel(int p, int around, const SharpenWeights& wt) {
  const int s = std::clamp(wt.centre * p - wt.neighbour * around, 0, 255);
  return static_cast<uint8_t>((s + ((1 << wt.shift) - 1) * p) >> wt.shift);
}

// One pixel of the unsharpened source into the destination, per 8-bit channel.
inline void SharpenPixel(const uint8_t* src, uint8_t* dst, size_t i, size_t w,
                         const SharpenWeights& wt) {
  for (size_t c = 0; c < 4; ++c) {
    auto at = [&](size_t index) { return int{src[index * 4 + c]}; };
    dst[i * 4 + c] = SharpenChannel(at(i), at(i + w) + at(i - w) + at(i - 1) + at(i + 1), wt);
  }
}

}  // namespace

void SharpenPanoramaReference(int32_t W, int32_t H, FrameImage& P1, FrameImage& P2,
                              const SharpenOptions& options) {
  if (!Usable(W, H, P1, P2, options)) return;
  const SharpenWeights wt = SharpenWeightsFor(options);
  const uint8_t* src = P1.Bytes();
  uint8_t* dst = P2.Bytes();
  const size_t w = static_cast<size_t>(W);
  const size_t end = static_cast<size_t>(H - 1) * w;
  for (size_t i = w; i < end; ++i) SharpenPixel(src, dst, i, w, wt);
  CopyInnerRowsBack(W, H, P1, P2);
}

#if defined(__SSE2__)

namespace {

// The unsharpened pixels row y reads besides the row below it: row y with the pixel
// before it (the last of row y - 1) and the one after it (the first of row y + 1),
// saved before row y is sharpened in place.
void SaveRow(const uint32_t* pixels, size_t w, size_t y, const uint32_t* previousSaved,
             uint32_t* saved) {
  saved[0] = previousSaved[w];  // the last pixel of row y - 1, before it was sharpened
  std::memcpy(saved + 1, pixels + y * w, (w + 1) * 4);
}

// Pixel x of a row from its saved copy (row[x + 1]) and the rows below and above it.
inline uint32_t SharpenOne(const uint32_t* row, const uint32_t* below, const uint32_t* above,
                           size_t x, const SharpenWeights& wt) {
  uint32_t out = 0;
  for (int c = 0; c < 32; c += 8) {
    auto at = [c](uint32_t px) { return static_cast<int>((px >> c) & 0xFF); };
    const int around = at(below[x]) + at(above[x + 1]) + at(row[x]) + at(row[x + 2]);
    out |= uint32_t{SharpenChannel(at(row[x + 1]), around, wt)} << c;
  }
  return out;
}

}  // namespace

// In place, a row at a time: two saved rows of W + 2 pixels in P2 hold the unsharpened
// pixels a row still needs once its neighbours are sharpened, so the whole panorama is
// neither written to P2 nor copied back.
void SharpenPanorama(int32_t W, int32_t H, FrameImage& P1, FrameImage& P2,
                     const SharpenOptions& options) {
  if (!Usable(W, H, P1, P2, options)) return;
  if (P2.PixelCount() < 2 * (static_cast<size_t>(W) + 2)) {
    SharpenPanoramaReference(W, H, P1, P2, options);
    return;
  }
  const SharpenWeights wt = SharpenWeightsFor(options);
  uint32_t* pixels = P1.pixels.data();
  const size_t w = static_cast<size_t>(W);
  uint32_t* saved[2] = {P2.pixels.data(), P2.pixels.data() + w + 2};
  // Row 0 is read, never sharpened; its first slot is never read.
  saved[0][0] = 0;
  std::memcpy(saved[0] + 1, pixels, (w + 1) * 4);
  const __m128i zero = _mm_setzero_si128();
  const __m128i centre = _mm_set1_epi16(static_cast<int16_t>(wt.centre));
  const __m128i neighbour = _mm_set1_epi16(static_cast<int16_t>(wt.neighbour));
  const __m128i keep = _mm_set1_epi16(static_cast<int16_t>((1 << wt.shift) - 1));
  const __m128i max255 = _mm_set1_epi16(255);
  const __m128i shift = _mm_cvtsi32_si128(wt.shift);
  auto load = [](const uint32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  // Two pixels per half: m x p <= 21 x 255 and n x sum <= 5 x 1020 fit in 16 bits.
  auto half = [&](__m128i p, __m128i around) {
    __m128i s = _mm_sub_epi16(_mm_mullo_epi16(p, centre), _mm_mullo_epi16(around, neighbour));
    s = _mm_min_epi16(_mm_max_epi16(s, zero), max255);
    return _mm_srl_epi16(_mm_add_epi16(s, _mm_mullo_epi16(p, keep)), shift);
  };
  for (size_t y = 1; y + 1 < static_cast<size_t>(H); ++y) {
    const uint32_t* below = saved[(y - 1) % 2] + 1;  // row y - 1, unsharpened
    uint32_t* row = saved[y % 2];
    SaveRow(pixels, w, y, saved[(y - 1) % 2], row);
    const uint32_t* above = pixels + (y + 1) * w - 1;  // row y + 1, as saved rows index it
    uint32_t* out = pixels + y * w;
    size_t x = 0;
    for (; x + 4 <= w; x += 4) {
      const __m128i p = load(row + x + 1);
      const __m128i up = load(above + x + 1);
      const __m128i down = load(below + x);
      const __m128i left = load(row + x);
      const __m128i right = load(row + x + 2);
      auto sumOf = [&](auto unpack) {
        return _mm_add_epi16(_mm_add_epi16(unpack(up, zero), unpack(down, zero)),
                             _mm_add_epi16(unpack(left, zero), unpack(right, zero)));
      };
      const __m128i lo = half(_mm_unpacklo_epi8(p, zero),
                              sumOf([](__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); }));
      const __m128i hi = half(_mm_unpackhi_epi8(p, zero),
                              sumOf([](__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); }));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
    for (; x < w; ++x) out[x] = SharpenOne(row, below, above, x, wt);
  }
}

#else

void SharpenPanorama(int32_t W, int32_t H, FrameImage& P1, FrameImage& P2,
                     const SharpenOptions& options) {
  SharpenPanoramaReference(W, H, P1, P2, options);
}

#endif

}  // namespace corvinex
