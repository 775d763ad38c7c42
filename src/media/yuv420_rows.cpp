#include "media/yuv420_rows.h"

#include <immintrin.h>

#include <algorithm>

namespace corvinex {
namespace {

// BT.601 studio-range weights in 15 bits, as the scaler's defaults spell them.
constexpr int32_t Weight(double v, double range) {
  return static_cast<int32_t>(v * range / 255 * (1 << 15) + 0.5);
}
constexpr int32_t kRY = Weight(0.299, 219), kGY = Weight(0.587, 219), kBY = Weight(0.114, 219);
constexpr int32_t kRU = -Weight(0.169, 224), kGU = -Weight(0.331, 224), kBU = Weight(0.5, 224);
constexpr int32_t kRV = Weight(0.5, 224), kGV = -Weight(0.419, 224), kBV = -Weight(0.081, 224);
// Luma: 16.5 in the 15-bit sum, then the 14-bit intermediate rounded to 8 bits.
constexpr int32_t kLumaRound = (16 << 15) + (1 << 8);
// Chroma of a pair's sum: 128 in the 16-bit sum, and the scaler's rounding bit.
constexpr int32_t kChromaRound = (256 << 15) + (1 << 9);

int32_t Luma(const uint8_t* p) {
  const int32_t t = (kRY * p[2] + kGY * p[1] + kBY * p[0] + kLumaRound) >> 9;
  return (t + 32) >> 6;
}

// The intermediate is doubled and held in 15 bits, as the scaler's horizontal pass
// leaves it.
int16_t Chroma(int32_t wr, int32_t wg, int32_t wb, const uint8_t* p) {
  const int32_t r = p[2] + p[6], g = p[1] + p[5], b = p[0] + p[4];
  const int32_t t = (wr * r + wg * g + wb * b + kChromaRound) >> 10;
  return static_cast<int16_t>(std::min(2 * t, 32767));
}

uint8_t Clip(int32_t v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// The vector code's start: its rounding (64) and an 8 per tap after the first, / 16.
int16_t HalvingStart(int32_t size) {
  return static_cast<int16_t>((64 + 8 * (size - 1)) >> 4);
}

uint8_t HalvePixel(const int16_t* const* rows, const int16_t* taps, int32_t size, int32_t x,
                   bool lastRow) {
  if (lastRow) {
    int32_t sum = 64 << 12;
    for (int32_t j = 0; j < size; ++j) sum += rows[j][x] * taps[j];
    return Clip(sum >> 19);
  }
  int16_t sum = HalvingStart(size);
  for (int32_t j = 0; j < size; ++j) {
    sum = static_cast<int16_t>(sum + ((rows[j][x] * taps[j]) >> 16));
  }
  return Clip(sum >> 3);
}

#define CORVINEX_AVX2 __attribute__((target("avx2")))

// Eight pixels' weighted sums, in order: each pixel's B, G, R and X words meet the
// weights [wb, wg, wr, 0] in a multiply-add, and the two halves are added.
CORVINEX_AVX2 inline __m256i WeightedSums(__m256i pixels, __m256i weights) {
  const __m256i zero = _mm256_setzero_si256();
  return _mm256_hadd_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(pixels, zero), weights),
                           _mm256_madd_epi16(_mm256_unpackhi_epi8(pixels, zero), weights));
}

CORVINEX_AVX2 inline __m256i Weights(int32_t wb, int32_t wg, int32_t wr) {
  return _mm256_setr_epi16(wb, wg, wr, 0, wb, wg, wr, 0, wb, wg, wr, 0, wb, wg, wr, 0);
}

CORVINEX_AVX2 inline __m256i Load(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Eight pixels' luma in 32-bit lanes.
CORVINEX_AVX2 inline __m256i EightLuma(const uint8_t* p) {
  const __m256i sums = WeightedSums(Load(p), Weights(kBY, kGY, kRY));
  const __m256i t = _mm256_srai_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(kLumaRound)), 9);
  return _mm256_srai_epi32(_mm256_add_epi32(t, _mm256_set1_epi32(32)), 6);
}

CORVINEX_AVX2 void LumaRowAvx2(const uint8_t* bgrx, int32_t width, uint8_t* luma) {
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  auto block = [&](int32_t x) CORVINEX_AVX2 {
    const uint8_t* p = bgrx + 4 * x;
    const __m256i a = _mm256_packs_epi32(EightLuma(p), EightLuma(p + 32));
    const __m256i b = _mm256_packs_epi32(EightLuma(p + 64), EightLuma(p + 96));
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(a, b), order);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(luma + x), bytes);
  };
  int32_t x = 0;
  for (; x + 32 <= width; x += 32) block(x);
  // The last pixels as the last whole block, some of them written twice alike.
  if (x < width && width >= 32) return block(width - 32);
  for (; x < width; ++x) luma[x] = static_cast<uint8_t>(Luma(bgrx + 4 * x));
}

// Eight pairs of the sixteen pixels at p: the pixels' weighted sums added pair by pair
// (a pair's total weighs what its pixels weigh), put in order, rounded, doubled and held
// in 15 bits.
CORVINEX_AVX2 inline void EightPairs(const uint8_t* p, __m256i weights, int16_t* out) {
  const __m256i pairSums =
      _mm256_hadd_epi32(WeightedSums(Load(p), weights), WeightedSums(Load(p + 32), weights));
  const __m256i ordered = _mm256_permute4x64_epi64(pairSums, 0xD8);
  const __m256i rounded = _mm256_add_epi32(ordered, _mm256_set1_epi32(kChromaRound));
  const __m256i t = _mm256_slli_epi32(_mm256_srai_epi32(rounded, 10), 1);
  const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), words);
}

CORVINEX_AVX2 void ChromaPairRowAvx2(const uint8_t* bgrx, int32_t pairs, int16_t* u, int16_t* v) {
  const __m256i weightsU = Weights(kBU, kGU, kRU);
  const __m256i weightsV = Weights(kBV, kGV, kRV);
  int32_t x = 0;
  for (; x + 8 <= pairs; x += 8) {
    EightPairs(bgrx + 8 * x, weightsU, u + x);
    EightPairs(bgrx + 8 * x, weightsV, v + x);
  }
  if (x < pairs && pairs >= 8) {
    EightPairs(bgrx + 8 * (pairs - 8), weightsU, u + pairs - 8);
    EightPairs(bgrx + 8 * (pairs - 8), weightsV, v + pairs - 8);
    return;
  }
  for (; x < pairs; ++x) {
    u[x] = Chroma(kRU, kGU, kBU, bgrx + 8 * x);
    v[x] = Chroma(kRV, kGV, kBV, bgrx + 8 * x);
  }
}

// Sixteen output pixels from column `at` of the rows, as the scaler's vector code
// sums them: high halves of the products, added in 16 bits.
CORVINEX_AVX2 inline __m256i SixteenHalved(const int16_t* const* rows, const int16_t* taps,
                                           int32_t size, int32_t at) {
  __m256i sum = _mm256_set1_epi16(HalvingStart(size));
  for (int32_t j = 0; j < size; ++j) {
    const __m256i row = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[j] + at));
    sum = _mm256_add_epi16(sum, _mm256_mulhi_epi16(row, _mm256_set1_epi16(taps[j])));
  }
  return _mm256_srai_epi16(sum, 3);
}

CORVINEX_AVX2 void HalveChromaRowAvx2(const int16_t* const* rows, const int16_t* taps, int32_t size,
                                      int32_t count, bool lastRow, uint8_t* out) {
  auto block = [&](int32_t x) CORVINEX_AVX2 {
    const __m256i bytes = _mm256_packus_epi16(SixteenHalved(rows, taps, size, x),
                                              SixteenHalved(rows, taps, size, x + 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute4x64_epi64(bytes, 0xD8));
  };
  int32_t x = 0;
  for (; !lastRow && x + 32 <= count; x += 32) block(x);
  if (!lastRow && x < count && count >= 32) return block(count - 32);
  for (; x < count; ++x) out[x] = HalvePixel(rows, taps, size, x, lastRow);
}

bool HaveAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

}  // namespace

namespace plain {

void LumaRow(const uint8_t* bgrx, int32_t width, uint8_t* luma) {
  for (int32_t x = 0; x < width; ++x) luma[x] = static_cast<uint8_t>(Luma(bgrx + 4 * x));
}

void ChromaPairRow(const uint8_t* bgrx, int32_t pairs, int16_t* u, int16_t* v) {
  for (int32_t x = 0; x < pairs; ++x) {
    u[x] = Chroma(kRU, kGU, kBU, bgrx + 8 * x);
    v[x] = Chroma(kRV, kGV, kBV, bgrx + 8 * x);
  }
}

void HalveChromaRow(const int16_t* const* rows, const int16_t* taps, int32_t size, int32_t count,
                    bool lastRow, uint8_t* out) {
  for (int32_t x = 0; x < count; ++x) out[x] = HalvePixel(rows, taps, size, x, lastRow);
}

}  // namespace plain

void LumaRow(const uint8_t* bgrx, int32_t width, uint8_t* luma) {
  HaveAvx2() ? LumaRowAvx2(bgrx, width, luma) : plain::LumaRow(bgrx, width, luma);
}

void ChromaPairRow(const uint8_t* bgrx, int32_t pairs, int16_t* u, int16_t* v) {
  HaveAvx2() ? ChromaPairRowAvx2(bgrx, pairs, u, v) : plain::ChromaPairRow(bgrx, pairs, u, v);
}

void HalveChromaRow(const int16_t* const* rows, const int16_t* taps, int32_t size, int32_t count,
                    bool lastRow, uint8_t* out) {
  HaveAvx2() ? HalveChromaRowAvx2(rows, taps, size, count, lastRow, out)
             : plain::HalveChromaRow(rows, taps, size, count, lastRow, out);
}

}  // namespace corvinex
