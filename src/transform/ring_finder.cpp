#include "transform/ring_finder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "transform/circle_fit.h"

namespace corvinex {
namespace {

struct FloatImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<float> v;
  float At(int32_t x, int32_t y) const { return v[static_cast<size_t>(y) * width + x]; }
};

// Bilinear sample; false outside the picture's pixel centres.
bool Sample(const FloatImage& a, double x, double y, float& out) {
  if (!(x >= 0 && y >= 0 && x <= a.width - 1 && y <= a.height - 1)) return false;
  const int32_t x0 = std::min(static_cast<int32_t>(x), a.width - 2);
  const int32_t y0 = std::min(static_cast<int32_t>(y), a.height - 2);
  const float fx = static_cast<float>(x - x0);
  const float fy = static_cast<float>(y - y0);
  const float* row = a.v.data() + static_cast<size_t>(y0) * a.width + x0;
  const float top = row[0] + fx * (row[1] - row[0]);
  const float bottom = row[a.width] + fx * (row[a.width + 1] - row[a.width]);
  out = top + fy * (bottom - top);
  return true;
}

// Mean over the frames, then a 3 x 3 box blur: noise falls with both, and a scene
// that moves leaves its average, while the ring's edges stay where they are.
FloatImage MeanImage(std::span<const GreyImage> frames) {
  const int32_t w = frames[0].width;
  const int32_t h = frames[0].height;
  const size_t n = static_cast<size_t>(w) * h;
  std::vector<float> sum(n, 0.0f);
  for (const GreyImage& f : frames) {
    for (size_t i = 0; i < n; ++i) sum[i] += f.pixels[i];
  }
  FloatImage out{w, h, std::vector<float>(n)};
  const float scale = 1.0f / (9.0f * static_cast<float>(frames.size()));
  for (int32_t y = 0; y < h; ++y) {
    const int32_t ys[3] = {std::max(y - 1, 0), y, std::min(y + 1, h - 1)};
    for (int32_t x = 0; x < w; ++x) {
      const int32_t xs[3] = {std::max(x - 1, 0), x, std::min(x + 1, w - 1)};
      float s = 0;
      for (int32_t yy : ys) {
        for (int32_t xx : xs) s += sum[static_cast<size_t>(yy) * w + xx];
      }
      out.v[static_cast<size_t>(y) * w + x] = s * scale;
    }
  }
  return out;
}

struct EdgePixel {
  float x, y, ux, uy;  // position, unit gradient (towards the brighter side)
  float weight;        // gradient magnitude, capped
};

// Brightness below which a tenth of the picture lies: the dark surround's level.
float DarkLevel(const FloatImage& a) {
  std::vector<uint32_t> histogram(256, 0);
  for (float v : a.v) ++histogram[static_cast<size_t>(std::clamp(v, 0.0f, 255.0f))];
  const size_t wanted = a.v.size() / 10;
  size_t seen = 0;
  for (size_t i = 0; i < histogram.size(); ++i) {
    seen += histogram[i];
    if (seen > wanted) return static_cast<float>(i) + 1.0f;
  }
  return 255.0f;
}

// Strong gradient pixels with their gradient direction (Sobel), at most `limit`.
std::vector<EdgePixel> StrongEdges(const FloatImage& a, size_t limit) {
  const float dark = DarkLevel(a);
  std::vector<EdgePixel> all;
  std::vector<float> magnitudes;
  for (int32_t y = 1; y + 1 < a.height; ++y) {
    for (int32_t x = 1; x + 1 < a.width; ++x) {
      const float gx = (a.At(x + 1, y - 1) + 2 * a.At(x + 1, y) + a.At(x + 1, y + 1)) -
                       (a.At(x - 1, y - 1) + 2 * a.At(x - 1, y) + a.At(x - 1, y + 1));
      const float gy = (a.At(x - 1, y + 1) + 2 * a.At(x, y + 1) + a.At(x + 1, y + 1)) -
                       (a.At(x - 1, y - 1) + 2 * a.At(x, y - 1) + a.At(x + 1, y - 1));
      const float m = std::hypot(gx, gy);
      // A step of six grey levels gives 24.
      if (m < 24.0f) continue;
      const float ux = gx / m;
      const float uy = gy / m;
      // Only edges onto the dark surround (or the dark centre) vote: the scene's own
      // edges, bright on both sides, would only blur the vote.
      float darkSide = 0, brightSide = 0;
      if (!Sample(a, x - 2.5 * ux, y - 2.5 * uy, darkSide) ||
          !Sample(a, x + 2.5 * ux, y + 2.5 * uy, brightSide) ||
          darkSide > dark + 0.35f * (brightSide - dark)) {
        continue;
      }
      all.push_back({static_cast<float>(x), static_cast<float>(y), ux, uy, std::min(m, 600.0f)});
      magnitudes.push_back(m);
    }
  }
  if (all.size() <= limit) return all;
  // Keep the strongest: the ring's edges are among them; scene texture mostly is not.
  std::vector<float> sorted = magnitudes;
  const size_t cut = sorted.size() - limit;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(cut), sorted.end());
  const float threshold = sorted[cut];
  std::vector<EdgePixel> kept;
  kept.reserve(limit);
  for (size_t i = 0; i < all.size() && kept.size() < limit; ++i) {
    if (magnitudes[i] >= threshold) kept.push_back(all[i]);
  }
  return kept;
}

struct Point {
  double x = 0, y = 0;
};

// Every edge pixel votes along its gradient towards the brighter side: the outer
// edge's lines meet at the ring's centre. The accumulator reaches past the frame
// so that a ring cut off by the frame edge still gets its centre. Returns the
// strongest few places, apart from each other, strongest first.
std::vector<Point> VoteCentres(const std::vector<EdgePixel>& edges, int32_t w, int32_t h,
                               size_t count) {
  const int32_t margin = std::max(w, h) / 2;
  const int32_t aw = w + 2 * margin;
  const int32_t ah = h + 2 * margin;
  std::vector<float> acc(static_cast<size_t>(aw) * ah, 0.0f);
  const float reach = std::hypot(static_cast<float>(w), static_cast<float>(h));
  // Small things in the scene vote for their own middle: a ring is never that small.
  const float nearest = std::max(4.0f, 0.06f * static_cast<float>(std::min(w, h)));
  for (const EdgePixel& e : edges) {
    // Positions shifted by the margin (plus a half for rounding) stay positive
    // inside the accumulator, so truncation rounds.
    float x = e.x + nearest * e.ux + static_cast<float>(margin) + 0.5f;
    float y = e.y + nearest * e.uy + static_cast<float>(margin) + 0.5f;
    for (float t = nearest; t <= reach; t += 1.0f, x += e.ux, y += e.uy) {
      if (x < 0 || y < 0 || x >= static_cast<float>(aw) || y >= static_cast<float>(ah)) break;
      acc[static_cast<size_t>(y) * aw + static_cast<size_t>(x)] += e.weight;
    }
  }
  // 5 x 5 box sums: a centre's votes spread over a pixel or two.
  std::vector<float> rows(acc.size(), 0.0f);
  for (int32_t y = 0; y < ah; ++y) {
    for (int32_t x = 2; x + 2 < aw; ++x) {
      const float* p = &acc[static_cast<size_t>(y) * aw + x];
      rows[static_cast<size_t>(y) * aw + x] = p[-2] + p[-1] + p[0] + p[1] + p[2];
    }
  }
  std::fill(acc.begin(), acc.end(), 0.0f);
  for (int32_t y = 2; y + 2 < ah; ++y) {
    for (int32_t x = 2; x + 2 < aw; ++x) {
      float s = 0;
      for (int32_t d = -2; d <= 2; ++d) s += rows[static_cast<size_t>(y + d) * aw + x];
      acc[static_cast<size_t>(y) * aw + x] = s;
    }
  }
  std::vector<Point> centres;
  const int32_t apart = std::max(3, std::min(w, h) / 20);
  while (centres.size() < count) {
    const auto best = std::max_element(acc.begin(), acc.end());
    if (*best <= 0) break;
    const int32_t at = static_cast<int32_t>(best - acc.begin());
    const int32_t bx = at % aw;
    const int32_t by = at / aw;
    centres.push_back({static_cast<double>(bx - margin), static_cast<double>(by - margin)});
    for (int32_t y = std::max(0, by - apart); y <= std::min(ah - 1, by + apart); ++y) {
      std::fill_n(acc.begin() + static_cast<std::ptrdiff_t>(y) * aw + std::max(0, bx - apart),
                  std::min(aw - 1, bx + apart) - std::max(0, bx - apart) + 1, 0.0f);
    }
  }
  return centres;
}

constexpr int32_t kProfileAngles = 360;
// A ring this sure ends the search for others.
constexpr double kSureEnough = 0.9;

// Mean brightness on circles of radius 0, 1, 2, ... around a centre, over the
// angles that fall inside the picture; NaN where too few do.
std::vector<float> RadialProfile(const FloatImage& a, Point c, int32_t maxRadius) {
  std::vector<float> profile(static_cast<size_t>(maxRadius) + 1, NAN);
  std::vector<double> cosines(kProfileAngles), sines(kProfileAngles);
  for (int32_t k = 0; k < kProfileAngles; ++k) {
    const double angle = 2.0 * std::numbers::pi * k / kProfileAngles;
    cosines[static_cast<size_t>(k)] = std::cos(angle);
    sines[static_cast<size_t>(k)] = std::sin(angle);
  }
  for (int32_t r = 0; r <= maxRadius; ++r) {
    double sum = 0;
    int32_t count = 0;
    for (size_t k = 0; k < cosines.size(); ++k) {
      float value = 0;
      if (Sample(a, c.x + r * cosines[k], c.y + r * sines[k], value)) {
        sum += value;
        ++count;
      }
    }
    if (count >= kProfileAngles / 20)
      profile[static_cast<size_t>(r)] = static_cast<float>(sum / count);
  }
  return profile;
}

struct ProfileStep {
  int32_t radius = 0;
  float size = 0;
};

// Radii in [from, to] where the profile steps most in direction `sign` (-1: bright
// inside, dark outside) over two pixels: the `count` largest local peaks, largest first.
std::vector<ProfileStep> StrongestSteps(const std::vector<float>& profile, int32_t from, int32_t to,
                                        int sign, size_t count) {
  const int32_t last = std::min(to, static_cast<int32_t>(profile.size()) - 3);
  std::vector<float> d(profile.size(), 0.0f);
  for (int32_t r = std::max(from, 2); r <= last; ++r) {
    const float v =
        sign * (profile[static_cast<size_t>(r + 2)] - profile[static_cast<size_t>(r - 2)]);
    d[static_cast<size_t>(r)] = std::isnan(v) ? 0.0f : v;
  }
  std::vector<ProfileStep> peaks;
  for (int32_t r = std::max(from, 2); r <= last; ++r) {
    const float v = d[static_cast<size_t>(r)];
    if (v <= 0 || v < d[static_cast<size_t>(r - 1)] || v < d[static_cast<size_t>(r + 1)]) continue;
    peaks.push_back({r, v});
  }
  std::sort(peaks.begin(), peaks.end(),
            [](const ProfileStep& x, const ProfileStep& y) { return x.size > y.size; });
  std::vector<ProfileStep> kept;
  for (const ProfileStep& p : peaks) {
    if (kept.size() == count) break;
    const bool apart = std::none_of(kept.begin(), kept.end(), [&](const ProfileStep& k) {
      return std::abs(k.radius - p.radius) < std::max(4, p.radius / 20);
    });
    if (apart) kept.push_back(p);
  }
  return kept;
}

struct RayEdges {
  std::vector<EdgePoint> points;
  int32_t rays = 0;  // rays whose whole window lies inside the picture
};

constexpr int32_t kRays = 720;

// Along rays from the centre, the position of the strongest step in direction
// `sign` within radius +- window, when it is at least `minStep` over two pixels.
RayEdges EdgesOnRays(const FloatImage& a, Point c, double radius, double window, int sign,
                     float minStep) {
  RayEdges out;
  constexpr double kStep = 0.5;
  const int32_t samples = static_cast<int32_t>(2 * window / kStep) + 9;
  std::vector<float> s(static_cast<size_t>(samples));
  const double r0 = radius - window - 4 * kStep;
  for (int32_t k = 0; k < kRays; ++k) {
    const double angle = 2.0 * std::numbers::pi * k / kRays;
    const double ux = std::cos(angle);
    const double uy = std::sin(angle);
    bool inside = r0 >= 0;
    for (int32_t i = 0; i < samples && inside; ++i) {
      const double r = r0 + i * kStep;
      inside = Sample(a, c.x + r * ux, c.y + r * uy, s[static_cast<size_t>(i)]);
    }
    if (!inside) continue;
    ++out.rays;
    float best = minStep;
    int32_t at = -1;
    for (int32_t i = 4; i + 4 < samples; ++i) {
      const float d = sign * (s[static_cast<size_t>(i + 2)] - s[static_cast<size_t>(i - 2)]);
      if (d > best) {
        best = d;
        at = i;
      }
    }
    if (at < 0) continue;
    // Parabola through the steps either side for a position between samples.
    const float dm = sign * (s[static_cast<size_t>(at + 1)] - s[static_cast<size_t>(at - 3)]);
    const float dp = sign * (s[static_cast<size_t>(at + 3)] - s[static_cast<size_t>(at - 1)]);
    const float curve = dm - 2 * best + dp;
    const double shift = curve < 0 ? std::clamp(0.5 * (dm - dp) / curve, -0.5, 0.5) : 0.0;
    const double r = r0 + (at + shift) * kStep;
    out.points.push_back({c.x + r * ux, c.y + r * uy});
  }
  return out;
}

// Mean and spread of the picture on a band of radii around a centre.
struct BandStats {
  double mean = 0, deviation = 0;
  int32_t count = 0;
};
BandStats Band(const FloatImage& a, Point c, double from, double to) {
  BandStats b;
  double sum = 0, squares = 0;
  for (double r = std::max(0.0, from); r <= to; r += 1.0) {
    for (int32_t k = 0; k < kProfileAngles; ++k) {
      const double angle = 2.0 * std::numbers::pi * k / kProfileAngles;
      float value = 0;
      if (!Sample(a, c.x + r * std::cos(angle), c.y + r * std::sin(angle), value)) continue;
      sum += value;
      squares += static_cast<double>(value) * value;
      ++b.count;
    }
  }
  if (b.count == 0) return b;
  b.mean = sum / b.count;
  b.deviation = std::sqrt(std::max(0.0, squares / b.count - b.mean * b.mean));
  return b;
}

FoundRing NotFound(const char* reason) {
  FoundRing ring;
  ring.reason = reason;
  return ring;
}

// Inner circle: where the brightness, going out from the dark centre, first gets
// half-way to the ring's; refined to the median of the steepest rise along rays
// near there. 0 when the centre is not dark.
double InnerRadius(const FloatImage& a, Point c, double outer, double contrast) {
  const std::vector<float> profile = RadialProfile(a, c, static_cast<int32_t>(outer));
  const int32_t core = std::max(2, static_cast<int32_t>(0.02 * outer));
  std::vector<float> ring;
  for (int32_t r = 0; r < static_cast<int32_t>(profile.size()); ++r) {
    const float v = profile[static_cast<size_t>(r)];
    if (!std::isnan(v) && r >= 0.1 * outer && r <= 0.95 * outer) ring.push_back(v);
  }
  double dark = 0;
  int32_t darkCount = 0;
  for (int32_t r = 0; r <= core; ++r) {
    if (std::isnan(profile[static_cast<size_t>(r)])) continue;
    dark += profile[static_cast<size_t>(r)];
    ++darkCount;
  }
  if (ring.empty() || darkCount == 0) return 0;
  dark /= darkCount;
  std::nth_element(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(ring.size() / 2),
                   ring.end());
  const double bright = ring[ring.size() / 2];
  if (bright - dark < std::max(6.0, 0.2 * contrast)) return 0;
  const double half = 0.5 * (dark + bright);
  double crossing = 0;
  for (int32_t r = 1; r < static_cast<int32_t>(profile.size()); ++r) {
    const float v = profile[static_cast<size_t>(r)];
    const float before = profile[static_cast<size_t>(r - 1)];
    if (std::isnan(v) || std::isnan(before) || v < half) continue;
    crossing = r - 1 + (half - before) / std::max(1e-6, static_cast<double>(v - before));
    break;
  }
  if (crossing <= 0 || crossing > 0.9 * outer) return 0;
  const double window = std::max(2.0, 0.1 * crossing);
  const float minStep = static_cast<float>(std::max(3.0, 0.25 * (bright - dark)));
  const RayEdges edges = EdgesOnRays(a, c, crossing, window, 1, minStep);
  if (edges.points.size() < 12) return crossing;
  std::vector<double> radii;
  for (const EdgePoint& p : edges.points) radii.push_back(std::hypot(p.x - c.x, p.y - c.y));
  std::nth_element(radii.begin(), radii.begin() + static_cast<std::ptrdiff_t>(radii.size() / 2),
                   radii.end());
  return radii[radii.size() / 2];
}

// The outer circle fitted to the steepest drop along rays near a first guess of
// centre and radius, checked for agreement, arc and contrast.
FoundRing RingAt(const FloatImage& a, Point c, double radius, float step) {
  double window = std::max(3.0, 0.15 * radius);
  const float minStep = std::max(3.0f, 0.25f * step);
  for (int round = 0; round < 4; ++round) {
    const RayEdges ray = EdgesOnRays(a, c, radius, window, -1, minStep);
    if (ray.points.size() < 12) return NotFound("too little of an outer edge in the frame");
    const RobustCircle fit = FitCircleRobust(ray.points, std::max(1.5, 0.015 * radius));
    if (!fit.circle.valid || fit.circle.radius < 6) return NotFound("no circle fits the edge");
    // A fit that wanders far from where it started followed the scene, not the ring.
    if (std::hypot(fit.circle.x - c.x, fit.circle.y - c.y) > window ||
        std::abs(fit.circle.radius - radius) > window) {
      return NotFound("the edge found is not a circle");
    }
    c = {fit.circle.x, fit.circle.y};
    radius = fit.circle.radius;
    window = std::max(2.5, 0.06 * radius);
  }

  // How much of the edge agrees with the circle, and over how wide an arc.
  const double tolerance = std::max(1.5, 0.03 * radius);
  const RayEdges last = EdgesOnRays(a, c, radius, window, -1, minStep);
  size_t inliers = 0;
  std::vector<bool> sectors(36, false);
  for (const EdgePoint& p : last.points) {
    if (std::abs(std::hypot(p.x - c.x, p.y - c.y) - radius) > tolerance) continue;
    ++inliers;
    const double angle = std::atan2(p.y - c.y, p.x - c.x) + std::numbers::pi;
    sectors[std::min<size_t>(35, static_cast<size_t>(angle / (2 * std::numbers::pi) * 36))] = true;
  }
  const double agreement = last.rays > 0 ? static_cast<double>(inliers) / last.rays : 0.0;
  const auto covered = std::count(sectors.begin(), sectors.end(), true);
  const BandStats inside = Band(a, c, radius - std::max(4.0, 0.08 * radius), radius - 2);
  const BandStats outside = Band(a, c, radius + 2, radius + std::max(4.0, 0.05 * radius));
  const double contrast = inside.mean - outside.mean;
  const double strength = std::clamp(contrast / (8.0 + 2.0 * outside.deviation), 0.0, 1.0);
  // A lens or mirror picture fills a good part of the frame; small circles are things
  // in the scene (or the pattern of noise).
  if (radius < 0.08 * std::min(a.width, a.height)) {
    return NotFound("the only circle found is too small");
  }
  if (covered < 6) return NotFound("the circle's visible arc is too short");
  if (contrast < std::max(6.0, outside.deviation)) {
    return NotFound("the picture is barely brighter than its surround");
  }
  FoundRing ring;
  ring.centreX = c.x;
  ring.centreY = c.y;
  ring.outerRadius = radius;
  ring.confidence = agreement * strength;
  if (ring.confidence < 0.35) return NotFound("the edge does not follow one circle closely");
  ring.innerRadius = InnerRadius(a, c, radius, contrast);
  ring.found = true;
  return ring;
}

// The ring around a first guess of its centre: each of the few radii where the
// mean brightness drops most is tried (a fine pattern near the edge can outdo the
// edge itself), the best fit wins.
FoundRing RingAround(const FloatImage& a, Point c) {
  const int32_t w = a.width;
  const int32_t h = a.height;
  const int32_t farthest = static_cast<int32_t>(
      std::ceil(std::hypot(std::max(c.x, w - 1 - c.x), std::max(c.y, h - 1 - c.y))));
  const int32_t maxRadius = std::min(farthest, 2 * std::max(w, h));
  const std::vector<ProfileStep> steps =
      StrongestSteps(RadialProfile(a, c, maxRadius), 6, maxRadius, -1, 3);
  FoundRing best = NotFound("no bright picture with a dark surround");
  for (const ProfileStep& step : steps) {
    if (step.size < std::max(4.0f, 0.3f * steps.front().size)) continue;
    FoundRing ring = RingAt(a, c, step.radius, step.size);
    if (ring.found ? (!best.found || ring.confidence > best.confidence) : !best.found) {
      best = ring;
    }
    if (best.found && best.confidence >= kSureEnough) break;
  }
  return best;
}

}  // namespace

GreyImage GreyFromFrame(const FrameImage& frame, int32_t shrink) {
  GreyImage grey;
  shrink = std::max(shrink, 1);
  grey.width = frame.width / shrink;
  grey.height = frame.height / shrink;
  if (grey.width <= 0 || grey.height <= 0 ||
      frame.PixelCount() != static_cast<size_t>(frame.width) * frame.height) {
    return GreyImage{};
  }
  grey.pixels.assign(static_cast<size_t>(grey.width) * grey.height, 0);
  std::vector<uint64_t> sums(static_cast<size_t>(grey.width));
  const uint64_t area = static_cast<uint64_t>(shrink) * static_cast<uint64_t>(shrink);
  for (int32_t y = 0; y < grey.height; ++y) {
    std::fill(sums.begin(), sums.end(), uint64_t{0});
    for (int32_t dy = 0; dy < shrink; ++dy) {
      const uint32_t* row = frame.Row(frame.height - 1 - (y * shrink + dy));
      for (int32_t x = 0; x < grey.width; ++x) {
        uint32_t s = 0;
        for (int32_t dx = 0; dx < shrink; ++dx) {
          const uint32_t p = row[x * shrink + dx];
          s += 77u * RedOf(p) + 150u * GreenOf(p) + 29u * BlueOf(p);
        }
        sums[static_cast<size_t>(x)] += s;
      }
    }
    uint8_t* out = grey.pixels.data() + static_cast<size_t>(y) * grey.width;
    for (int32_t x = 0; x < grey.width; ++x) {
      out[x] = static_cast<uint8_t>((sums[static_cast<size_t>(x)] / area + 128) >> 8);
    }
  }
  return grey;
}

FoundRing FindRing(std::span<const GreyImage> frames) {
  if (frames.empty()) return NotFound("no frames to search");
  const int32_t w = frames[0].width;
  const int32_t h = frames[0].height;
  if (w < 16 || h < 16) return NotFound("frames too small to search");
  // The vote's accumulator is four times the frame: large frames are shrunk first.
  if (w > kMaxRingSearchSide || h > kMaxRingSearchSide) {
    return NotFound("frames too large to search: shrink them first");
  }
  for (const GreyImage& f : frames) {
    if (f.width != w || f.height != h || f.pixels.size() != static_cast<size_t>(w) * h) {
      return NotFound("frames of different sizes");
    }
  }
  const FloatImage a = MeanImage(frames);
  const std::vector<EdgePixel> edges = StrongEdges(a, 4000);
  if (edges.size() < 30) return NotFound("no edges: the frames show no ring");
  // The scene can outvote the ring's centre in places; each of the strongest few
  // places is tried and the ring that fits best wins.
  FoundRing best;
  for (const Point& c : VoteCentres(edges, w, h, 4)) {
    FoundRing ring = RingAround(a, c);
    if (best.reason.empty() && !best.found) best = ring;
    if (ring.found && (!best.found || ring.confidence > best.confidence)) best = ring;
    // An edge that follows its circle this closely is the ring; no need to look on.
    if (best.found && best.confidence >= kSureEnough) break;
  }
  if (!best.found && best.reason.empty()) best.reason = "no place where a circle's edges meet";
  return best;
}

FoundRing FindRing(std::span<const FrameImage> frames) {
  if (frames.empty()) return NotFound("no frames to search");
  const int32_t side = std::max(frames[0].width, frames[0].height);
  const int32_t shrink = std::max(1, (side + kRingSearchSide - 1) / kRingSearchSide);
  std::vector<GreyImage> greys;
  greys.reserve(frames.size());
  for (const FrameImage& f : frames) greys.push_back(GreyFromFrame(f, shrink));
  return ScaleFoundRing(FindRing(greys), shrink, shrink);
}

FoundRing ScaleFoundRing(const FoundRing& ring, double scaleX, double scaleY) {
  FoundRing out = ring;
  out.centreX = (ring.centreX + 0.5) * scaleX - 0.5;
  out.centreY = (ring.centreY + 0.5) * scaleY - 0.5;
  const double scale = 0.5 * (scaleX + scaleY);
  out.outerRadius = ring.outerRadius * scale;
  out.innerRadius = ring.innerRadius * scale;
  return out;
}

}  // namespace corvinex
