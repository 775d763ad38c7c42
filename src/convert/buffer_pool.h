#pragma once
// Frame buffers handed back by a writer once written, so that a steady run
// allocates nothing: the sinks' AcquireBuffer takes from here.

#include <cstdint>
#include <mutex>
#include <vector>

namespace corvinex {

class BufferPool {
 public:
  // Keeps at most `limit` buffers: enough for a full queue plus the one being filled.
  explicit BufferPool(size_t limit) : limit_(limit) {}

  // A buffer of `size` bytes, recycled when one is spare.
  std::vector<uint8_t> Take(size_t size) {
    std::vector<uint8_t> buffer;
    {
      std::lock_guard lock(mutex_);
      if (!spare_.empty()) {
        buffer = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    buffer.resize(size);
    return buffer;
  }

  void Give(std::vector<uint8_t>&& buffer) {
    if (buffer.empty()) return;
    std::lock_guard lock(mutex_);
    if (spare_.size() < limit_) spare_.push_back(std::move(buffer));
  }

 private:
  const size_t limit_;
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> spare_;
};

}  // namespace corvinex
