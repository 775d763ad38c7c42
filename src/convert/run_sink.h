#pragma once
// Where a conversion run's frames go: numbered files for a later export, or straight
// to a running encoder. Both keep the run's constant-rate timing by repeating a
// frame already submitted.

#include <cstdint>
#include <string>

#include "transform/frame_sink.h"

namespace corvinex {

struct SpoolStats {
  int64_t written = 0;   // frames written, repeats included
  int64_t repeated = 0;  // of which repeats of an earlier frame
  int64_t failed = 0;
  std::string firstError;  // the first failure, for the end-of-run report
};

class RunSink : public FrameSink {
 public:
  // Frames [first, last] repeat frame `source`, the last one submitted.
  virtual void Repeat(int64_t source, int64_t first, int64_t last) = 0;
  // Waits until every submitted frame has been written (or has failed).
  virtual void Finish() = 0;
  virtual SpoolStats Stats() const = 0;
};

}  // namespace corvinex
