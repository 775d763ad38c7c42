#include "support/hostile_batch.h"

#include <algorithm>

#include "convert/child_process.h"
#include "settings/settings_file.h"
#include "support/ffprobe.h"

namespace corvinex::test {

namespace fs = std::filesystem;

namespace {

const fs::path kSharedProgram = fs::path(CORVINEX_PROGRAM_DIR);

std::string ReadIfThere(const fs::path& file) {
  std::error_code error;
  return fs::is_regular_file(file, error) ? ReadFileBytes(file) : std::string();
}

// The run's diagnostic logs, taken out of the program folder so that none piles up.
std::string TakeLogs(const fs::path& program, const std::string& only) {
  std::string text;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(program, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("TLVPUB-batch-", 0) != 0) continue;
    if (!only.empty() && name != only) continue;
    text += ReadIfThere(entry.path());
    fs::remove(entry.path(), error);
  }
  return text;
}

}  // namespace

void HostileBatchTest::SetUp() {
  program = kSharedProgram;
  WriteGoodSettings(settingsFile);
}

AppSettings HostileBatchTest::GoodSettings() const {
  AppSettings s;
  s.X1 = 150;
  s.Y1 = 20;
  s.X2 = 316;
  s.Y2 = 306;
  s.RSIZE = 32;
  s.APATH = temp.string();
  s.OPATH = dir.path().string();
  return s;
}

void HostileBatchTest::WriteGoodSettings(const fs::path& file) {
  ASSERT_TRUE(WriteSettings(file, GoodSettings()));
}

fs::path HostileBatchTest::CopyProgram(const std::string& name, bool withAdapter) {
  const fs::path copy = dir / name;
  fs::create_directories(copy / "PLUG-IN");
  fs::create_directories(copy / "TEMP");
  fs::copy_file(kSharedProgram / "corvinex-batch", copy / "corvinex-batch");
  if (withAdapter) {
    fs::copy_file(kSharedProgram / "PLUG-IN" / "ffmpeg_III", copy / "PLUG-IN" / "ffmpeg_III");
  }
  return copy;
}

ToolRun HostileBatchTest::RunArgv(const std::vector<std::string>& argv, const std::string& tag) {
  ChildIo io;
  io.stdoutFile = dir / (tag + ".out");
  io.stderrFile = dir / (tag + ".err");
  ToolRun run;
  const ChildStart start = StartProcess(argv, io);
  if (!start.ok()) {
    run.err = "could not start: " + start.error;
    return run;
  }
  const ChildExit exit = WaitProcess(start.pid, kBatchTimeLimit);
  if (!exit.exited) KillProcess(start.pid);
  run.finished = exit.exited;
  run.exitCode = exit.exitCode;
  run.out = ReadIfThere(io.stdoutFile);
  run.err = ReadIfThere(io.stderrFile);
  // In the shared folder only this run's log is taken; a copy belongs to the test.
  run.log = TakeLogs(program, program == kSharedProgram
                                  ? "TLVPUB-batch-" + std::to_string(start.pid) + ".log"
                                  : std::string());
  return run;
}

ToolRun HostileBatchTest::Run(const std::vector<std::string>& args, const std::string& tag) {
  return RunWithSettings(settingsFile, args, tag);
}

ToolRun HostileBatchTest::RunWithSettings(const fs::path& settings,
                                          const std::vector<std::string>& args,
                                          const std::string& tag) {
  std::vector<std::string> argv = {(program / "corvinex-batch").string()};
  if (!settings.empty()) {
    argv.push_back("--settings");
    argv.push_back(settings.string());
  }
  argv.insert(argv.end(), args.begin(), args.end());
  return RunArgv(argv, tag);
}

ToolRun HostileBatchTest::RunUnshared(const std::string& script,
                                      const std::vector<std::string>& args,
                                      const std::string& tag) {
  std::vector<std::string> argv = {"unshare",
                                   "-rm",
                                   "sh",
                                   "-c",
                                   "TOOL=\"$1\"; shift; " + script,
                                   "sh",
                                   (program / "corvinex-batch").string()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunArgv(argv, tag);
}

fs::path HostileBatchTest::Movie(const std::string& name, SampleMovieOptions options) {
  const fs::path movie = dir / name;
  MakeSampleMovie(movie, options);
  return movie;
}

InputGuard::InputGuard(fs::path file) : file_(std::move(file)), bytes_(ReadFileBytes(file_)) {}

bool InputGuard::Unchanged() const {
  std::error_code error;
  return fs::is_regular_file(file_, error) && ReadFileBytes(file_) == bytes_;
}

std::string FolderListing(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    names.push_back(fs::relative(entry.path(), folder, error).string());
  }
  std::sort(names.begin(), names.end());
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

::testing::AssertionResult EndedCleanly(const ToolRun& run) {
  if (!run.finished) {
    return ::testing::AssertionFailure() << "the batch tool was still running after "
                                         << kBatchTimeLimit.count() << " s; stderr: " << run.err;
  }
  if (run.exitCode < 0 || run.exitCode > 2) {
    return ::testing::AssertionFailure()
           << "the batch tool ended with code " << run.exitCode
           << (run.exitCode > 128 ? " (a signal)" : "") << "; stderr: " << run.err;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult FailedSaying(const ToolRun& run, const std::string& words) {
  if (const auto clean = EndedCleanly(run); !clean) return clean;
  if (run.exitCode == 0) {
    return ::testing::AssertionFailure() << "the run claimed success; stdout: " << run.out;
  }
  if (run.err.find(words) == std::string::npos && run.log.find(words) == std::string::npos) {
    return ::testing::AssertionFailure()
           << "no message says \"" << words << "\"; stderr: " << run.err << "\nlog: " << run.log;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ConvertedOrRefused(const ToolRun& run, const fs::path& input,
                                              const fs::path& output) {
  if (const auto clean = EndedCleanly(run); !clean) return clean;
  if (run.exitCode == 0) {
    const auto facts = ProbeFile(output);
    if (!facts || !facts->hasVideo || facts->width <= 0 || facts->frameCount < 1) {
      return ::testing::AssertionFailure()
             << "success was claimed but " << output << " is no movie; stdout: " << run.out;
    }
    return ::testing::AssertionSuccess();
  }
  if (run.err.find(input.filename().string()) == std::string::npos) {
    return ::testing::AssertionFailure()
           << "the failure does not name " << input.filename() << "; stderr: " << run.err;
  }
  std::error_code error;
  if (fs::exists(output, error)) {
    return ::testing::AssertionFailure() << "a failed run left " << output;
  }
  return ::testing::AssertionSuccess();
}

void ExpectNothingLost(const ToolRun& run, const fs::path& tempFolder, const InputGuard& input) {
  EXPECT_TRUE(EndedCleanly(run));
  EXPECT_EQ(FolderListing(tempFolder), "") << "left in the temporary folder";
  EXPECT_TRUE(input.Unchanged()) << input.file() << " was changed";
}

bool NamespacesWork() {
  static const bool works = [] {
    ChildIo quiet;
    return RunProcess({"unshare", "-rm", "sh", "-c", "mount -t tmpfs -o size=1m tmpfs /tmp"}, quiet,
                      std::chrono::seconds(20))
               .exitCode == 0;
  }();
  return works;
}

}  // namespace corvinex::test
