#include "convert/frame_stage.h"

#include <algorithm>
#include <exception>
#include <new>

namespace corvinex {

FrameStage::FrameStage(int32_t width, int32_t height, size_t buffers, Work work)
    : work_(std::move(work)), frames_(std::max<size_t>(buffers, 2)) {
  for (FrameImage& frame : frames_) {
    frame.Reset(width, height);
    free_.push_back(&frame);
  }
  thread_ = std::thread([this] { Run(); });
}

FrameStage::~FrameStage() {
  Stop();
}

FrameImage* FrameStage::Acquire() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty() || stopping_; });
  if (stopping_) return nullptr;
  FrameImage* frame = free_.back();
  free_.pop_back();
  return frame;
}

void FrameStage::Queue(FrameImage* frame, int64_t time, bool good) {
  {
    std::lock_guard lock(mutex_);
    if (good && !stopping_ && failure_.empty()) {
      queue_.push_back({frame, time});
    } else {
      free_.push_back(frame);
    }
  }
  changed_.notify_all();
}

void FrameStage::EndOfFrames() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  changed_.notify_all();
}

bool FrameStage::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const bool idle = changed_.wait_for(lock, timeout, [this] {
    return (queue_.empty() && !busy_) || stopping_ || !failure_.empty();
  });
  return idle && failure_.empty();
}

std::string FrameStage::Failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

void FrameStage::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const Job& job : queue_) free_.push_back(job.frame);
    queue_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void FrameStage::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock,
                  [this] { return queue_.size() > 1 || (ended_ && !queue_.empty()) || stopping_; });
    if (stopping_) return;
    const Job job = queue_.front();
    queue_.pop_front();
    const int64_t next = queue_.empty() ? kNoNext : queue_.front().time;
    busy_ = true;
    lock.unlock();
    std::string failure;
    // Thrown out of this thread it would end the program without a word.
    try {
      work_(*job.frame, job.time, next);
    } catch (const std::bad_alloc&) {
      failure = "not enough memory to process the frames";
    } catch (const std::exception& e) {
      failure = std::string("the frames could not be processed: ") + e.what();
    }
    lock.lock();
    busy_ = false;
    free_.push_back(job.frame);
    if (!failure.empty() && failure_.empty()) {
      failure_ = std::move(failure);
      for (const Job& dropped : queue_) free_.push_back(dropped.frame);
      queue_.clear();
    }
    changed_.notify_all();
  }
}

}  // namespace corvinex
