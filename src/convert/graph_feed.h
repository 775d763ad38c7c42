#pragma once
// The graph route's source of frames: the open movie played from its start, each
// decoded frame handed to a callback on the decoder's thread, in order.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace corvinex {

class GraphFeed {
 public:
  // Bottom-up 32-bit BGRX bytes of one frame of the movie's native size, and the
  // frame's time in 100-ns units from the first video frame.
  using FrameCallback = std::function<void(const uint8_t* data, size_t length, int64_t sampleTime)>;

  virtual ~GraphFeed() = default;
  virtual bool HasMovie() = 0;
  virtual void Pause() = 0;
  virtual void SeekToStart() = 0;
  virtual void SetFrameCallback(FrameCallback callback) = 0;  // empty removes it
  virtual void Mute() = 0;
  virtual void Run() = 0;
  // True once when the end of the movie has been reached since the last call.
  virtual bool TakeEndOfMovie() = 0;
};

}  // namespace corvinex
