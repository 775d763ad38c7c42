#pragma once
// Runs the real batch tool on hostile inputs and checks what every such run owes the
// user: it ends on its own (no hang), by exit rather than by signal, with a message
// that names the problem, no temporary files left and the input unchanged.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/app_settings.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"

namespace corvinex::test {

// The longest a batch run on a small movie may take before it counts as hung.
inline constexpr std::chrono::seconds kBatchTimeLimit{120};

struct ToolRun {
  bool finished = false;  // ended within the time limit (else it was killed)
  int exitCode = -1;      // 128 + signal number when a signal ended it
  std::string out;
  std::string err;
  std::string log;  // the run's diagnostic log, when one was written
};

class HostileBatchTest : public ::testing::Test {
 protected:
  TempDir dir{"hostile ü batch"};
  std::filesystem::path temp = dir / "temp folder";  // the settings' temporary folder
  std::filesystem::path settingsFile = dir / "options.ini";

  void SetUp() override;

  // The shared build's program folder, or a copy of it made by CopyProgram.
  std::filesystem::path program;

  // A copy of the program folder (tool and encoder adapter), so a test may break it.
  std::filesystem::path CopyProgram(const std::string& name, bool withAdapter = true);

  // Runs program/corvinex-batch with `args` after "--settings FILE" (none when
  // `settings` is empty), within the time limit.
  ToolRun Run(const std::vector<std::string>& args, const std::string& tag = "run");
  ToolRun RunWithSettings(const std::filesystem::path& settings,
                          const std::vector<std::string>& args, const std::string& tag);

  // Runs `script` with sh in a new user and mount namespace; "$TOOL" is the batch tool
  // and "$@" the given arguments. The run's standard streams go to the result.
  ToolRun RunUnshared(const std::string& script, const std::vector<std::string>& args,
                      const std::string& tag);

  // A small sample movie (160 x 120, 1 s unless told otherwise).
  std::filesystem::path Movie(const std::string& name, SampleMovieOptions options = Small());
  static SampleMovieOptions Small() { return {.width = 160, .height = 120, .frames = 25}; }

  // Settings whose temporary folder is `temp`, with the sample ring, and their file.
  AppSettings GoodSettings() const;
  void WriteGoodSettings(const std::filesystem::path& file);

 private:
  ToolRun RunArgv(const std::vector<std::string>& argv, const std::string& tag);
};

// The bytes of an input before a run, to prove afterwards that nothing changed it.
class InputGuard {
 public:
  explicit InputGuard(std::filesystem::path file);
  bool Unchanged() const;
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  std::string bytes_;
};

// The names inside a folder ("" when it does not exist or is empty).
std::string FolderListing(const std::filesystem::path& folder);

// No hang, no signal: the run ended by itself with one of the tool's exit codes.
::testing::AssertionResult EndedCleanly(const ToolRun& run);

// A failure the user is told about: exit code 1 or 2, and standard error or the log
// holds `words`.
::testing::AssertionResult FailedSaying(const ToolRun& run, const std::string& words);

// Either a real output movie (exit 0 and ffprobe reads a picture from `output`) or a
// failure whose message names the input file.
::testing::AssertionResult ConvertedOrRefused(const ToolRun& run,
                                              const std::filesystem::path& input,
                                              const std::filesystem::path& output);

// Everything a hostile run owes: clean end, empty temporary folder, input unchanged.
void ExpectNothingLost(const ToolRun& run, const std::filesystem::path& tempFolder,
                       const InputGuard& input);

// True when a new user and mount namespace with a tmpfs can be made here.
bool NamespacesWork();

}  // namespace corvinex::test
