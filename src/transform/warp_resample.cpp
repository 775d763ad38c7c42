#include "transform/warp_resample.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "transform/cubic_sample.h"
#include "transform/split_work.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

// Source position (fx, fy) to a sample; pixels whose window leaves the source
// keep their value.
inline bool SampleAt(ConstPixels src, float fx, float fy, uint32_t& out) {
  const float rx = std::nearbyint(fx);
  const float ry = std::nearbyint(fy);
  // Compared as floats, so that no position, however far off, is converted to
  // an out-of-range integer.
  if (!(rx >= 1.0f && ry >= 1.0f && rx <= static_cast<float>(src.width - 3) &&
        ry <= static_cast<float>(src.height - 3))) {
    return false;
  }
  out = CubicSample(src.pixels, src.width, static_cast<int32_t>(rx), static_cast<int32_t>(ry),
                    fx - rx, fy - ry, out);
  return true;
}

}  // namespace

namespace {

bool ScaleArgumentsUsable(ConstPixels src, Pixels dst, WarpMode mode) {
  return (mode == WarpMode::HorizontalScale || mode == WarpMode::UniformScale) && src.pixels &&
         dst.pixels && src.width > 0 && src.height > 0 && dst.width > 0 && dst.height > 0;
}

}  // namespace

bool WarpResampleScalar(ConstPixels src, Pixels dst, WarpMode mode, float factor) {
  if (!ScaleArgumentsUsable(src, dst, mode)) return false;
  const float dstCx = CentreOf(dst.width);
  const float dstCy = CentreOf(dst.height);
  const float srcCx = CentreOf(src.width);
  const float srcCy = CentreOf(src.height);
  const bool uniform = mode == WarpMode::UniformScale;
  for (int32_t y = 0; y < dst.height; ++y) {
    const float v = static_cast<float>(y) - dstCy;
    const float sv = uniform ? v * factor : v;
    uint32_t* out = dst.pixels + static_cast<ptrdiff_t>(y) * dst.width;
    for (int32_t x = 0; x < dst.width; ++x) {
      const float u = static_cast<float>(x) - dstCx;
      SampleAt(src, u * factor + srcCx, sv + srcCy, out[x]);
    }
  }
  return true;
}

bool WarpResample(ConstPixels src, Pixels dst, WarpMode mode, float factor) {
  if (!ScaleArgumentsUsable(src, dst, mode)) return false;
  // The centred source offsets of a stretch of one row go through the same
  // kernel as the polar unwrap's cache; the stretch lives on the stack, so the
  // per-frame aspect fix allocates nothing.
  constexpr int32_t kStretch = 256;
  alignas(32) float su[kStretch];
  alignas(32) float sv[kStretch];
  const float dstCx = CentreOf(dst.width);
  const float dstCy = CentreOf(dst.height);
  const bool uniform = mode == WarpMode::UniformScale;
  for (int32_t y = 0; y < dst.height; ++y) {
    const float v = static_cast<float>(y) - dstCy;
    const float rowOffset = uniform ? v * factor : v;
    uint32_t* out = dst.pixels + static_cast<ptrdiff_t>(y) * dst.width;
    for (int32_t x0 = 0; x0 < dst.width; x0 += kStretch) {
      const int32_t n = std::min(kStretch, dst.width - x0);
      for (int32_t i = 0; i < n; ++i) {
        su[i] = (static_cast<float>(x0 + i) - dstCx) * factor;
        sv[i] = rowOffset;
      }
      ResampleCached(src, Pixels{out + x0, n, 1}, su, sv);
    }
  }
  return true;
}

void FillPolarCache(int32_t width, int32_t height, PolarWarp& polar) {
  const size_t w = static_cast<size_t>(width);
  const bool flipX = (polar.flipMode & 1) != 0;
  const bool flipY = (polar.flipMode & 2) != 0;
  for (int32_t y = 0; y < height; ++y) {
    const float r = PolarRadius(polar, y, height);
    const size_t row = static_cast<size_t>(flipY ? height - 1 - y : y) * w;
    for (int32_t x = 0; x < width; ++x) {
      float sinA;
      float cosA;
      if (y == 0 || !polar.angleSin) {
        const float a = PolarAngle(polar, x, width);
        sinA = GeometrySin(a);
        cosA = GeometryCos(a);
        if (polar.angleSin) {
          polar.angleSin[x] = sinA;
          polar.angleCos[x] = cosA;
        }
      } else {
        sinA = polar.angleSin[x];
        cosA = polar.angleCos[x];
      }
      const size_t slot = row + static_cast<size_t>(flipX ? width - 1 - x : x);
      polar.su[slot] = r * sinA;
      polar.sv[slot] = r * cosA;
    }
  }
}

void ResampleCachedScalar(ConstPixels src, Pixels dst, const float* su, const float* sv,
                          SkippedPixels skipped) {
  const float srcCx = CentreOf(src.width);
  const float srcCy = CentreOf(src.height);
  const size_t count = static_cast<size_t>(dst.width) * static_cast<size_t>(dst.height);
  for (size_t s = 0; s < count; ++s) {
    if (!SampleAt(src, su[s] + srcCx, sv[s] + srcCy, dst.pixels[s]) &&
        skipped == SkippedPixels::Clear) {
      dst.pixels[s] = 0;
    }
  }
}

namespace {

#define CORVINEX_AVX2 __attribute__((target("avx2")))

// The kernel's weights for eight offsets, operation for operation as CubicWeights.
CORVINEX_AVX2 inline void CubicWeightsAvx2(__m256 t, __m256 w[4]) {
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 half = _mm256_set1_ps(0.5f);
  const __m256 sixth = _mm256_set1_ps(kSixth);
  const __m256 third = _mm256_set1_ps(kThird);
  const __m256 minusT = _mm256_xor_ps(t, _mm256_set1_ps(-0.0f));
  w[0] = _mm256_mul_ps(
      _mm256_sub_ps(_mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(minusT, sixth), half), t), third), t);
  w[1] = _mm256_add_ps(
      _mm256_mul_ps(
          _mm256_sub_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(t, half), one), t), half), t),
      one);
  w[2] = _mm256_mul_ps(
      _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(one, t), t), half), one), t);
  w[3] = _mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(t, t), one), t), sixth);
}

// One channel of the eight taps in `taps` (a BGRX pixel per lane) as floats; `pick`
// moves the channel's byte to the bottom of each lane and clears the rest.
CORVINEX_AVX2 inline __m256 ChannelOf(__m256i taps, __m256i pick) {
  return _mm256_cvtepi32_ps(_mm256_shuffle_epi8(taps, pick));
}

// Window row `row` of the eight lanes' windows, one tap per vector: tap[t] holds, in
// lane i, the pixel at column t of that row of lane i's window.
CORVINEX_AVX2 inline void WindowRowTaps(const uint32_t* src, const int32_t* base, ptrdiff_t row,
                                        __m256i tap[4]) {
  auto load = [&](int lane) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + base[lane] + row));
  };
  // Lanes i and i + 4 share a vector, one in each half, so that the 4 x 4
  // transposes below, which stay inside their half, put lane i in slot i.
  const __m256i l0 = _mm256_inserti128_si256(_mm256_castsi128_si256(load(0)), load(4), 1);
  const __m256i l1 = _mm256_inserti128_si256(_mm256_castsi128_si256(load(1)), load(5), 1);
  const __m256i l2 = _mm256_inserti128_si256(_mm256_castsi128_si256(load(2)), load(6), 1);
  const __m256i l3 = _mm256_inserti128_si256(_mm256_castsi128_si256(load(3)), load(7), 1);
  const __m256i a = _mm256_unpacklo_epi32(l0, l1);
  const __m256i b = _mm256_unpacklo_epi32(l2, l3);
  const __m256i c = _mm256_unpackhi_epi32(l0, l1);
  const __m256i d = _mm256_unpackhi_epi32(l2, l3);
  tap[0] = _mm256_unpacklo_epi64(a, b);
  tap[1] = _mm256_unpackhi_epi64(a, b);
  tap[2] = _mm256_unpacklo_epi64(c, d);
  tap[3] = _mm256_unpackhi_epi64(c, d);
}

// What one block of eight destination pixels needs, set up once per call.
struct KernelSetup {
  __m256 srcCx, srcCy, one, maxX, maxY;
  __m256i stride, zero, byteMax, pick[3];
  // Mirrored reading: window rows shift by rowShift, columns run back from columnEnd,
  // and a window whose last row is blackRow reads it as black.
  __m256i rowShift, columnEnd;
  __m256 lastRowBlackAt;  // window corner row (node 0) whose last row is blackRow
  const uint32_t* pixels;
  bool clear;
};

// The same arithmetic as ResampleCachedScalar for the eight destination pixels from
// slot s, one lane per pixel and one vector per channel: each row of the window is
// summed left to right, then the rows top to bottom, every lane performing the
// scalar version's operations in its order, so the results are identical. The
// fourth byte is not computed: it is kept from the destination. Mirrored, the four
// pixels of a window row are read from the frame right to left and summed in the
// crop's order; the black row adds a zero product, as the crop's black row does.
template <bool kMirrored>
CORVINEX_AVX2 inline void ResampleBlock(const KernelSetup& k, uint32_t* dst, const float* su,
                                        const float* sv, size_t s) {
  constexpr int kRound = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
  const __m256 fx = _mm256_add_ps(_mm256_loadu_ps(su + s), k.srcCx);
  const __m256 fy = _mm256_add_ps(_mm256_loadu_ps(sv + s), k.srcCy);
  const __m256 rx = _mm256_round_ps(fx, kRound);
  const __m256 ry = _mm256_round_ps(fy, kRound);
  const __m256 inside = _mm256_and_ps(
      _mm256_and_ps(_mm256_cmp_ps(rx, k.one, _CMP_GE_OQ), _mm256_cmp_ps(ry, k.one, _CMP_GE_OQ)),
      _mm256_and_ps(_mm256_cmp_ps(rx, k.maxX, _CMP_LE_OQ), _mm256_cmp_ps(ry, k.maxY, _CMP_LE_OQ)));
  __m256i* const out = reinterpret_cast<__m256i*>(dst + s);
  if (_mm256_movemask_ps(inside) == 0) {
    if (k.clear) _mm256_storeu_si256(out, k.zero);
    return;
  }
  __m256 wx[4];
  __m256 wy[4];
  CubicWeightsAvx2(_mm256_sub_ps(fx, rx), wx);
  CubicWeightsAvx2(_mm256_sub_ps(fy, ry), wy);
  if constexpr (kMirrored) {
    wy[3] = _mm256_andnot_ps(_mm256_cmp_ps(ry, k.lastRowBlackAt, _CMP_EQ_OQ), wy[3]);
  }
  // The window's first pixel in memory. Lanes outside read the window at the
  // source's first pixel, which exists once any lane is inside, and are dropped at
  // the store.
  const __m256i ix = _mm256_cvtps_epi32(rx);
  const __m256i iy = _mm256_cvtps_epi32(ry);
  const __m256i minusOne = _mm256_set1_epi32(-1);
  __m256i corner;
  if constexpr (kMirrored) {
    // Crop columns ix - 1 .. ix + 2 are frame columns columnEnd - ix + 1 down to
    // columnEnd - ix - 2.
    const __m256i row = _mm256_add_epi32(_mm256_add_epi32(iy, minusOne), k.rowShift);
    corner = _mm256_add_epi32(
        _mm256_mullo_epi32(row, k.stride),
        _mm256_sub_epi32(_mm256_add_epi32(k.columnEnd, _mm256_set1_epi32(-2)), ix));
  } else {
    corner = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_add_epi32(iy, minusOne), k.stride),
                              _mm256_add_epi32(ix, minusOne));
  }
  alignas(32) int32_t base[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(base),
                     _mm256_and_si256(corner, _mm256_castps_si256(inside)));
  const ptrdiff_t rowStep = _mm256_cvtsi256_si32(k.stride);

  __m256 sum[3];
  for (int row = 0; row < 4; ++row) {
    __m256i tap[4];
    WindowRowTaps(k.pixels, base, row * rowStep, tap);
    if constexpr (kMirrored) {
      const __m256i first = tap[0];
      const __m256i second = tap[1];
      tap[0] = tap[3];
      tap[1] = tap[2];
      tap[2] = second;
      tap[3] = first;
    }
    for (int c = 0; c < 3; ++c) {
      __m256 h = _mm256_mul_ps(ChannelOf(tap[0], k.pick[c]), wx[0]);
      h = _mm256_add_ps(h, _mm256_mul_ps(ChannelOf(tap[1], k.pick[c]), wx[1]));
      h = _mm256_add_ps(h, _mm256_mul_ps(ChannelOf(tap[2], k.pick[c]), wx[2]));
      h = _mm256_add_ps(h, _mm256_mul_ps(ChannelOf(tap[3], k.pick[c]), wx[3]));
      const __m256 weighted = _mm256_mul_ps(h, wy[row]);
      sum[c] = row == 0 ? weighted : _mm256_add_ps(sum[c], weighted);
    }
  }
  // Round half to even (the default mode), saturate to 0..255, and pack blue,
  // green and red under the destination's fourth byte.
  __m256i bytes[3];
  for (int c = 0; c < 3; ++c) {
    bytes[c] = _mm256_min_epi32(_mm256_max_epi32(_mm256_cvtps_epi32(sum[c]), k.zero), k.byteMax);
  }
  const __m256i old = _mm256_loadu_si256(out);
  const __m256i merged = _mm256_or_si256(
      _mm256_or_si256(bytes[0], _mm256_slli_epi32(bytes[1], 8)),
      _mm256_or_si256(_mm256_slli_epi32(bytes[2], 16),
                      _mm256_and_si256(old, _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u)))));
  const __m256i outside = k.clear ? k.zero : old;
  _mm256_storeu_si256(out, _mm256_blendv_epi8(outside, merged, _mm256_castps_si256(inside)));
}

// `shape` gives the sampled picture's size (the bounds and the centre); its pixels
// are read, or with `mirrored` the frame's.
CORVINEX_AVX2 KernelSetup SetUpKernel(ConstPixels shape, const MirroredSource* mirrored,
                                      SkippedPixels skipped) {
  KernelSetup k;
  k.srcCx = _mm256_set1_ps(CentreOf(shape.width));
  k.srcCy = _mm256_set1_ps(CentreOf(shape.height));
  k.one = _mm256_set1_ps(1.0f);
  k.maxX = _mm256_set1_ps(static_cast<float>(shape.width - 3));
  k.maxY = _mm256_set1_ps(static_cast<float>(shape.height - 3));
  k.zero = _mm256_setzero_si256();
  k.byteMax = _mm256_set1_epi32(255);
  // Shuffle controls that move byte c of each lane's pixel to the bottom of the lane
  // (the shuffle indexes bytes within each 16-byte half).
  k.pick[0] = _mm256_set_epi64x(
      static_cast<int64_t>(0x8080800C80808008u), static_cast<int64_t>(0x8080800480808000u),
      static_cast<int64_t>(0x8080800C80808008u), static_cast<int64_t>(0x8080800480808000u));
  k.pick[1] = _mm256_set_epi64x(
      static_cast<int64_t>(0x8080800D80808009u), static_cast<int64_t>(0x8080800580808001u),
      static_cast<int64_t>(0x8080800D80808009u), static_cast<int64_t>(0x8080800580808001u));
  k.pick[2] = _mm256_set_epi64x(
      static_cast<int64_t>(0x8080800E8080800Au), static_cast<int64_t>(0x8080800680808002u),
      static_cast<int64_t>(0x8080800E8080800Au), static_cast<int64_t>(0x8080800680808002u));
  k.clear = skipped == SkippedPixels::Clear;
  if (mirrored != nullptr) {
    k.pixels = mirrored->frame;
    k.stride = _mm256_set1_epi32(mirrored->frameWidth);
    k.rowShift = _mm256_set1_epi32(mirrored->rowShift);
    k.columnEnd = _mm256_set1_epi32(mirrored->columnEnd);
    k.lastRowBlackAt = _mm256_set1_ps(static_cast<float>(mirrored->blackRow - 2));
  } else {
    k.pixels = shape.pixels;
    k.stride = _mm256_set1_epi32(shape.width);
    k.rowShift = k.zero;
    k.columnEnd = k.zero;
    k.lastRowBlackAt = _mm256_set1_ps(-1.0f);
  }
  return k;
}

// Every slot in blocks of eight; a count that is not a multiple of eight ends with a
// block that overlaps the one before, which gives its pixels the same values again.
template <bool kMirrored>
CORVINEX_AVX2 void ResampleAvx2(const KernelSetup& k, Pixels dst, const float* su,
                                const float* sv) {
  const size_t count = static_cast<size_t>(dst.width) * static_cast<size_t>(dst.height);
  size_t s = 0;
  for (; s + 8 <= count; s += 8) ResampleBlock<kMirrored>(k, dst.pixels, su, sv, s);
  if (s < count && count >= 8) ResampleBlock<kMirrored>(k, dst.pixels, su, sv, count - 8);
}

CORVINEX_AVX2 void ResampleCachedAvx2(ConstPixels src, Pixels dst, const float* su, const float* sv,
                                      SkippedPixels skipped) {
  const size_t count = static_cast<size_t>(dst.width) * static_cast<size_t>(dst.height);
  if (count < 8) {
    ResampleCachedScalar(src, dst, su, sv, skipped);
    return;
  }
  ResampleAvx2<false>(SetUpKernel(src, nullptr, skipped), dst, su, sv);
}

CORVINEX_AVX2 void ResampleMirroredAvx2(ConstPixels shape, const MirroredSource& mirrored,
                                        Pixels dst, const float* su, const float* sv) {
  ResampleAvx2<true>(SetUpKernel(shape, &mirrored, SkippedPixels::Clear), dst, su, sv);
}

bool HaveAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

}  // namespace

bool CanSampleMirrored(int64_t pixels) {
  return HaveAvx2() && pixels >= 8;
}

void ResampleCached(ConstPixels src, Pixels dst, const float* su, const float* sv,
                    SkippedPixels skipped) {
  if (HaveAvx2()) {
    ResampleCachedAvx2(src, dst, su, sv, skipped);
  } else {
    ResampleCachedScalar(src, dst, su, sv, skipped);
  }
}

namespace {

// The polar unwrap's sampling of some slots, from the crop or straight from the frame.
void SampleSlots(ConstPixels src, const MirroredSource* mirrored, Pixels dst, const float* su,
                 const float* sv) {
  if (mirrored != nullptr) {
    ResampleMirroredAvx2(src, *mirrored, dst, su, sv);
  } else {
    ResampleCached(src, dst, su, sv, SkippedPixels::Clear);
  }
}

}  // namespace

void WarpResample(ConstPixels src, Pixels dst, PolarWarp& polar, bool& cacheValid, int32_t firstRow,
                  int32_t rows, const MirroredSource* mirrored) {
  if (!cacheValid) {
    FillPolarCache(dst.width, dst.height, polar);
    cacheValid = true;
  }
  firstRow = std::clamp(firstRow, 0, dst.height);
  rows = rows < 0 ? dst.height - firstRow : std::min(rows, dst.height - firstRow);
  if (rows == 0) return;
  const ptrdiff_t first = static_cast<ptrdiff_t>(firstRow) * dst.width;
  const Pixels part{dst.pixels + first, dst.width, rows};
  const float* su = polar.su + first;
  const float* sv = polar.sv + first;
  // Every pixel depends on its own cache slots only, so the rows split in two halves
  // that give the same pixels as one pass. Small pictures are not worth a hand-over.
  const int64_t pixels = int64_t{part.width} * part.height;
  if (mirrored != nullptr && !CanSampleMirrored(pixels)) return;  // the caller checks first
  if (pixels < (int64_t{1} << 16) || part.height < 2) {
    SampleSlots(src, mirrored, part, su, sv);
    return;
  }
  struct Halves {
    ConstPixels src;
    const MirroredSource* mirrored;
    Pixels dst;
    const float* su;
    const float* sv;
  } halves{src, mirrored, part, su, sv};
  RunInTwoHalves(
      [](void* context, int half) {
        const Halves& h = *static_cast<const Halves*>(context);
        const int32_t firstRows = h.dst.height / 2;
        const int32_t begin = half == 0 ? 0 : firstRows;
        const int32_t count = half == 0 ? firstRows : h.dst.height - firstRows;
        const ptrdiff_t offset = static_cast<ptrdiff_t>(begin) * h.dst.width;
        SampleSlots(h.src, h.mirrored, Pixels{h.dst.pixels + offset, h.dst.width, count},
                    h.su + offset, h.sv + offset);
      },
      &halves);
}

}  // namespace corvinex
