// The viewer's optimised projection: eight view pixels at a time with AVX2 for the
// table arctangents and square root, then the four-pixel blend per pixel. It must give
// exactly what RenderViewScalar gives; divisions run in double precision, whose
// truncated quotient equals the integer quotient for these magnitudes.
#include <immintrin.h>

#include <algorithm>
#include <cstdlib>

#include "transform/view_projection.h"

namespace corvinex {
namespace {

// Largest |u|, |v|, |w| for which every product stays inside 32 bits.
constexpr int64_t kMagnitudeLimit = 500000;

// The four-pixel blend with two channels per multiply: blue and red share one word,
// green another; no lane exceeds 255 x 255, so the results equal the per-channel ones.
inline uint32_t BlendPacked(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, uint32_t fx,
                            uint32_t fy) {
  constexpr uint32_t kPair = 0x00FF00FFu;
  const uint32_t gx = 255 - fx, gy = 255 - fy;
  const uint32_t topRb = ((gx * (p00 & kPair) + fx * (p10 & kPair)) >> 8) & kPair;
  const uint32_t bottomRb = ((gx * (p01 & kPair) + fx * (p11 & kPair)) >> 8) & kPair;
  const uint32_t topG = ((gx * ((p00 >> 8) & 255) + fx * ((p10 >> 8) & 255)) >> 8);
  const uint32_t bottomG = ((gx * ((p01 >> 8) & 255) + fx * ((p11 >> 8) & 255)) >> 8);
  const uint32_t rb = ((gy * topRb + fy * bottomRb) >> 8) & kPair;
  const uint32_t g = (gy * topG + fy * bottomG) >> 8;
  return rb | (g << 8);
}

// a x wa + b x wb, shifted down by 8, per 32-bit lane.
__attribute__((target("avx2"))) inline __m256i Mix(__m256i a, __m256i b, __m256i wa, __m256i wb) {
  return _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(wa, a), _mm256_mullo_epi32(wb, b)),
                           8);
}
// Blue and red of each pixel, each in its own half-word.
__attribute__((target("avx2"))) inline __m256i Pair(__m256i px) {
  return _mm256_and_si256(px, _mm256_set1_epi32(0x00FF00FF));
}
__attribute__((target("avx2"))) inline __m256i Green(__m256i px) {
  return _mm256_and_si256(_mm256_srli_epi32(px, 8), _mm256_set1_epi32(255));
}

__attribute__((target("avx2"))) inline __m256i Quotient4096(__m256i num, __m256i den) {
  // num x 4096 / den for num <= den, den > 0; lanes with den 0 give 4096.
  const __m256i zeroDen = _mm256_cmpeq_epi32(den, _mm256_setzero_si256());
  const __m256i safeDen = _mm256_max_epi32(den, _mm256_set1_epi32(1));
  const __m256i scaled = _mm256_slli_epi32(num, 12);
  const __m256d lo = _mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(scaled)),
                                   _mm256_cvtepi32_pd(_mm256_castsi256_si128(safeDen)));
  const __m256d hi = _mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(scaled, 1)),
                                   _mm256_cvtepi32_pd(_mm256_extracti128_si256(safeDen, 1)));
  const __m256i q = _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo));
  return _mm256_blendv_epi8(q, _mm256_set1_epi32(4096), zeroDen);
}

// FixedAtan2(a, b) for eight lanes.
__attribute__((target("avx2"))) inline __m256i Atan2x8(const int32_t* T, __m256i twoQ, __m256i a,
                                                       __m256i b) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i absA = _mm256_abs_epi32(a);
  const __m256i absB = _mm256_abs_epi32(b);
  const __m256i index = Quotient4096(absB, _mm256_add_epi32(absA, absB));
  const __m256i val = _mm256_i32gather_epi32(T, index, 4);
  const __m256i aNeg = _mm256_cmpgt_epi32(zero, a);
  const __m256i bPos = _mm256_cmpgt_epi32(b, zero);
  const __m256i bNeg = _mm256_cmpgt_epi32(zero, b);
  const __m256i ones = _mm256_set1_epi32(-1);
  // Negated: b <= 0 when a >= 0, b >= 0 when a < 0.
  const __m256i neg =
      _mm256_blendv_epi8(_mm256_xor_si256(bPos, ones), _mm256_xor_si256(bNeg, ones), aNeg);
  const __m256i signedVal = _mm256_sub_epi32(_mm256_xor_si256(val, neg), neg);
  const __m256i turn = _mm256_blendv_epi8(twoQ, _mm256_sub_epi32(zero, twoQ), bNeg);
  const __m256i result = _mm256_add_epi32(signedVal, _mm256_and_si256(turn, aNeg));
  // a = 0 is a quarter turn either way, whatever the table's last entry holds.
  const __m256i q = _mm256_srai_epi32(twoQ, 1);
  const __m256i axis = _mm256_blendv_epi8(_mm256_sub_epi32(zero, q), q, bPos);
  return _mm256_blendv_epi8(result, axis, _mm256_cmpeq_epi32(a, zero));
}

__attribute__((target("avx2"))) void RenderViewAvx2(ViewProjection& p, const ViewMatrix& n,
                                                    const uint32_t* panorama, FrameImage& view) {
  const int32_t vw = p.size.width;
  const int32_t xmin = -((vw - 1) / 2);
  const int32_t ymin = -(p.size.height / 2);
  const int32_t* T = p.tables.atan.data();
  const int32_t* S = p.tables.sqrt.data();
  const __m256i twoQ = _mm256_set1_epi32(2 * p.tables.quarter);
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i stepU = _mm256_mullo_epi32(lane, _mm256_set1_epi32(n[0][0]));
  const __m256i stepV = _mm256_mullo_epi32(lane, _mm256_set1_epi32(n[1][0]));
  const __m256i stepW = _mm256_mullo_epi32(lane, _mm256_set1_epi32(n[2][0]));
  const __m256i halfPw = _mm256_set1_epi32(p.pw / 2);
  const __m256i midRow = _mm256_set1_epi32((p.ph - 1) / 2);
  const __m256i maxCx = _mm256_set1_epi32(p.pw - 1);
  const __m256i maxCy = _mm256_set1_epi32(p.ph - 2);
  const __m256i low8 = _mm256_set1_epi32(255);
  const __m256i minusOne = _mm256_set1_epi32(-1);
  const size_t pw = static_cast<size_t>(p.pw);
  const __m256i pwVec = _mm256_set1_epi32(p.pw);
  const __m256i one = _mm256_set1_epi32(1);
  alignas(32) int32_t cxs[8];
  alignas(32) int32_t cys[8];
  alignas(32) int32_t fxs[8];
  alignas(32) int32_t fys[8];
  for (int32_t j = 0; j < p.size.height; ++j) {
    const int32_t y = ymin + j;
    uint32_t* out = view.Row(j);
    int32_t u0 = n[0][0] * xmin + n[0][1] * y + n[0][2];
    int32_t v0 = n[1][0] * xmin + n[1][1] * y + n[1][2];
    int32_t w0 = n[2][0] * xmin + n[2][1] * y + n[2][2];
    for (int32_t i = 0; i < vw; i += 8) {
      const __m256i u = _mm256_add_epi32(_mm256_set1_epi32(u0), stepU);
      const __m256i v = _mm256_add_epi32(_mm256_set1_epi32(v0), stepV);
      const __m256i w = _mm256_add_epi32(_mm256_set1_epi32(w0), stepW);
      u0 += 8 * n[0][0];
      v0 += 8 * n[1][0];
      w0 += 8 * n[2][0];
      const __m256i hx = Atan2x8(T, twoQ, w, u);
      const __m256i absU = _mm256_abs_epi32(u);
      const __m256i absW = _mm256_abs_epi32(w);
      const __m256i big = _mm256_max_epi32(absU, absW);
      const __m256i small = _mm256_min_epi32(absU, absW);
      const __m256i sIndex = Quotient4096(small, big);  // 4096 where big is 0: r is 0 anyway
      const __m256i root = _mm256_i32gather_epi32(S, sIndex, 4);
      const __m256i r = _mm256_srli_epi32(_mm256_mullo_epi32(big, root), 12);
      const __m256i hy = Atan2x8(T, twoQ, r, v);
      const __m256i cx = _mm256_add_epi32(_mm256_srai_epi32(hx, 8), halfPw);
      const __m256i cy = _mm256_add_epi32(_mm256_srai_epi32(hy, 8), midRow);
      const __m256i outside =
          _mm256_or_si256(_mm256_or_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), cx),
                                          _mm256_cmpgt_epi32(cx, maxCx)),
                          _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), cy),
                                          _mm256_cmpgt_epi32(cy, maxCy)));
      const int32_t count = std::min(8, vw - i);
      if (count == 8) {
        const __m256i fx = _mm256_and_si256(hx, low8);
        const __m256i fy = _mm256_and_si256(hy, low8);
        // Lanes outside the panorama read pixel 0 and keep the old view pixel.
        const __m256i safeCx = _mm256_andnot_si256(outside, cx);
        const __m256i safeCy = _mm256_andnot_si256(outside, cy);
        const __m256i rowStart = _mm256_mullo_epi32(safeCy, pwVec);
        const __m256i right = _mm256_add_epi32(safeCx, one);
        const __m256i wrapped =
            _mm256_andnot_si256(_mm256_cmpeq_epi32(right, pwVec), right);  // pw wraps to 0
        const __m256i at00 = _mm256_add_epi32(rowStart, safeCx);
        const __m256i at10 = _mm256_add_epi32(rowStart, wrapped);
        const auto* base = reinterpret_cast<const int*>(panorama);
        const __m256i p00 = _mm256_i32gather_epi32(base, at00, 4);
        const __m256i p10 = _mm256_i32gather_epi32(base, at10, 4);
        const __m256i p01 = _mm256_i32gather_epi32(base, _mm256_add_epi32(at00, pwVec), 4);
        const __m256i p11 = _mm256_i32gather_epi32(base, _mm256_add_epi32(at10, pwVec), 4);
        const __m256i gx = _mm256_sub_epi32(low8, fx);
        const __m256i gy = _mm256_sub_epi32(low8, fy);
        const __m256i topRb = Pair(Mix(Pair(p00), Pair(p10), gx, fx));
        const __m256i bottomRb = Pair(Mix(Pair(p01), Pair(p11), gx, fx));
        const __m256i topG = Mix(Green(p00), Green(p10), gx, fx);
        const __m256i bottomG = Mix(Green(p01), Green(p11), gx, fx);
        const __m256i rb = Pair(Mix(topRb, bottomRb, gy, fy));
        const __m256i g = Mix(topG, bottomG, gy, fy);
        const __m256i blended = _mm256_or_si256(rb, _mm256_slli_epi32(g, 8));
        auto* target = reinterpret_cast<__m256i*>(out + i);
        _mm256_storeu_si256(target,
                            _mm256_blendv_epi8(blended, _mm256_loadu_si256(target), outside));
        continue;
      }
      _mm256_store_si256(reinterpret_cast<__m256i*>(cxs),
                         _mm256_blendv_epi8(cx, minusOne, outside));
      _mm256_store_si256(reinterpret_cast<__m256i*>(cys), cy);
      _mm256_store_si256(reinterpret_cast<__m256i*>(fxs), _mm256_and_si256(hx, low8));
      _mm256_store_si256(reinterpret_cast<__m256i*>(fys), _mm256_and_si256(hy, low8));
      for (int32_t k = 0; k < count; ++k) {
        const int32_t cxk = cxs[k];
        if (cxk < 0) continue;
        const uint32_t* row0 = panorama + static_cast<size_t>(cys[k]) * pw;
        const uint32_t* row1 = row0 + pw;
        const int32_t next = cxk == p.pw - 1 ? 0 : cxk + 1;
        out[i + k] = BlendPacked(row0[cxk], row0[next], row1[cxk], row1[next],
                                 static_cast<uint32_t>(fxs[k]), static_cast<uint32_t>(fys[k]));
      }
    }
  }
}

bool WithinLimits(const ViewProjection& p, const ViewMatrix& n) {
  const int64_t maxX = p.size.width;
  const int64_t maxY = p.size.height;
  for (const auto& row : n) {
    const int64_t bound = std::abs(int64_t{row[0]}) * (maxX + 8) +
                          std::abs(int64_t{row[1]}) * maxY + std::abs(int64_t{row[2]});
    if (bound >= kMagnitudeLimit) return false;
  }
  // Pixel offsets of the gathers stay inside 32 bits.
  return p.pw < (1 << 22) && static_cast<int64_t>(p.pw) * (p.ph + 1) < (int64_t{1} << 31);
}

}  // namespace

void RenderView(ViewProjection& p, const ViewerState& state, const uint32_t* panorama,
                FrameImage& view) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (panorama == nullptr || p.pw < 2 || p.ph < 2 || view.width != p.size.width ||
      view.height != p.size.height ||
      view.PixelCount() != static_cast<size_t>(view.width) * static_cast<size_t>(view.height)) {
    return;
  }
  if (avx2) {
    const ViewMatrix n = ViewMatrixFor(p, state);
    if (WithinLimits(p, n)) {
      RenderViewAvx2(p, n, panorama, view);
      return;
    }
  }
  RenderViewScalar(p, state, panorama, view);
}

}  // namespace corvinex
