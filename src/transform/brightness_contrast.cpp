#include "transform/brightness_contrast.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvinex {

namespace {

inline uint8_t AdjustChannel(int v, const BrightnessContrast& p) {
  if (p.brightnessOn) v = std::clamp(v + p.offset, 0, 255);
  // >> on a negative product is an arithmetic shift: rounds towards minus infinity.
  if (p.contrastOn) v = std::clamp((((v - 128) * p.factor) >> 7) + 128, 0, 255);
  return static_cast<uint8_t>(v);
}

}  // namespace

void ApplyBrightnessContrastReference(FrameImage& frame, const BrightnessContrast& params) {
  if (!params.brightnessOn && !params.contrastOn) return;
  uint8_t* bytes = frame.Bytes();
  const size_t n = frame.ByteSize();
  for (size_t i = 0; i < n; ++i) bytes[i] = AdjustChannel(bytes[i], params);
}

#if defined(__SSE2__)

void ApplyBrightnessContrast(FrameImage& frame, const BrightnessContrast& params) {
  if (!params.brightnessOn && !params.contrastOn) return;
  // Out-of-range values would overflow the 16-bit lanes; the reference saturates them.
  if (params.offset < -255 || params.offset > 255 || params.factor < 0 || params.factor > 256) {
    ApplyBrightnessContrastReference(frame, params);
    return;
  }
  uint8_t* bytes = frame.Bytes();
  const size_t n = frame.ByteSize();
  const int offset = params.brightnessOn ? params.offset : 0;
  const __m128i add = _mm_set1_epi8(static_cast<char>(std::max(offset, 0)));
  const __m128i sub = _mm_set1_epi8(static_cast<char>(std::max(-offset, 0)));
  const __m128i zero = _mm_setzero_si128();
  const __m128i c128 = _mm_set1_epi16(128);
  const __m128i factor = _mm_set1_epi16(static_cast<int16_t>(params.factor));
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    // Saturating byte add and subtract are exactly clamp(v + offset, 0, 255).
    v = _mm_subs_epu8(_mm_adds_epu8(v, add), sub);
    if (params.contrastOn) {
      __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(v, zero), c128);
      __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(v, zero), c128);
      // |v - 128| <= 128 and factor <= 256: the product fits in 16 bits.
      lo = _mm_add_epi16(_mm_srai_epi16(_mm_mullo_epi16(lo, factor), 7), c128);
      hi = _mm_add_epi16(_mm_srai_epi16(_mm_mullo_epi16(hi, factor), 7), c128);
      v = _mm_packus_epi16(lo, hi);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i), v);
  }
  for (; i < n; ++i) bytes[i] = AdjustChannel(bytes[i], params);
}

#else

void ApplyBrightnessContrast(FrameImage& frame, const BrightnessContrast& params) {
  ApplyBrightnessContrastReference(frame, params);
}

#endif

}  // namespace corvinex
