#include <cstring>

#include "convert/conversion_run.h"
#include "transform/pixel_ratio_fix.h"

namespace corvinex {

// Frames arrive on the feed's thread: each is taken in (with the aspect fix when
// it is on), processed under the next frame number, and counted.
bool RunGraphRoute(ConversionRun& run) {
  ConversionContext& ctx = run.ctx;
  GraphFeed& feed = *ctx.graph;
  const bool aspectFix = ctx.settings.ASPECT != 0;
  feed.SetFrameCallback([&run, aspectFix](const uint8_t* data, size_t length) {
    if (data == nullptr || length == 0) return;
    FrameImage& frame = run.frame;
    bool taken;
    if (aspectFix) {
      // Copied out first so that the resampler reads aligned words; the buffer
      // is sized once, before the first frame.
      if (length < frame.ByteSize()) return;
      std::memcpy(run.sample.data(), data, frame.ByteSize());
      taken = FixAspect(run.sample.data(), run.sample.size(), frame, kAspectIntakeFactor);
    } else {
      taken = IntakeSample(data, length, frame);
    }
    if (!taken) return;
    const int32_t number = run.ctx.progress.framesDone.load();
    ProcessFrame(run.pipeline, run.PublishedOptions(), number);
    run.firstFrameDone = 1;
    std::lock_guard lock(run.progressMutex);
    ProgressFrame(run.ctx.progress, run.ctx.clock(), true);
  });

  run.PublishOptions();
  run.firstFrameDone = 0;
  {
    std::lock_guard lock(run.progressMutex);
    // The clock starts when the frames start to flow.
    ctx.progress.batchStart = ctx.progress.runStart = ctx.clock();
  }
  feed.Run();

  int32_t passes = 0;
  int32_t stalls = 0;
  int32_t lastSeen = -1;
  bool stopped = false;
  for (;;) {
    ctx.ui.Pump(10);
    if (ctx.stopRequest.load() == 1) {
      stopped = true;
      break;
    }
    ctx.ui.Pump(10);
    run.PublishOptions();  // a change the user just made applies from the next frame
    const int32_t shown = ctx.progress.framesDone.load();
    if (++passes > 32) {
      {
        std::lock_guard lock(run.progressMutex);
        ProgressTick(ctx.progress, shown, shown);
      }
      run.ShowProgress();
      passes = 0;
      if (shown != lastSeen) {
        lastSeen = shown;
        stalls = 0;
      } else {
        ++stalls;
      }
    }
    // A frame that could not be written ends the loop: the rest would be lost too.
    if (feed.TakeEndOfMovie() || stalls > 12 || run.spool->Stats().failed > 0) break;
    ctx.ui.Pump(10);
  }
  // After this returns no frame is being processed any more.
  feed.SetFrameCallback({});
  feed.Pause();
  return !stopped;
}

}  // namespace corvinex
