#pragma once
// The "soft" fill of a 2:1 frame: the rows above and below the panorama strip are the
// strip's outermost row, blurred along the row more and more towards the frame's top
// and bottom edge, so that a 360-degree player shows no hard edge where the strip
// ends. The blur wraps around (the strip's columns go all the way round).

#include <cstdint>
#include <vector>

namespace corvinex {

// Tables and scratch of one run: prepared once, used by every frame without
// allocating.
class SoftFill {
 public:
  // For a strip `width` columns wide with `below` fill rows under it and `above` over
  // it (picture order: "below" is the bottom of the frame).
  void Prepare(int32_t width, int32_t below, int32_t above);

  // Writes the fill rows of one frame. `frame` is the bottom-up output view (width
  // columns, `below + strip rows + above` rows); `bottomRow` and `topRow` are the
  // strip's outermost rows as they stand in it.
  void Render(const uint32_t* bottomRow, const uint32_t* topRow, uint32_t* frame,
              int32_t stripRows);

  // The blur radius (in columns, each side) of fill row `distance` (1 = next to the
  // strip) out of `rows`: grows with the square of the distance to half the width at
  // the last row, where the whole row is averaged as at a pole. Past 8 columns it
  // keeps to steps of a quarter, so that neighbouring rows share one blurred row (which
  // is computed once and copied): blurs that wide differ too little to show.
  static int32_t Radius(int32_t width, int32_t distance, int32_t rows);

 private:
  struct RowBlur {
    int32_t radius = 0;
    float scale = 0;  // 1 / (2 x radius + 1)
  };
  void PrepareSide(int32_t rows, std::vector<RowBlur>& side) const;
  void BuildSums(const uint32_t* row);
  void BlurRow(const RowBlur& blur, const uint32_t* edge, uint32_t* out) const;
  void RenderSide(const std::vector<RowBlur>& side, const uint32_t* edge, uint32_t* frame,
                  int32_t firstRow, int32_t step);

  int32_t width_ = 0;
  int32_t offset_ = 0;  // the sums start this many columns before column 0
  std::vector<RowBlur> below_, above_;
  // Running B, G, R, unused sums over the wrapped row; whole numbers below 2^24, so
  // floats hold them exactly.
  std::vector<float> sums_;
};

}  // namespace corvinex
