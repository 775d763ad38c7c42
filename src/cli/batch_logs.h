#pragma once
// Each batch run logs to a file of its own; the folder keeps only the newest ones,
// so that an afternoon of runs does not leave hundreds behind.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace corvinex {

inline constexpr size_t kBatchLogsKept = 20;

// Removes all but the `keep` most recently written TLVPUB-batch-*.log files of
// `folder`; other files are never touched. Errors are ignored (a log that cannot be
// removed only stays).
void PruneBatchLogs(const std::filesystem::path& folder, size_t keep = kBatchLogsKept);

// Where this run's log `name` goes: in `wanted` when given and it takes the file, else
// in `fallback`; empty when neither does (the run has no log). The folder is made when
// missing and the file created. A folder passed over is told in `warning`, with where
// the log goes instead.
std::filesystem::path PlaceBatchLog(const std::optional<std::filesystem::path>& wanted,
                                    const std::filesystem::path& fallback, const std::string& name,
                                    std::string& warning);

}  // namespace corvinex
