#include "convert/pending_frames.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <system_error>
#include <vector>

#include "convert/pending_name.h"

namespace corvinex {

namespace fs = std::filesystem;

namespace {

// The frames directly in `folder` (regular files and links, never folders).
std::vector<std::string> FrameNamesIn(const fs::path& folder, std::error_code& error) {
  std::vector<std::string> names;
  fs::directory_iterator it(folder, error);
  if (error) return names;
  for (const fs::directory_entry& entry : it) {
    std::error_code statusError;
    if (fs::is_directory(entry.symlink_status(statusError))) continue;
    std::string name = entry.path().filename().string();
    if (IsFrameFileName(name)) names.push_back(std::move(name));
  }
  return names;
}

std::string Describe(const fs::path& file, int error) {
  return file.string() + ": " + std::strerror(error);
}

}  // namespace

bool IsFrameFileName(const std::string& name) {
  constexpr size_t kPrefix = 4, kSuffix = 4;
  if (name.size() < kPrefix + 6 + kSuffix || name.compare(0, kPrefix, "temp") != 0 ||
      name.compare(name.size() - kSuffix, kSuffix, ".bmp") != 0) {
    return false;
  }
  const std::string digits = name.substr(kPrefix, name.size() - kPrefix - kSuffix);
  return digits.find_first_not_of("0123456789") == std::string::npos;
}

std::string FrameFolderProblem(const fs::path& folder, bool overwrite) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) return folder.string() + " is no folder";
  const std::vector<std::string> frames = FrameNamesIn(folder, error);
  if (error) return "cannot read the frame folder " + folder.string() + ": " + error.message();
  if (!frames.empty() && !overwrite) {
    return "the frame folder " + folder.string() + " holds frames (" + frames.front() +
           " ...) already and they are kept; --overwrite (or -y) replaces them";
  }
  return {};
}

PendingFrameFolder::PendingFrameFolder(fs::path folder) : folder_(std::move(folder)) {
  const ProcessIdentity self = ThisProcess();
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = folder_ / PendingName("frames", self, NextPendingSerial());
    if (::mkdir(temp_.c_str(), 0777) == 0) {
      open_ = true;
      return;
    }
    if (errno != EEXIST) {
      error_ = "cannot create the frame folder " + Describe(temp_, errno);
      return;
    }
  }
  error_ = "cannot create the frame folder " + Describe(temp_, EEXIST);
}

PendingFrameFolder::~PendingFrameFolder() {
  Abandon();
}

CommitResult PendingFrameFolder::Commit(bool overwrite) {
  CommitResult result;
  if (!open_) {
    result.error =
        error_.empty() ? folder_.string() + ": the frames were already moved or removed" : error_;
    return result;
  }
  std::error_code error;
  std::vector<std::string> names;
  for (fs::directory_iterator it(temp_, error), end; !error && it != end; it.increment(error)) {
    std::error_code statusError;
    if (!fs::is_directory(it->symlink_status(statusError))) {
      names.push_back(it->path().filename().string());
    }
  }
  if (error) {
    result.error = "cannot read the new frames in " + temp_.string() + ": " + error.message();
    return result;
  }
  const std::vector<std::string> old =
      overwrite ? FrameNamesIn(folder_, error) : std::vector<std::string>();
  std::vector<std::string> moved;
  for (const std::string& name : names) {
    const fs::path from = temp_ / name;
    const fs::path to = folder_ / name;
    int code = 0;
    NoReplaceMove outcome = NoReplaceMove::Moved;
    if (overwrite) {
      if (::rename(from.c_str(), to.c_str()) != 0) {
        code = errno;
        outcome = NoReplaceMove::Failed;
      }
    } else {
      outcome = MoveWithoutReplacing(from, to, code);
    }
    if (outcome == NoReplaceMove::Moved) {
      moved.push_back(name);
      continue;
    }
    result.error = outcome == NoReplaceMove::Taken
                       ? "the frame folder " + folder_.string() + " received " + name +
                             " from elsewhere while the frames were made; it is kept"
                       : "cannot move the frame onto " + Describe(to, code);
    // Without overwrite nothing was replaced: the moved frames go back and the folder
    // is as before. (Replaced frames cannot be given back; the old ones are gone.)
    if (!overwrite) {
      for (const std::string& back : moved) {
        int ignored = 0;
        MoveWithoutReplacing(folder_ / back, temp_ / back, ignored);
      }
    }
    return result;
  }
  // The old frames beyond the new set would read as part of it.
  const std::set<std::string> fresh(names.begin(), names.end());
  for (const std::string& name : old) {
    if (fresh.count(name) == 0) ::unlink((folder_ / name).c_str());
  }
  open_ = false;
  fs::remove_all(temp_, error);
  result.ok = true;
  result.name = folder_;
  return result;
}

void PendingFrameFolder::Abandon() {
  if (!open_) return;
  open_ = false;
  std::error_code ignored;
  fs::remove_all(temp_, ignored);
}

}  // namespace corvinex
