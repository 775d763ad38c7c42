#pragma once
// Placing the Cut Area with the mouse, wheel and keys on the doughnut preview. All
// in preview units (the 600-wide preview, y from the top of the picture); the caller
// passes each result through the same limits as the buttons.

#include <cstdint>

#include "transform/unwrap_geometry.h"

namespace corvinex {

// What a press at a point takes hold of.
enum class CutAreaGrip {
  None,   // outside the ring: nothing
  Move,   // inside the ring: moves it
  Outer,  // on the external circle's edge: resizes it about its centre
  Inner,  // on the internal circle's edge: changes its radius
};

// How far from an edge, in preview units, a press still takes hold of it.
inline constexpr double kGripTolerance = 6.0;

CutAreaGrip GripAt(const RingGeometry& ring, double x, double y);

// The ring after dragging `grip` from (x0, y0) to (x, y); `start` is the ring at the
// press, so rounding never accumulates over a long drag.
RingGeometry DragCutArea(const RingGeometry& start, CutAreaGrip grip, double x0, double y0,
                         double x, double y);

// The external circle grown by `steps` units of radius (negative shrinks it) about
// its centre, or with `inner` the internal circle's radius.
RingGeometry ResizeCutArea(const RingGeometry& ring, int32_t steps, bool inner);

// The Cut Area moved by (dx, dy).
RingGeometry MoveCutArea(const RingGeometry& ring, int32_t dx, int32_t dy);

}  // namespace corvinex
