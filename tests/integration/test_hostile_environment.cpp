// A broken installation or disk under the real batch tool: a missing or crashing
// encoder adapter, a temporary folder on a full disk, a read-only program folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/settings_file.h"
#include "support/ffprobe.h"
#include "support/hostile_batch.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using test::ExpectNothingLost;
using test::FailedSaying;
using test::InputGuard;

struct HostileEnvironment : test::HostileBatchTest {
  fs::path movie;
  fs::path output;

  void SetUp() override {
    HostileBatchTest::SetUp();
    movie = Movie("take ü.mp4");
    output = dir / "panorama out.mp4";
  }

  void InstallAdapter(const std::string& script) {
    const fs::path adapter = program / "PLUG-IN" / "ffmpeg_III";
    fs::remove(adapter);
    test::WriteFileBytes(adapter, script);
    fs::permissions(adapter, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  }

  // An adapter that works for everything but the export, which writes part of the
  // movie and then runs `then` (shell commands).
  void InstallHalfExport(const std::string& name, const std::string& then) {
    program = CopyProgram(name);
    fs::rename(program / "PLUG-IN" / "ffmpeg_III", program / "PLUG-IN" / "real adapter");
    InstallAdapter(
        "#!/bin/sh\n"
        "for last; do :; done\n"
        "case \"$last\" in *'panorama out'*.mp4) printf 'half a movie' > \"$last\"; " +
        then +
        ";; esac\n"
        "exec \"$(dirname \"$0\")/real adapter\" \"$@\"\n");
  }

  // Converts the movie, which must fail with `words` and leave no output behind.
  void ExpectFailureSaying(const std::string& words) {
    const InputGuard guard(movie);
    const test::ToolRun run = Run({movie.string(), "-o", output.string()});
    ExpectNothingLost(run, temp, guard);
    EXPECT_TRUE(FailedSaying(run, words));
    EXPECT_FALSE(fs::exists(output)) << "a failed run left an output movie";
  }
};

TEST_F(HostileEnvironment, TerminatedDuringTheExportLeavesNoMovieAndNoSuccess) {
  // The export writes part of the movie, then the tool is told to end (as by `kill` or a
  // closed session) while the encoder still works.
  InstallHalfExport("terminated export", "kill -TERM $PPID; exec sleep 60");
  const InputGuard guard(movie);
  const test::ToolRun run = Run({movie.string(), "-o", output.string()});
  ExpectNothingLost(run, temp, guard);
  EXPECT_TRUE(FailedSaying(run, "stopped"));
  EXPECT_FALSE(fs::exists(output)) << "the unfinished movie stayed";
  EXPECT_EQ((run.out + run.err).find("successfully"), std::string::npos) << run.out << run.err;
}

TEST_F(HostileEnvironment, MissingEncoderAdapterIsReported) {
  program = CopyProgram("no adapter", false);
  ExpectFailureSaying("The encoder could not be started.");
}

TEST_F(HostileEnvironment, EncoderAdapterKilledBySignalIsReported) {
  program = CopyProgram("crashing adapter");
  InstallAdapter("#!/bin/sh\nkill -SEGV $$\n");
  ExpectFailureSaying("the encoder did not write");
}

TEST_F(HostileEnvironment, ExportCrashingHalfwayLeavesNoHalfMovie) {
  InstallHalfExport("export crash", "kill -SEGV $$");
  ExpectFailureSaying("the encoder did not write");
}

TEST_F(HostileEnvironment, EncoderDyingWhileTheFramesComeEndsTheRunAtOnce) {
  // The one-pass encoder takes a few frames from its pipe and dies: the frames still
  // coming (several MB, more than a pipe holds) have nowhere to go.
  program = CopyProgram("dying encoder");
  movie = Movie("long take.mp4", {.width = 320, .height = 240, .frames = 100});
  InstallAdapter("#!/bin/sh\nhead -c 200000 > /dev/null\necho 'encoder gave up' >&2\nexit 3\n");
  const InputGuard guard(movie);
  const test::ToolRun run = Run({movie.string(), "-o", output.string()});
  ExpectNothingLost(run, temp, guard);
  EXPECT_TRUE(FailedSaying(run, "encoder gave up"));
  EXPECT_NE(run.log.find("the encoder stopped reading the frames"), std::string::npos) << run.log;
  EXPECT_EQ((run.out + run.err).find("successfully"), std::string::npos) << run.out << run.err;
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(HostileEnvironment, EncoderStallingPastThePatienceFailsRatherThanDropFrames) {
  // The encoder reads nothing for longer than the run waits for a frame, then encodes
  // what it finds: the frames given up on must not pass for a whole movie.
  InstallHalfExport("stalled export", "sleep 45");
  movie = Movie("long take.mp4", {.width = 320, .height = 240, .frames = 100});
  const InputGuard guard(movie);
  const test::ToolRun run = Run({movie.string(), "-o", output.string()});
  ExpectNothingLost(run, temp, guard);
  EXPECT_TRUE(FailedSaying(run, "frames missing"));
  EXPECT_EQ((run.out + run.err).find("successfully"), std::string::npos) << run.out << run.err;
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(HostileEnvironment, TemporaryFolderOnAFullDiskFailsClearly) {
  if (!test::NamespacesWork()) GTEST_SKIP() << "no user and mount namespaces here";
  program = CopyProgram("full disk");
  // About 5 MB of frames for a 3 MB disk, in the route that spools them.
  movie = Movie("large take.mp4", {.width = 640, .height = 480, .frames = 25});
  const fs::path small = dir / "small disk";
  fs::create_directories(small);
  temp = small;
  WriteGoodSettings(settingsFile);
  const fs::path listing = dir / "left on disk.txt";
  const InputGuard guard(movie);
  // The listing is taken before the namespace, and with it the small disk, goes away.
  const test::ToolRun run = RunUnshared(
      "D=\"$1\"; L=\"$2\"; shift 2; mount -t tmpfs -o size=3m tmpfs \"$D\" || exit 97; "
      "\"$TOOL\" \"$@\"; rc=$?; ls -A \"$D\" > \"$L\"; exit $rc",
      {small.string(), listing.string(), "--settings", settingsFile.string(), "--spool",
       movie.string(), "-o", output.string()},
      "full");
  ASSERT_NE(run.exitCode, 97) << "no tmpfs: " << run.err;
  ExpectNothingLost(run, temp, guard);
  // Found before the first frame, with the numbers.
  EXPECT_TRUE(FailedSaying(run, "Not enough free space for the frames"));
  EXPECT_TRUE(FailedSaying(run, "25 frames need about"));
  EXPECT_EQ(test::ReadFileBytes(listing), "") << "left in the temporary folder";
  // A run that lost frames claims no success anywhere and leaves no movie behind.
  EXPECT_EQ((run.out + run.err).find("successfully"), std::string::npos) << run.out << run.err;
  EXPECT_EQ(run.out.find("1 of 1"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(output));
}

// The output's disk fills while the encoder writes (some muxers still end with status 0):
// the run fails naming the full disk, and the movie -y was to replace stays byte for byte.
TEST_F(HostileEnvironment, OutputDiskFillingUpKeepsTheOldMovieUnderOverwrite) {
  if (!test::NamespacesWork()) GTEST_SKIP() << "no user and mount namespaces here";
  program = CopyProgram("full output disk");
  movie = Movie("large take.mp4", {.width = 640, .height = 480, .frames = 50});
  const fs::path small = dir / "small output disk";
  fs::create_directories(small);
  const fs::path listing = dir / "left on output disk.txt";
  const fs::path kept = dir / "old movie copy.mp4";
  const InputGuard guard(movie);
  const test::ToolRun run = RunUnshared(
      "D=\"$1\"; L=\"$2\"; K=\"$3\"; shift 3; mount -t tmpfs -o size=64k tmpfs \"$D\" || exit 97; "
      "printf 'the old movie' > \"$D/out.mp4\"; \"$TOOL\" \"$@\" -o \"$D/out.mp4\"; rc=$?; "
      "ls -A \"$D\" > \"$L\"; cp \"$D/out.mp4\" \"$K\"; exit $rc",
      {small.string(), listing.string(), kept.string(), "--settings", settingsFile.string(), "-y",
       movie.string()},
      "full output");
  ASSERT_NE(run.exitCode, 97) << "no tmpfs: " << run.err;
  ExpectNothingLost(run, temp, guard);
  EXPECT_TRUE(FailedSaying(run, "full")) << run.err;
  EXPECT_EQ(test::ReadFileBytes(kept), "the old movie");
  EXPECT_EQ(test::ReadFileBytes(listing), "out.mp4\n") << "a partial movie stayed";
  EXPECT_EQ((run.out + run.err).find("successfully"), std::string::npos) << run.out << run.err;
}

TEST_F(HostileEnvironment, ReadOnlyProgramFolderConvertsWithItsFilesInTheUserDataFolder) {
  if (!test::NamespacesWork()) GTEST_SKIP() << "no user and mount namespaces here";
  program = CopyProgram("read only");
  const InputGuard guard(movie);
  const std::string readOnly =
      "P=\"$1\"; shift; mount --bind \"$P\" \"$P\" && mount -o remount,bind,ro \"$P\" || exit 97; ";
  // The user's data folder of this test, so that the log stays inside the test's folder.
  test::ToolRun run =
      RunUnshared(readOnly + "XDG_DATA_HOME=\"$P/../first user data\" exec \"$TOOL\" \"$@\"",
                  {program.string(), "--settings", settingsFile.string(), movie.string(), "-o",
                   output.string()},
                  "elsewhere");
  ASSERT_NE(run.exitCode, 97) << "no read-only bind mount: " << run.err;
  ExpectNothingLost(run, temp, guard);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  EXPECT_TRUE(facts->hasVideo);

  // Without a settings file the program's own TEMP would be used; it cannot be
  // made there, so settings, log and TEMP move to the user's data folder.
  fs::remove(output);
  const fs::path userData = dir / "user data";
  run = RunUnshared(
      "P=\"$1\"; X=\"$2\"; shift 2; mount --bind \"$P\" \"$P\" && "
      "mount -o remount,bind,ro \"$P\" || exit 97; XDG_DATA_HOME=\"$X\" exec \"$TOOL\" \"$@\"",
      {program.string(), userData.string(), movie.string(), "-o", output.string()}, "inside");
  ASSERT_NE(run.exitCode, 97) << "no read-only bind mount: " << run.err;
  ExpectNothingLost(run, userData / "corvinex" / "TEMP", guard);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(fs::exists(output));
  // The run's log went there too.
  bool logged = false;
  for (const auto& entry : fs::directory_iterator(userData / "corvinex")) {
    logged |= entry.path().filename().string().starts_with("TLVPUB-batch-");
  }
  EXPECT_TRUE(logged);
}

// The run's large buffers come in huge pages: its encoder runs with
// glibc's tunable for them, beside the user's own tunables, and a choice the user made
// about it stays theirs.
TEST_F(HostileEnvironment, RunsWithHugePagesAndKeepsTheUsersOwnTunables) {
  program = CopyProgram("tunables");
  const fs::path plugin = program / "PLUG-IN";
  fs::rename(plugin / "ffmpeg_III", plugin / "real adapter");
  const fs::path seen = dir / "tunables seen";
  InstallAdapter(
      "#!/bin/sh\n"
      "case \"$*\" in *pipe:0*) printf '%s\\n' \"$GLIBC_TUNABLES\" >> '" +
      seen.string() +
      "';; esac\n"
      "exec \"$(dirname \"$0\")/real adapter\" \"$@\"\n");
  // The test's own value comes back however the test ends.
  struct KeepTunables {
    const char* before = std::getenv("GLIBC_TUNABLES");
    const std::string kept = before != nullptr ? before : "";
    ~KeepTunables() {
      if (before != nullptr) {
        ::setenv("GLIBC_TUNABLES", kept.c_str(), 1);
      } else {
        ::unsetenv("GLIBC_TUNABLES");
      }
    }
  } keepTunables;
  const std::pair<const char*, const char*> cases[] = {
      {"", "glibc.malloc.hugetlb=1"},
      {"glibc.malloc.arena_max=2", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
      {"glibc.malloc.hugetlb=0", "glibc.malloc.hugetlb=0"}};
  std::string expected;
  for (const auto& [given, wanted] : cases) {
    ::setenv("GLIBC_TUNABLES", given, 1);
    const test::ToolRun run = Run({movie.string(), "-y", "-o", output.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    expected += std::string(wanted) + "\n";
  }
  EXPECT_EQ(test::ReadFileBytes(seen), expected);
  EXPECT_TRUE(test::ProbeFile(output));
}

}  // namespace
}  // namespace corvinex
