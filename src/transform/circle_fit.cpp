#include "transform/circle_fit.h"

#include <algorithm>
#include <cmath>

namespace corvinex {

Circle FitCircle(std::span<const EdgePoint> points) {
  Circle circle;
  if (points.size() < 3) return circle;
  // Centred coordinates keep the normal equations well conditioned.
  double mx = 0, my = 0;
  for (const EdgePoint& p : points) {
    mx += p.x;
    my += p.y;
  }
  mx /= static_cast<double>(points.size());
  my /= static_cast<double>(points.size());
  double suu = 0, svv = 0, suv = 0, suuu = 0, svvv = 0, suvv = 0, svuu = 0;
  for (const EdgePoint& p : points) {
    const double u = p.x - mx;
    const double v = p.y - my;
    suu += u * u;
    svv += v * v;
    suv += u * v;
    suuu += u * u * u;
    svvv += v * v * v;
    suvv += u * v * v;
    svuu += v * u * u;
  }
  // uc suu + vc suv = (suuu + suvv) / 2, uc suv + vc svv = (svvv + svuu) / 2.
  const double det = suu * svv - suv * suv;
  if (std::abs(det) <= 1e-12 * (suu * svv + 1e-300)) return circle;
  const double bu = 0.5 * (suuu + suvv);
  const double bv = 0.5 * (svvv + svuu);
  const double uc = (bu * svv - bv * suv) / det;
  const double vc = (suu * bv - suv * bu) / det;
  const double n = static_cast<double>(points.size());
  circle.x = uc + mx;
  circle.y = vc + my;
  circle.radius = std::sqrt(uc * uc + vc * vc + (suu + svv) / n);
  circle.valid = std::isfinite(circle.radius) && circle.radius > 0;
  return circle;
}

RobustCircle FitCircleRobust(std::span<const EdgePoint> points, double tolerance) {
  RobustCircle result;
  std::vector<EdgePoint> kept(points.begin(), points.end());
  std::vector<double> deviation;
  Circle circle = FitCircle(kept);
  for (int round = 0; round < 4 && circle.valid; ++round) {
    deviation.clear();
    for (const EdgePoint& p : kept) {
      deviation.push_back(std::abs(std::hypot(p.x - circle.x, p.y - circle.y) - circle.radius));
    }
    std::vector<double> sorted = deviation;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double limit = std::max(tolerance, 3.0 * 1.4826 * sorted[sorted.size() / 2]);
    std::vector<EdgePoint> next;
    for (size_t i = 0; i < kept.size(); ++i) {
      if (deviation[i] <= limit) next.push_back(kept[i]);
    }
    if (next.size() == kept.size() || next.size() < 3) break;
    kept.swap(next);
    circle = FitCircle(kept);
  }
  if (!circle.valid) return result;
  result.circle = circle;
  for (const EdgePoint& p : points) {
    if (std::abs(std::hypot(p.x - circle.x, p.y - circle.y) - circle.radius) <= tolerance) {
      ++result.inliers;
    }
  }
  return result;
}

}  // namespace corvinex
