#pragma once
// Where the panorama strip goes in the output picture: the strip as it is (with the
// lens-correction rows), or a 2:1 equirectangular frame as wide as the strip with the
// strip unscaled in its middle band, moved up or down by the horizon offset, and the
// rows around it filled with black, the soft fill or the logo. The conversion and the
// panorama preview both assemble their picture here from the same options.

#include <cstddef>
#include <cstdint>
#include <string>

#include "transform/frame_image.h"
#include "transform/output_assembly.h"
#include "transform/soft_fill.h"

namespace corvinex {

struct SessionOptions;
struct UnwrapGeometry;

inline constexpr int32_t kProjectionStrip = 0;
inline constexpr int32_t kProjectionEquirect = 1;
inline constexpr int32_t kFillBlack = 0;
inline constexpr int32_t kFillSoft = 1;
inline constexpr int32_t kHorizonLimit = 45;  // degrees either way

struct ProjectionOptions {
  int32_t projection = kProjectionStrip;
  int32_t fill = kFillBlack;
  int32_t horizon = 0;  // degrees; positive moves the strip up
};

ProjectionOptions ProjectionOptionsFrom(const SessionOptions& options);

// Rows the horizon moves the strip: round(degrees / 180 x frame height).
int32_t HorizonRows(int32_t degrees, int32_t frameHeight);

// The picture of one view, worked out once per run (or per preview geometry).
struct ProjectionPlan {
  ViewSize view;
  bool equirect = false;  // a 2:1 frame (always so with a logo)
  // The strip's band in the frame: panorama-part rows `skip` .. skip + rows - 1 go to
  // frame rows first .. first + rows - 1 (bottom-up); rows outside the frame are left
  // out (only ever at horizon 0, as the logo frame always did).
  int32_t first = 0;
  int32_t skip = 0;
  int32_t rows = 0;
  int32_t fill = kFillBlack;
  bool logoFill = false;  // the logo canvas fills the frame
  // Why the options cannot make this picture, with the range that would; empty when
  // they can.
  std::string problem;
};

// The logo canvas, when given, is the frame and its fill (its height rules).
ProjectionPlan PlanProjection(const UnwrapGeometry& geometry, const ProjectionOptions& options,
                              const FrameImage* logoCanvas);

// The log line of the run's picture: "PROJECTION = strip" or "PROJECTION = equirect
// 1228x614, fill soft, horizon -10".
std::string ProjectionLogText(const ProjectionPlan& plan, int32_t horizon);

// A plan with what its fill needs every frame; prepared once, then used by every frame
// without allocating.
struct OutputLayout {
  ProjectionPlan plan;
  FrameImage* logoCanvas = nullptr;
  SoftFill soft;
};

// Plans and prepares `layout`; returns the plan's problem (empty when it is usable).
std::string PrepareOutputLayout(const UnwrapGeometry& geometry, const ProjectionOptions& options,
                                FrameImage* logoCanvas, OutputLayout& layout);

// Writes the view taken from `panorama` (W x (H + 1), unwrapped with `flipMode`) to
// `out`, which must hold layout.plan.view.ByteSize() bytes; the strip projection and a
// logo at horizon 0 give exactly AssembleView's bytes. Returns the bytes written.
size_t AssembleProjectedView(const UnwrapGeometry& geometry, const FrameImage& panorama,
                             int32_t flipMode, OutputLayout& layout, uint8_t* out);

}  // namespace corvinex
