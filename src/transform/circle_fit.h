#pragma once
// Least-squares circles through edge points, with a trimmed refit so that a few
// points from the scene do not pull the circle off the ring's edge.

#include <cstddef>
#include <span>
#include <vector>

namespace corvinex {

struct EdgePoint {
  double x = 0, y = 0;
};

struct Circle {
  double x = 0, y = 0, radius = 0;
  bool valid = false;
};

// Algebraic fit (the circle minimising the sum of (x^2 + y^2 + Dx + Ey + F)^2);
// invalid for fewer than three points or points on a line.
Circle FitCircle(std::span<const EdgePoint> points);

struct RobustCircle {
  Circle circle;
  size_t inliers = 0;  // points within `tolerance` of the final circle
};

// Fits, drops the points far from the circle (three median deviations, at least
// `tolerance`), refits; `inliers` counts the points within `tolerance` at the end.
RobustCircle FitCircleRobust(std::span<const EdgePoint> points, double tolerance);

}  // namespace corvinex
