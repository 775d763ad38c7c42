#pragma once
// The working set of one conversion run, shared by the set-up, the two frame
// loops and the clean-up. Internal to the conversion driver.

#include <memory>
#include <mutex>

#include "convert/convert_movie.h"
#include "convert/one_pass_encoder.h"
#include "convert/pending_output.h"
#include "convert/pipe_writer.h"
#include "convert/sound_extraction_run.h"
#include "convert/spool_writer.h"
#include "convert/tee_sink.h"
#include "transform/output_projection.h"
#include "transform/process_frame.h"

namespace corvinex {

struct ConversionRun {
  explicit ConversionRun(ConversionContext& context) : ctx(context) {}
  ConversionContext& ctx;
  ConversionOutcome outcome;
  bool decoderRoute = false;
  bool onePass = false;  // the frames go straight to the encoder: no spool, one export
  UnwrapBuffers buffers;
  FrameImage frame;
  std::unique_ptr<RunSink> spool;           // the spool writer, or the one-pass pipe
  std::unique_ptr<OnePassEncoder> encoder;  // the one-pass or early export's encoder
  TeeSink* tee = nullptr;                   // the spool when it also feeds the encoder
  // Where that encoder writes until its movie is checked and moved onto its name.
  std::unique_ptr<PendingOutput> pending;
  std::string startError;         // why the encoder or its file could not be started
  bool outputUnwritable = false;  // it was the file
  std::string frameFailure;       // why the frames could not be processed (out of memory)
  bool soundInMovie = false;      // the piped encoder takes the movie's sound track
  std::string hardwareEncoder;    // the run's hardware encoder; empty for software
  bool hardwareFailed = false;    // it failed during the run: software from then on
  MovieTags tags;                 // the input's own metadata, written into the output
  std::string plannedOutput;      // the output asked for
  FramePipeline pipeline;
  OutputLayout layout;        // the output picture's projection, prepared before the first frame
  FrameOptions frameOptions;  // the options at the start of the run
  // The graph route's frames run on another thread than the one that changes the
  // options: the run's thread publishes a snapshot there, each frame takes the latest.
  std::mutex optionsMutex;
  FrameOptions publishedOptions;
  SoundExtractionRun sound;
  pid_t decoderPid = 0;      // the decoder route's frame decoding child
  std::mutex progressMutex;  // the graph route's frames update the texts on another thread
  std::atomic<int32_t> firstFrameDone{0};

  // The options for the next frame: what the user has set now, except what cannot
  // change during a run (the unwrap path and flips fix the tables, the stereo pair
  // fixes the output height).
  FrameOptions CurrentOptions() const {
    FrameOptions now = FrameOptionsFrom(ctx.settings, ctx.options);
    now.fastUnwrap = frameOptions.fastUnwrap;
    now.flipMode = frameOptions.flipMode;
    now.stereo.pairOn = frameOptions.stereo.pairOn;
    if (frameOptions.stereo.on && frameOptions.stereo.pairOn) now.stereo.on = true;
    return now;
  }
  void PublishOptions() {
    const FrameOptions now = CurrentOptions();
    std::lock_guard lock(optionsMutex);
    publishedOptions = now;
  }
  FrameOptions PublishedOptions() {
    std::lock_guard lock(optionsMutex);
    return publishedOptions;
  }

  void ShowProgress() {
    std::lock_guard lock(progressMutex);
    ctx.ui.ShowProgress(ctx.progress);
  }
};

// The frame loops. Each returns false when the user stopped the run.
bool RunGraphRoute(ConversionRun& run);
bool RunDecoderRoute(ConversionRun& run);

// Checks before the first frame (run_checks.cpp). CheckRun tells the user what is
// wrong and returns false when the run cannot start.
bool CheckRun(ConversionRun& run, const std::string& output);
// Why the spooled frames of the whole run would not fit in `frameFolder`; empty when
// they fit or the space is unknown.
std::string SpoolSpaceProblem(const ConversionRun& run, const std::filesystem::path& frameFolder);
// The same file under another spelling ("./take.mp4", a link).
bool SameFile(const std::string& a, const std::string& b);

// The export (run_export.cpp).
// Chooses the run's encoder (probing hardware where the choice asks for it) and reads
// the input's tags; with a `fallbackNote`, software only: the run again after a
// hardware encoder failed, the note saying so.
void ChooseRunEncoder(ConversionRun& run, const std::string& output,
                      const std::string* fallbackNote);
// The encoder alone, for an export to `output` after the user changed the choice.
void ChooseExportEncoder(ConversionRun& run, const std::string& output);
bool PairOut(const ConversionRun& run);  // the stereo pair doubles the output's height
// Starts run.encoder on the frames to come; the writer of its pipe, or none when it
// could not start (run.encoder tells why).
std::unique_ptr<PipeWriter> StartPipedEncoder(ConversionRun& run,
                                              const std::filesystem::path& input,
                                              const std::string& output);
// A run that ends without an export: what the early encoder wrote is not the movie.
void DropEarlyExport(ConversionRun& run);
// Exports until the user wants no other compression.
void ExportLoop(ConversionRun& run, std::string output);
// The one-pass export's end, once the pipe is closed.
void EndOnePass(ConversionRun& run, bool finished, const SpoolStats& stats,
                const std::string& output);

}  // namespace corvinex
