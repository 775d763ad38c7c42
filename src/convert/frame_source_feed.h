#pragma once
// The graph route's frames from the FFmpeg frame source.

#include <mutex>

#include "convert/graph_feed.h"
#include "media/frame_source.h"

namespace corvinex {

class FrameSourceFeed : public GraphFeed {
 public:
  explicit FrameSourceFeed(FrameSource& source) : source_(source) {}
  ~FrameSourceFeed() override { SetFrameCallback({}); }

  bool HasMovie() override { return source_.IsOpen(); }
  void Pause() override { source_.Pause(); }
  void SeekToStart() override { source_.Seek(0); }
  // Once an empty callback is set, no earlier callback is still running.
  void SetFrameCallback(FrameCallback callback) override;
  void Mute() override { source_.SetMute(true); }
  // The run starts at the first frame, which the callback must receive too.
  void Run() override {
    source_.Seek(0);
    source_.Play();
  }
  bool TakeEndOfMovie() override { return source_.PollEndOfMovie(); }
  void SetFramePartRead(const PicturePart& part) override { source_.SetConvertedPart(part); }
  StatedLength Stated() override {
    const FrameSource::StatedTimeline t = source_.Stated();
    return {.picture = t.picture, .data = t.data};
  }

 private:
  FrameSource& source_;
  std::mutex mutex_;
  FrameCallback callback_;
};

}  // namespace corvinex
