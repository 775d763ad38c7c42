#include <algorithm>
#include <cstring>

#include "settings/app_settings.h"
#include "transform/output_assembly.h"
#include "transform/output_projection.h"
#include "transform/process_frame.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

FrameOptions FrameOptionsFrom(const AppSettings& settings, const SessionOptions& session) {
  FrameOptions o;
  o.adjust = AdjustOptionsFrom(settings);
  o.sharpen = SharpenOptionsFrom(settings);
  o.stereo = StereoOptionsFrom(settings, session);
  o.fastUnwrap = session.OS_PREVIEW != 0;
  o.flipMode = session.FLIP_MODE & 3;
  return o;
}

namespace {

size_t PanoramaPixels(const UnwrapGeometry& g) {
  return static_cast<size_t>(g.W) * static_cast<size_t>(g.H + 1);
}

// The previous-panorama buffer keeps this frame's panorama as it was before stereo.
// The stereo buffers are sized here, once, by the first frame with stereo on; a
// previous panorama that did not exist yet is black.
void StereoStep(const UnwrapGeometry& g, UnwrapBuffers& b, const StereoOptions& stereo) {
  const size_t full = PanoramaPixels(g);
  for (FrameImage* img : {&b.previous, &b.currentCopy, &b.stereoA, &b.stereoB}) {
    if (img->width != g.W || img->PixelCount() < full) img->Reset(g.W, g.H + 1);
  }
  std::copy_n(b.P1.pixels.begin(), full, b.currentCopy.pixels.begin());
  RenderStereo(g.W, g.H, b, stereo);
  std::copy_n(b.currentCopy.pixels.begin(), full, b.previous.pixels.begin());
}

// The panorama rows that reach the output: the panorama part, plus the row beside it
// whose pixels the sharpening reads. Stereo works on the whole panorama.
void WantOutputRows(const UnwrapGeometry& g, const FrameOptions& options, UnwrapBuffers& b) {
  b.rowsFrom = 0;
  b.rowsTo = INT32_MAX;
  if (options.stereo.on) return;
  const int32_t margin = options.sharpen.on ? 1 : 0;
  if ((options.flipMode & 2) != 0) {
    b.rowsTo = g.outRows + margin;  // the internal circle's rows are at the bottom
  } else {
    b.rowsFrom = FirstPanoramaRow(g, options.flipMode) - margin;
  }
}

// View 1 from P1, then view 2 from P2 for the stereo pair, into a buffer of the sink's.
// Both views keep the same panorama rows as the preview for the frame's flip mode.
void SubmitOutput(FramePipeline& p, bool pair, int32_t flipMode, int64_t frameNumber) {
  const UnwrapGeometry& g = *p.geometry;
  const ViewSize view = p.layout != nullptr ? p.layout->plan.view : OutputViewSize(g, p.logoCanvas);
  const size_t viewBytes = view.ByteSize();
  const size_t total = pair ? 2 * viewBytes : viewBytes;
  OutputFrame out;
  out.number = frameNumber;
  out.width = view.width;
  out.height = pair ? 2 * view.height : view.height;
  out.bytes = p.sink->AcquireBuffer(total);
  out.bytes.resize(total);
  const auto assemble = [&](const FrameImage& panorama, uint8_t* to) {
    if (p.layout != nullptr) {
      AssembleProjectedView(g, panorama, flipMode, *p.layout, to);
    } else {
      AssembleView(g, panorama, flipMode, p.logoCanvas, to);
    }
  };
  assemble(p.buffers->P1, out.bytes.data());
  if (pair) assemble(p.buffers->P2, out.bytes.data() + viewBytes);
  p.sink->Submit(std::move(out));
}

}  // namespace

bool PipelineReady(const FramePipeline& p) {
  if (p.geometry == nullptr || p.buffers == nullptr || p.frame == nullptr || p.sink == nullptr) {
    return false;
  }
  const UnwrapGeometry& g = *p.geometry;
  if (g.W < 1 || g.H < 1 || g.cutRows < 0 || g.cutRows >= g.H || g.outRows != g.H - g.cutRows ||
      g.corrRows < 0) {
    return false;
  }
  if (p.frame->width != g.Fw || p.frame->height != g.Fh) return false;
  const size_t full = PanoramaPixels(g);
  const UnwrapBuffers& b = *p.buffers;
  for (const FrameImage* img : {&b.P1, &b.P2}) {
    if (img->PixelCount() < full) return false;
  }
  return true;
}

bool RunFramePipeline(FramePipeline& p, const FrameOptions& options, int64_t frameNumber,
                      const UnwrapPaths& paths) {
  if (!PipelineReady(p)) return false;
  const UnwrapGeometry& g = *p.geometry;
  UnwrapBuffers& b = *p.buffers;

  AdjustFrame(*p.frame, options.adjust, p.afterAdjust);

  // The design's real-time priority window around the unwrap is dropped.
  const UnwrapFunction unwrap = options.fastUnwrap ? paths.fast : paths.quality;
  WantOutputRows(g, options, b);
  // The unwrap refuses a frame of another size than the geometry's.
  if (unwrap != nullptr && !unwrap(g, options.flipMode, *p.frame, b)) return false;
  CpuPause(options.adjust);  // each unwrap path ends with the pause
  b.cacheValid = true;

  if (options.sharpen.on) SharpenPanorama(g.W, g.H, b.P1, b.P2, options.sharpen);
  if (options.stereo.on) StereoStep(g, b, options.stereo);
  SubmitOutput(p, options.stereo.on && options.stereo.pairOn, options.flipMode, frameNumber);
  return true;
}

bool TakeFrame(FrameImage& decoded, FrameImage& frame) {
  if (decoded.width != frame.width || decoded.height != frame.height ||
      decoded.pixels.size() != frame.pixels.size() || frame.pixels.empty()) {
    return false;
  }
  std::swap(decoded.pixels, frame.pixels);
  return true;
}

}  // namespace corvinex
