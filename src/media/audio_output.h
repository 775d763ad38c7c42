#pragma once
// Where the frame source plays a movie's sound. The main window plugs a sound
// device in; the batch tool and the tests plug in nothing (or a recorder).

#include <cstddef>
#include <cstdint>

namespace corvinex {

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Interleaved signed 16-bit samples at this rate and channel count follow.
  virtual void Start(int32_t sampleRate, int32_t channels) = 0;
  // `frames` sample frames (frames x channels values). Called on the decode thread.
  virtual void Write(const int16_t* samples, size_t frames) = 0;
  // Drops whatever is queued: pause, seek, mute, close.
  virtual void Flush() = 0;
};

}  // namespace corvinex
