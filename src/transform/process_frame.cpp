#include "transform/process_frame.h"

#include "transform/unwrap_geometry.h"

namespace corvinex {

bool ProcessFrame(FramePipeline& pipeline, const FrameOptions& options, int64_t frameNumber) {
  return RunFramePipeline(pipeline, options, frameNumber, UnwrapPaths{&UnwrapFast, &UnwrapQuality});
}

bool ProcessSample(FramePipeline& pipeline, const FrameOptions& options, const uint32_t* sample,
                   size_t pixelCount, int64_t frameNumber) {
  if (pipeline.frame == nullptr) return false;
  if (!IntakeSample(sample, pixelCount, options.fixAspect, *pipeline.frame)) return false;
  return ProcessFrame(pipeline, options, frameNumber);
}

}  // namespace corvinex
