#include "media/yuv420_to_bgrx.h"

#include <immintrin.h>

#include <algorithm>

extern "C" {
#include <libswscale/swscale.h>
}

namespace corvinex {
namespace {

// The scaler's rounding of a 16.16 value to a 16-bit coefficient.
int16_t RoundToInt16(int64_t f) {
  const int64_t r = (f + (1 << 15)) >> 16;
  return static_cast<int16_t>(std::clamp<int64_t>(r, -0x7FFF, 0x7FFF));
}

int16_t HighHalf(int32_t a, int32_t b) {
  return static_cast<int16_t>((a * b) >> 16);
}

int16_t SaturatedSum(int32_t a, int32_t b) {
  return static_cast<int16_t>(std::clamp(a + b, -32768, 32767));
}

uint8_t Byte(int32_t v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

void PixelToBgrx(int32_t y, int32_t u, int32_t v, const Yuv420Coefficients& k, uint8_t* out) {
  const int16_t luma = HighHalf(static_cast<int16_t>((y << 3) - k.yOffset), k.y);
  const int32_t u8 = (u << 3) - 0x400;
  const int32_t v8 = (v << 3) - 0x400;
  const int16_t green = SaturatedSum(HighHalf(u8, k.ug), HighHalf(v8, k.vg));
  out[0] = Byte(SaturatedSum(luma, HighHalf(u8, k.ub)));
  out[1] = Byte(SaturatedSum(luma, green));
  out[2] = Byte(SaturatedSum(luma, HighHalf(v8, k.vr)));
  out[3] = 255;
}

#define CORVINEX_AVX2 __attribute__((target("avx2")))

// Sixteen pixels' B, G and R words from their luma and chroma words (each chroma word
// already doubled to its two pixels), as the scaler's converter sums them.
CORVINEX_AVX2 inline void SixteenPixels(__m256i y, __m256i u, __m256i v, const __m256i* k,
                                        __m256i& b, __m256i& g, __m256i& r) {
  const __m256i luma = _mm256_mulhi_epi16(_mm256_sub_epi16(_mm256_slli_epi16(y, 3), k[1]), k[0]);
  const __m256i u8 = _mm256_subs_epi16(_mm256_slli_epi16(u, 3), k[6]);
  const __m256i v8 = _mm256_subs_epi16(_mm256_slli_epi16(v, 3), k[6]);
  const __m256i green =
      _mm256_adds_epi16(_mm256_mulhi_epi16(u8, k[3]), _mm256_mulhi_epi16(v8, k[4]));
  b = _mm256_adds_epi16(luma, _mm256_mulhi_epi16(u8, k[2]));
  g = _mm256_adds_epi16(luma, green);
  r = _mm256_adds_epi16(luma, _mm256_mulhi_epi16(v8, k[5]));
}

// Pixels x .. x + 31 of the row (x even).
CORVINEX_AVX2 inline void Block32(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t x,
                                  const __m256i* k, uint8_t* bgrx) {
  const __m256i alpha = _mm256_set1_epi8(-1);
  const __m256i zero = _mm256_setzero_si256();
  // 32 luma bytes, and 16 chroma bytes each doubled to their pixel pairs; the
  // 128-bit halves keep pixels 0-7 and 16-23 apart from 8-15 and 24-31.
  const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + x));
  const __m256i chromaU =
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2)));
  const __m256i chromaV =
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2)));
  // Luma words: lo holds pixels 0-7 | 16-23, hi 8-15 | 24-31.
  const __m256i yLo = _mm256_unpacklo_epi8(luma, zero);
  const __m256i yHi = _mm256_unpackhi_epi8(luma, zero);
  // Chroma words 0-7 | 8-15 doubled: lo gives pixels 0-7 | 16-23, hi 8-15 | 24-31.
  const __m256i uLo = _mm256_unpacklo_epi16(chromaU, chromaU);
  const __m256i uHi = _mm256_unpackhi_epi16(chromaU, chromaU);
  const __m256i vLo = _mm256_unpacklo_epi16(chromaV, chromaV);
  const __m256i vHi = _mm256_unpackhi_epi16(chromaV, chromaV);
  __m256i b0, g0, r0, b1, g1, r1;
  SixteenPixels(yLo, uLo, vLo, k, b0, g0, r0);
  SixteenPixels(yHi, uHi, vHi, k, b1, g1, r1);
  // Bytes per lane: pixels 0-7, 8-15 | 16-23, 24-31, in order within each half.
  const __m256i b = _mm256_packus_epi16(b0, b1);
  const __m256i g = _mm256_packus_epi16(g0, g1);
  const __m256i r = _mm256_packus_epi16(r0, r1);
  const __m256i bgLo = _mm256_unpacklo_epi8(b, g);  // pixels 0-7 | 16-23
  const __m256i bgHi = _mm256_unpackhi_epi8(b, g);  // pixels 8-15 | 24-31
  const __m256i raLo = _mm256_unpacklo_epi8(r, alpha);
  const __m256i raHi = _mm256_unpackhi_epi8(r, alpha);
  const __m256i p0 = _mm256_unpacklo_epi16(bgLo, raLo);  // pixels 0-3 | 16-19
  const __m256i p1 = _mm256_unpackhi_epi16(bgLo, raLo);  // 4-7 | 20-23
  const __m256i p2 = _mm256_unpacklo_epi16(bgHi, raHi);  // 8-11 | 24-27
  const __m256i p3 = _mm256_unpackhi_epi16(bgHi, raHi);  // 12-15 | 28-31
  auto* out = reinterpret_cast<__m256i*>(bgrx + 4 * x);
  _mm256_storeu_si256(out + 0, _mm256_permute2x128_si256(p0, p1, 0x20));
  _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(p2, p3, 0x20));
  _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(p0, p1, 0x31));
  _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(p2, p3, 0x31));
}

CORVINEX_AVX2 void RowAvx2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t width,
                           const Yuv420Coefficients& c, uint8_t* bgrx) {
  const __m256i k[7] = {_mm256_set1_epi16(c.y),  _mm256_set1_epi16(c.yOffset),
                        _mm256_set1_epi16(c.ub), _mm256_set1_epi16(c.ug),
                        _mm256_set1_epi16(c.vg), _mm256_set1_epi16(c.vr),
                        _mm256_set1_epi16(0x400)};
  int32_t x = 0;
  for (; x + 32 <= width; x += 32) Block32(y, u, v, x, k, bgrx);
  if (x == width) return;
  // The last pixels as the last whole block (its start even, since the width is),
  // which writes some pixels twice with the same values.
  if (width >= 32 && width % 2 == 0) return Block32(y, u, v, width - 32, k, bgrx);
  plain::Yuv420RowToBgrx(y + x, u + x / 2, v + x / 2, width - x, c, bgrx + 4 * x);
}

bool HaveAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

}  // namespace

Yuv420Coefficients Yuv420CoefficientsFor(int colourSpace, bool fullRange) {
  const int* table = sws_getCoefficients(colourSpace);
  int64_t crv = table[0];
  int64_t cbu = table[1];
  int64_t cgu = -table[2];
  int64_t cgv = -table[3];
  int64_t cy = 1 << 16;
  int64_t oy = 0;
  if (!fullRange) {
    cy = cy * 255 / 219;
    oy = int64_t{16} << 16;
  } else {
    crv = crv * 224 / 255;
    cbu = cbu * 224 / 255;
    cgu = cgu * 224 / 255;
    cgv = cgv * 224 / 255;
  }
  Yuv420Coefficients k;
  k.y = RoundToInt16(cy * (1 << 13));
  k.vr = RoundToInt16(crv * (1 << 13));
  k.ub = RoundToInt16(cbu * (1 << 13));
  k.vg = RoundToInt16(cgv * (1 << 13));
  k.ug = RoundToInt16(cgu * (1 << 13));
  k.yOffset = RoundToInt16(oy * (1 << 3));
  return k;
}

namespace plain {

void Yuv420RowToBgrx(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t width,
                     const Yuv420Coefficients& k, uint8_t* bgrx) {
  for (int32_t x = 0; x < width; ++x) PixelToBgrx(y[x], u[x / 2], v[x / 2], k, bgrx + 4 * x);
}

}  // namespace plain

void Yuv420RowToBgrx(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t width,
                     const Yuv420Coefficients& k, uint8_t* bgrx) {
  HaveAvx2() ? RowAvx2(y, u, v, width, k, bgrx) : plain::Yuv420RowToBgrx(y, u, v, width, k, bgrx);
}

}  // namespace corvinex
