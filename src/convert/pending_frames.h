#pragma once
// The frames of a frames-only run, written into a hidden temporary folder inside the
// chosen folder and moved onto their names only once every one was written, so the
// folder holds either the whole new set of frames or what it held before.

#include <filesystem>
#include <string>

#include "convert/pending_output.h"

namespace corvinex {

// Whether `name` is a numbered frame of ours ("temp" + six or more digits + ".bmp").
bool IsFrameFileName(const std::string& name);

// Before a run: empty when `folder` may receive frames; otherwise why not, naming the
// folder (it holds frames and `overwrite` is not given, or it is no folder).
std::string FrameFolderProblem(const std::filesystem::path& folder, bool overwrite);

class PendingFrameFolder {
 public:
  // Creates the hidden temporary folder inside `folder`, which must exist.
  explicit PendingFrameFolder(std::filesystem::path folder);
  ~PendingFrameFolder();  // abandons what was neither committed nor abandoned
  PendingFrameFolder(const PendingFrameFolder&) = delete;
  PendingFrameFolder& operator=(const PendingFrameFolder&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // Where the frames are written.
  const std::filesystem::path& TempFolder() const { return temp_; }
  const std::filesystem::path& Folder() const { return folder_; }

  // Moves every file of the temporary folder into the folder, then removes the
  // temporary folder. With `overwrite` each frame replaces its namesake in one step
  // and the old frames the new set has no namesake for are removed afterwards.
  // Without, no file is ever replaced: when a name turns out to be taken (another
  // run), the frames moved so far go back, the folder is as before, and the error
  // names it. result.name is the folder.
  CommitResult Commit(bool overwrite);
  // Removes the temporary folder and the frames in it.
  void Abandon();

 private:
  std::filesystem::path folder_;
  std::filesystem::path temp_;
  std::string error_;
  bool open_ = false;
};

}  // namespace corvinex
