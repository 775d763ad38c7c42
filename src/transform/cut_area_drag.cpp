#include "transform/cut_area_drag.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace corvinex {
namespace {

struct Circle {
  double cx, cy, outer;
};

// The external circle as the overlay draws it: the Cut Area's inscribed ellipse,
// taken as a circle of the mean radius.
Circle OuterCircle(const RingGeometry& r) {
  return {r.X1 + r.X2 / 2.0, r.Y1 + r.Y2 / 2.0, (r.X2 + r.Y2) / 4.0};
}

int32_t Clamped(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t Rounded(double value) {
  return Clamped(static_cast<int64_t>(std::llround(std::clamp(value, -1e12, 1e12))));
}

}  // namespace

CutAreaGrip GripAt(const RingGeometry& ring, double x, double y) {
  const Circle c = OuterCircle(ring);
  const double d = std::hypot(x - c.cx, y - c.cy);
  const double toInner = std::abs(d - ring.RSIZE);
  const double toOuter = std::abs(d - c.outer);
  // Where both edges are near (a thin ring), the nearer one wins.
  if (toInner <= kGripTolerance && toInner <= toOuter) return CutAreaGrip::Inner;
  if (toOuter <= kGripTolerance) return CutAreaGrip::Outer;
  return d < c.outer ? CutAreaGrip::Move : CutAreaGrip::None;
}

RingGeometry DragCutArea(const RingGeometry& start, CutAreaGrip grip, double x0, double y0,
                         double x, double y) {
  const Circle c = OuterCircle(start);
  switch (grip) {
    case CutAreaGrip::Move:
      return MoveCutArea(start, Rounded(x - x0), Rounded(y - y0));
    case CutAreaGrip::Outer: {
      // The edge follows the pointer: the radius changes by how much farther out it is.
      const double change = std::hypot(x - c.cx, y - c.cy) - std::hypot(x0 - c.cx, y0 - c.cy);
      return ResizeCutArea(start, Rounded(change), false);
    }
    case CutAreaGrip::Inner: {
      RingGeometry r = start;
      r.RSIZE = std::max(0, Rounded(std::hypot(x - c.cx, y - c.cy)));
      return r;
    }
    case CutAreaGrip::None:
      break;
  }
  return start;
}

RingGeometry ResizeCutArea(const RingGeometry& ring, int32_t steps, bool inner) {
  RingGeometry r = ring;
  if (inner) {
    r.RSIZE = Clamped(int64_t{r.RSIZE} + steps);
    return r;
  }
  // Corner by one, size by two, as the buttons do: the centre stays put.
  r.X1 = Clamped(int64_t{r.X1} - steps);
  r.Y1 = Clamped(int64_t{r.Y1} - steps);
  r.X2 = Clamped(int64_t{r.X2} + 2 * int64_t{steps});
  r.Y2 = Clamped(int64_t{r.Y2} + 2 * int64_t{steps});
  return r;
}

RingGeometry MoveCutArea(const RingGeometry& ring, int32_t dx, int32_t dy) {
  RingGeometry r = ring;
  r.X1 = Clamped(int64_t{r.X1} + dx);
  r.Y1 = Clamped(int64_t{r.Y1} + dy);
  return r;
}

}  // namespace corvinex
