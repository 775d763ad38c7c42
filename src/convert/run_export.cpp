// The export phase of a run: the encoder that took the frames while they were made,
// or the spooled frames encoded afterwards, repeated while the user asks for another
// compression; a spherical movie is then marked as such.
#include <functional>
#include <system_error>

#include "convert/conversion_run.h"
#include "convert/encoder_command.h"
#include "convert/hardware_probe.h"
#include "convert/pending_output.h"
#include "convert/pipe_writer.h"
#include "media/movie_info.h"
#include "media/output_check.h"
#include "settings/diagnostic_log.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// Only a 2:1 frame (the equirectangular projection, which a logo always gives) is a
// 360-degree picture; the cylindrical strip would be stretched over the whole sphere.
bool WantsSphericalMetadata(const ConversionRun& run) {
  return run.ctx.sphericalMetadata && run.layout.plan.equirect;
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

// What the export must find in its file once the encoder has ended well; empty when
// it is a movie of the frames sent, with sound where sound went in.
std::string CheckExport(const ConversionRun& run, const fs::path& file, int64_t framesSent,
                        bool soundSent) {
  if (!OutputWritten(file)) return "The encoder wrote no output movie.";
  if (framesSent <= 0) return "No frame was made: the movie holds no picture.";
  const OutputCheck check = CheckOutputMovie(
      file,
      {.framesSent = framesSent, .timePerFrame = run.ctx.input.timePerFrame, .sound = soundSent});
  if (check.ok) return {};
  // Some muxers end well on a full disk; the user needs the cause, not the symptom.
  std::error_code error;
  const fs::space_info space =
      fs::space(file.parent_path().empty() ? "." : file.parent_path(), error);
  const bool full = !error && space.available < (uintmax_t{1} << 20);
  return "The written movie is not whole: " + check.reason +
         (full ? " (the disk of the output is full)." : ".");
}

Codec RunCodec(const SessionOptions& options) {
  return options.CODEC >= 1 && options.CODEC <= 4 ? static_cast<Codec>(options.CODEC)
                                                  : Codec::Default;
}

// The export's settings from the run's options, for `framesMade` frames (0 before
// the frame loop: no duration limit from the frames then), written to `file`.
ExportSettings RunExportSettings(const ConversionRun& run, const fs::path& file,
                                 int64_t framesMade) {
  const ConversionContext& ctx = run.ctx;
  ExportSettings s;
  s.output = file;
  s.pictureWidth = run.outcome.outputWidth;
  s.pictureHeight = run.outcome.outputHeight;
  s.resize = ctx.options.RESIZE;
  s.channels = ctx.options.AUDIO_CHANNELS;
  s.audioRate = ctx.options.AUDIO_RATE;
  s.bitRate = ctx.settings.BITRATE;
  s.codecMode = ctx.settings.CODECMODE;
  s.quality = ctx.options.QUALITY;
  s.timePerFrame = ctx.input.timePerFrame;
  s.codec = RunCodec(ctx.options);
  s.encoder = run.hardwareFailed ? std::string() : run.hardwareEncoder;
  s.tags = run.tags;
  // The frames written last as long as they take at the run's rate: the sound is
  // cut there. The picture's own duration would cut off what a late start moved.
  s.durationText = ctx.input.timePerFrame > 0 && framesMade > 0
                       ? DurationText(static_cast<double>(framesMade) *
                                      static_cast<double>(ctx.input.timePerFrame) /
                                      static_cast<double>(kUnitsPerSecond))
                       : ctx.input.durationText;
  return s;
}

// A hardware encoder failed: the rest of the run uses software, and the user learns it.
void NoteFallback(ConversionRun& run, const std::string& why) {
  const std::string software = ExportEncoderName(RunExportSettings(run, run.plannedOutput, 0));
  run.outcome.encoderNote = run.hardwareEncoder + " failed during the run (" + why +
                            "): fell back to software " + software;
  run.outcome.encoderUsed = software;
  run.ctx.log.LogLine("Encoder: " + run.outcome.encoderNote);
}

// Runs `encode` under the export's progress dialog, with the stop request and the
// encoder's progress wired in. What the encoder wrote is then checked, and marked as
// 360-degree video where it is one: a file that fails the check makes the export a
// failure with the reason.
ExportResult EncodeAndMark(ConversionRun& run, const PendingOutput& pending, int64_t totalFrames,
                           bool soundSent, std::optional<SphericalResult>& spherical,
                           const std::function<ExportResult(const EncoderFlags&)>& encode) {
  ConversionContext& ctx = run.ctx;
  return ctx.ui.ExportMovie("Output Movie Compression", [&] {
    const EncoderFlags flags{.stop = &ctx.stopRequest, .progress = [&ctx, totalFrames](int64_t n) {
                               ctx.ui.ShowExportProgress(n, totalFrames);
                             }};
    ExportResult encoded = encode(flags);
    if (!encoded.ok()) return encoded;
    if (std::string problem = CheckExport(run, pending.TempPath(), totalFrames, soundSent);
        !problem.empty()) {
      ctx.log.LogLine("Output check failed: " + problem);
      encoded.exitCode = 1;
      encoded.errorLine = std::move(problem);
      return encoded;
    }
    if (WantsSphericalMetadata(run)) {
      spherical = AddSphericalMetadata(pending.TempPath(),
                                       PairOut(run) ? StereoLayout::TopBottom : StereoLayout::Mono);
    }
    return encoded;
  });
}

// Moves a checked export onto its name (the run's own choice of replacing); the name
// it got is the outcome's output. False, with the reason in `result`, when it cannot.
bool CommitExport(ConversionRun& run, PendingOutput& pending, ExportResult& result) {
  const CommitResult committed = pending.Commit(run.ctx.replaceOutput);
  if (!committed.ok) {
    pending.Abandon();
    run.ctx.log.LogLine("Output not moved onto its name: " + committed.error);
    result.exitCode = result.exitCode == 0 ? 1 : result.exitCode;
    result.errorLine = committed.error;
    return false;
  }
  run.outcome.output = committed.name;
  if (committed.name != pending.FinalPath()) {
    run.ctx.log.LogLine("Output " + pending.FinalPath().string() +
                        " was taken meanwhile: written as " + committed.name.string());
  }
  return true;
}

// Ends an export: a good one is moved onto its name, anything else leaves nothing.
void SettleExport(ConversionRun& run, std::unique_ptr<PendingOutput>& pending, ExportResult& result,
                  std::optional<SphericalResult>& spherical) {
  if (pending && result.ok() && CommitExport(run, *pending, result)) {
    if (spherical) ReportSpherical(run.ctx, *spherical, run.outcome.output.string());
  } else {
    spherical.reset();
    if (pending) pending->Abandon();
  }
  pending.reset();
  run.ctx.log.LogLine("ConvertRectExport End");
  run.outcome.lastExport = result;
  run.outcome.spherical = spherical;
}

// Why an export failed, in words for the user.
std::string FailureReason(const ExportResult& result) {
  if (!result.errorLine.empty()) return result.errorLine;
  return result.started ? "The encoder wrote no output movie."
                        : "The encoder could not be started.";
}

// What the user learns beside the success: a name other than the one asked for, and
// a movie that ended before the length it states.
std::string SuccessDetails(const ConversionRun& run, const std::string& asked) {
  std::string details;
  if (!run.outcome.output.empty() && run.outcome.output != fs::path(asked)) {
    details += "\r\nIt was written as " + run.outcome.output.string() + ", since " + asked +
               " was taken meanwhile.";
  }
  if (!run.outcome.timelineNote.empty()) details += "\r\nNote: " + run.outcome.timelineNote + ".";
  if (RunCodec(run.ctx.options) != Codec::Default) {
    details += "\r\nEncoder: " + run.outcome.encoderUsed + " (" + run.outcome.encoderNote + ").";
  }
  return details;
}

// The export encoded while the frames were made, once they are all in its pipe; an
// empty result when there is none or it failed: the spooled frames are exported then.
// A result comes with its file in `pending`.
std::optional<ExportResult> EarlyExport(ConversionRun& run, std::unique_ptr<PendingOutput>& pending,
                                        std::optional<SphericalResult>& spherical) {
  if (!run.encoder || run.tee == nullptr || !run.pending) return std::nullopt;
  ConversionContext& ctx = run.ctx;
  pending = std::move(run.pending);
  const SpoolStats piped = run.tee->PipeStats();
  ExportResult result;
  if (piped.failed > 0) {
    result = run.encoder->Wait(EncoderFlags{.stop = &ctx.stopRequest});
    result.errorLine = piped.firstError;
  } else {
    result = EncodeAndMark(run, *pending, piped.written, run.soundInMovie, spherical,
                           [&](const EncoderFlags& flags) { return run.encoder->Wait(flags); });
  }
  run.encoder.reset();
  if (result.stopped || (piped.failed == 0 && result.ok())) return result;
  ctx.log.LogLine("Encoding while spooling failed (" + result.errorLine +
                  "): the spooled frames are exported");
  if (!run.hardwareEncoder.empty() && !run.hardwareFailed) {
    run.hardwareFailed = true;
    NoteFallback(run, result.errorLine);
  }
  spherical.reset();
  pending->Abandon();
  pending.reset();
  return std::nullopt;
}

}  // namespace

bool PairOut(const ConversionRun& run) {
  return run.frameOptions.stereo.on && run.frameOptions.stereo.pairOn;
}

std::unique_ptr<PipeWriter> StartPipedEncoder(ConversionRun& run, const fs::path& input,
                                              const std::string& output) {
  ConversionContext& ctx = run.ctx;
  run.pending = std::make_unique<PendingOutput>(output);
  if (!run.pending->ok()) {
    run.startError = run.pending->error();
    run.outputUnwritable = true;
    run.pending.reset();
    return nullptr;
  }
  run.encoder = std::make_unique<OnePassEncoder>(ctx.encoderTool, ctx.tempFolder, ctx.log);
  // The encoder takes the movie's own sound track: the check then expects one.
  run.soundInMovie = MovieHasSound(input);
  const ExportSettings s = RunExportSettings(run, run.pending->TempPath(), 0);
  const int pipe = run.encoder->Start(input, s);
  if (pipe < 0) {
    run.startError = run.encoder->StartError();
    run.encoder.reset();
    run.pending.reset();
    return nullptr;
  }
  // One frame queued is enough: the encoder holds frames of its own, and each one
  // queued here is a full output frame more in memory.
  return std::make_unique<PipeWriter>(
      pipe, &ctx.log, OnePassTakesYuv420(s) ? PipeWriter::Format::Yuv420 : PipeWriter::Format::Bgrx,
      1);
}

// The encoder for exports to `output` under the user's choice now.
void ChooseExportEncoder(ConversionRun& run, const std::string& output) {
  ConversionContext& ctx = run.ctx;
  run.plannedOutput = output;
  run.hardwareEncoder.clear();
  run.hardwareFailed = false;
  run.outcome.encoderNote.clear();
  const Codec codec = RunCodec(ctx.options);
  if (codec != Codec::Default) {
    const EncoderDecision decision =
        DecideEncoder(ctx.encoderTool, codec, ctx.options.ENCODER, ctx.log);
    run.hardwareEncoder = decision.hardware;
    run.outcome.encoderNote = decision.reason;
  }
  run.outcome.encoderUsed = ExportEncoderName(RunExportSettings(run, output, 0));
  ctx.log.LogLine("Encoder: " + run.outcome.encoderUsed +
                  (run.outcome.encoderNote.empty() ? "" : " (" + run.outcome.encoderNote + ")"));
}

void ChooseRunEncoder(ConversionRun& run, const std::string& output,
                      const std::string* fallbackNote) {
  ConversionContext& ctx = run.ctx;
  if (fallbackNote == nullptr) {
    ChooseExportEncoder(run, output);
  } else {
    run.plannedOutput = output;
    run.outcome.encoderNote = *fallbackNote;
    run.outcome.encoderUsed = ExportEncoderName(RunExportSettings(run, output, 0));
    ctx.log.LogLine("Encoder: " + run.outcome.encoderUsed + " (" + *fallbackNote + ")");
  }
  run.tags = ReadMovieTags(TrimPathText(ctx.input.moviePath));
  ctx.log.LogLine(MovieTagsLogText(run.tags));
}

void DropEarlyExport(ConversionRun& run) {
  if (run.encoder) run.encoder->Kill();
  run.encoder.reset();
  run.pending.reset();  // what it wrote is not the movie
}

// Exports until the user wants no other compression. A failed export keeps the
// frames and offers another try instead of claiming success. The first export is the
// one encoded while the frames were made, where it worked.
void ExportLoop(ConversionRun& run, std::string output) {
  ConversionContext& ctx = run.ctx;
  // A re-export's quality and size are for that export only: the user's own options
  // come back however the loop ends.
  struct KeepUserChoice {
    SessionOptions& options;
    const int32_t quality = options.QUALITY;
    const int32_t resize = options.RESIZE;
    ~KeepUserChoice() {
      options.QUALITY = quality;
      options.RESIZE = resize;
    }
  } keepUserChoice{ctx.options};
  for (;;) {
    ctx.log.LogLine("ConvertRectExport Begin");
    std::optional<SphericalResult> spherical;
    std::unique_ptr<PendingOutput> pending;
    std::optional<ExportResult> early = EarlyExport(run, pending, spherical);
    ExportResult result;
    if (early) {
      result = *early;
    } else if (pending = std::make_unique<PendingOutput>(output); !pending->ok()) {
      result.errorLine = pending->error();
    } else {
      ExportSettings s = RunExportSettings(run, pending->TempPath(), run.outcome.framesProcessed);
      s.soundAvailable = SoundTrackUsable(ctx.tempFolder);
      const fs::path frames = ctx.frameFolder.empty() ? ctx.tempFolder : ctx.frameFolder;
      auto encode = [&](const EncoderFlags& flags) {
        return EncodeMovie(ctx.encoderTool, frames, s, ctx.log, flags);
      };
      result = EncodeAndMark(run, *pending, run.outcome.framesProcessed, s.soundAvailable,
                             spherical, encode);
      if (!result.ok() && !result.stopped && !s.encoder.empty()) {
        // The device failed on the spooled frames: they are encoded again in software.
        run.hardwareFailed = true;
        NoteFallback(run, result.errorLine);
        s.encoder.clear();
        spherical.reset();
        result = EncodeAndMark(run, *pending, run.outcome.framesProcessed, s.soundAvailable,
                               spherical, encode);
      }
    }
    run.outcome.output = output;
    SettleExport(run, pending, result, spherical);

    if (result.stopped) {
      run.outcome.status = ConversionStatus::Stopped;
      return;
    }
    bool again;
    if (result.ok()) {
      run.outcome.status = ConversionStatus::Exported;
      again = ctx.ui.Message("Successful termination",
                             "Movie converted successfully." + SuccessDetails(run, output) +
                                 "\r\nDo you want to save it with another compression value ?",
                             MessageIcon::Information, true);
    } else {
      run.outcome.status = ConversionStatus::ExportFailed;
      again = ctx.ui.Message("Error Monitoring",
                             "The movie could not be written:\r\n" + FailureReason(result) +
                                 "\r\nDo you want to save it with another compression value ?",
                             MessageIcon::Stop, true);
    }
    if (!again) return;
    ExportChoice choice{ctx.options.QUALITY, ctx.options.RESIZE, ctx.options.CODEC,
                        ctx.options.ENCODER};
    const std::string next = ctx.ui.RecompressDialog(run.outcome.output.string(), choice);
    ctx.options.QUALITY = choice.quality;
    ctx.options.RESIZE = choice.resize;
    // The codec and encoder stay the user's choice, kept with the settings.
    const bool encoderChanged =
        choice.codec != ctx.options.CODEC || choice.encoder != ctx.options.ENCODER;
    ctx.options.CODEC = choice.codec;
    ctx.options.ENCODER = choice.encoder;
    const std::string trimmed = TrimPathText(next);
    if (trimmed.empty()) return;
    if (SameFile(trimmed, TrimPathText(ctx.input.moviePath))) {
      ctx.ui.Message("Error Monitoring", "Incorrect name of output file", MessageIcon::Stop, false);
      return;
    }
    if (const std::string problem = CodecRefusal(OutputExtension(trimmed), RunCodec(ctx.options));
        !problem.empty()) {
      ctx.ui.Message("Error Monitoring", problem, MessageIcon::Stop, false);
      return;
    }
    output = trimmed;
    if (encoderChanged || OutputExtension(output) != OutputExtension(run.plannedOutput)) {
      ChooseExportEncoder(run, output);
    }
  }
}

void EndOnePass(ConversionRun& run, bool finished, const SpoolStats& stats,
                const std::string& output) {
  ConversionContext& ctx = run.ctx;
  run.outcome.output = output;
  std::unique_ptr<PendingOutput> pending = std::move(run.pending);
  if (!finished) {
    // A movie the encoder did not finish would pass for the result.
    run.encoder->Kill();
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
    result = EncodeAndMark(run, *pending, stats.written, run.soundInMovie, spherical,
                           [&](const EncoderFlags& flags) { return run.encoder->Wait(flags); });
  }
  SettleExport(run, pending, result, spherical);
  if (result.stopped) {
    run.outcome.status = ConversionStatus::Stopped;
    return;
  }
  if (!result.ok() && !run.hardwareEncoder.empty() && !run.hardwareFailed) {
    // The frames are gone: the movie is made again in software (ConvertMovie), and
    // the user is told then.
    run.hardwareFailed = true;
    run.outcome.status = ConversionStatus::ExportFailed;
    NoteFallback(run, FailureReason(result));
    return;
  }
  if (result.ok()) {
    run.outcome.status = ConversionStatus::Exported;
    ctx.ui.Message("Successful termination",
                   "Movie converted successfully." + SuccessDetails(run, output),
                   MessageIcon::Information, false);
    return;
  }
  run.outcome.status = ConversionStatus::ExportFailed;
  ctx.ui.Message("Error Monitoring", "The movie could not be written:\r\n" + FailureReason(result),
                 MessageIcon::Stop, false);
}

}  // namespace corvinex
