#include "transform/process_frame.h"

#include "transform/unwrap_geometry.h"

namespace corvinex {

bool ProcessFrame(FramePipeline& pipeline, const FrameOptions& options, int64_t frameNumber) {
  return RunFramePipeline(pipeline, options, frameNumber, UnwrapPaths{&UnwrapFast, &UnwrapQuality});
}

}  // namespace corvinex
