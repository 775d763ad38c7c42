#pragma once
// Where the per-frame pipeline hands each finished output frame. The sink owns
// the bytes it receives, so the pipeline may reuse its own buffers at once.

#include <cstdint>
#include <vector>

namespace corvinex {

struct OutputFrame {
  int64_t number = 0;          // frame number the file is named after
  int32_t width = 0;           // picture width in pixels
  int32_t height = 0;          // picture height (both views of a stereo pair)
  std::vector<uint8_t> bytes;  // bottom-up BGRX rows, view 1 then view 2
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // A buffer of at least `size` bytes capacity to fill; sinks recycle the buffers
  // of frames already written so that steady state allocates nothing.
  virtual std::vector<uint8_t> AcquireBuffer(size_t size) = 0;
  // Takes ownership of the frame. Frames arrive in frame-number order.
  virtual void Submit(OutputFrame&& frame) = 0;
};

}  // namespace corvinex
