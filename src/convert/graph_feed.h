#pragma once
// The graph route's source of frames: the open movie played from its start, each
// decoded frame handed to a callback on the decoder's thread, in order.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "transform/frame_image.h"

namespace corvinex {

class GraphFeed {
 public:
  // One frame of the movie's native size (bottom-up 32-bit BGRX), and its time in
  // 100-ns units from the first video frame. The callback may keep the pixels by
  // swapping them for a vector of the same size.
  using FrameCallback = std::function<void(FrameImage& frame, int64_t sampleTime)>;

  virtual ~GraphFeed() = default;
  virtual bool HasMovie() = 0;
  virtual void Pause() = 0;
  virtual void SeekToStart() = 0;
  virtual void SetFrameCallback(FrameCallback callback) = 0;  // empty removes it
  virtual void Mute() = 0;
  virtual void Run() = 0;
  // True once when the end of the movie has been reached since the last call.
  virtual bool TakeEndOfMovie() = 0;
  // Only this part of each frame need be converted from the movie (empty: all).
  virtual void SetFramePartRead(const PicturePart& /*part*/) {}

  // What the file states of the picture's length, and how far its data (of any
  // stream) reaches: 100-ns units from the picture's start, 0 when unknown.
  struct StatedLength {
    int64_t picture = 0;
    int64_t data = 0;
  };
  virtual StatedLength Stated() { return {}; }
};

}  // namespace corvinex
