#include "convert/spool_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "convert/bmp_header.h"
#include "convert/temp_files.h"
#include "settings/diagnostic_log.h"

namespace corvinex {
namespace {

// Log the first failures one by one; after that only the count grows.
constexpr int64_t kLoggedFailures = 10;

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

SpoolWriter::SpoolWriter(std::filesystem::path tempFolder, DiagnosticLog* log, size_t queueLimit)
    : folder_(std::move(tempFolder)), log_(log), queueLimit_(queueLimit > 0 ? queueLimit : 1) {
  thread_ = std::thread([this] { Run(); });
}

SpoolWriter::~SpoolWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

std::vector<uint8_t> SpoolWriter::AcquireBuffer(size_t size) {
  return pool_.Take(size);
}

void SpoolWriter::Submit(OutputFrame&& frame) {
  Push(Job{.frame = std::move(frame)});
}

void SpoolWriter::Repeat(int64_t source, int64_t first, int64_t last) {
  if (source < 0 || last < first) return;
  Job job;
  job.frame.number = first;
  job.repeatOf = source;
  job.repeatLast = last;
  Push(std::move(job));
}

void SpoolWriter::Push(Job&& job) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < queueLimit_; });
  queue_.push_back(std::move(job));
  lock.unlock();
  changed_.notify_all();
}

void SpoolWriter::Finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

SpoolStats SpoolWriter::Stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

void SpoolWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;  // stopping, and everything is written
    Job job = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    changed_.notify_all();  // room in the queue

    if (job.repeatOf >= 0) {
      WriteRepeats(job);
    } else {
      Write(job.frame);
    }

    lock.lock();
    busy_ = false;
    if (job.repeatOf < 0) pool_.Give(std::move(job.frame.bytes));
    changed_.notify_all();
  }
}

void SpoolWriter::Write(const OutputFrame& frame) {
  std::filesystem::path file = SpoolFilePath(folder_, frame.number);
  size_t imageBytes = 4u * static_cast<size_t>(frame.width > 0 ? frame.width : 0) *
                      static_cast<size_t>(frame.height > 0 ? frame.height : 0);
  if (imageBytes == 0 || frame.bytes.size() < imageBytes) {
    Fail(file, "frame of " + std::to_string(frame.bytes.size()) + " bytes is smaller than " +
                   std::to_string(frame.width) + "x" + std::to_string(frame.height));
    return;
  }
  SpoolHeader header = MakeSpoolHeader(frame.width, frame.height);
  // A file left under this name may be a link shared with another frame: it is
  // replaced, never written through.
  ::unlink(file.c_str());
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    Fail(file, std::strerror(errno));
    return;
  }
  bool ok =
      WriteAll(fd, header.data(), header.size()) && WriteAll(fd, frame.bytes.data(), imageBytes);
  int writeErrno = errno;
  // close() reports delayed write errors (for example a full network disk).
  if (::close(fd) != 0 && ok) {
    ok = false;
    writeErrno = errno;
  }
  if (!ok) {
    // A cut-off picture would be read as a broken frame: leave none at all.
    std::error_code ec;
    std::filesystem::remove(file, ec);
    Fail(file, std::strerror(writeErrno));
    return;
  }
  std::lock_guard lock(mutex_);
  ++stats_.written;
}

void SpoolWriter::WriteRepeats(const Job& job) {
  const std::filesystem::path source = SpoolFilePath(folder_, job.repeatOf);
  for (int64_t number = job.frame.number; number <= job.repeatLast; ++number) {
    const std::filesystem::path file = SpoolFilePath(folder_, number);
    ::unlink(file.c_str());
    if (::link(source.c_str(), file.c_str()) != 0) {
      // A folder that cannot hold links (some network or removable disks): a copy.
      const int linkErrno = errno;
      std::error_code ec;
      if (!std::filesystem::copy_file(source, file,
                                      std::filesystem::copy_options::overwrite_existing, ec)) {
        std::filesystem::remove(file, ec);
        Fail(file, std::string("cannot repeat ") + source.filename().string() + ": " +
                       std::strerror(linkErrno));
        continue;
      }
    }
    std::lock_guard lock(mutex_);
    ++stats_.written;
    ++stats_.repeated;
  }
}

void SpoolWriter::Fail(const std::filesystem::path& file, const std::string& reason) {
  std::string line = "SpoolFrame ERR " + file.string() + " : " + reason;
  int64_t count;
  {
    std::lock_guard lock(mutex_);
    count = ++stats_.failed;
    if (stats_.firstError.empty()) stats_.firstError = line;
  }
  if (log_ && count <= kLoggedFailures) log_->LogLine(line);
}

}  // namespace corvinex
