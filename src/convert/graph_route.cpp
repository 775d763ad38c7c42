#include <algorithm>
#include <charconv>
#include <string>

#include "convert/conversion_run.h"
#include "convert/frame_stage.h"
#include "convert/frame_timing.h"
#include "settings/diagnostic_log.h"
#include "transform/pixel_ratio_fix.h"

namespace corvinex {

// Frames arrive on the feed's thread, which hands each decoded picture to the frame
// stage (its pixels change hands, nothing is copied) and goes on decoding; the stage's
// thread processes them in order, in the stage's own buffers. Each takes
// the output slot of its time (see FrameSlots): slots it skips repeat the frame
// before, a frame whose slot is taken is dropped unprocessed. The taken frames are
// processed under their slot's number.
namespace {

std::string Seconds(int64_t units) {
  char text[32];
  const auto [end, error] = std::to_chars(
      text, text + sizeof text, static_cast<double>(units) / 1e7, std::chars_format::fixed, 2);
  return error == std::errc() ? std::string(text, end) + " s" : std::string();
}

// Said when the pictures end clearly before what the file states and the file's data
// ends there too (a cut file, a header that claims too much), not when only the sound
// goes on; empty otherwise.
std::string TimelineNote(int64_t pictureEnd, const GraphFeed::StatedLength& stated,
                         int64_t timePerFrame) {
  const int64_t margin = std::max<int64_t>(2 * timePerFrame, 5'000'000);
  if (stated.picture <= 0 || stated.data <= 0 || pictureEnd >= stated.picture - margin ||
      stated.data >= stated.picture - margin) {
    return {};
  }
  return "the movie ends at " + Seconds(pictureEnd) + " of the " + Seconds(stated.picture) +
         " it states";
}

}  // namespace

bool RunGraphRoute(ConversionRun& run) {
  ConversionContext& ctx = run.ctx;
  GraphFeed& feed = *ctx.graph;
  const bool aspectFix = ctx.settings.ASPECT != 0;
  // Frames stamped more than ten seconds past the picture's end, which the frame source
  // measures from the stream's own stamps rather than a header, have broken timestamps
  // (see FrameSlots): they cannot stretch the output to hours.
  const int64_t expected = ExpectedOutputFrames(ctx.input);
  const int64_t tenSeconds = ctx.input.timePerFrame > 0 ? 100'000'000 / ctx.input.timePerFrame : 0;
  FrameSlots slots(ctx.input.timePerFrame, ctx.input.pictureStart, expected + tenSeconds);
  int64_t inputFrames = 0;
  int64_t dropped = 0;
  // Counts the slots as they are filled: the progress shows output frames.
  auto countSlots = [&run](int64_t n) {
    std::lock_guard lock(run.progressMutex);
    for (int64_t i = 0; i < n; ++i) ProgressFrame(run.ctx.progress, run.ctx.clock(), true);
  };
  auto process = [&run, &slots, &inputFrames, &dropped, &countSlots](
                     FrameImage& taken, int64_t sampleTime, int64_t nextTime) {
    ++inputFrames;
    const FrameSlots::Placement place =
        slots.Place(sampleTime, nextTime == FrameStage::kNoNext ? FrameSlots::kNoNext : nextTime);
    if (place.drop) {
      slots.Commit(place);
      ++dropped;
      return;
    }
    run.pipeline.frame = &taken;
    // The gap before this frame repeats the previous one, which was submitted
    // earlier; the first frame fills the slots before its own after it.
    const bool gapFirst = place.repeatOf >= 0 && place.repeatOf != place.slot;
    if (gapFirst) {
      run.spool->Repeat(place.repeatOf, place.repeatFirst, place.repeatLast);
      countSlots(place.Repeats());
    }
    if (!ProcessFrame(run.pipeline, run.PublishedOptions(), place.slot)) {
      // Nothing was written under this number: the frame before stands in, as a
      // gap in the numbers would end the export's sequence there.
      if (slots.LastProcessed() < 0) return;  // the next frame is the first
      run.spool->Repeat(slots.LastProcessed(), place.slot, place.slot);
    }
    slots.Commit(place);
    run.firstFrameDone = 1;
    countSlots(1);
    if (place.repeatOf >= 0 && !gapFirst) {
      run.spool->Repeat(place.repeatOf, place.repeatFirst, place.repeatLast);
      countSlots(place.Repeats());
    }
  };
  // Three buffers go round: the frame being processed, the next one (whose time tells
  // when this one leaves the screen) and the one the decoder converts meanwhile; more
  // would only hold more 8 MB frames at 1080p.
  FrameStage stage(ctx.input.width, ctx.input.height, 3, process);
  feed.SetFrameCallback([&stage, aspectFix](FrameImage& decoded, int64_t sampleTime) {
    stage.Offer(
        [&](FrameImage& frame) {
          if (aspectFix) {
            return decoded.PixelCount() == frame.PixelCount() &&
                   FixAspect(decoded.pixels.data(), decoded.PixelCount(), frame,
                             kAspectIntakeFactor);
          }
          return TakeFrame(decoded, frame);
        },
        sampleTime);
  });

  // With no preview to show them, only the part of the frames the unwrap reads is
  // converted from the movie; the aspect fix and the noise filter read whole frames.
  const bool partOnly = ctx.unwrapReadsFramesOnly && !aspectFix && ctx.settings.NOISE_CH == 0 &&
                        run.pipeline.geometry != nullptr;
  feed.SetFramePartRead(partOnly
                            ? FramePartRead(*run.pipeline.geometry, ctx.options.OS_PREVIEW != 0)
                            : PicturePart{});

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
  // About a second a stall. A wide panorama on a busy machine, or a slow encoder (H.265
  // at 8K holds the pipe for seconds a frame), may take many seconds a frame, all of it
  // progress: the patience grows with the frame's pixels, and is never under 20 s.
  const int64_t framePixels =
      run.pipeline.geometry ? int64_t{run.pipeline.geometry->W} * run.pipeline.geometry->H : 0;
  const int64_t stallLimit = std::max<int64_t>(20, 12 * (framePixels / (1 << 20)));
  int32_t lastSeen = -1;
  bool stopped = false;
  bool ended = false;
  bool allOffered = false;
  for (;;) {
    ctx.ui.PaceFrameLoop(10);
    if (ctx.stopRequest.load() == 1) {
      stopped = true;
      break;
    }
    ctx.ui.PaceFrameLoop(10);
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
    // At the movie's end every frame has been offered; the last ones may still be in
    // the stage.
    if (!allOffered && (allOffered = feed.TakeEndOfMovie())) stage.EndOfFrames();
    if (allOffered && stage.WaitIdle(std::chrono::milliseconds(10))) {
      ended = true;
      break;
    }
    // A frame that could not be written or processed ends the loop: the rest would
    // be lost too.
    if (run.spool->Stats().failed > 0) break;
    if (stalls > stallLimit) {
      // Ending here leaves frames out: the run must not pass for a whole movie.
      run.frameFailure = "no frame was finished for " + std::to_string(stalls) +
                         " seconds: the movie's decoder or the encoder stopped answering, and "
                         "the conversion was ended with frames missing";
      break;
    }
    if (run.frameFailure = stage.Failure(); !run.frameFailure.empty()) break;
    ctx.ui.PaceFrameLoop(10);
  }
  // After these return no frame is being processed any more. The stage goes first: a
  // decoder waiting for one of its buffers is let go.
  stage.Stop();
  run.pipeline.frame = &run.frame;  // the stage's buffers go with it
  feed.SetFrameCallback({});
  feed.SetFramePartRead({});
  feed.Pause();
  // The bar is ticked every few passes only; a whole movie ends it full.
  if (ended) {
    {
      std::lock_guard lock(run.progressMutex);
      ProgressComplete(ctx.progress, ctx.progress.framesDone.load());
    }
    run.ShowProgress();
  }
  // The output ends with the last frame: a stated duration neither pads nor cuts it.
  if (ended) {
    const int64_t pictureEnd = slots.Filled() * ctx.input.timePerFrame - ctx.input.pictureStart;
    run.outcome.timelineNote = TimelineNote(pictureEnd, feed.Stated(), ctx.input.timePerFrame);
    if (!run.outcome.timelineNote.empty()) ctx.log.LogLine("Timeline: " + run.outcome.timelineNote);
  }
  ctx.log.LogLine("Frame timing: " + std::to_string(inputFrames) + " input frame(s), " +
                  std::to_string(slots.Filled()) + " output frame(s), " + std::to_string(dropped) +
                  " dropped");
  return !stopped;
}

}  // namespace corvinex
