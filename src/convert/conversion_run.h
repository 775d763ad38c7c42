#pragma once
// The working set of one conversion run, shared by the set-up, the two frame
// loops and the clean-up. Internal to the conversion driver.

#include <memory>
#include <mutex>

#include "convert/convert_movie.h"
#include "convert/sound_extraction_run.h"
#include "convert/spool_writer.h"
#include "transform/process_frame.h"

namespace corvinex {

struct ConversionRun {
  explicit ConversionRun(ConversionContext& context) : ctx(context) {}
  ConversionContext& ctx;
  ConversionOutcome outcome;
  bool decoderRoute = false;
  UnwrapBuffers buffers;
  FrameImage frame;
  std::vector<uint32_t> sample;  // the aspect fix's copy of the incoming frame
  std::unique_ptr<SpoolWriter> spool;
  FramePipeline pipeline;
  FrameOptions frameOptions;
  SoundExtractionRun sound;
  pid_t decoderPid = 0;      // the decoder route's frame decoding child
  std::mutex progressMutex;  // the graph route's frames update the texts on another thread
  std::atomic<int32_t> firstFrameDone{0};

  void ShowProgress() {
    std::lock_guard lock(progressMutex);
    ctx.ui.ShowProgress(ctx.progress);
  }
};

// The frame loops. Each returns false when the user stopped the run.
bool RunGraphRoute(ConversionRun& run);
bool RunDecoderRoute(ConversionRun& run);

}  // namespace corvinex
