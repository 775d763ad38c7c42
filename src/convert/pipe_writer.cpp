#include "convert/pipe_writer.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include "settings/diagnostic_log.h"

namespace corvinex {
namespace {

// Writes `count` pieces whole, resuming after interrupted and partial writes. The
// pieces are changed as they are written.
bool WriteAll(int fd, iovec* next, size_t count) {
  size_t left = count;
  while (left > 0) {
    const ssize_t n = ::writev(fd, next, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    // Skip what was written, part of a piece included.
    size_t done = static_cast<size_t>(n);
    while (left > 0 && done >= next->iov_len) {
      done -= next->iov_len;
      ++next;
      --left;
    }
    if (left > 0) {
      next->iov_base = static_cast<uint8_t*>(next->iov_base) + done;
      next->iov_len -= done;
    }
  }
  return true;
}

// The frames are bottom-up rows (as a BMP stores them); the encoder reads top-down
// rows, so the rows are handed to the kernel in reverse order: no copy is made.
bool WriteRowsReversed(int fd, const uint8_t* data, size_t rowBytes, size_t rows) {
  constexpr size_t kBatch = std::min<size_t>(IOV_MAX, 256);
  iovec vectors[kBatch];
  size_t row = rows;  // rows still to go, written from the last one down
  while (row > 0) {
    const size_t count = std::min(kBatch, row);
    for (size_t i = 0; i < count; ++i) {
      vectors[i].iov_base = const_cast<uint8_t*>(data + (row - 1 - i) * rowBytes);
      vectors[i].iov_len = rowBytes;
    }
    row -= count;
    if (!WriteAll(fd, vectors, count)) return false;
  }
  return true;
}

}  // namespace

PipeWriter::PipeWriter(int fd, DiagnosticLog* log, Format format, size_t queueLimit)
    : fd_(fd), log_(log), format_(format), queueLimit_(queueLimit > 0 ? queueLimit : 1) {
  // Larger pipe chunks mean fewer wake-ups of the encoder; the default works too.
  (void)::fcntl(fd_, F_SETPIPE_SZ, 1 << 20);
  thread_ = std::thread([this] {
    // A write into a pipe nobody reads raises SIGPIPE in the writing thread, which
    // would end the whole program: blocked here, the write fails with EPIPE instead.
    // The signal stays pending on this thread and is discarded with it.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    Run();
  });
}

PipeWriter::~PipeWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  ClosePipe();
}

std::vector<uint8_t> PipeWriter::AcquireBuffer(size_t size) {
  return pool_.Take(size);
}

void PipeWriter::Submit(OutputFrame&& frame) {
  Push(Job{.frame = std::move(frame)});
}

void PipeWriter::Repeat(int64_t source, int64_t first, int64_t last) {
  if (source < 0 || last < first) return;
  Job job;
  job.frame.number = first;
  job.repeats = last - first + 1;
  Push(std::move(job));
}

void PipeWriter::Push(Job&& job) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < queueLimit_; });
  queue_.push_back(std::move(job));
  lock.unlock();
  changed_.notify_all();
}

void PipeWriter::Finish() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
  }
  ClosePipe();
}

SpoolStats PipeWriter::Stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

void PipeWriter::ClosePipe() {
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void PipeWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;  // stopping, and everything is written
    Job job = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    const bool broken = stats_.failed > 0 || fd_ < 0;
    lock.unlock();
    changed_.notify_all();  // room in the queue

    int64_t written = 0;
    if (broken) {
      // The encoder is gone: the rest of the frames have nowhere to go.
    } else if (job.repeats > 0) {
      for (; written < job.repeats && HasLast(); ++written) {
        if (!WriteLast()) break;
      }
    } else if (WriteFrame(job.frame)) {
      written = 1;
      // The new frame stands in for repeats from now on. Converted for the encoder,
      // it is kept in that form and its frame buffer is free at once; otherwise the
      // old one is free again.
      if (format_ == Format::Yuv420) {
        lastConverted_ = true;
      } else {
        std::swap(last_, job.frame);
      }
    }

    lock.lock();
    busy_ = false;
    stats_.written += written;
    if (job.repeats > 0) stats_.repeated += written;
    if (job.repeats == 0 && !job.frame.bytes.empty()) pool_.Give(std::move(job.frame.bytes));
    changed_.notify_all();
  }
}

bool PipeWriter::WriteFrame(const OutputFrame& frame) {
  const size_t rowBytes = 4u * static_cast<size_t>(std::max(frame.width, 0));
  const size_t rows = static_cast<size_t>(std::max(frame.height, 0));
  if (rowBytes == 0 || rows == 0 || frame.bytes.size() < rowBytes * rows) {
    Fail("frame " + std::to_string(frame.number) + " of " + std::to_string(frame.bytes.size()) +
         " bytes is smaller than " + std::to_string(frame.width) + "x" +
         std::to_string(frame.height));
    return false;
  }
  if (format_ == Format::Yuv420) {
    // This thread has no one to throw to: a frame too big for memory fails the pipe.
    try {
      yuvFrame_.resize(Yuv420Converter::ByteSize(frame.width, frame.height));
    } catch (const std::bad_alloc&) {
      Fail("frame " + std::to_string(frame.number) + " of " + std::to_string(frame.width) + "x" +
           std::to_string(frame.height) + ": not enough memory to convert it for the encoder");
      return false;
    }
    if (!yuv_.Convert(frame.bytes.data(), frame.width, frame.height, yuvFrame_.data())) {
      Fail("frame " + std::to_string(frame.number) + " could not be converted for the encoder");
      return false;
    }
    return WriteConverted();
  }
  return Written(WriteRowsReversed(fd_, frame.bytes.data(), rowBytes, rows));
}

bool PipeWriter::WriteConverted() {
  iovec whole{yuvFrame_.data(), yuvFrame_.size()};
  return Written(WriteAll(fd_, &whole, 1));
}

bool PipeWriter::HasLast() const {
  return format_ == Format::Yuv420 ? lastConverted_ : last_.width > 0;
}

bool PipeWriter::WriteLast() {
  return format_ == Format::Yuv420 ? WriteConverted() : WriteFrame(last_);
}

bool PipeWriter::Written(bool ok) {
  if (!ok) {
    Fail(errno == EPIPE
             ? std::string("the encoder stopped reading the frames")
             : std::string("cannot hand frames to the encoder: ") + std::strerror(errno));
  }
  return ok;
}

void PipeWriter::Fail(const std::string& reason) {
  bool first;
  {
    std::lock_guard lock(mutex_);
    first = ++stats_.failed == 1;
    if (first) stats_.firstError = reason;
  }
  if (log_ && first) log_->LogLine("PipeFrame ERR " + reason);
}

}  // namespace corvinex
