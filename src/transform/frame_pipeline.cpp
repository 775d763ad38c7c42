#include <algorithm>
#include <cstring>

#include "settings/app_settings.h"
#include "transform/output_assembly.h"
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
  const size_t full = static_cast<size_t>(g.W) * static_cast<size_t>(g.H + 1);
  const UnwrapBuffers& b = *p.buffers;
  for (const FrameImage* img : {&b.P1, &b.P2, &b.previous, &b.currentCopy}) {
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
  // The unwrap refuses a frame of another size than the geometry's.
  if (unwrap != nullptr && !unwrap(g, options.flipMode, *p.frame, b)) return false;
  CpuPause(options.adjust);
  b.cacheValid = true;

  if (options.sharpen.on) SharpenPanorama(g.W, g.H, b.P1, b.P2, options.sharpen);

  const bool stereo = options.stereo.on;
  if (stereo) {
    std::copy(b.P1.pixels.begin(), b.P1.pixels.end(), b.currentCopy.pixels.begin());
    RenderStereo(g.W, g.H, b, options.stereo);
    std::copy(b.currentCopy.pixels.begin(), b.currentCopy.pixels.end(), b.previous.pixels.begin());
  }

  const bool pair = stereo && options.stereo.pairOn;
  const ViewSize view = OutputViewSize(g, p.logoCanvas);
  const size_t viewBytes = view.ByteSize();
  OutputFrame out;
  out.number = frameNumber;
  out.width = view.width;
  out.height = pair ? 2 * view.height : view.height;
  out.bytes = p.sink->AcquireBuffer(pair ? 2 * viewBytes : viewBytes);
  out.bytes.resize(pair ? 2 * viewBytes : viewBytes);
  AssembleView(g, b.P1, p.logoCanvas, out.bytes.data());
  if (pair) AssembleView(g, b.P2, p.logoCanvas, out.bytes.data() + viewBytes);
  p.sink->Submit(std::move(out));
  return true;
}

bool IntakeSample(const uint8_t* data, size_t length, FrameImage& frame) {
  if (data == nullptr || length == 0) return false;
  std::memcpy(frame.Bytes(), data, std::min(length, frame.ByteSize()));
  return true;
}

}  // namespace corvinex
