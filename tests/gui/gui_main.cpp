// The window tests need one QApplication before any widget exists.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "gui/dialog_answer.h"

namespace {

// A window test that has not ended after this long is stuck (a dialog nobody
// answers, a wait that never ends): say which one and end the run, well before
// ctest's own limit, so the log names the test instead of a bare timeout.
constexpr std::chrono::seconds kPerTestLimit{120};

class TestWatchdog : public ::testing::EmptyTestEventListener {
 public:
  TestWatchdog() : thread_([this] { Watch(); }) {}
  ~TestWatchdog() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void OnTestStart(const ::testing::TestInfo& info) override {
    std::lock_guard lock(mutex_);
    name_ = std::string(info.test_suite_name()) + "." + info.name();
    deadline_ = std::chrono::steady_clock::now() + Limit();
    running_ = true;
    changed_.notify_all();
  }

  void OnTestEnd(const ::testing::TestInfo&) override {
    corvinex::test::DropPendingAnswers();
    std::lock_guard lock(mutex_);
    running_ = false;
    changed_.notify_all();
  }

 private:
  static std::chrono::seconds Limit() {
    // Sanitizer builds run several times slower; they may ask for more.
    if (const char* text = std::getenv("CORVINEX_GUI_TEST_LIMIT_S")) {
      const int seconds = std::atoi(text);
      if (seconds > 0) return std::chrono::seconds(seconds);
    }
    return kPerTestLimit;
  }

  void Watch() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (!running_) {
        changed_.wait(lock);
        continue;
      }
      if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && running_ &&
          std::chrono::steady_clock::now() >= deadline_) {
        std::fprintf(stderr, "\n%s did not end within %lld s; stopping the test run.\n",
                     name_.c_str(), static_cast<long long>(Limit().count()));
        std::fflush(stderr);
        std::_Exit(3);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::string name_;
  std::chrono::steady_clock::time_point deadline_;
  bool running_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new TestWatchdog);
  return RUN_ALL_TESTS();
}
