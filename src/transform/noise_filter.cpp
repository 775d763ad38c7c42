#include "transform/noise_filter.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace corvinex {

namespace {

// Linear range of pixel indices one pass visits: [first, last).
struct PassRange {
  size_t first = 0;
  size_t last = 0;
  size_t stride = 0;
};

PassRange RangeOf(const FrameImage& frame) {
  PassRange r;
  if (frame.width < 1 || frame.height < 3) return r;
  r.stride = static_cast<size_t>(frame.width);
  r.first = r.stride;
  r.last = static_cast<size_t>(frame.height - 1) * r.stride - 1;
  return r;
}

}  // namespace

void NoiseFilterPassReference(FrameImage& frame) {
  const PassRange r = RangeOf(frame);
  uint8_t* px = frame.Bytes();
  const size_t w = r.stride;
  for (size_t i = r.first; i < r.last; ++i) {
    for (size_t c = 0; c < 4; ++c) {
      auto at = [&](size_t index) { return int{px[index * 4 + c]}; };
      const int sum = at(i) + at(i - 1) + at(i + 1) + at(i + w - 1) + at(i + w) + at(i + w + 1) +
                      at(i - w) + at(i - w + 1);
      px[i * 4 + c] = static_cast<uint8_t>(sum / 8);
    }
  }
}

#if defined(__SSE2__)

namespace {

// Pixels per chunk. Within a chunk the seven non-left samples of every pixel are
// summed ahead, then a serial sweep adds the freshly written left neighbour. That is
// exact as long as no sample that precedes a pixel in buffer order (below, below-right)
// lies inside the same chunk, i.e. the chunk is shorter than width - 1.
constexpr size_t kChunk = 256;

inline __m128i Load4(const uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Sum of the seven samples other than the left neighbour, per 16-bit channel.
inline void SumAhead4(const uint32_t* px, size_t i, size_t w, int16_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const size_t offsets[7] = {i, i + 1, i + w - 1, i + w, i + w + 1, i - w, i - w + 1};
  __m128i lo = zero;
  __m128i hi = zero;
  for (size_t off : offsets) {
    const __m128i v = Load4(px + off);
    lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
    hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
  }
  _mm_store_si128(reinterpret_cast<__m128i*>(out), lo);
  _mm_store_si128(reinterpret_cast<__m128i*>(out + 8), hi);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) inline __m256i Widen4(const uint32_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// The same sums four pixels at a time in 256-bit lanes; returns the first index not done.
__attribute__((target("avx2"))) size_t SumAheadAvx2(const uint32_t* px, size_t start, size_t end,
                                                    size_t w, int16_t* out) {
  size_t i = start;
  for (; i + 4 <= end; i += 4) {
    __m256i sum = _mm256_add_epi16(Widen4(px + i), Widen4(px + i + 1));
    sum = _mm256_add_epi16(sum, _mm256_add_epi16(Widen4(px + i + w - 1), Widen4(px + i + w)));
    sum = _mm256_add_epi16(sum, _mm256_add_epi16(Widen4(px + i + w + 1), Widen4(px + i - w)));
    sum = _mm256_add_epi16(sum, Widen4(px + i - w + 1));
    _mm256_store_si256(reinterpret_cast<__m256i*>(out + (i - start) * 4), sum);
  }
  return i;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#else
size_t SumAheadAvx2(const uint32_t*, size_t start, size_t, size_t, int16_t*) {
  return start;
}
bool HasAvx2() {
  return false;
}
#endif

inline void SumAhead1(const uint32_t* px, size_t i, size_t w, int16_t* out) {
  const size_t offsets[7] = {i, i + 1, i + w - 1, i + w, i + w + 1, i - w, i - w + 1};
  for (int c = 0; c < 4; ++c) {
    int sum = 0;
    for (size_t off : offsets) sum += (px[off] >> (8 * c)) & 0xFF;
    out[c] = static_cast<int16_t>(sum);
  }
}

}  // namespace

namespace {

void VectorPass(FrameImage& frame, bool avx2) {
  const PassRange r = RangeOf(frame);
  const size_t w = r.stride;
  if (w < 9) {
    NoiseFilterPassReference(frame);
    return;
  }
  const size_t chunk = std::min(kChunk, w - 1);
  uint32_t* px = frame.pixels.data();
  alignas(32) int16_t ahead[kChunk * 4];
  const __m128i zero = _mm_setzero_si128();
  for (size_t start = r.first; start < r.last; start += chunk) {
    const size_t end = std::min(start + chunk, r.last);
    size_t i = avx2 ? SumAheadAvx2(px, start, end, w, ahead) : start;
    for (; i + 4 <= end; i += 4) SumAhead4(px, i, w, ahead + (i - start) * 4);
    for (; i < end; ++i) SumAhead1(px, i, w, ahead + (i - start) * 4);
    // Serial sweep: the left neighbour is the value just written. Results stay as
    // 16-bit channels in `ahead` and are packed to bytes for the whole chunk after.
    __m128i left = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(px[start - 1])), zero);
    for (i = start; i < end; ++i) {
      __m128i* slot = reinterpret_cast<__m128i*>(ahead + (i - start) * 4);
      left = _mm_srli_epi16(_mm_add_epi16(left, _mm_loadl_epi64(slot)), 3);
      _mm_storel_epi64(slot, left);
    }
    for (i = start; i + 4 <= end; i += 4) {
      const __m128i* pair = reinterpret_cast<const __m128i*>(ahead + (i - start) * 4);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(px + i),
                       _mm_packus_epi16(_mm_load_si128(pair), _mm_load_si128(pair + 1)));
    }
    for (; i < end; ++i) {
      const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ahead + (i - start) * 4));
      px[i] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(v, zero)));
    }
  }
}

}  // namespace

void NoiseFilterPass(FrameImage& frame) {
  VectorPass(frame, HasAvx2());
}
void NoiseFilterPassSse2(FrameImage& frame) {
  VectorPass(frame, false);
}

#else

void NoiseFilterPass(FrameImage& frame) {
  NoiseFilterPassReference(frame);
}
void NoiseFilterPassSse2(FrameImage& frame) {
  NoiseFilterPassReference(frame);
}

#endif

}  // namespace corvinex
