#include "transform/split_work.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace corvinex {
namespace {

class Helper {
 public:
  Helper() : thread_([this] { Run(); }) {}
  ~Helper() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void RunBoth(void (*work)(void*, int), void* context) {
    std::unique_lock caller(callMutex_, std::try_to_lock);
    if (!caller) {
      work(context, 0);
      work(context, 1);
      return;
    }
    {
      std::lock_guard lock(mutex_);
      work_ = work;
      context_ = context;
      pending_ = true;
    }
    changed_.notify_all();
    work(context, 0);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pending_; });
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return pending_ || stopping_; });
      if (stopping_) return;
      lock.unlock();
      work_(context_, 1);
      lock.lock();
      pending_ = false;
      changed_.notify_all();
    }
  }

  std::mutex callMutex_;  // one caller at a time uses the helper
  std::mutex mutex_;
  std::condition_variable changed_;
  void (*work_)(void*, int) = nullptr;
  void* context_ = nullptr;
  bool pending_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace

void RunInTwoHalves(void (*work)(void* context, int half), void* context) {
  static const bool twoCores = std::thread::hardware_concurrency() > 1;
  if (!twoCores) {
    work(context, 0);
    work(context, 1);
    return;
  }
  static Helper helper;
  helper.RunBoth(work, context);
}

}  // namespace corvinex
