#include "convert/tee_sink.h"

#include <cstring>

namespace corvinex {

TeeSink::TeeSink(std::unique_ptr<RunSink> spool, std::unique_ptr<RunSink> pipe)
    : spool_(std::move(spool)), pipe_(std::move(pipe)) {}

std::vector<uint8_t> TeeSink::AcquireBuffer(size_t size) {
  return spool_->AcquireBuffer(size);
}

void TeeSink::Submit(OutputFrame&& frame) {
  // A broken pipe would drop the copy anyway.
  if (pipe_->Stats().failed == 0) {
    OutputFrame copy{.number = frame.number,
                     .width = frame.width,
                     .height = frame.height,
                     .bytes = pipe_->AcquireBuffer(frame.bytes.size())};
    std::memcpy(copy.bytes.data(), frame.bytes.data(), frame.bytes.size());
    pipe_->Submit(std::move(copy));
  }
  spool_->Submit(std::move(frame));
}

void TeeSink::Repeat(int64_t source, int64_t first, int64_t last) {
  if (pipe_->Stats().failed == 0) pipe_->Repeat(source, first, last);
  spool_->Repeat(source, first, last);
}

void TeeSink::Finish() {
  spool_->Finish();
  pipe_->Finish();
}

SpoolStats TeeSink::Stats() const {
  return spool_->Stats();
}

SpoolStats TeeSink::PipeStats() const {
  return pipe_->Stats();
}

}  // namespace corvinex
