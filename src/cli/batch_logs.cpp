#include "cli/batch_logs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace corvinex {

namespace fs = std::filesystem;

void PruneBatchLogs(const fs::path& folder, size_t keep) {
  std::vector<std::pair<fs::file_time_type, fs::path>> logs;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.rfind("TLVPUB-batch-", 0) != 0 || it->path().extension() != ".log") continue;
    std::error_code timeError;
    const auto written = fs::last_write_time(it->path(), timeError);
    if (!timeError) logs.emplace_back(written, it->path());
  }
  if (logs.size() <= keep) return;
  std::sort(logs.begin(), logs.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  for (size_t i = keep; i < logs.size(); ++i) fs::remove(logs[i].second, error);
}

namespace {

// Empty when `folder` takes the file `name`, else why not.
std::string CannotWriteLog(const fs::path& folder, const std::string& name) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return error.message();
  std::FILE* file = std::fopen((folder / name).c_str(), "ab");
  if (file == nullptr) return std::strerror(errno);
  std::fclose(file);
  return {};
}

}  // namespace

fs::path PlaceBatchLog(const std::optional<fs::path>& wanted, const fs::path& fallback,
                       const std::string& name, std::string& warning) {
  warning.clear();
  std::string passedOver;
  if (wanted) {
    const std::string why = CannotWriteLog(*wanted, name);
    if (why.empty()) return *wanted / name;
    passedOver = "cannot write the log in " + wanted->string() + " (" + why + ")";
  }
  const std::string why = CannotWriteLog(fallback, name);
  if (why.empty()) {
    if (!passedOver.empty()) {
      warning = passedOver + "; the log goes to " + (fallback / name).string() + " instead";
    }
    return fallback / name;
  }
  if (passedOver.empty())
    passedOver = "cannot write the log in " + fallback.string() + " (" + why + ")";
  warning = passedOver + "; this run has no log";
  return {};
}

}  // namespace corvinex
