#pragma once
// Between a circle in frame pixels and the Cut Area (preview units) that makes the
// unwrap read exactly that circle.

#include <cstdint>

#include "transform/ring_finder.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

// The circles a Cut Area makes the unwrap read, in frame pixels (y from the top):
// the centre of its square, the outer edge of its outermost row and of the internal
// circle (the rows it drops), as the sample generator draws them.
struct CutAreaCircle {
  bool valid = false;  // false for a frame without pixels
  double centreX = 0, centreY = 0;
  double outerRadius = 0, innerRadius = 0;
};
CutAreaCircle CircleOfCutArea(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring);

// The Cut Area whose circles come nearest the ring's (a square in frame pixels).
// Preview units are whole numbers, so the circle can be off by half a unit
// (frameWidth / 1200 pixels) at most; a ring not found gives the default Cut Area.
RingGeometry CutAreaForRing(int32_t frameWidth, int32_t frameHeight, const FoundRing& ring);

}  // namespace corvinex
