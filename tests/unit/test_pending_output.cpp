#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "convert/child_process.h"
#include "convert/leftovers.h"
#include "convert/pending_frames.h"
#include "convert/pending_name.h"
#include "convert/pending_output.h"
#include "convert/process_identity.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// The id of a process that ran and is reaped: no process has it now (until reused).
pid_t GonePid() {
  const ChildStart s = StartProcess({"true"});
  EXPECT_TRUE(s.ok());
  WaitProcess(s.pid);
  return s.pid;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ProcessIdentity, TellsThisProcessFromADeadOneAndFromALaterOneWithItsId) {
  const ProcessIdentity self = ThisProcess();
  EXPECT_EQ(self.pid, ::getpid());
  EXPECT_GT(self.startTicks, 0u);
  EXPECT_TRUE(ProcessIsRunning(self));
  EXPECT_FALSE(ProcessIsRunning({self.pid, self.startTicks + 1}));  // an earlier holder of the id
  EXPECT_FALSE(ProcessIsRunning({GonePid(), self.startTicks}));
  EXPECT_FALSE(ProcessIsRunning({0, 0}));

  // A child that has ended but is not reaped yet writes nothing more: it counts as gone.
  const ChildStart child = StartProcess({"true"});
  ASSERT_TRUE(child.ok());
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOWAIT), 0);
  EXPECT_FALSE(ProcessStartTicks(child.pid).has_value());
  WaitProcess(child.pid);
}

TEST(PendingName, HiddenKeepsTheExtensionAndNamesItsWriter) {
  const ProcessIdentity owner{4711, 987654};
  EXPECT_EQ(PendingName("clip_Unwrapped.mp4", owner, 3), ".clip_Unwrapped.part-4711-987654-3.mp4");
  EXPECT_EQ(PendingName("frames", owner, 1), ".frames.part-4711-987654-1");
  EXPECT_EQ(PendingName(".hidden", owner, 1), "..hidden.part-4711-987654-1");
  for (const std::string name : {"a b; $x.part-1-2-3.mkv", "x.tar.gz", "Żółw.webm", "frames"}) {
    const auto parsed = PendingNameOwner(PendingName(name, owner, 42));
    ASSERT_TRUE(parsed.has_value()) << name;
    EXPECT_EQ(parsed->pid, 4711);
    EXPECT_EQ(parsed->startTicks, 987654u);
  }
  for (const std::string other : {"clip.mp4", ".clip.mp4", "clip.part-1-2-3.mp4", ".c.part-1-2.mp4",
                                  ".c.part-x-2-3.mp4", ".c.part-0-2-3.mp4", ".c.part-1-2-3x.mp4"}) {
    EXPECT_FALSE(PendingNameOwner(other).has_value()) << other;
  }
}

TEST(PendingName, ALongNameIsShortenedWithinTheLimitWithoutSplittingALetter) {
  std::string stem;
  while (stem.size() < 250) stem += "ż";  // two bytes each
  const std::string name = PendingName(stem + ".webm", {123456, 1234567890}, 99);
  EXPECT_LE(name.size(), 255u);
  EXPECT_EQ(name.substr(name.size() - 5), ".webm");
  const std::string kept = name.substr(1, name.find(".part-") - 1);
  EXPECT_EQ(kept.size() % 2, 0u);  // whole letters only
  EXPECT_TRUE(PendingNameOwner(name).has_value());
  // The file system takes it.
  test::TempDir dir;
  PendingOutput out(dir / (stem + ".webm"));
  EXPECT_TRUE(out.ok()) << out.error();
}

TEST(PendingOutput, WritesBesideTheNameAndMovesOnlyWhenCommitted) {
  test::TempDir dir;
  const fs::path final = dir / "clip_Unwrapped.mp4";
  {
    PendingOutput out(final);
    ASSERT_TRUE(out.ok()) << out.error();
    EXPECT_EQ(out.TempPath().parent_path(), final.parent_path());
    EXPECT_EQ(out.TempPath().extension(), ".mp4");
    EXPECT_EQ(out.TempPath().filename().string()[0], '.');
    const auto owner = PendingNameOwner(out.TempPath().filename());
    ASSERT_TRUE(owner.has_value());
    EXPECT_EQ(owner->pid, ::getpid());
    test::WriteFileBytes(out.TempPath(), "movie one");
    EXPECT_FALSE(fs::exists(final));
    const CommitResult r = out.Commit(false);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.name, final);
    EXPECT_FALSE(fs::exists(out.TempPath()));
    EXPECT_FALSE(out.Commit(false).ok);  // once only
  }
  EXPECT_EQ(test::ReadFileBytes(final), "movie one");  // the destructor leaves it alone
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"clip_Unwrapped.mp4"});
}

// Two runs that chose one name (clip.mp4 and clip.mov of one folder) both keep their movie.
TEST(PendingOutput, ATakenNameIsNeverReplacedWithoutOverwrite) {
  test::TempDir dir;
  const fs::path final = dir / "clip_Unwrapped.mp4";
  PendingOutput first(final), second(final), third(final);
  ASSERT_TRUE(first.ok() && second.ok() && third.ok());
  EXPECT_NE(first.TempPath(), second.TempPath());
  test::WriteFileBytes(first.TempPath(), "first");
  test::WriteFileBytes(second.TempPath(), "second");
  test::WriteFileBytes(third.TempPath(), "third");
  EXPECT_EQ(first.Commit(false).name, final);
  EXPECT_EQ(second.Commit(false).name, dir / "clip_Unwrapped_2.mp4");
  EXPECT_EQ(third.Commit(false).name, dir / "clip_Unwrapped_3.mp4");
  EXPECT_EQ(test::ReadFileBytes(final), "first");
  EXPECT_EQ(test::ReadFileBytes(dir / "clip_Unwrapped_2.mp4"), "second");
  EXPECT_EQ(test::ReadFileBytes(dir / "clip_Unwrapped_3.mp4"), "third");

  int error = 0;
  test::WriteFileBytes(dir / "a", "a");
  EXPECT_EQ(MoveWithoutReplacing(dir / "a", final, error), NoReplaceMove::Taken);
  EXPECT_EQ(test::ReadFileBytes(dir / "a"), "a");
  EXPECT_EQ(MoveWithoutReplacing(dir / "missing", dir / "b", error), NoReplaceMove::Failed);
  EXPECT_EQ(error, ENOENT);
}

// -y: the old movie stays until the new one is whole; a failed run keeps it.
TEST(PendingOutput, OverwriteReplacesOnlyByTheFinishedFile) {
  test::TempDir dir;
  const fs::path final = dir / "out.mkv";
  test::WriteFileBytes(final, "old movie");
  {
    PendingOutput failed(final);
    test::WriteFileBytes(failed.TempPath(), "half");
    // Destroyed without a commit: the encoder failed.
  }
  EXPECT_EQ(test::ReadFileBytes(final), "old movie");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.mkv"});

  PendingOutput out(final);
  test::WriteFileBytes(out.TempPath(), "new movie");
  const CommitResult r = out.Commit(true);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.name, final);
  EXPECT_EQ(test::ReadFileBytes(final), "new movie");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.mkv"});
}

TEST(PendingOutput, ErrorsNameTheFile) {
  test::TempDir dir;
  PendingOutput nowhere(dir / "no such folder" / "x.mp4");
  EXPECT_FALSE(nowhere.ok());
  EXPECT_NE(nowhere.error().find("no such folder"), std::string::npos) << nowhere.error();
  EXPECT_FALSE(nowhere.Commit(false).ok);

  PendingOutput vanished(dir / "y.mp4");
  fs::remove(vanished.TempPath());
  const CommitResult r = vanished.Commit(true);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(".y.part-"), std::string::npos) << r.error;
  EXPECT_FALSE(fs::exists(dir / "y.mp4"));

  // A folder in the way of the name is not replaced.
  fs::create_directory(dir / "z.mp4");
  PendingOutput blocked(dir / "z.mp4");
  const CommitResult over = blocked.Commit(true);
  EXPECT_FALSE(over.ok);
  EXPECT_NE(over.error.find("z.mp4"), std::string::npos) << over.error;
  EXPECT_TRUE(fs::is_directory(dir / "z.mp4"));
}

void WriteFrames(const fs::path& folder, int first, int last, const std::string& mark) {
  for (int n = first; n <= last; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "temp%06d.bmp", n);
    test::WriteFileBytes(folder / name, mark + std::to_string(n));
  }
}

TEST(PendingFrames, ATakenFolderIsRefusedUnlessOverwritten) {
  EXPECT_TRUE(IsFrameFileName("temp000001.bmp"));
  EXPECT_TRUE(IsFrameFileName("temp1234567.bmp"));
  for (const char* other : {"temp00001.bmp", "temp.wav", "temp000001.BMPX", "tmp000001.bmp",
                            "temp00000a.bmp", "photo.bmp"}) {
    EXPECT_FALSE(IsFrameFileName(other)) << other;
  }
  test::TempDir dir;
  EXPECT_EQ(FrameFolderProblem(dir.path(), false), "");
  test::WriteFileBytes(dir / "notes.txt", "x");
  EXPECT_EQ(FrameFolderProblem(dir.path(), false), "");  // other files are no frames
  WriteFrames(dir.path(), 1, 1, "old");
  const std::string problem = FrameFolderProblem(dir.path(), false);
  EXPECT_NE(problem.find(dir.path().string()), std::string::npos) << problem;
  EXPECT_EQ(FrameFolderProblem(dir.path(), true), "");
  EXPECT_NE(FrameFolderProblem(dir / "notes.txt", true), "");
}

TEST(PendingFrames, TheFramesAppearOnlyWhenAllAreWritten) {
  test::TempDir dir;
  {
    PendingFrameFolder frames(dir.path());
    ASSERT_TRUE(frames.ok()) << frames.error();
    EXPECT_EQ(frames.TempFolder().parent_path(), dir.path());
    EXPECT_TRUE(PendingNameOwner(frames.TempFolder().filename()).has_value());
    WriteFrames(frames.TempFolder(), 1, 3, "half");
    // Stopped: nothing is left.
  }
  EXPECT_TRUE(Names(dir.path()).empty());

  PendingFrameFolder frames(dir.path());
  WriteFrames(frames.TempFolder(), 1, 3, "new");
  EXPECT_TRUE(Names(dir.path()).size() == 1);  // only the hidden folder so far
  const CommitResult r = frames.Commit(false);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.name, dir.path());
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{"temp000001.bmp", "temp000002.bmp", "temp000003.bmp"}));
  EXPECT_EQ(test::ReadFileBytes(dir / "temp000002.bmp"), "new2");
}

TEST(PendingFrames, OverwriteReplacesTheWholeOldSet) {
  test::TempDir dir;
  WriteFrames(dir.path(), 1, 5, "old");
  test::WriteFileBytes(dir / "keep.txt", "mine");
  PendingFrameFolder frames(dir.path());
  WriteFrames(frames.TempFolder(), 1, 2, "new");
  ASSERT_TRUE(frames.Commit(true).ok);
  // The old frames 3..5 would read as part of the new movie.
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{"keep.txt", "temp000001.bmp", "temp000002.bmp"}));
  EXPECT_EQ(test::ReadFileBytes(dir / "temp000001.bmp"), "new1");
}

TEST(PendingFrames, AFrameThatAppearedMeanwhileLeavesTheFolderAsItWas) {
  test::TempDir dir;
  PendingFrameFolder frames(dir.path());
  WriteFrames(frames.TempFolder(), 1, 4, "ours");
  WriteFrames(dir.path(), 3, 3, "theirs");  // another run's frame
  const CommitResult r = frames.Commit(false);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(dir.path().string()), std::string::npos) << r.error;
  EXPECT_EQ(test::ReadFileBytes(dir / "temp000003.bmp"), "theirs3");
  frames.Abandon();
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"temp000003.bmp"});
}

void Age(const fs::path& p) {
  fs::last_write_time(p, fs::last_write_time(p) - std::chrono::minutes(5));
}

TEST(Leftovers, OnlyThoseOfGoneProcessesAreRemoved) {
  test::TempDir dir;
  const ProcessIdentity self = ThisProcess();
  const ProcessIdentity gone{GonePid(), self.startTicks};
  const ProcessIdentity reused{self.pid, self.startTicks + 7};  // our id, an earlier process
  const fs::path deadFile = dir / PendingName("a.mp4", gone, 1);
  const fs::path reusedFile = dir / PendingName("b.mp4", reused, 1);
  const fs::path deadFolder = dir / PendingName("frames", gone, 2);
  const fs::path living = dir / PendingName("c.mp4", self, 1);
  const fs::path freshDead = dir / PendingName("d.mp4", gone, 3);
  for (const fs::path& f : {deadFile, reusedFile, living, freshDead}) test::WriteFileBytes(f, "x");
  fs::create_directory(deadFolder);
  WriteFrames(deadFolder, 1, 2, "f");
  test::WriteFileBytes(dir / "clip.mp4", "user's movie");
  test::WriteFileBytes(dir / ".clip.part-1-2.mp4", "not ours");
  for (const fs::path& f : {deadFile, reusedFile, living, deadFolder}) Age(f);

  EXPECT_EQ(RemoveLeftoversOfDeadRuns(dir.path()), 3);
  EXPECT_FALSE(fs::exists(deadFile));
  EXPECT_FALSE(fs::exists(reusedFile));
  EXPECT_FALSE(fs::exists(deadFolder));
  EXPECT_TRUE(fs::exists(living));
  EXPECT_TRUE(fs::exists(freshDead));  // written to a moment ago: perhaps another machine's
  EXPECT_TRUE(fs::exists(dir / "clip.mp4"));
  EXPECT_TRUE(fs::exists(dir / ".clip.part-1-2.mp4"));
  EXPECT_EQ(RemoveLeftoversOfDeadRuns(dir.path(), std::chrono::seconds(0)), 1);
  EXPECT_FALSE(fs::exists(freshDead));
  EXPECT_EQ(RemoveLeftoversOfDeadRuns(dir / "missing"), 0);
}

TEST(Leftovers, BatchTemporaryFoldersOfGoneRuns) {
  test::TempDir dir;
  const ProcessIdentity self = ThisProcess();
  const std::string ours = BatchTempFolderName();
  EXPECT_EQ(ours,
            "corvinex-batch-" + std::to_string(self.pid) + "-" + std::to_string(self.startTicks));
  const pid_t gone = GonePid();
  const std::vector<std::string> dead = {"corvinex-batch-" + std::to_string(gone),
                                         "corvinex-batch-" + std::to_string(gone) + "-55",
                                         "corvinex-batch-" + std::to_string(self.pid) + "-1"};
  const std::vector<std::string> kept = {ours, "corvinex-batch-" + std::to_string(self.pid),
                                         "corvinex-batch-x", "other"};
  for (const auto& name : dead) {
    fs::create_directory(dir / name);
    test::WriteFileBytes(dir / name / "temp000001.bmp", "x");
    Age(dir / name);
  }
  for (const auto& name : kept) {
    fs::create_directory(dir / name);
    Age(dir / name);
  }
  test::WriteFileBytes(dir / ("corvinex-batch-" + std::to_string(gone) + "-9"), "a file");
  EXPECT_EQ(RemoveDeadBatchTempFolders(dir.path()), 3);
  for (const auto& name : dead) EXPECT_FALSE(fs::exists(dir / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir / name)) << name;
  EXPECT_TRUE(fs::exists(dir / ("corvinex-batch-" + std::to_string(gone) + "-9")));
}

}  // namespace
}  // namespace corvinex
