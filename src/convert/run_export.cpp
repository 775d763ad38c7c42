// The export phase of a run: the encoder that took the frames while they were made,
// or the spooled frames encoded afterwards, repeated while the user asks for another
// compression; a spherical movie is then marked as such.
#include <functional>
#include <system_error>

#include "convert/conversion_run.h"
#include "convert/encoder_command.h"
#include "convert/pipe_writer.h"
#include "media/movie_info.h"
#include "settings/diagnostic_log.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

bool PairOut(const ConversionRun& run) {
  return run.frameOptions.stereo.on && run.frameOptions.stereo.pairOn;
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
      pipe, &ctx.log, OnePassTakesYuv420(s) ? PipeWriter::Format::Yuv420 : PipeWriter::Format::Bgrx,
      1);
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
    const std::string trimmed = TrimPathText(next);
    if (trimmed.empty()) return;
    if (SameFile(trimmed, TrimPathText(ctx.input.moviePath))) {
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

}  // namespace corvinex
