#pragma once
// The window's frames go to the spool and, at the same time, into the pipe of an
// encoder: the first export is made while the frames are, and the spooled files stay
// for another compression. A failing pipe never fails the spool; the run then exports
// from the spooled files as before.

#include <memory>

#include "convert/run_sink.h"

namespace corvinex {

class TeeSink : public RunSink {
 public:
  TeeSink(std::unique_ptr<RunSink> spool, std::unique_ptr<RunSink> pipe);

  std::vector<uint8_t> AcquireBuffer(size_t size) override;
  // The spool takes the frame; the pipe gets a copy in one of its own buffers.
  void Submit(OutputFrame&& frame) override;
  void Repeat(int64_t source, int64_t first, int64_t last) override;
  // Both are finished: the pipe's end tells the encoder the frames are complete.
  void Finish() override;
  SpoolStats Stats() const override;  // the spool's: they count the run's frames
  SpoolStats PipeStats() const;

 private:
  std::unique_ptr<RunSink> spool_;
  std::unique_ptr<RunSink> pipe_;
};

}  // namespace corvinex
