#pragma once
// An output file written under a hidden temporary name in its final folder and moved
// onto its name only once it is finished and checked, so that the name holds either
// the whole new file, the old one, or nothing; never a part.

#include <filesystem>
#include <string>

namespace corvinex {

struct CommitResult {
  bool ok = false;
  std::filesystem::path name;  // where the output now is (ok only)
  std::string error;           // why not, naming the file (not ok only)
};

// Moves `from` onto `to` only when `to` does not exist, in one step. `taken` tells a
// name that exists (the move did not happen then); `error` any other failure.
enum class NoReplaceMove { Moved, Taken, Failed };
NoReplaceMove MoveWithoutReplacing(const std::filesystem::path& from,
                                   const std::filesystem::path& to, int& error);

class PendingOutput {
 public:
  // Reserves the temporary name beside `finalPath` (an empty file, created here so
  // no other run can take it). ok() tells whether that worked, error() why not.
  explicit PendingOutput(std::filesystem::path finalPath);
  ~PendingOutput();  // abandons an output that was neither committed nor abandoned
  PendingOutput(PendingOutput&& other) noexcept;
  PendingOutput& operator=(PendingOutput&&) = delete;
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // Where the writer writes: same folder and extension as the final name.
  const std::filesystem::path& TempPath() const { return temp_; }
  const std::filesystem::path& FinalPath() const { return final_; }

  // Moves the finished file onto its name. With `overwrite` an existing file of that
  // name is replaced in one step. Without, an existing name is never replaced: the
  // first free of STEM_2.EXT, STEM_3.EXT ... is taken the same way, and the result
  // names it. On failure the temporary file stays for another Commit or Abandon.
  CommitResult Commit(bool overwrite);
  // Removes the temporary file; the final name is not touched.
  void Abandon();

 private:
  std::filesystem::path final_;
  std::filesystem::path temp_;
  std::string error_;
  bool open_ = false;  // the temporary file is ours to commit or remove
};

// STEM_N.EXT beside `name`, the N-th choice when `name` is taken (n >= 2).
std::filesystem::path NumberedName(const std::filesystem::path& name, int n);

}  // namespace corvinex
