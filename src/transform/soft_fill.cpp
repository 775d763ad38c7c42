#include "transform/soft_fill.h"

#include <algorithm>
#include <cstring>

namespace corvinex {

int32_t SoftFill::Radius(int32_t width, int32_t distance, int32_t rows) {
  if (rows <= 0 || distance <= 0) return 0;
  const int64_t half = width / 2;
  const int64_t d = std::min(distance, rows);
  // half x (d / rows)^2, rounded, in whole numbers so every build gives the same rows.
  const int64_t r = (half * d * d + int64_t{rows} * rows / 2) / (int64_t{rows} * rows);
  return static_cast<int32_t>(r);
}

void SoftFill::PrepareSide(int32_t rows, std::vector<RowBlur>& side) const {
  side.assign(static_cast<size_t>(std::max(rows, 0)), RowBlur{});
  for (int32_t d = 1; d <= rows; ++d) {
    RowBlur& blur = side[static_cast<size_t>(d - 1)];
    blur.radius = Radius(width_, d, rows);
    const uint64_t taps = 2 * static_cast<uint64_t>(blur.radius) + 1;
    blur.scale = ((uint64_t{1} << 32) + taps - 1) / taps;
  }
}

void SoftFill::Prepare(int32_t width, int32_t below, int32_t above) {
  width_ = std::max(width, 0);
  offset_ = width_ / 2 + 1;
  PrepareSide(below, below_);
  PrepareSide(above, above_);
  // Sums over columns -offset_ .. width_ + offset_, wrapped, one entry more.
  sums_.assign(4 * (static_cast<size_t>(width_) + 2 * static_cast<size_t>(offset_) + 1), 0u);
}

void SoftFill::BuildSums(const uint32_t* row) {
  const int32_t count = width_ + 2 * offset_;
  uint32_t b = 0, g = 0, r = 0;
  uint32_t* s = sums_.data();
  s[0] = s[1] = s[2] = s[3] = 0;
  // Column -offset_ wrapped is width_ - offset_ mod width_.
  int32_t column = ((-offset_) % width_ + width_) % width_;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t p = row[column];
    b += p & 0xFF;
    g += (p >> 8) & 0xFF;
    r += (p >> 16) & 0xFF;
    uint32_t* e = s + 4 * static_cast<size_t>(i + 1);
    e[0] = b;
    e[1] = g;
    e[2] = r;
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
  // up to entry x + radius + 1 + offset_.
  const uint32_t* lo = sums_.data() + 4 * static_cast<size_t>(offset_ - blur.radius);
  const uint32_t* hi = sums_.data() + 4 * static_cast<size_t>(offset_ + blur.radius + 1);
  const uint64_t scale = blur.scale;
  for (int32_t x = 0; x < width_; ++x, lo += 4, hi += 4) {
    const auto b = static_cast<uint32_t>((uint64_t{hi[0] - lo[0]} * scale) >> 32);
    const auto g = static_cast<uint32_t>((uint64_t{hi[1] - lo[1]} * scale) >> 32);
    const auto r = static_cast<uint32_t>((uint64_t{hi[2] - lo[2]} * scale) >> 32);
    out[x] = b | (g << 8) | (r << 16);
  }
}

void SoftFill::Render(const uint32_t* bottomRow, const uint32_t* topRow, uint32_t* frame,
                      int32_t stripRows) {
  if (width_ <= 0) return;
  const auto below = static_cast<int32_t>(below_.size());
  const auto above = static_cast<int32_t>(above_.size());
  const size_t w = static_cast<size_t>(width_);
  if (below > 0) {
    BuildSums(bottomRow);
    for (int32_t d = 1; d <= below; ++d) {
      BlurRow(below_[static_cast<size_t>(d - 1)], bottomRow,
              frame + static_cast<size_t>(below - d) * w);
    }
  }
  if (above > 0) {
    BuildSums(topRow);
    const size_t firstAbove = static_cast<size_t>(below) + static_cast<size_t>(stripRows);
    for (int32_t d = 1; d <= above; ++d) {
      BlurRow(above_[static_cast<size_t>(d - 1)], topRow,
              frame + (firstAbove + static_cast<size_t>(d - 1)) * w);
    }
  }
}

}  // namespace corvinex
