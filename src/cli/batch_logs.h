#pragma once
// Each batch run logs to a file of its own; the folder keeps only the newest ones,
// so that an afternoon of runs does not leave hundreds behind.

#include <cstddef>
#include <filesystem>

namespace corvinex {

inline constexpr size_t kBatchLogsKept = 20;

// Removes all but the `keep` most recently written TLVPUB-batch-*.log files of
// `folder`; other files are never touched. Errors are ignored (a log that cannot be
// removed only stays).
void PruneBatchLogs(const std::filesystem::path& folder, size_t keep = kBatchLogsKept);

}  // namespace corvinex
