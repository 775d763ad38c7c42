#pragma once
// The per-frame pipeline of a conversion: adjustments on the doughnut, unwrap,
// sharpening, stereo and the assembly of the output frame, which goes to a FrameSink.

#include <cstddef>
#include <cstdint>

#include "transform/adjust_frame.h"
#include "transform/frame_image.h"
#include "transform/frame_sink.h"
#include "transform/sharpen.h"
#include "transform/stereo.h"

namespace corvinex {

struct AppSettings;
struct SessionOptions;
struct UnwrapGeometry;
struct UnwrapBuffers;
struct OutputLayout;

// The options one frame is processed with; the caller takes this snapshot per frame
// so that the user's changes apply from the next frame.
struct FrameOptions {
  AdjustOptions adjust;
  SharpenOptions sharpen;
  StereoOptions stereo;
  bool fastUnwrap = false;  // OS_PREVIEW
  int32_t flipMode = 0;     // 1 horizontal | 2 vertical
};

FrameOptions FrameOptionsFrom(const AppSettings& settings, const SessionOptions& session);

// What one run works on. Everything is prepared before the first frame; the pipeline
// itself allocates nothing (the sink hands out recycled output buffers).
struct FramePipeline {
  const UnwrapGeometry* geometry = nullptr;
  UnwrapBuffers* buffers = nullptr;
  FrameImage* frame = nullptr;  // the frame buffer, Fw x Fh
  FrameSink* sink = nullptr;
  // W x E canvas holding the scaled logo when a logo is present; the panorama rows are
  // written into it every frame.
  FrameImage* logoCanvas = nullptr;
  // The run's projection (it holds the logo canvas then); without it the strip, or the
  // logo frame above.
  OutputLayout* layout = nullptr;
  AdjustedFrameHook afterAdjust;  // doughnut preview and progress drawing
};

using UnwrapFunction = bool (*)(const UnwrapGeometry&, int32_t, const FrameImage&, UnwrapBuffers&);

struct UnwrapPaths {
  UnwrapFunction fast = nullptr;
  UnwrapFunction quality = nullptr;
};

// True when the geometry, buffers and frame fit together so that no step can read or
// write outside a buffer.
bool PipelineReady(const FramePipeline& pipeline);

// The frame in the frame buffer through adjustments, `paths` unwrap, sharpening, stereo
// and output assembly; the output frame goes to the sink under `frameNumber`. Returns
// false, doing nothing, when the pipeline is not ready.
bool RunFramePipeline(FramePipeline& pipeline, const FrameOptions& options, int64_t frameNumber,
                      const UnwrapPaths& paths);

// RunFramePipeline with UnwrapFast and UnwrapQuality.
bool ProcessFrame(FramePipeline& pipeline, const FrameOptions& options, int64_t frameNumber);

// Takes a decoded frame's pixels into the frame buffer by swapping them with the
// buffer's own, so that no pixel is copied. A frame of another size (a frame source out
// of step with the run) is refused (false) and both stay as they were.
bool TakeFrame(FrameImage& decoded, FrameImage& frame);

}  // namespace corvinex
