#include "transform/ring_cut_area.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvinex {
namespace {

// Units near `value`, kept far inside int32 whatever the ring holds.
int32_t Units(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int32_t>(std::lround(std::clamp(value, -1e6, 1e6)));
}

// The candidate within +-2 units of `start` that `error` scores lowest.
template <typename Error>
int32_t Nearest(int32_t start, Error error) {
  int32_t best = start;
  double bestError = std::numeric_limits<double>::infinity();
  for (int32_t v = start - 2; v <= start + 2; ++v) {
    const double e = error(v);
    if (e < bestError) {
      bestError = e;
      best = v;
    }
  }
  return best;
}

}  // namespace

CutAreaCircle CircleOfCutArea(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring) {
  const UnwrapGeometry g = ComputeUnwrapGeometry(frameWidth, frameHeight, ring, 0.0f);
  CutAreaCircle c;
  if (!g.Usable()) return c;
  c.valid = true;
  // The unwrap centres its offsets on a crop buffer of cropW x (cropH + 1) pixels
  // that holds the square upside down; row y of the panorama lies at radius y - 0.5.
  c.centreX = g.cropX + 0.5 * g.cropW - 0.5;
  c.centreY = g.cropY + 0.5 * g.cropH - 1.0;
  c.outerRadius = g.H - 1;
  c.innerRadius = g.cutRows > 0 ? g.cutRows - 1 : 0;
  return c;
}

RingGeometry CutAreaForRing(int32_t frameWidth, int32_t frameHeight, const FoundRing& found) {
  RingGeometry ring;
  const UnwrapGeometry base = ComputeUnwrapGeometry(frameWidth, frameHeight, ring, 0.0f);
  if (!found.found || !base.Usable()) return RingGeometry{};
  const double sx = base.sx;
  const double sy = base.sy;
  auto geometry = [&](const RingGeometry& r) {
    return ComputeUnwrapGeometry(frameWidth, frameHeight, r, 0.0f);
  };
  const double outer = found.outerRadius;
  ring.Y2 = Nearest(Units(2.0 * (outer + 1.0) / sy), [&](int32_t v) {
    const UnwrapGeometry g = geometry({0, 0, 0, v, 0});
    // The radius first; among equal radii the square nearest the ring.
    return std::abs(g.H - 1 - outer) + 1e-3 * std::abs(g.cropH - 2.0 * (outer + 1.0));
  });
  const int32_t cropH = geometry(ring).cropH;
  ring.X2 = Nearest(Units(cropH / sx), [&](int32_t v) {
    return std::abs(geometry({0, 0, v, ring.Y2, 0}).cropW - cropH);
  });
  const int32_t cropW = geometry(ring).cropW;
  ring.X1 = Nearest(Units((found.centreX + 0.5 - 0.5 * cropW) / sx), [&](int32_t v) {
    return std::abs(geometry({v, 0, ring.X2, ring.Y2, 0}).cropX + 0.5 * cropW - 0.5 -
                    found.centreX);
  });
  ring.Y1 = Nearest(Units((found.centreY + 1.0 - 0.5 * cropH) / sy), [&](int32_t v) {
    return std::abs(geometry({0, v, ring.X2, ring.Y2, 0}).cropY + 0.5 * cropH - 1.0 -
                    found.centreY);
  });
  const double inner = std::max(0.0, found.innerRadius);
  ring.RSIZE = 0;
  if (inner > 0) {
    ring.RSIZE = std::max(0, Nearest(Units((inner + 1.0) / sx), [&](int32_t v) {
                            const CutAreaCircle c = CircleOfCutArea(
                                frameWidth, frameHeight, {ring.X1, ring.Y1, ring.X2, ring.Y2, v});
                            return std::abs(c.innerRadius - inner) + (v < 0 ? 1e9 : 0.0);
                          }));
  }
  return ring;
}

}  // namespace corvinex
