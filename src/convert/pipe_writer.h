#pragma once
// Writes the pipeline's output frames as raw top-down BGRX pictures into the pipe
// of a running encoder, on one writer thread, so that unwrapping and encoding
// overlap. The queue is bounded and buffers are recycled, as in the spool writer; a
// repeat writes the last frame again. When the encoder stops reading (it died, or
// was ended) the write fails at once: the failure is counted and the frames still
// coming are dropped, so the frame loop is never held up by a dead encoder.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/buffer_pool.h"
#include "convert/run_sink.h"

namespace corvinex {

class DiagnosticLog;

class PipeWriter : public RunSink {
 public:
  // Takes ownership of `fd`, the pipe's write end.
  PipeWriter(int fd, DiagnosticLog* log, size_t queueLimit = 3);
  ~PipeWriter() override;  // writes what is queued, closes the pipe, then stops
  PipeWriter(const PipeWriter&) = delete;
  PipeWriter& operator=(const PipeWriter&) = delete;

  std::vector<uint8_t> AcquireBuffer(size_t size) override;
  void Submit(OutputFrame&& frame) override;  // blocks while the queue is full
  void Repeat(int64_t source, int64_t first, int64_t last) override;
  // Waits until every frame is written, then closes the pipe: the encoder sees the end.
  void Finish() override;
  SpoolStats Stats() const override;

 private:
  struct Job {
    OutputFrame frame;
    int64_t repeats = 0;  // > 0: write the last frame this many times
  };
  void Push(Job&& job);
  void Run();
  bool WriteFrame(const OutputFrame& frame);
  void Fail(const std::string& reason);
  void ClosePipe();

  int fd_;
  DiagnosticLog* log_;
  const size_t queueLimit_;

  BufferPool pool_{queueLimit_ + 1};  // a full queue plus the one being filled
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  OutputFrame last_;  // the last frame written, for repeats (writer thread only)
  bool busy_ = false;
  bool stopping_ = false;
  SpoolStats stats_;
  std::thread thread_;
};

}  // namespace corvinex
