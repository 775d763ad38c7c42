#include "cli/batch_logs.h"

#include <algorithm>
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

}  // namespace corvinex
