#include "transform/preview_output.h"

#include <algorithm>

#include "transform/output_assembly.h"
#include "transform/stereo.h"

namespace corvinex {
namespace {

void Fit(FrameImage& image, int32_t width, int32_t height) {
  if (image.width != width || image.height != height) image.Reset(width, height);
}

bool SameOptions(const ProjectionOptions& a, const ProjectionOptions& b) {
  return a.projection == b.projection && a.fill == b.fill && a.horizon == b.horizon;
}

// Prepares the layout when anything it was made from has changed; the soft fill's
// tables are worth keeping from one preview frame to the next.
void KeepLayout(const UnwrapGeometry& g, const ProjectionOptions& wanted, FrameImage* canvas,
                PreviewOutput& out) {
  const int32_t canvasHeight = canvas != nullptr ? canvas->height : -1;
  if (out.layoutReady && out.layoutGeometry == g && SameOptions(out.layoutOptions, wanted) &&
      out.layoutCanvas == canvas && out.layoutCanvasHeight == canvasHeight) {
    out.layout.logoCanvas = canvas;
    return;
  }
  ProjectionOptions options = wanted;
  if (!PlanProjection(g, options, canvas).problem.empty()) options.horizon = 0;
  if (!PrepareOutputLayout(g, options, canvas, out.layout).empty()) {
    options = {};  // nothing else left to show: the plain strip
    PrepareOutputLayout(g, options, canvas, out.layout);
  }
  out.layoutOptions = wanted;
  out.layoutGeometry = g;
  out.layoutCanvas = canvas;
  out.layoutCanvasHeight = canvasHeight;
  out.layoutReady = true;
}

}  // namespace

bool AssemblePreviewOutput(const UnwrapGeometry& g, const FrameImage& panorama,
                           const FrameOptions& options, bool still, FrameImage* logoCanvas,
                           PreviewOutput& out, const ProjectionOptions& projection) {
  if (g.W < 1 || g.H < 1 || g.outRows < 1 || g.outRows > g.H || g.corrRows < 0) return false;
  const size_t full = static_cast<size_t>(g.W) * static_cast<size_t>(g.H + 1);
  if (panorama.width != g.W || panorama.PixelCount() < full) return false;
  // A canvas made for another width would take no strip; the plain layout shows instead.
  if (logoCanvas != nullptr && (logoCanvas->width != g.W || logoCanvas->height < 1)) {
    logoCanvas = nullptr;
  }

  const bool stereoOn = options.stereo.on;
  const bool pair = stereoOn && options.stereo.pairOn;
  const FrameImage* first = &panorama;
  const FrameImage* second = nullptr;
  if (stereoOn) {
    UnwrapBuffers& b = out.stereo;
    if (b.P1.width != g.W || b.P1.height != g.H + 1) out.hasPrevious = false;
    for (FrameImage* image : {&b.P1, &b.P2, &b.previous, &b.stereoA, &b.stereoB}) {
      Fit(*image, g.W, g.H + 1);
    }
    // As in a run, a previous panorama that does not exist yet is black.
    if (!out.hasPrevious) std::fill(b.previous.pixels.begin(), b.previous.pixels.end(), 0u);
    std::copy_n(panorama.pixels.begin(), full, b.P1.pixels.begin());
    StereoOptions stereo = options.stereo;
    if (still) stereo.type = StereoType::Static;
    if (!RenderStereo(g.W, g.H, b, stereo)) return false;
    std::copy_n(panorama.pixels.begin(), full, b.previous.pixels.begin());
    out.hasPrevious = true;
    first = &b.P1;
    if (pair) second = &b.P2;
  } else {
    out.hasPrevious = false;  // stereo turned on later starts from black, as a run does
  }

  KeepLayout(g, projection, logoCanvas, out);
  const ViewSize view = out.layout.plan.view;
  Fit(out.picture, view.width, pair ? 2 * view.height : view.height);
  auto* bytes = out.picture.Bytes();
  AssembleProjectedView(g, *first, options.flipMode, out.layout, bytes);
  if (second != nullptr) {
    AssembleProjectedView(g, *second, options.flipMode, out.layout, bytes + view.ByteSize());
  }
  return true;
}

}  // namespace corvinex
