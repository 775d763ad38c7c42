#include <cstring>

#include "convert/child_process.h"
#include "convert/conversion_run.h"
#include "convert/decoded_frame.h"
#include "convert/frame_timing.h"
#include "convert/temp_files.h"
#include "settings/diagnostic_log.h"
#include "settings/whole_file.h"
#include "transform/pixel_ratio_fix.h"

namespace corvinex {

// The encoder tool decodes the movie into numbered BMPs at the run's constant rate
// (repeating or dropping frames by their timestamps, from the file's start); each is
// read back, processed under its own number, and its file is then overwritten by the
// processed frame. The loop ends after the decoder's last frame, however many it
// wrote: the expected count only tells how long to wait for the next one.
bool RunDecoderRoute(ConversionRun& run) {
  ConversionContext& ctx = run.ctx;
  const bool aspectFix = ctx.settings.ASPECT != 0;
  const int64_t expected = ExpectedOutputFrames(ctx.input);
  DecodedFrameReader reader;
  const DecodedFrameSource source{.tempFolder = ctx.tempFolder,
                                  .frameCount = expected + 2,
                                  .width = ctx.input.width,
                                  .height = ctx.input.height,
                                  .stopRequest = &ctx.stopRequest,
                                  .decoderPid = run.decoderPid};
  FrameImage grab;
  if (aspectFix) grab.Reset(ctx.input.width, ctx.input.height);

  int32_t passes = 0;
  int64_t lastProcessed = 0;
  bool stopped = false;
  for (int32_t index = 0; index < INT32_MAX - 1; ++index) {
    // Keep the window alive without waiting: the frames are the pace here.
    ctx.ui.Pump(0);
    if (ctx.stopRequest.load() == 1) {
      ctx.log.LogLine("CAVIEXIT = 1");
      stopped = true;
      break;
    }
    if (++passes > 4) {
      {
        std::lock_guard lock(run.progressMutex);
        ProgressTick(ctx.progress, index + 1, index);
      }
      run.ShowProgress();
      passes = 0;
    }
    FrameImage& target = aspectFix ? grab : run.frame;
    if (reader.LoadDecodedFrame(source, index + 1, target) == 0) {
      if (ctx.stopRequest.load() == 1) {
        ctx.log.LogLine("CAVIEXIT = 1");
        stopped = true;
        break;
      }
      // No file after the decoder's last one: the end of the movie, unless the
      // decoder gave up well before the expected count.
      if (reader.LastWasMissing() && index > 0 && index + 1 >= expected - 1) {
        // The bar is ticked every few frames only; a whole movie ends it full.
        {
          std::lock_guard lock(run.progressMutex);
          ProgressComplete(ctx.progress, static_cast<int32_t>(lastProcessed));
        }
        run.ShowProgress();
        break;
      }
      ctx.log.LogLine("RENDERX_FFMPEG ERR, numframes = " + std::to_string(expected) +
                      ", i = " + std::to_string(index));
      if (!reader.LastError().empty()) ctx.log.LogLine(reader.LastError());
      const std::string said = LastLineOf(DecoderReportPath(ctx.tempFolder));
      if (!said.empty()) ctx.log.LogLine("Frame decoder: " + said);
      break;
    }
    {
      std::lock_guard lock(run.progressMutex);
      ProgressFrame(ctx.progress, ctx.clock(), false);  // counted by the index
    }
    if (aspectFix) {
      FixAspect(grab.pixels.data(), grab.PixelCount(), run.frame, kAspectIntakeFactor);
    }
    if (ProcessFrame(run.pipeline, run.CurrentOptions(), index + 1)) lastProcessed = index + 1;
    // A frame that could not be written ends the loop: the rest would be lost too.
    if (run.spool->Stats().failed > 0) break;
  }
  ctx.log.LogLine("Frame timing: " + std::to_string(lastProcessed) + " output frame(s) of " +
                  std::to_string(expected) + " expected");
  if (!stopped) ctx.log.LogLine("END Convert Process");

  // The decoder may still be writing raw frames beyond the processed ones; they must
  // not reach the export.
  KillProcess(run.decoderPid);
  run.decoderPid = 0;
  run.spool->Finish();
  if (!stopped) RemoveSpoolFilesAfter(ctx.tempFolder, lastProcessed);
  return !stopped;
}

}  // namespace corvinex
