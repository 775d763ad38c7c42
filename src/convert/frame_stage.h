#pragma once
// Hands decoded frames from the decoder's thread to a processing thread, so that the
// next frame is decoded and converted while this one is unwrapped. The queue is
// bounded by a fixed set of frame buffers that go round: a full queue holds the
// decoder back, and a steady run allocates nothing. Frames are processed one at a
// time, in the order they were offered, each once the next one is queued (or the
// end of the frames declared): the work learns when its frame leaves the screen.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transform/frame_image.h"

namespace corvinex {

class FrameStage {
 public:
  // Called on the processing thread with each offered frame, its time and the next
  // frame's time (kNoNext for the last); the frame may be changed or swapped with
  // another of the same size.
  using Work = std::function<void(FrameImage& frame, int64_t time, int64_t nextTime)>;
  static constexpr int64_t kNoNext = INT64_MIN;

  // `buffers` frames of width x height go round (at least 2: one processed while the
  // next waits; a third lets the decoder fill one meanwhile).
  FrameStage(int32_t width, int32_t height, size_t buffers, Work work);
  ~FrameStage();  // as Stop()
  FrameStage(const FrameStage&) = delete;
  FrameStage& operator=(const FrameStage&) = delete;

  // On the decoder's thread: fill(frame) writes a free buffer, waiting while none is
  // free, and returns whether the frame is good; a good one is queued. False when
  // the frame was refused or the stage has been stopped.
  template <typename Fill>
  bool Offer(Fill&& fill, int64_t time) {
    FrameImage* frame = Acquire();
    if (frame == nullptr) return false;
    const bool good = fill(*frame);
    Queue(frame, time, good);
    return good;
  }

  // No more frames come: the last one queued is processed as the last.
  void EndOfFrames();
  // Waits until every queued frame has been processed, at most `timeout`; the last
  // one waits for EndOfFrames. False once the work failed: the frames were not all
  // processed.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // Why the work failed (an exception it threw, such as running out of memory for a
  // huge movie's buffers); empty while it has not. Frames after a failure are not
  // processed, and the owner ends the run with this text.
  std::string Failure() const;
  // Drops the frames still queued and returns after the one being processed; Offer
  // refuses from then on.
  void Stop();

 private:
  struct Job {
    FrameImage* frame = nullptr;
    int64_t time = 0;
  };
  FrameImage* Acquire();
  void Queue(FrameImage* frame, int64_t time, bool good);
  void Run();

  Work work_;
  std::vector<FrameImage> frames_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<FrameImage*> free_;
  std::deque<Job> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::string failure_;
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace corvinex
