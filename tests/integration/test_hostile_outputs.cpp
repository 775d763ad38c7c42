// What the real batch tool leaves at its output names when it is killed, when two runs
// aim at one name, and when the encoder fails or lies: a movie appears whole and
// checked or not at all, an old one is replaced only by a whole new one, and a frame
// folder never mixes two movies.
//
// The tests marked  describe behaviour this branch does not have yet: the tool
// writes the movie straight to its final name and takes a frame folder as it is.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "convert/child_process.h"
#include "support/ffprobe.h"
#include "support/hostile_batch.h"
#include "support/wait_for.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using test::ExpectNothingLost;
using test::FailedSaying;
using test::InputGuard;

// The processes whose command line names `file`, killed when `kill` is set.
std::vector<pid_t> ProcessesNaming(const fs::path& file, bool kill = false) {
  std::vector<pid_t> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code readError;
    if (!fs::is_regular_file(entry.path() / "cmdline", readError)) continue;
    const std::string command = test::ReadFileBytes(entry.path() / "cmdline");
    if (command.find(file.string()) == std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(name));
    if (pid == ::getpid()) continue;
    found.push_back(pid);
    if (kill) ::kill(pid, SIGKILL);
  }
  return found;
}

struct HostileOutputs : test::HostileBatchTest {
  // The shared adapter's place in a copy of the program, which then runs `script` for
  // the export (the call that writes an .mp4: "-f mp4") and the real adapter otherwise,
  // whatever name the export is given to write.
  void BreakTheExport(const std::string& name, const std::string& script) {
    program = CopyProgram(name);
    const fs::path adapter = program / "PLUG-IN" / "ffmpeg_III";
    fs::rename(adapter, program / "PLUG-IN" / "real adapter");
    test::WriteFileBytes(adapter,
                         "#!/bin/sh\n"
                         "for last; do :; done\n"
                         "previous=\n"
                         "for arg; do\n"
                         "  if [ \"$previous\" = -f ] && [ \"$arg\" = mp4 ]; then " +
                             script +
                             "; fi\n"
                             "  previous=\"$arg\"\n"
                             "done\n"
                             "exec \"$(dirname \"$0\")/real adapter\" \"$@\"\n");
    fs::permissions(adapter, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  }

  // The BMP files of a frame folder, by name, with their bytes.
  static std::map<std::string, std::string> Frames(const fs::path& folder) {
    std::map<std::string, std::string> frames;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      frames[entry.path().filename().string()] = test::ReadFileBytes(entry.path());
    }
    return frames;
  }
};

// Killed outright in the frame loop, the tool can tidy nothing: no movie may appear at
// its final name afterwards (the encoder it started must not finish one there), and no
// encoder may live on.
TEST_F(HostileOutputs, KilledMidRunLeavesNothingAtTheFinalNameAndNoChild) {
  const fs::path movie = Movie("long take ü.mp4", {.width = 320, .height = 240, .frames = 300});
  const fs::path output = dir / "killed out é.mp4";
  ChildIo io;
  io.stdoutFile = dir / "killed.out";
  io.stderrFile = dir / "killed.err";
  const ChildStart start =
      StartProcess({(program / "corvinex-batch").string(), "--settings", settingsFile.string(),
                    movie.string(), "-o", output.string(), "--progress", "json"},
                   io);
  ASSERT_TRUE(start.ok()) << start.error;
  // In the frame loop: the run tells its first frames.
  const bool inLoop = test::WaitFor(
      [&] {
        const std::string err = test::ReadFileBytes(io.stderrFile);
        const std::string frames = "\"phase\":\"frames\",\"done\":";
        const size_t at = err.rfind(frames);
        return at != std::string::npos && at + frames.size() < err.size() &&
               err[at + frames.size()] != '0';
      },
      std::chrono::seconds(60));
  ::kill(start.pid, SIGKILL);
  const ChildExit exit = WaitProcess(start.pid, std::chrono::seconds(10));
  ASSERT_TRUE(inLoop) << "the frame loop was not reached: " << test::ReadFileBytes(io.stderrFile);
  EXPECT_TRUE(exit.exited);

  // An encoder left behind would finish its movie within this time.
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const std::vector<pid_t> children = ProcessesNaming(output, true);
  EXPECT_TRUE(children.empty()) << children.size() << " process(es) still write " << output;
  EXPECT_FALSE(fs::exists(output)) << "a movie appeared at the final name after the kill";
}

// Two runs at once whose default names are the same: neither replaces the other's movie
// (no -y was given), both succeed, and each tells the name it really wrote.
TEST_F(HostileOutputs, TwoRunsAtOnceAimingAtOneNameKeepBothMovies) {
  const fs::path mp4 = Movie("clip.mp4", {.width = 160, .height = 120, .frames = 60});
  const fs::path mov = dir / "clip.mov";
  test::MakeSampleMovie(mov, {.width = 160, .height = 120, .frames = 60});
  std::vector<ChildStart> starts;
  std::vector<ChildIo> ios(2);
  const fs::path inputs[] = {mp4, mov};
  for (int i = 0; i < 2; ++i) {
    ios[i].stdoutFile = dir / ("both " + std::to_string(i) + ".out");
    ios[i].stderrFile = dir / ("both " + std::to_string(i) + ".err");
    starts.push_back(StartProcess({(program / "corvinex-batch").string(), "--settings",
                                   settingsFile.string(), inputs[i].string()},
                                  ios[i]));
    ASSERT_TRUE(starts.back().ok()) << starts.back().error;
  }
  std::vector<std::string> outs;
  for (int i = 0; i < 2; ++i) {
    const ChildExit exit = WaitProcess(starts[i].pid, test::kBatchTimeLimit);
    if (!exit.exited) KillProcess(starts[i].pid);
    outs.push_back(test::ReadFileBytes(ios[i].stdoutFile));
    EXPECT_TRUE(exit.exited);
    EXPECT_EQ(exit.exitCode, 0) << test::ReadFileBytes(ios[i].stderrFile);
  }
  const fs::path first = dir / "clip_Unwrapped.mp4";
  const fs::path second = dir / "clip_Unwrapped_2.mp4";
  for (const fs::path& written : {first, second}) {
    const auto facts = test::ProbeFile(written);
    ASSERT_TRUE(facts.has_value()) << written;
    EXPECT_TRUE(facts->hasVideo) << written;
    EXPECT_GT(facts->frameCount, 0) << written;
  }
  // Each summary names the file of its own run, and the two are different files.
  const bool firstIsMp4 = outs[0].find("-> " + first.string() + " (") != std::string::npos;
  EXPECT_NE(outs[firstIsMp4 ? 0 : 1].find("-> " + first.string() + " ("), std::string::npos)
      << outs[0] << outs[1];
  EXPECT_NE(outs[firstIsMp4 ? 1 : 0].find("-> " + second.string() + " ("), std::string::npos)
      << outs[0] << outs[1];
  EXPECT_EQ(test::FolderListing(temp), "");
}

// -y replaces an old movie only by a whole new one: an encoder that fails after
// writing part of its movie leaves the old one as it was.
TEST_F(HostileOutputs, OverwriteWithAFailingEncoderKeepsTheOldMovie) {
  const fs::path movie = Movie("take.mp4");
  const fs::path output = dir / "kept é.mp4";
  ASSERT_EQ(Run({movie.string(), "-o", output.string()}, "first").exitCode, 0);
  const std::string before = test::ReadFileBytes(output);
  ASSERT_FALSE(before.empty());

  BreakTheExport("failing export",
                 "printf 'half a movie' > \"$last\"; echo 'encoder failed' >&2; exit 1");
  const InputGuard guard(movie);
  const test::ToolRun run = Run({movie.string(), "-o", output.string(), "-y"}, "again");
  ExpectNothingLost(run, temp, guard);
  EXPECT_TRUE(FailedSaying(run, "take.mp4"));
  ASSERT_TRUE(fs::exists(output)) << "the old movie was removed";
  EXPECT_TRUE(test::ReadFileBytes(output) == before) << "the old movie was not kept byte for byte";
}

// An encoder that says it succeeded but wrote 8 bytes: the run checks what it wrote,
// fails saying so, and leaves nothing at the output name.
TEST_F(HostileOutputs, EncoderClaimingSuccessForEightBytesFails) {
  const fs::path movie = Movie("take.mp4");
  const fs::path output = dir / "eight bytes.mp4";
  BreakTheExport("lying export", "printf '12345678' > \"$last\"; exit 0");
  const InputGuard guard(movie);
  const test::ToolRun run = Run({movie.string(), "-o", output.string()}, "lying");
  ExpectNothingLost(run, temp, guard);
  EXPECT_TRUE(FailedSaying(run, "take.mp4"));
  EXPECT_EQ(run.out.find("->"), std::string::npos) << "success was reported: " << run.out;
  EXPECT_FALSE(fs::exists(output)) << "the 8 bytes were left at the output name";
}

// A frame folder holding another movie's frames: refused, naming the folder, unless -y;
// with -y it ends up holding the new movie's frames alone.
TEST_F(HostileOutputs, FramesOnlyIntoAFolderOfAnotherMovie) {
  const fs::path first = Movie("first.mp4", {.width = 160, .height = 120, .frames = 20});
  const fs::path second = Movie("second.mp4", {.width = 160, .height = 120, .frames = 8});
  const fs::path frames = dir / "frames é";
  ASSERT_EQ(Run({first.string(), "--frames-only", frames.string()}, "first").exitCode, 0);
  const auto firstFrames = Frames(frames);
  ASSERT_EQ(firstFrames.size(), 20u);

  const test::ToolRun refused = Run({second.string(), "--frames-only", frames.string()}, "second");
  EXPECT_TRUE(FailedSaying(refused, frames.string()));
  EXPECT_TRUE(Frames(frames) == firstFrames)
      << "the first movie's frames were changed: " << test::FolderListing(frames);

  const test::ToolRun replaced =
      Run({second.string(), "--frames-only", frames.string(), "-y"}, "replace");
  EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
  const auto secondFrames = Frames(frames);
  EXPECT_EQ(secondFrames.size(), 8u) << test::FolderListing(frames);
  // The first movie's 20 frames gone, not merely the 8 of the same names replaced.
  for (const auto& [name, bytes] : secondFrames) {
    EXPECT_EQ(name.substr(name.size() - 4), ".bmp") << name;
  }
  EXPECT_EQ(test::FolderListing(temp), "");
}

}  // namespace
}  // namespace corvinex
