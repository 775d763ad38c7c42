#include "transform/soft_fill.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvinex {
namespace {

// Radii up to this many columns are used as they are.
constexpr int64_t kExactRadius = 8;

// The step nearest to `r` in 8, 10, 12, 15, 18, ... (each a quarter more than the last).
int64_t RadiusStep(int64_t r) {
  if (r <= kExactRadius) return r;
  int64_t below = kExactRadius;
  for (;;) {
    const int64_t next = below + std::max<int64_t>(1, below / 4);
    if (next >= r) return (next - r) <= (r - below) ? next : below;
    below = next;
  }
}

}  // namespace

int32_t SoftFill::Radius(int32_t width, int32_t distance, int32_t rows) {
  if (rows <= 0 || distance <= 0) return 0;
  const int64_t half = width / 2;
  const int64_t d = std::min(distance, rows);
  if (d == rows) return static_cast<int32_t>(half);
  // half x (d / rows)^2, rounded, in whole numbers so every build gives the same rows.
  const int64_t r = (half * d * d + int64_t{rows} * rows / 2) / (int64_t{rows} * rows);
  return static_cast<int32_t>(std::min(RadiusStep(r), half));
}

void SoftFill::PrepareSide(int32_t rows, std::vector<RowBlur>& side) const {
  side.assign(static_cast<size_t>(std::max(rows, 0)), RowBlur{});
  for (int32_t d = 1; d <= rows; ++d) {
    RowBlur& blur = side[static_cast<size_t>(d - 1)];
    blur.radius = Radius(width_, d, rows);
    blur.scale = 1.0f / static_cast<float>(2 * blur.radius + 1);
  }
}

void SoftFill::Prepare(int32_t width, int32_t below, int32_t above) {
  width_ = std::max(width, 0);
  offset_ = width_ / 2 + 1;
  PrepareSide(below, below_);
  PrepareSide(above, above_);
  // Sums over columns -offset_ .. width_ + offset_, wrapped, one entry more.
  sums_.assign(4 * (static_cast<size_t>(width_) + 2 * static_cast<size_t>(offset_) + 1), 0.0f);
}

void SoftFill::BuildSums(const uint32_t* row) {
  const int32_t count = width_ + 2 * offset_;
  uint32_t b = 0, g = 0, r = 0;
  float* s = sums_.data();
  s[0] = s[1] = s[2] = s[3] = 0;
  // Column -offset_ wrapped is width_ - offset_ mod width_.
  int32_t column = ((-offset_) % width_ + width_) % width_;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t p = row[column];
    b += p & 0xFF;
    g += (p >> 8) & 0xFF;
    r += (p >> 16) & 0xFF;
    float* e = s + 4 * static_cast<size_t>(i + 1);
    e[0] = static_cast<float>(b);
    e[1] = static_cast<float>(g);
    e[2] = static_cast<float>(r);
    e[3] = 0;
    if (++column == width_) column = 0;
  }
}

void SoftFill::BlurRow(const RowBlur& blur, const uint32_t* edge, uint32_t* out) const {
  if (blur.radius == 0) {
    std::memcpy(out, edge, static_cast<size_t>(width_) * 4);
    return;
  }
  // Column x averages columns x - radius .. x + radius: sums entry x - radius + offset_
  // up to entry x + radius + 1 + offset_; rounded to the nearest value.
  const float* lo = sums_.data() + 4 * static_cast<size_t>(offset_ - blur.radius);
  const float* hi = sums_.data() + 4 * static_cast<size_t>(offset_ + blur.radius + 1);
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128 scale = _mm_set1_ps(blur.scale);
  const __m128 half = _mm_set1_ps(0.5f);
  auto average = [&](int32_t column) {
    const size_t at = 4 * static_cast<size_t>(column);
    const __m128 sum = _mm_sub_ps(_mm_loadu_ps(hi + at), _mm_loadu_ps(lo + at));
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(sum, scale), half));
  };
  for (; x + 4 <= width_; x += 4) {
    const __m128i low = _mm_packs_epi32(average(x), average(x + 1));
    const __m128i high = _mm_packs_epi32(average(x + 2), average(x + 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(low, high));
  }
#endif
  for (; x < width_; ++x) {
    const size_t at = 4 * static_cast<size_t>(x);
    uint32_t pixel = 0;
    for (size_t c = 0; c < 3; ++c) {
      const float value = (hi[at + c] - lo[at + c]) * blur.scale + 0.5f;
      pixel |= std::min(static_cast<uint32_t>(value), 255u) << (8 * c);
    }
    out[x] = pixel;
  }
}

void SoftFill::RenderSide(const std::vector<RowBlur>& side, const uint32_t* edge, uint32_t* frame,
                          int32_t firstRow, int32_t step) {
  if (side.empty()) return;
  BuildSums(edge);
  const size_t w = static_cast<size_t>(width_);
  const uint32_t* previous = nullptr;
  int32_t previousRadius = -1;
  int32_t row = firstRow;
  for (const RowBlur& blur : side) {
    uint32_t* out = frame + static_cast<size_t>(row) * w;
    if (blur.radius == previousRadius) {
      std::memcpy(out, previous, w * 4);  // the same blur as the row before
    } else {
      BlurRow(blur, edge, out);
    }
    previous = out;
    previousRadius = blur.radius;
    row += step;
  }
}

void SoftFill::Render(const uint32_t* bottomRow, const uint32_t* topRow, uint32_t* frame,
                      int32_t stripRows) {
  if (width_ <= 0) return;
  const auto below = static_cast<int32_t>(below_.size());
  RenderSide(below_, bottomRow, frame, below - 1, -1);
  RenderSide(above_, topRow, frame, below + stripRows, 1);
}

}  // namespace corvinex
