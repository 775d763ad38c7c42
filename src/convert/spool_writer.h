#pragma once
// Writes the pipeline's output frames as numbered temporary BMP files on one writer
// thread. The queue is bounded: a slow disk holds the pipeline back instead of
// piling frames up in memory. Buffers of written frames are handed back for the
// next frames, so the steady state allocates nothing. A frame that cannot be
// written is logged and counted, never lost without a word.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/buffer_pool.h"
#include "convert/run_sink.h"

namespace corvinex {

class DiagnosticLog;

class SpoolWriter : public RunSink {
 public:
  SpoolWriter(std::filesystem::path tempFolder, DiagnosticLog* log, size_t queueLimit = 4);
  ~SpoolWriter() override;  // writes what is queued, then stops
  SpoolWriter(const SpoolWriter&) = delete;
  SpoolWriter& operator=(const SpoolWriter&) = delete;

  std::vector<uint8_t> AcquireBuffer(size_t size) override;
  // Blocks while the queue is full.
  void Submit(OutputFrame&& frame) override;
  // Frames [first, last] repeat frame `source` (submitted before): hard links to its
  // file, copies where the folder cannot link. Nothing is allocated for the pixels.
  void Repeat(int64_t source, int64_t first, int64_t last) override;
  // Waits until every submitted frame has been written (or has failed).
  void Finish() override;
  SpoolStats Stats() const override;

 private:
  struct Job {
    OutputFrame frame;
    int64_t repeatOf = -1;  // >= 0: frames frame.number..repeatLast repeat this one
    int64_t repeatLast = -1;
  };
  void Push(Job&& job);
  void Run();
  void Write(const OutputFrame& frame);
  void WriteRepeats(const Job& job);
  void Fail(const std::filesystem::path& file, const std::string& reason);

  const std::filesystem::path folder_;
  DiagnosticLog* log_;
  const size_t queueLimit_;

  BufferPool pool_{queueLimit_ + 1};  // a full queue plus the one being filled
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  SpoolStats stats_;
  std::thread thread_;
};

}  // namespace corvinex
