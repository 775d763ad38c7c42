#pragma once
// Removal of what killed runs left behind: temporary outputs (see pending_name.h) and
// the batch tool's temporary folders, once the process that wrote them is gone.

#include <chrono>
#include <filesystem>
#include <string>

namespace corvinex {

// A run's own temporary folder name: "corvinex-batch-PID-STARTTICKS", this process's.
std::string BatchTempFolderName();

// Removes the temporary outputs (files and folders named by PendingName) in `folder`
// whose writing process is gone: no such process id, or one that started at another
// time. Those of a living run are never touched, nor anything untouched for less
// than `quietFor`, which spares a run of another machine writing to a shared folder
// (its id means nothing here). Returns how many entries were removed.
int RemoveLeftoversOfDeadRuns(const std::filesystem::path& folder,
                              std::chrono::seconds quietFor = std::chrono::seconds(60));

// The same for the batch tool's temporary folders in `tempRoot` (the TEMP folder):
// "corvinex-batch-PID-STARTTICKS" of a gone process, and the older
// "corvinex-batch-PID" when no process has that id. Returns how many were removed.
int RemoveDeadBatchTempFolders(const std::filesystem::path& tempRoot,
                               std::chrono::seconds quietFor = std::chrono::seconds(60));

}  // namespace corvinex
