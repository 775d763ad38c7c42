#include "convert/frame_source_feed.h"

namespace corvinex {

void FrameSourceFeed::SetFrameCallback(FrameCallback callback) {
  if (!callback) {
    source_.SetFrameCallback({});
    std::lock_guard lock(mutex_);
    callback_ = {};
    return;
  }
  {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
  }
  source_.SetFrameCallback([this](FrameImage& frame, int64_t time) {
    std::lock_guard lock(mutex_);
    if (callback_) callback_(frame, time);
  });
}

}  // namespace corvinex
