#include "convert/convert_movie.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <new>
#include <system_error>

#include "convert/child_process.h"
#include "convert/conversion_run.h"
#include "convert/frame_timing.h"
#include "convert/free_space.h"
#include "convert/leftovers.h"
#include "convert/sound_extract.h"
#include "convert/tee_sink.h"
#include "convert/temp_files.h"
#include "media/movie_info.h"
#include "settings/diagnostic_log.h"
#include "transform/output_assembly.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

std::string LocalClockText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

void ClearMovieLabels(ConversionUi& ui) {
  for (int32_t id : {303, 304, 305, 306, 307, 309, 409}) ui.SetLabel(id, "");
  ui.ClearMovieInformation();
}

int32_t OutputHeight(const ConversionRun& run) {
  const int32_t view = run.layout.plan.view.height;
  return PairOut(run) ? 2 * view : view;
}

// The panorama area follows the run: the panorama in P1 (the last frame's, since this
// runs after the doughnut's adjustments) with the progress text over it.
void OfferPreview(ConversionRun& run) {
  ConversionContext& ctx = run.ctx;
  if (!ctx.ui.WantsConvertedFrame()) return;
  const OverlayInfo info{.lensName = ctx.lensName,
                         .resizeStep = ctx.options.RESIZE,
                         .transformMode = ctx.settings.DSSETUP,
                         .stereoOn = run.frameOptions.stereo.on,
                         .stereoType = ctx.options.STEREO_TYPE};
  std::vector<OverlayLine> lines;
  {
    std::lock_guard lock(run.progressMutex);
    lines = ProgressOverlayLines(ctx.progress, info);
  }
  ctx.ui.ShowConvertedFrame({.geometry = run.outcome.geometry,
                             .panorama = run.buffers.P1,
                             .flipVertical = (run.frameOptions.flipMode & 2) != 0,
                             .lines = lines});
}

void CommonEnd(ConversionRun& run) {
  ConversionContext& ctx = run.ctx;
  // The spool writer has finished and the decoder has ended: nothing can still be
  // writing a frame, so one pass suffices.
  CleanTemp(ctx.tempFolder, CleanTempOptions{.keepAvi = true, .settle = {}});
  run.buffers = UnwrapBuffers{};
  {
    std::lock_guard lock(run.progressMutex);
    ctx.progress.estimateText = "00.00.00";
    ctx.progress.passedText = "00.00.00";
    ctx.progress.frameLabel.clear();
    ProgressEnd(ctx.progress);
  }
  ctx.ui.SetCutAreaEnabled(true);
  ctx.log.LogLine("Convert Movie End " + LocalClockText());
  ctx.ui.SetLabel(307, "");
  run.ShowProgress();
}

void ResetProgress(ConversionRun& run) {
  ConversionContext& ctx = run.ctx;
  std::lock_guard lock(run.progressMutex);
  ctx.progress.batchCounter = 0;
  ctx.progress.batchStart = 0;
  ctx.progress.runStart = 0;
  ctx.progress.framesDone = 0;
  ctx.progress.frameCount =
      static_cast<int32_t>(std::min<int64_t>(ExpectedOutputFrames(ctx.input), INT32_MAX));
  ctx.progress.estimateText = "00.00.00";
  ctx.progress.passedText = "00.00.00";
}

// The movie to the start, the old temporary files away, the movie's labels shown.
void PrepareMovie(ConversionRun& run, const std::string& output) {
  ConversionContext& ctx = run.ctx;
  if (!run.decoderRoute) {
    ctx.progress.barWidth = 0;
    run.ShowProgress();
    ctx.graph->Pause();
    ctx.graph->SeekToStart();
  }
  ctx.log.LogLine("Set Stream to 0 position");
  if (run.decoderRoute) {
    ctx.ui.Sleep(10);
  } else {
    ctx.ui.Pump(10);
  }
  // What runs killed before they finished left beside the output.
  const fs::path folder = fs::path(output).parent_path();
  if (!ctx.framesOnly) RemoveLeftoversOfDeadRuns(folder.empty() ? fs::path(".") : folder);
  // No writer of this run has started yet.
  CleanTemp(ctx.tempFolder, CleanTempOptions{.keepAvi = true, .settle = {}});
  ctx.ui.Pump(10);
  if (ctx.ui.WindowHeight() > 860) ctx.ui.SetCutAreaEnabled(false);

  ctx.ui.SetLabel(303, " " + output + " ");
  ctx.ui.SetLabel(304, std::to_string(ctx.input.width) + "x" + std::to_string(ctx.input.height));
  ctx.ui.SetLabel(305, FrameRateText(ctx.input.timePerFrame) + " fps");
  ctx.ui.SetLabel(306, std::to_string(ctx.input.frameCount));
  ctx.ui.SetLabel(409, ctx.input.durationText);
}

// Where the frames go: the encoder's pipe in one pass, else the spool (which also
// feeds an encoder for the first export where one starts). False when nothing can
// take them; the user has been told why.
bool StartSink(ConversionRun& run, const std::string& output) {
  ConversionContext& ctx = run.ctx;
  const std::string input = TrimPathText(ctx.input.moviePath);
  const fs::path frameFolder = ctx.frameFolder.empty() ? ctx.tempFolder : ctx.frameFolder;
  if (run.onePass) {
    run.spool = StartPipedEncoder(run, input, output);
    if (run.spool) return true;
    run.outcome.status = ConversionStatus::ExportFailed;
    run.outcome.output = output;
    ctx.log.LogLine("One pass: " + run.startError);
    ctx.ui.Message("Error Monitoring",
                   "The movie could not be written:\r\n" +
                       (run.outputUnwritable ? run.startError
                                             : std::string("The encoder could not be started.")),
                   MessageIcon::Stop, false);
    return false;
  }
  if (const std::string problem = SpoolSpaceProblem(run, frameFolder); !problem.empty()) {
    ctx.log.LogLine(problem);
    ctx.ui.Message("Error Monitoring", problem, MessageIcon::Stop, false);
    return false;
  }
  auto spool = std::make_unique<SpoolWriter>(frameFolder, &ctx.log);
  if (!ctx.framesOnly) {
    // The first export is encoded while the frames are made; the spooled frames stay
    // for another compression, or for the export should this encoder fail.
    if (auto pipe = StartPipedEncoder(run, input, output)) {
      auto tee = std::make_unique<TeeSink>(std::move(spool), std::move(pipe));
      run.tee = tee.get();
      run.spool = std::move(tee);
      return true;
    }
    ctx.log.LogLine("Encoding while spooling: " + run.startError);
  }
  run.spool = std::move(spool);
  return true;
}

// Geometry, the frames' destination, the pipeline and the children that run beside
// the frame loop. False when the run cannot go on.
bool PrepareRun(ConversionRun& run, const std::string& output) {
  ConversionContext& ctx = run.ctx;
  const std::string input = TrimPathText(ctx.input.moviePath);
  // "Set MovieDuration" opens the geometry step's own log lines just below.
  ctx.conversionRunning = 1;
  run.buffers.tableValid = false;
  try {
    run.outcome.geometry = PrepareUnwrapGeometry(
        ctx.input.width, ctx.input.height, RingFromSettings(ctx.settings), ctx.settings.HSIZE,
        GeometryVariant::Conversion, run.buffers, ctx.log, ShapeFromOptions(ctx.options));
  } catch (const std::bad_alloc&) {
    // The tables and panorama buffers of a huge movie: nothing has started yet.
    run.buffers = UnwrapBuffers{};
    ctx.conversionRunning = 0;
    const std::string text = "Not enough memory to convert a " + std::to_string(ctx.input.width) +
                             "x" + std::to_string(ctx.input.height) + " movie.";
    ctx.log.LogLine(text);
    ctx.ui.Message("Error Monitoring", text, MessageIcon::Stop, false);
    return false;
  }
  if (const std::string problem = PrepareOutputLayout(
          run.outcome.geometry, ProjectionOptionsFrom(ctx.options), ctx.logoCanvas, run.layout);
      !problem.empty()) {
    ctx.conversionRunning = 0;
    ctx.log.LogLine(problem);
    ctx.ui.Message("Error Monitoring", problem, MessageIcon::Stop, false);
    return false;
  }
  run.frameOptions = FrameOptionsFrom(ctx.settings, ctx.options);
  run.outcome.outputWidth = run.layout.plan.view.width;
  run.outcome.outputHeight = OutputHeight(run);
  if (!StartSink(run, output)) {
    ctx.conversionRunning = 0;
    return false;
  }
  // The graph route works in its frame stage's buffers; the decoder route reads its
  // pictures into this one.
  if (run.decoderRoute) run.frame.Reset(ctx.input.width, ctx.input.height);
  run.pipeline = FramePipeline{.geometry = &run.outcome.geometry,
                               .buffers = &run.buffers,
                               .frame = &run.frame,
                               .sink = run.spool.get(),
                               .logoCanvas = ctx.logoCanvas,
                               .layout = &run.layout,
                               .afterAdjust = [&run](const FrameImage&) { OfferPreview(run); }};

  ctx.log.LogLine(std::string("LOGO PRESENT = ") + (ctx.logoCanvas != nullptr ? "1" : "0"));
  ctx.log.LogLine("OS_PREVIEW = " + std::to_string(ctx.options.OS_PREVIEW != 0 ? 1 : 0));
  ctx.log.LogLine(ProjectionLogText(run.layout.plan, ctx.options.HORIZON));

  if (!run.onePass) run.sound.Start(ctx.encoderTool, input, ctx.tempFolder);
  if (run.decoderRoute) {
    ctx.ui.Sleep(20);
    run.decoderPid = DecodeFrames(ctx.encoderTool, input, ctx.tempFolder,
                                  DecoderReportPath(ctx.tempFolder), ctx.input.timePerFrame);
    ctx.ui.ClearTransformPreview();
  }
  {
    std::lock_guard lock(run.progressMutex);
    ctx.progress.label = {"     RECORD", kRgbGrey, kRgbRed};
  }
  run.ShowProgress();
  ctx.log.LogLine("OS_DIRECT_ACCESS = " + std::to_string(ctx.input.movieOpen ? 1 : 0));
  ctx.log.LogLine("OS_HRDWARE_SUPPORT = " + std::to_string(ctx.input.canStep ? 1 : 0));
  ctx.log.LogLine("OS_DSS_SETUP = " + std::to_string(ctx.settings.DSSETUP));
  ctx.ui.SetLabel(309, GeometryLabelText(run.outcome.geometry));
  if (ctx.graph != nullptr) ctx.graph->Mute();
  {
    std::lock_guard lock(run.progressMutex);
    ProgressStart(ctx.progress, ctx.clock());
  }
  return true;
}

// The frame loop of the route; the frames' destination is finished afterwards. False
// when the user stopped it.
bool RunFrames(ConversionRun& run, SpoolStats& stats) {
  ConversionContext& ctx = run.ctx;
  ctx.log.LogLine("Begin Convert Process");
  run.firstFrameDone = 0;
  const bool finished = run.decoderRoute ? RunDecoderRoute(run) : RunGraphRoute(run);
  // Stopped: the encoder goes first, so the frames still queued are not encoded.
  if (!finished && run.encoder) run.encoder->Kill();
  run.spool->Finish();
  stats = run.spool->Stats();
  if (!run.frameFailure.empty() && stats.failed == 0) {
    // Frames went unprocessed: a movie without them would pass for the result.
    stats.failed = 1;
    stats.firstError = run.frameFailure;
  }
  run.outcome.framesProcessed = stats.written;
  // In one pass a failure is the encoder's: the export's report tells it.
  run.outcome.framesNotSpooled = run.onePass ? 0 : stats.failed;
  run.outcome.spoolError = stats.firstError;
  if (finished && stats.failed == 0) {
    // The last count shown lags behind the loop: show the frames actually made.
    {
      std::lock_guard lock(run.progressMutex);
      ctx.progress.frameLabel = std::to_string(stats.written);
    }
    run.ShowProgress();
  }
  return finished;
}

// The export after the frames, or why there is none.
void ExportPhase(ConversionRun& run, bool finished, const SpoolStats& stats,
                 const std::string& output) {
  ConversionContext& ctx = run.ctx;
  if (run.onePass) {
    EndOnePass(run, finished, stats, output);
  } else if (!finished) {
    run.sound.Kill();
    run.outcome.status = ConversionStatus::Stopped;
    DropEarlyExport(run);
  } else if (stats.failed > 0) {
    // A movie with frames missing would pass for the result: nothing is exported.
    run.sound.Kill();
    DropEarlyExport(run);
    run.outcome.status = ConversionStatus::FramesLost;
    ctx.ui.Message("Error Monitoring",
                   std::to_string(stats.failed) + " frame(s) could not be written:\r\n" +
                       stats.firstError + "\r\nThe conversion ended there; no movie was written.",
                   MessageIcon::Stop, false);
  } else {
    // The export needs the whole sound track.
    run.sound.Finish();
    if (ctx.framesOnly) {
      run.outcome.status = ConversionStatus::FramesOnly;
    } else {
      ExportLoop(run, output);
    }
  }
  run.spool.reset();
  run.encoder.reset();
}

void CleanUpRoute(ConversionRun& run) {
  ConversionContext& ctx = run.ctx;
  if (run.decoderRoute) {
    KillProcess(run.decoderPid);
    run.decoderPid = 0;
    std::error_code ec;
    std::filesystem::remove(DecoderReportPath(ctx.tempFolder), ec);
    ctx.ui.Pump(1000);
    run.sound.Kill();
    ctx.ui.Pump(500);
    ClearMovieLabels(ctx.ui);
    ctx.StreamState = 0;
    ctx.stopRequest = 0;
    ctx.conversionRunning = 0;
    ctx.ui.Sleep(300);
  } else {
    ctx.log.LogLine("ConvertRectExport 1");
    ClearMovieLabels(ctx.ui);
    ctx.log.LogLine("ConvertRectExport 2");
    run.sound.Kill();
    ctx.log.LogLine("ConvertRectExport 3");
    ctx.ui.Pump(300);
    ctx.StreamState = 0;
    ctx.stopRequest = 0;
    ctx.conversionRunning = 0;
    ctx.ui.Pump(300);
    ctx.ui.Sleep(25);
  }
}

}  // namespace

int64_t ExpectedOutputFrames(const ConversionInput& input) {
  // The frame count stands for the picture's duration, which it measures in frames.
  return OutputFrameCount(input.pictureStart,
                          static_cast<int64_t>(std::max(input.frameCount, 0)) * input.timePerFrame,
                          input.timePerFrame);
}

namespace {

// One run; with a `fallbackNote` in software only, the note telling why.
ConversionOutcome ConvertOnce(ConversionContext& ctx, const std::string& outputPath,
                              const std::string* fallbackNote, bool& hardwareFailed) {
  ConversionRun run(ctx);
  run.decoderRoute = DecoderRoute(ctx.settings);
  run.onePass = ctx.onePass && !ctx.framesOnly;
  ResetProgress(run);
  for (int i = 0; i < 1000 && ctx.ui.PreviewRefreshBusy(); ++i) ctx.ui.Pump(50);

  const std::string output = TrimPathText(outputPath);
  ctx.log.LogLine("Convert Movie Begin " + LocalClockText());
  ctx.log.LogLine("Output file " + outputPath);
  ctx.log.LogLine("Output Folder Free Space:");
  ctx.log.LogLine(FreeSpaceTextFor(output));
  if (!CheckRun(run, output)) return run.outcome;
  ChooseRunEncoder(run, output, fallbackNote);

  PrepareMovie(run, output);
  if (!PrepareRun(run, output)) {
    CommonEnd(run);
    return run.outcome;
  }
  SpoolStats stats;
  const bool finished = RunFrames(run, stats);
  ExportPhase(run, finished, stats, output);
  CleanUpRoute(run);
  CommonEnd(run);
  hardwareFailed =
      run.hardwareFailed && run.onePass && run.outcome.status == ConversionStatus::ExportFailed;
  return run.outcome;
}

}  // namespace

ConversionOutcome ConvertMovie(ConversionContext& ctx, std::string outputPath) {
  bool hardwareFailed = false;
  ConversionOutcome outcome = ConvertOnce(ctx, outputPath, nullptr, hardwareFailed);
  if (!hardwareFailed) return outcome;
  // In one pass no frame was kept: the movie is made again from the start in software.
  ctx.log.LogLine("The movie is converted again in software");
  const std::string note = outcome.encoderNote + ", converting the movie again";
  bool again = false;
  return ConvertOnce(ctx, outputPath, &note, again);
}

}  // namespace corvinex
