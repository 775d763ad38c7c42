#include "media/halving_filter.h"

#include <algorithm>
#include <cstdlib>

namespace corvinex {
namespace {

// The scaler's rounding division: halves away from zero.
int64_t RoundedDiv(int64_t a, int64_t b) {
  return (a >= 0 ? a + (b >> 1) : a - (b >> 1)) / b;
}

// The bicubic weight at distance d (2^30 = one output row), times 2^54 / one.
int64_t Bicubic(int64_t d, int64_t one) {
  constexpr int64_t B = 0;
  // 0.6 * 2^24, truncated as the scaler's double-to-integer conversion does.
  constexpr int64_t C = 10066329;
  int64_t coeff = 0;
  if (d < int64_t{1} << 31) {
    const int64_t dd = (d * d) >> 30;
    const int64_t ddd = (dd * d) >> 30;
    if (d < int64_t{1} << 30) {
      coeff = (12 * (1 << 24) - 9 * B - 6 * C) * ddd + (-18 * (1 << 24) + 12 * B + 6 * C) * dd +
              (6 * (1 << 24) - 2 * B) * (int64_t{1} << 30);
    } else {
      coeff = (-B - 6 * C) * ddd + (6 * B + 30 * C) * dd + (-12 * B - 48 * C) * d +
              (8 * B + 24 * C) * (int64_t{1} << 30);
    }
  }
  return coeff / ((int64_t{1} << 54) / one);
}

}  // namespace

HalvingFilter BuildHalvingFilter(int32_t rows) {
  HalvingFilter out;
  if (rows < 2 || rows % 2 != 0) return out;
  const int32_t srcRows = rows;
  const int32_t dstRows = rows / 2;
  const int64_t step = ((int64_t{srcRows} << 16) + (dstRows >> 1)) / dstRows;  // 2.0
  const int64_t one = int64_t{1} << 53;                                        // 2^(54 - log2(2))
  constexpr int64_t kCutOff = one / 500;  // 0.002 of one, as the scaler compares it

  // The full bicubic window: 1 + 4 * (source rows per output row) taps.
  int32_t size = std::max(std::min(1 + (4 * srcRows + dstRows - 1) / dstRows, srcRows - 2), 1);
  std::vector<int32_t> first(dstRows);
  std::vector<int64_t> wide(static_cast<size_t>(dstRows) * size);
  // Chroma sited at the centre of each pair: output row i sits at source row 2i + 0.5,
  // in units of 2^-17 rows.
  int64_t centre = ((128 * step) >> 7) - ((128 * 0x10000LL) >> 7);
  for (int32_t i = 0; i < dstRows; ++i) {
    int32_t row = static_cast<int32_t>((centre - (size - 2) * (int64_t{1} << 16)) / (1 << 17));
    first[i] = row;
    for (int32_t j = 0; j < size; ++j, ++row) {
      int64_t d = std::llabs(int64_t{row} * (1 << 17) - centre) << 13;
      d = d * dstRows / srcRows;
      wide[static_cast<size_t>(i) * size + j] = Bicubic(d, one);
    }
    centre += 2 * step;
  }

  // Drop the near-zero taps at both ends, as the scaler does, keeping the first rows
  // in order.
  int32_t kept = 0;
  for (int32_t i = dstRows - 1; i >= 0; --i) {
    int64_t* w = &wide[static_cast<size_t>(i) * size];
    int64_t cut = 0;
    for (int32_t j = 0; j < size; ++j) {
      cut += std::llabs(w[0]);
      if (cut > kCutOff) break;
      if (i < dstRows - 1 && first[i] >= first[i + 1]) break;
      std::copy(w + 1, w + size, w);
      w[size - 1] = 0;
      ++first[i];
    }
    int32_t needed = size;
    cut = 0;
    for (int32_t j = size - 1; j > 0; --j) {
      cut += std::llabs(w[j]);
      if (cut > kCutOff) break;
      --needed;
    }
    kept = std::max(kept, needed);
  }
  // The scaler's vector code takes taps in pairs; a single tap stays single.
  const int32_t taps = kept == 1 ? 1 : (kept + 1) & ~1;
  std::vector<int64_t> filter(static_cast<size_t>(dstRows) * taps, 0);
  for (int32_t i = 0; i < dstRows; ++i) {
    for (int32_t j = 0; j < taps && j < size; ++j) {
      filter[static_cast<size_t>(i) * taps + j] = wide[static_cast<size_t>(i) * size + j];
    }
  }

  // Fold the taps that fall outside the picture onto its first and last rows.
  for (int32_t i = 0; i < dstRows; ++i) {
    int64_t* f = &filter[static_cast<size_t>(i) * taps];
    if (first[i] < 0) {
      for (int32_t j = 1; j < taps; ++j) {
        const int32_t left = std::max(j + first[i], 0);
        f[left] += f[j];
        f[j] = 0;
      }
      first[i] = 0;
    }
    if (first[i] + taps > srcRows) {
      const int32_t shift = first[i] + std::min(taps - srcRows, 0);
      int64_t acc = 0;
      for (int32_t j = taps - 1; j >= 0; --j) {
        if (first[i] + j >= srcRows) {
          acc += f[j];
          f[j] = 0;
        }
      }
      for (int32_t j = taps - 1; j >= 0; --j) f[j] = j < shift ? 0 : f[j - shift];
      first[i] -= shift;
      f[srcRows - 1 - first[i]] += acc;
    }
  }

  // Normalise to 12 bits, carrying each tap's rounding error into the next.
  constexpr int64_t kUnit = 1 << 12;
  out.size = taps;
  out.first = std::move(first);
  out.taps.resize(static_cast<size_t>(dstRows) * taps);
  for (int32_t i = 0; i < dstRows; ++i) {
    const int64_t* f = &filter[static_cast<size_t>(i) * taps];
    int64_t sum = 0;
    for (int32_t j = 0; j < taps; ++j) sum += f[j];
    sum = std::max<int64_t>((sum + kUnit / 2) / kUnit, 1);
    int64_t error = 0;
    for (int32_t j = 0; j < taps; ++j) {
      const int64_t v = f[j] + error;
      const int64_t tap = RoundedDiv(v, sum);
      out.taps[static_cast<size_t>(i) * taps + j] = static_cast<int16_t>(tap);
      error = v - tap * sum;
    }
  }
  return out;
}

}  // namespace corvinex
