#pragma once
// Writes the pipeline's output frames as raw top-down pictures (BGRX, or the encoder's
// own 4:2:0 converted on this thread) into the pipe of a running encoder, on one
// writer thread, so that unwrapping, conversion and encoding overlap. The queue is bounded and
// buffers are recycled, as in the spool writer; a repeat writes the last frame again. When the
// encoder stops reading (it died, or was ended) the write fails at once: the failure is counted and
// the frames still coming are dropped, so the frame loop is never held up by a dead encoder.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/buffer_pool.h"
#include "convert/run_sink.h"
#include "media/yuv420_converter.h"

namespace corvinex {

class DiagnosticLog;

class PipeWriter : public RunSink {
 public:
  enum class Format { Bgrx, Yuv420 };
  // Takes ownership of `fd`, the pipe's write end.
  PipeWriter(int fd, DiagnosticLog* log, Format format = Format::Bgrx, size_t queueLimit = 3);
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
  bool WriteConverted();  // yuvFrame_, as it stands
  bool HasLast() const;
  bool WriteLast();       // the last frame written, again
  bool Written(bool ok);  // reports a failed write
  void Fail(const std::string& reason);
  void ClosePipe();

  int fd_;
  DiagnosticLog* log_;
  const Format format_;
  Yuv420Converter yuv_;            // writer thread only
  std::vector<uint8_t> yuvFrame_;  // sized on the first frame
  const size_t queueLimit_;

  BufferPool pool_{queueLimit_ + 1};  // a full queue plus the one being filled
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  // The last frame written, for repeats (writer thread only): as it was, or, in
  // 4:2:0, already converted in yuvFrame_.
  OutputFrame last_;
  bool lastConverted_ = false;
  bool busy_ = false;
  bool stopping_ = false;
  SpoolStats stats_;
  std::thread thread_;
};

}  // namespace corvinex
