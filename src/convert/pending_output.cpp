#include "convert/pending_output.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "convert/pending_name.h"

namespace corvinex {

namespace fs = std::filesystem;

namespace {

// Enough for any number of runs sharing one folder, and a bound on a folder whose
// every name is refused for some reason of its own.
constexpr int kMaxNumberedNames = 10000;

std::string Describe(const fs::path& file, int error) {
  return file.string() + ": " + std::strerror(error);
}

// Where renameat2 is refused (some network and FUSE file systems), link + unlink is
// the same no-replace step: link fails on an existing name.
NoReplaceMove LinkWithoutReplacing(const fs::path& from, const fs::path& to, int& error) {
  if (::link(from.c_str(), to.c_str()) != 0) {
    error = errno;
    return error == EEXIST ? NoReplaceMove::Taken : NoReplaceMove::Failed;
  }
  ::unlink(from.c_str());
  return NoReplaceMove::Moved;
}

// The last way, for file systems without hard links: the name is reserved by an
// exclusive create and the finished file then replaces our own empty reservation.
NoReplaceMove ReserveThenRename(const fs::path& from, const fs::path& to, int& error) {
  const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = errno;
    return error == EEXIST ? NoReplaceMove::Taken : NoReplaceMove::Failed;
  }
  ::close(fd);
  if (::rename(from.c_str(), to.c_str()) != 0) {
    error = errno;
    ::unlink(to.c_str());
    return NoReplaceMove::Failed;
  }
  return NoReplaceMove::Moved;
}

}  // namespace

NoReplaceMove MoveWithoutReplacing(const fs::path& from, const fs::path& to, int& error) {
  error = 0;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return NoReplaceMove::Moved;
  }
  error = errno;
  if (error == EEXIST) return NoReplaceMove::Taken;
  if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return NoReplaceMove::Failed;
  const NoReplaceMove linked = LinkWithoutReplacing(from, to, error);
  if (linked != NoReplaceMove::Failed ||
      (error != EPERM && error != EOPNOTSUPP && error != ENOSYS)) {
    return linked;
  }
  return ReserveThenRename(from, to, error);
}

fs::path NumberedName(const fs::path& name, int n) {
  return name.parent_path() /
         (name.stem().string() + "_" + std::to_string(n) + name.extension().string());
}

PendingOutput::PendingOutput(fs::path finalPath) : final_(std::move(finalPath)) {
  if (final_.empty() || !final_.has_filename()) {
    error_ = "no output file name given";
    return;
  }
  const ProcessIdentity self = ThisProcess();
  // A name left by an earlier output of ours (a crash of a previous process with our
  // id is told apart by the start time) is skipped, never reused.
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ =
        final_.parent_path() / PendingName(final_.filename().string(), self, NextPendingSerial());
    const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      open_ = true;
      return;
    }
    if (errno != EEXIST) {
      error_ = "cannot create " + Describe(temp_, errno);
      return;
    }
  }
  error_ = "cannot create " + Describe(temp_, EEXIST);
}

PendingOutput::PendingOutput(PendingOutput&& other) noexcept
    : final_(std::move(other.final_)),
      temp_(std::move(other.temp_)),
      error_(std::move(other.error_)),
      open_(other.open_) {
  other.open_ = false;
}

PendingOutput::~PendingOutput() {
  Abandon();
}

CommitResult PendingOutput::Commit(bool overwrite) {
  CommitResult result;
  if (!open_) {
    result.error =
        error_.empty() ? final_.string() + ": the output was already moved or removed" : error_;
    return result;
  }
  // The writer (a child) may have replaced our reservation; a missing file is no output.
  std::error_code status;
  if (!fs::is_regular_file(temp_, status)) {
    result.error = "no finished output at " + temp_.string();
    return result;
  }
  if (overwrite) {
    if (::rename(temp_.c_str(), final_.c_str()) != 0) {
      result.error = "cannot move the output onto " + Describe(final_, errno);
      return result;
    }
    open_ = false;
    result.ok = true;
    result.name = final_;
    return result;
  }
  for (int n = 1; n <= kMaxNumberedNames; ++n) {
    const fs::path candidate = n == 1 ? final_ : NumberedName(final_, n);
    int error = 0;
    switch (MoveWithoutReplacing(temp_, candidate, error)) {
      case NoReplaceMove::Moved:
        open_ = false;
        result.ok = true;
        result.name = candidate;
        return result;
      case NoReplaceMove::Taken:
        continue;
      case NoReplaceMove::Failed:
        result.error = "cannot move the output onto " + Describe(candidate, error);
        return result;
    }
  }
  result.error =
      "no free name for " + final_.string() + " up to _" + std::to_string(kMaxNumberedNames);
  return result;
}

void PendingOutput::Abandon() {
  if (!open_) return;
  open_ = false;
  ::unlink(temp_.c_str());
}

}  // namespace corvinex
