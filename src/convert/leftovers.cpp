#include "convert/leftovers.h"

#include <sys/stat.h>
#include <time.h>

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "convert/pending_name.h"
#include "convert/process_identity.h"

namespace corvinex {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBatchPrefix = "corvinex-batch-";

bool ReadNumber(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

// Whether the owner is gone: the start time is compared when the name carries one.
bool OwnerGone(const ProcessIdentity& owner, bool withStart) {
  if (withStart) return !ProcessIsRunning(owner);
  return !ProcessStartTicks(owner.pid).has_value();
}

// Untouched for `quietFor`: the entry itself (a link is not followed), by its own clock.
bool QuietFor(const fs::path& path, std::chrono::seconds quietFor) {
  if (quietFor.count() <= 0) return true;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - st.st_mtim.tv_sec >= quietFor.count();
}

// Removes a file, a link (never followed) or a whole folder.
bool RemoveEntry(const fs::path& path) {
  std::error_code error;
  return fs::remove_all(path, error) > 0 && !error;
}

std::optional<ProcessIdentity> BatchFolderOwner(const std::string& name, bool& withStart) {
  if (name.compare(0, kBatchPrefix.size(), kBatchPrefix) != 0) return std::nullopt;
  const std::string_view rest = std::string_view(name).substr(kBatchPrefix.size());
  const size_t dash = rest.find('-');
  uint64_t pid = 0, ticks = 0;
  withStart = dash != std::string_view::npos;
  if (!ReadNumber(rest.substr(0, dash), pid) || pid == 0 || pid > 0x7fffffff) return std::nullopt;
  if (withStart && !ReadNumber(rest.substr(dash + 1), ticks)) return std::nullopt;
  return ProcessIdentity{static_cast<pid_t>(pid), ticks};
}

}  // namespace

std::string BatchTempFolderName() {
  const ProcessIdentity self = ThisProcess();
  return std::string(kBatchPrefix) + std::to_string(self.pid) + "-" +
         std::to_string(self.startTicks);
}

int RemoveLeftoversOfDeadRuns(const fs::path& folder, std::chrono::seconds quietFor) {
  // Listed first, removed after: a folder is not changed under its own listing.
  std::vector<fs::path> dead;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::optional<ProcessIdentity> owner = PendingNameOwner(it->path().filename().string());
    if (owner && OwnerGone(*owner, true) && QuietFor(it->path(), quietFor)) {
      dead.push_back(it->path());
    }
  }
  int removed = 0;
  for (const fs::path& path : dead) removed += RemoveEntry(path) ? 1 : 0;
  return removed;
}

int RemoveDeadBatchTempFolders(const fs::path& tempRoot, std::chrono::seconds quietFor) {
  std::vector<fs::path> dead;
  std::error_code error;
  for (fs::directory_iterator it(tempRoot, error), end; !error && it != end; it.increment(error)) {
    std::error_code statusError;
    if (!fs::is_directory(it->symlink_status(statusError))) continue;
    bool withStart = false;
    const std::optional<ProcessIdentity> owner =
        BatchFolderOwner(it->path().filename().string(), withStart);
    if (owner && OwnerGone(*owner, withStart) && QuietFor(it->path(), quietFor)) {
      dead.push_back(it->path());
    }
  }
  int removed = 0;
  for (const fs::path& path : dead) removed += RemoveEntry(path) ? 1 : 0;
  return removed;
}

}  // namespace corvinex
