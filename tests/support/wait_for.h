#pragma once
// Waits in tests for something another thread does, with a generous limit so a
// busy machine does not fail a test; the limit only bounds a test that hangs.

#include <chrono>
#include <functional>
#include <thread>

namespace corvinex::test {

inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace corvinex::test
