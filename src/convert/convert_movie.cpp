#include "convert/convert_movie.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <system_error>

#include "convert/bmp_header.h"
#include "convert/child_process.h"
#include "convert/conversion_run.h"
#include "convert/frame_timing.h"
#include "convert/free_space.h"
#include "convert/pipe_writer.h"
#include "convert/sound_extract.h"
#include "convert/tee_sink.h"
#include "convert/temp_files.h"
#include "media/movie_info.h"
#include "settings/diagnostic_log.h"
#include "transform/output_assembly.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

std::string Trim(std::string_view text, std::string_view blanks = " ") {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

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

bool PairOut(const ConversionRun& run) {
  return run.frameOptions.stereo.on && run.frameOptions.stereo.pairOn;
}

int32_t OutputHeight(const ConversionRun& run) {
  const int32_t view = OutputViewSize(run.outcome.geometry, run.ctx.logoCanvas).height;
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

// Only the logo's spherical frame is a 360-degree picture; the cylindrical strip
// would be stretched over the whole sphere.
bool WantsSphericalMetadata(const ConversionRun& run) {
  return run.ctx.sphericalMetadata && run.ctx.logoCanvas != nullptr;
}

void ReportSpherical(ConversionContext& ctx, const SphericalResult& result,
                     const std::string& output) {
  ctx.log.LogLine(SphericalLogText(result, output));
  if (result.status == SphericalStatus::Failed) {
    ctx.ui.Message(
        "Warning !",
        "The movie was written, but without its 360-degree video metadata:\r\n" + result.reason,
        MessageIcon::Exclamation, false);
  }
}

// The same file under another spelling ("./take.mp4", a link): the run removes the
// output before it starts, so writing there would destroy the movie being read.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

// What would make the export fail whatever the frames: found before the frame loop,
// so the user does not wait for a whole pass to learn it. Empty when the output can
// be written.
std::string OutputProblem(const fs::path& output) {
  if (!ExportExtensionKnown(output)) {
    const std::string extension = output.extension().string();
    return (extension.empty() ? std::string("The output file name has no movie type.")
                              : "The movie type \"" + extension + "\" cannot be written.") +
           "\r\nEnd the name with one of: " + ExportExtensionList();
  }
  const fs::path folder = output.has_parent_path() ? output.parent_path() : fs::path(".");
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    return "The output folder does not exist:\r\n" + folder.string();
  }
  // Tried rather than read from the mode bits, which do not tell the whole story.
  const fs::path probe = folder / (".corvinex-write-check-" + std::to_string(::getpid()));
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    if (!out) return "The output folder cannot be written:\r\n" + folder.string();
  }
  fs::remove(probe, error);
  return {};
}

// The spooled frames of a whole run must fit: a pass that fills the disk half way
// only wastes the user's time. Empty when they fit, or when the space is unknown.
std::string SpoolSpaceProblem(const ConversionRun& run, const fs::path& frameFolder) {
  const int64_t frameBytes = static_cast<int64_t>(sizeof(SpoolHeader)) +
                             int64_t{4} * run.outcome.outputWidth * run.outcome.outputHeight;
  const int64_t needed = frameBytes * std::max<int32_t>(run.ctx.input.frameCount, 0);
  std::error_code error;
  const fs::space_info space = fs::space(frameFolder, error);
  if (error || needed <= 0 || static_cast<uintmax_t>(needed) <= space.available) return {};
  return "Not enough free space for the frames in\r\n" + frameFolder.string() + "\r\n" +
         std::to_string(run.ctx.input.frameCount) + " frames need about " +
         FreeSpaceText(static_cast<uintmax_t>(needed)) + "; " + FreeSpaceText(space.available) +
         " are free.";
}

bool OutputWritten(const fs::path& output) {
  std::error_code error;
  return fs::is_regular_file(output, error) && fs::file_size(output, error) > 0 && !error;
}

// The export's settings from the run's options, for `framesMade` frames (0 before
// the frame loop: no duration limit from the frames then).
ExportSettings RunExportSettings(const ConversionRun& run, const std::string& output,
                                 int64_t framesMade) {
  const ConversionContext& ctx = run.ctx;
  ExportSettings s;
  s.output = output;
  s.pictureWidth = run.outcome.outputWidth;
  s.pictureHeight = run.outcome.outputHeight;
  s.resize = ctx.options.RESIZE;
  s.channels = ctx.options.AUDIO_CHANNELS;
  s.audioRate = ctx.options.AUDIO_RATE;
  s.bitRate = ctx.settings.BITRATE;
  s.codecMode = ctx.settings.CODECMODE;
  s.quality = ctx.options.QUALITY;
  s.timePerFrame = ctx.input.timePerFrame;
  // The frames written last as long as they take at the run's rate: the sound is
  // cut there. The picture's own duration would cut off what a late start moved.
  s.durationText = ctx.input.timePerFrame > 0 && framesMade > 0
                       ? DurationText(static_cast<double>(framesMade) *
                                      static_cast<double>(ctx.input.timePerFrame) /
                                      static_cast<double>(kUnitsPerSecond))
                       : ctx.input.durationText;
  return s;
}

// Runs `encode` under the export's progress dialog, with the stop request and the
// encoder's progress wired in; a spherical movie it wrote is then marked as such.
ExportResult EncodeAndMark(ConversionRun& run, const fs::path& output, int64_t totalFrames,
                           std::optional<SphericalResult>& spherical,
                           const std::function<ExportResult(const EncoderFlags&)>& encode) {
  ConversionContext& ctx = run.ctx;
  return ctx.ui.ExportMovie("Output Movie Compression", [&] {
    const EncoderFlags flags{.stop = &ctx.stopRequest, .progress = [&ctx, totalFrames](int64_t n) {
                               ctx.ui.ShowExportProgress(n, totalFrames);
                             }};
    ExportResult encoded = encode(flags);
    if (encoded.ok() && OutputWritten(output) && WantsSphericalMetadata(run)) {
      spherical =
          AddSphericalMetadata(output, PairOut(run) ? StereoLayout::TopBottom : StereoLayout::Mono);
    }
    return encoded;
  });
}

// Starts run.encoder on the frames to come; the writer of its pipe, or none when it
// could not start (run.encoder tells why).
std::unique_ptr<PipeWriter> StartPipedEncoder(ConversionRun& run, const fs::path& input,
                                              const std::string& output) {
  ConversionContext& ctx = run.ctx;
  run.encoder = std::make_unique<OnePassEncoder>(ctx.encoderTool, ctx.tempFolder, ctx.log);
  const ExportSettings s = RunExportSettings(run, output, 0);
  const int pipe = run.encoder->Start(input, s);
  if (pipe < 0) return nullptr;
  // One frame queued is enough: the encoder holds frames of its own, and each one
  // queued here is a full output frame more in memory.
  return std::make_unique<PipeWriter>(
      pipe, &ctx.log,
      OnePassTakesYuv420(s) ? PipeWriter::Format::Yuv420 : PipeWriter::Format::Bgrx, 1);
}

// The export encoded while the frames were made, once they are all in its pipe; an
// empty result when there is none or it failed: the spooled frames are exported then.
std::optional<ExportResult> EarlyExport(ConversionRun& run, const fs::path& output,
                                        std::optional<SphericalResult>& spherical) {
  if (!run.encoder || run.tee == nullptr) return std::nullopt;
  ConversionContext& ctx = run.ctx;
  const SpoolStats piped = run.tee->PipeStats();
  ExportResult result;
  if (piped.failed > 0) {
    result = run.encoder->Wait(EncoderFlags{.stop = &ctx.stopRequest});
    result.errorLine = piped.firstError;
  } else {
    result = EncodeAndMark(run, output, piped.written, spherical,
                           [&](const EncoderFlags& flags) { return run.encoder->Wait(flags); });
  }
  run.encoder.reset();
  if (result.stopped || (piped.failed == 0 && result.ok() && OutputWritten(output))) return result;
  ctx.log.LogLine("Encoding while spooling failed (" + result.errorLine +
                  "): the spooled frames are exported");
  spherical.reset();
  std::error_code error;
  fs::remove(output, error);
  return std::nullopt;
}

// A run that ends without an export: what the early encoder wrote is not the movie.
void DropEarlyExport(ConversionRun& run, const fs::path& output) {
  if (!run.encoder) return;
  run.encoder->Kill();
  run.encoder.reset();
  std::error_code error;
  fs::remove(output, error);
}

// Exports until the user wants no other compression. A failed export keeps the
// frames and offers another try instead of claiming success. The first export is the
// one encoded while the frames were made, where it worked.
void ExportLoop(ConversionRun& run, std::string output) {
  ConversionContext& ctx = run.ctx;
  for (;;) {
    ctx.log.LogLine("ConvertRectExport Begin");
    ExportSettings s = RunExportSettings(run, output, run.outcome.framesProcessed);
    s.soundAvailable = SoundTrackUsable(ctx.tempFolder);
    const fs::path frames = ctx.frameFolder.empty() ? ctx.tempFolder : ctx.frameFolder;
    std::error_code error;
    const bool existedBefore = fs::exists(output, error);
    std::optional<SphericalResult> spherical;
    std::optional<ExportResult> early = EarlyExport(run, output, spherical);
    const ExportResult result =
        early ? *early
              : EncodeAndMark(run, output, run.outcome.framesProcessed, spherical,
                              [&](const EncoderFlags& flags) {
                                return EncodeMovie(ctx.encoderTool, frames, s, ctx.log, flags);
                              });
    if (spherical) ReportSpherical(ctx, *spherical, output);
    ctx.log.LogLine("ConvertRectExport End");
    run.outcome.lastExport = result;
    run.outcome.output = output;
    run.outcome.spherical = spherical;

    if (result.stopped) {
      // A movie the encoder did not finish would pass for the result.
      fs::remove(output, error);
      run.outcome.status = ConversionStatus::Stopped;
      return;
    }
    const bool written = result.ok() && OutputWritten(output);
    run.outcome.status = written ? ConversionStatus::Exported : ConversionStatus::ExportFailed;
    bool again;
    if (written) {
      again = ctx.ui.Message("Successful termination",
                             "Movie converted successfully.\r\nDo you want to save it with another "
                             "compression value ?",
                             MessageIcon::Information, true);
    } else {
      // What a failed encoder left under a new name is a broken movie that could pass
      // for the result; a file that was there before the export is not touched.
      if (!existedBefore) fs::remove(output, error);
      std::string reason = result.errorLine;
      if (reason.empty()) {
        reason = result.started ? "The encoder wrote no output movie."
                                : "The encoder could not be started.";
      }
      again = ctx.ui.Message("Error Monitoring",
                             "The movie could not be written:\r\n" + reason +
                                 "\r\nDo you want to save it with another compression value ?",
                             MessageIcon::Stop, true);
    }
    if (!again) return;
    ExportChoice choice{ctx.options.QUALITY, ctx.options.RESIZE};
    const std::string next = ctx.ui.RecompressDialog(output, choice);
    ctx.options.QUALITY = choice.quality;
    ctx.options.RESIZE = choice.resize;
    const std::string trimmed = Trim(next, std::string_view(" \0", 2));
    if (trimmed.empty()) return;
    if (SameFile(trimmed, Trim(ctx.input.moviePath))) {
      ctx.ui.Message("Error Monitoring", "Incorrect name of output file", MessageIcon::Stop, false);
      return;
    }
    output = trimmed;
  }
}

// The one-pass export's end, once the pipe is closed: the encoder drains the last
// frames. There are no frames kept for another try, so one export is all.
void EndOnePass(ConversionRun& run, bool finished, const SpoolStats& stats,
                const std::string& output) {
  ConversionContext& ctx = run.ctx;
  std::error_code error;
  run.outcome.output = output;
  if (!finished) {
    // A movie the encoder did not finish would pass for the result.
    run.encoder->Kill();
    fs::remove(output, error);
    run.outcome.status = ConversionStatus::Stopped;
    return;
  }
  std::optional<SphericalResult> spherical;
  ExportResult result;
  if (stats.failed > 0) {
    // The encoder died (its own words say why) or a frame was unusable: the pipe is
    // closed, so a living encoder ends by itself; what it wrote is not the movie.
    result = run.encoder->Wait(EncoderFlags{.stop = &ctx.stopRequest});
    if (result.ok() || result.errorLine.empty()) result.errorLine = stats.firstError;
    result.exitCode = result.exitCode == 0 ? 1 : result.exitCode;
  } else {
    result = EncodeAndMark(run, output, stats.written, spherical,
                           [&](const EncoderFlags& flags) { return run.encoder->Wait(flags); });
  }
  if (spherical) ReportSpherical(ctx, *spherical, output);
  ctx.log.LogLine("ConvertRectExport End");
  run.outcome.lastExport = result;
  run.outcome.spherical = spherical;
  if (result.stopped) {
    fs::remove(output, error);
    run.outcome.status = ConversionStatus::Stopped;
    return;
  }
  if (result.ok() && OutputWritten(output)) {
    run.outcome.status = ConversionStatus::Exported;
    ctx.ui.Message("Successful termination", "Movie converted successfully.",
                   MessageIcon::Information, false);
    return;
  }
  run.outcome.status = ConversionStatus::ExportFailed;
  fs::remove(output, error);  // removed before the run: this is the broken one
  std::string reason = result.errorLine;
  if (reason.empty()) reason = "The encoder wrote no output movie.";
  ctx.ui.Message("Error Monitoring", "The movie could not be written:\r\n" + reason,
                 MessageIcon::Stop, false);
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

}  // namespace

int64_t ExpectedOutputFrames(const ConversionInput& input) {
  // The frame count stands for the picture's duration, which it measures in frames.
  return OutputFrameCount(input.pictureStart,
                          static_cast<int64_t>(std::max(input.frameCount, 0)) * input.timePerFrame,
                          input.timePerFrame);
}

ConversionOutcome ConvertMovie(ConversionContext& ctx, std::string outputPath) {
  ConversionRun run(ctx);
  run.decoderRoute = DecoderRoute(ctx.settings);
  {
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
  for (int i = 0; i < 1000 && ctx.ui.PreviewRefreshBusy(); ++i) ctx.ui.Pump(50);

  ctx.log.LogLine("Convert Movie Begin " + LocalClockText());
  ctx.log.LogLine("Output file " + outputPath);
  ctx.log.LogLine("Output Folder Free Space:");
  ctx.log.LogLine(FreeSpaceTextFor(Trim(outputPath)));

  const std::string input = Trim(ctx.input.moviePath);
  if (input.empty()) {
    ctx.ui.Message("Error Monitoring", "Video file not found!", MessageIcon::Stop, false);
    return run.outcome;
  }
  if (Trim(outputPath) == input || SameFile(Trim(outputPath), input)) {
    ctx.ui.Message("Error Monitoring", "Incorrect name of output file", MessageIcon::Stop, false);
    return run.outcome;
  }
  {
    // A Cut Area too small to unwrap would give a movie of a few pixels.
    const UnwrapGeometry planned = ComputeUnwrapGeometry(
        ctx.input.width, ctx.input.height, RingFromSettings(ctx.settings), ctx.settings.HSIZE);
    if ((planned.limits & (kLimitFrameSize | kLimitCropTooSmall)) != 0) {
      ctx.ui.Message("Error Monitoring",
                     "The Cut Area is too small to unwrap (" + GeometryLimitText(planned.limits) +
                         ").\r\nMake it larger.",
                     MessageIcon::Stop, false);
      return run.outcome;
    }
  }
  if (!ctx.framesOnly) {
    if (const std::string problem = OutputProblem(Trim(outputPath)); !problem.empty()) {
      ctx.ui.Message("Error Monitoring", problem, MessageIcon::Stop, false);
      return run.outcome;
    }
  }
  if (!run.decoderRoute) {
    if (ctx.graph == nullptr || !ctx.graph->HasMovie()) {
      run.outcome.status = ConversionStatus::NoMovie;
      return run.outcome;
    }
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
  std::error_code ignored;
  if (!ctx.framesOnly) fs::remove(Trim(outputPath), ignored);
  // No writer of this run has started yet.
  CleanTemp(ctx.tempFolder, CleanTempOptions{.keepAvi = true, .settle = {}});
  ctx.ui.Pump(10);
  if (ctx.ui.WindowHeight() > 860) ctx.ui.SetCutAreaEnabled(false);

  ctx.ui.SetLabel(303, " " + Trim(outputPath) + " ");
  ctx.ui.SetLabel(304, std::to_string(ctx.input.width) + "x" + std::to_string(ctx.input.height));
  ctx.ui.SetLabel(305, FrameRateText(ctx.input.timePerFrame) + " fps");
  ctx.ui.SetLabel(306, std::to_string(ctx.input.frameCount));
  ctx.ui.SetLabel(409, ctx.input.durationText);

  // "Set MovieDuration" opens the geometry step's own log lines just below.
  ctx.conversionRunning = 1;
  run.buffers.tableValid = false;
  run.outcome.geometry =
      PrepareUnwrapGeometry(ctx.input.width, ctx.input.height, RingFromSettings(ctx.settings),
                            ctx.settings.HSIZE, GeometryVariant::Conversion, run.buffers, ctx.log);
  const UnwrapGeometry& g = run.outcome.geometry;
  run.frameOptions = FrameOptionsFrom(ctx.settings, ctx.options);
  run.outcome.outputWidth = g.W;
  run.outcome.outputHeight = OutputHeight(run);

  const bool onePass = ctx.onePass && !ctx.framesOnly;
  const fs::path frameFolder = ctx.frameFolder.empty() ? ctx.tempFolder : ctx.frameFolder;
  if (onePass) {
    run.spool = StartPipedEncoder(run, input, Trim(outputPath));
    if (!run.spool) {
      run.outcome.status = ConversionStatus::ExportFailed;
      run.outcome.output = Trim(outputPath);
      ctx.log.LogLine("One pass: " + run.encoder->StartError());
      ctx.ui.Message("Error Monitoring",
                     "The movie could not be written:\r\nThe encoder could not be started.",
                     MessageIcon::Stop, false);
      ctx.conversionRunning = 0;
      CommonEnd(run);
      return run.outcome;
    }
  } else if (const std::string problem = SpoolSpaceProblem(run, frameFolder); !problem.empty()) {
    ctx.log.LogLine(problem);
    ctx.ui.Message("Error Monitoring", problem, MessageIcon::Stop, false);
    ctx.conversionRunning = 0;
    CommonEnd(run);
    return run.outcome;
  } else {
    auto spool = std::make_unique<SpoolWriter>(frameFolder, &ctx.log);
    if (!ctx.framesOnly) {
      // The first export is encoded while the frames are made; the spooled frames stay
      // for another compression, or for the export should this encoder fail.
      if (auto pipe = StartPipedEncoder(run, input, Trim(outputPath))) {
        auto tee = std::make_unique<TeeSink>(std::move(spool), std::move(pipe));
        run.tee = tee.get();
        run.spool = std::move(tee);
      } else {
        ctx.log.LogLine("Encoding while spooling: " + run.encoder->StartError());
        run.encoder.reset();
      }
    }
    if (!run.spool) run.spool = std::move(spool);
  }
  // The graph route works in its frame stage's buffers; the decoder route reads its
  // pictures into this one.
  if (run.decoderRoute) run.frame.Reset(ctx.input.width, ctx.input.height);
  run.pipeline = FramePipeline{.geometry = &run.outcome.geometry,
                               .buffers = &run.buffers,
                               .frame = &run.frame,
                               .sink = run.spool.get(),
                               .logoCanvas = ctx.logoCanvas,
                               .afterAdjust = [&run](const FrameImage&) { OfferPreview(run); }};

  ctx.log.LogLine(std::string("LOGO PRESENT = ") + (ctx.logoCanvas != nullptr ? "1" : "0"));
  ctx.log.LogLine("OS_PREVIEW = " + std::to_string(ctx.options.OS_PREVIEW != 0 ? 1 : 0));

  if (!onePass) run.sound.Start(ctx.encoderTool, input, ctx.tempFolder);
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
  ctx.ui.SetLabel(309, GeometryLabelText(g));
  if (ctx.graph != nullptr) ctx.graph->Mute();
  {
    std::lock_guard lock(run.progressMutex);
    ProgressStart(ctx.progress, ctx.clock());
  }
  ctx.log.LogLine("Begin Convert Process");
  run.firstFrameDone = 0;

  const bool finished = run.decoderRoute ? RunDecoderRoute(run) : RunGraphRoute(run);
  // Stopped: the encoder goes first, so the frames still queued are not encoded.
  if (!finished && run.encoder) run.encoder->Kill();
  run.spool->Finish();
  const SpoolStats stats = run.spool->Stats();
  run.outcome.framesProcessed = stats.written;
  // In one pass a failure is the encoder's: the export's report tells it.
  run.outcome.framesNotSpooled = onePass ? 0 : stats.failed;
  run.outcome.spoolError = stats.firstError;
  if (finished && stats.failed == 0) {
    // The last count shown lags behind the loop: show the frames actually made.
    {
      std::lock_guard lock(run.progressMutex);
      ctx.progress.frameLabel = std::to_string(stats.written);
    }
    run.ShowProgress();
  }

  if (onePass) {
    EndOnePass(run, finished, stats, Trim(outputPath));
  } else if (!finished) {
    run.sound.Kill();
    run.outcome.status = ConversionStatus::Stopped;
    DropEarlyExport(run, Trim(outputPath));
  } else if (stats.failed > 0) {
    // A movie with frames missing would pass for the result: nothing is exported.
    run.sound.Kill();
    DropEarlyExport(run, Trim(outputPath));
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
      ExportLoop(run, Trim(outputPath));
    }
  }
  run.spool.reset();
  run.encoder.reset();

  // Clean-up of the route.
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
  CommonEnd(run);
  return run.outcome;
}

}  // namespace corvinex
