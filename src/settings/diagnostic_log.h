#pragma once
// The diagnostic log beside the program: one line per event, CR LF endings,
// reopened for every line so the file is complete on disk after each call.

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace corvinex {

class DiagnosticLog {
 public:
  // A log without a file discards its lines (tests and tools that need no log).
  DiagnosticLog() = default;
  explicit DiagnosticLog(std::filesystem::path file);

  DiagnosticLog(const DiagnosticLog&) = delete;
  DiagnosticLog& operator=(const DiagnosticLog&) = delete;

  // Appends text + CR LF. Safe to call from any thread; lines never interleave.
  // A failure to write loses the line and is not reported.
  void LogLine(std::string_view text);

  // Deletes an existing log and writes the two header lines for `now` (local time).
  void StartNew(std::chrono::system_clock::time_point now);

  const std::filesystem::path& path() const { return file_; }

 private:
  std::filesystem::path file_;
  std::mutex mutex_;
};

}  // namespace corvinex
