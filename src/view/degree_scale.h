#pragma once
// The degree scale along the panorama preview: which direction each column shows, so
// that its numbers move with the panorama when the heading turns it.

#include <array>
#include <cstdint>

namespace corvinex {

// One number of the scale and its tick, in the panorama area's 1000 units across.
struct DegreeMark {
  const char* label = "";  // "360", "270", "180", "90" or "0"
  int32_t tickX = 0;       // the tick's column, 1 .. 995
  int32_t textX = 0;       // the number's left edge (may reach past the area's edges)
};

struct DegreeScale {
  std::array<DegreeMark, 5> marks;  // left to right
  int32_t count = 0;
};

// The marks for a panorama of `width` columns turned by `turn` columns (column x shows
// what column x + turn showed unturned). Unturned, the scale reads 360 at the left edge
// down to 0 at the right; turned, each direction's tick moves with its column, wrapping
// round the edges, and 360 is left out since 0 names the same column.
DegreeScale DegreeScaleMarks(int32_t turn, int32_t width);

}  // namespace corvinex
