#include "transform/output_projection.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "settings/app_settings.h"
#include "transform/logo_frame.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

ProjectionOptions ProjectionOptionsFrom(const SessionOptions& options) {
  return {.projection = options.PROJECTION, .fill = options.FILL, .horizon = options.HORIZON};
}

int32_t HorizonRows(int32_t degrees, int32_t frameHeight) {
  return static_cast<int32_t>(
      std::nearbyint(static_cast<double>(degrees) / 180.0 * static_cast<double>(frameHeight)));
}

namespace {

std::string DegreesText(int32_t degrees) {
  return (degrees > 0 ? "+" : "") + std::to_string(degrees);
}

// The whole degrees within the limit that keep a band of `rows` rows starting at
// `first` inside `height` rows; false when none does.
bool HorizonRange(int32_t first, int32_t rows, int32_t height, int32_t& low, int32_t& high) {
  bool any = false;
  for (int32_t d = -kHorizonLimit; d <= kHorizonLimit; ++d) {
    const int32_t at = first + HorizonRows(d, height);
    if (at < 0 || at + rows > height) continue;
    if (!any) low = d;
    high = d;
    any = true;
  }
  return any;
}

}  // namespace

ProjectionPlan PlanProjection(const UnwrapGeometry& g, const ProjectionOptions& o,
                              const FrameImage* logoCanvas) {
  ProjectionPlan p;
  p.fill = o.fill == kFillSoft ? kFillSoft : kFillBlack;
  if (logoCanvas == nullptr && o.projection != kProjectionEquirect) {
    p.view = OutputViewSize(g, nullptr);
    p.rows = g.outRows;
    return p;
  }
  p.equirect = true;
  int32_t height = 0;
  if (logoCanvas != nullptr) {
    // The logo frame's placement: without lens correction the two outermost radii
    // are left out.
    height = logoCanvas->height;
    p.view = {logoCanvas->width, height};
    p.first = LogoCanvasFirstRow(height, g.outRows);
    p.rows = g.corrRows > 0 ? g.outRows : g.outRows - 2;
    if (g.corrRows > 0) p.first -= g.corrRows;
    p.fill = kFillBlack;  // the logo is the fill
    p.logoFill = true;
  } else {
    // Even, as the encoders need; the lens correction lowers the strip as far as the
    // black rows it adds above the strip would.
    height = LogoFrameHeight(g.W, false);
    p.view = {g.W, height};
    p.rows = g.outRows;
    p.first = static_cast<int32_t>(std::nearbyint((height - g.outRows) / 2.0)) - g.corrRows;
  }
  if (o.horizon < -kHorizonLimit || o.horizon > kHorizonLimit) {
    p.problem = "The horizon offset " + DegreesText(o.horizon) + " degrees is outside -" +
                std::to_string(kHorizonLimit) + " .. +" + std::to_string(kHorizonLimit) + ".";
    return p;
  }
  if (o.horizon == 0) return p;
  const int32_t moved = p.first + HorizonRows(o.horizon, height);
  if (moved < 0 || moved + p.rows > height) {
    int32_t low = 0, high = 0;
    const std::string frame = std::to_string(p.view.width) + "x" + std::to_string(height);
    p.problem = "The horizon offset " + DegreesText(o.horizon) + " degrees moves the " +
                std::to_string(p.rows) + "-row strip out of the " + frame + " frame; ";
    p.problem += HorizonRange(p.first, p.rows, height, low, high)
                     ? "this movie's Cut Area allows " + DegreesText(low) + " .. " +
                           DegreesText(high) + " degrees."
                     : "this movie's Cut Area allows no offset (use 0).";
    return p;
  }
  p.first = moved;
  return p;
}

std::string ProjectionLogText(const ProjectionPlan& p, int32_t horizon) {
  if (!p.equirect) return "PROJECTION = strip";
  return "PROJECTION = equirect " + std::to_string(p.view.width) + "x" +
         std::to_string(p.view.height) + ", fill " +
         (p.logoFill            ? "logo"
          : p.fill == kFillSoft ? "soft"
                                : "black") +
         ", horizon " + std::to_string(horizon);
}

std::string PrepareOutputLayout(const UnwrapGeometry& g, const ProjectionOptions& o,
                                FrameImage* logoCanvas, OutputLayout& layout) {
  layout.plan = PlanProjection(g, o, logoCanvas);
  layout.logoCanvas = logoCanvas;
  const ProjectionPlan& p = layout.plan;
  if (!p.problem.empty()) return p.problem;
  if (logoCanvas != nullptr && logoCanvas->width != g.W) {
    layout.plan.problem = "The logo frame is not as wide as the panorama.";
    return layout.plan.problem;
  }
  if (p.equirect && logoCanvas == nullptr && p.fill == kFillSoft) {
    // The same band as AssembleProjectedView keeps.
    const int32_t from = std::clamp(p.first, 0, p.view.height);
    const int32_t to = std::clamp(p.first + p.rows, from, p.view.height);
    layout.soft.Prepare(g.W, from, p.view.height - to);
  }
  return {};
}

size_t AssembleProjectedView(const UnwrapGeometry& g, const FrameImage& panorama, int32_t flipMode,
                             OutputLayout& layout, uint8_t* out) {
  const ProjectionPlan& p = layout.plan;
  if (!p.equirect) return AssembleView(g, panorama, flipMode, nullptr, out);
  const int32_t height = p.view.height;
  const size_t w = static_cast<size_t>(g.W);
  const size_t rowBytes = w * 4;
  auto* frame = reinterpret_cast<uint32_t*>(out);
  // The band's rows that lie in the frame.
  const int32_t from = std::clamp(p.first, 0, height);
  const int32_t to = std::clamp(p.first + p.rows, from, height);
  // A vertical flip leaves out the two rows at the other end of the panorama part.
  const int32_t skipped = (flipMode & 2) != 0 ? g.outRows - p.rows : 0;
  const uint32_t* part =
      panorama.pixels.data() + static_cast<size_t>(FirstPanoramaRow(g, flipMode)) * w;
  if (to > from) {
    std::memcpy(frame + static_cast<size_t>(from) * w,
                part + static_cast<size_t>(skipped + from - p.first) * w,
                rowBytes * static_cast<size_t>(to - from));
  }
  const size_t belowBytes = rowBytes * static_cast<size_t>(from);
  const size_t aboveStart = static_cast<size_t>(to);
  const size_t aboveBytes = rowBytes * (static_cast<size_t>(height) - aboveStart);
  if (layout.logoCanvas != nullptr) {
    const uint8_t* canvas = layout.logoCanvas->Bytes();
    std::memcpy(out, canvas, belowBytes);
    std::memcpy(out + aboveStart * rowBytes, canvas + aboveStart * rowBytes, aboveBytes);
  } else if (p.fill == kFillSoft && to > from) {
    layout.soft.Render(frame + static_cast<size_t>(from) * w,
                       frame + static_cast<size_t>(to - 1) * w, frame, to - from);
  } else {
    std::memset(out, 0, belowBytes);
    std::memset(out + aboveStart * rowBytes, 0, aboveBytes);
  }
  return rowBytes * static_cast<size_t>(height);
}

}  // namespace corvinex
