#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>

#include "convert/child_process.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

using namespace std::chrono_literals;

TEST(ChildProcess, ArgumentsReachTheChildUnchangedWithoutAShell) {
  test::TempDir dir;
  auto out = dir / "out file.txt";
  const std::vector<std::string> tricky = {"a b",      "quote\"inside", "$HOME", "x;rm -rf y",
                                           "-leading", "Żółw ñ",        "",      "`id`"};
  std::vector<std::string> argv = {"printf", "[%s]\\n"};
  argv.insert(argv.end(), tricky.begin(), tricky.end());
  ChildIo io;
  io.stdoutFile = out;
  ChildExit e = RunProcess(argv, io);
  ASSERT_TRUE(e.exited);
  EXPECT_EQ(e.exitCode, 0);
  std::string expected;
  for (const auto& t : tricky) expected += "[" + t + "]\n";
  EXPECT_EQ(test::ReadFileBytes(out), expected);
}

// The encoder's huge-page requests are not granted: each would keep 2 MB resident.
TEST(ChildProcess, ChildrenRunWithoutTransparentHugePages) {
  test::TempDir dir;
  ChildIo io;
  io.stdoutFile = dir / "status";
  ASSERT_EQ(RunProcess({"cat", "/proc/self/status"}, io).exitCode, 0);
  const std::string status = test::ReadFileBytes(dir / "status");
  if (status.find("THP_enabled:") == std::string::npos) GTEST_SKIP() << "kernel does not tell";
  EXPECT_NE(status.find("THP_enabled:\t0"), std::string::npos) << status;
}

TEST(ChildProcess, ExitCodesAndMissingProgram) {
  EXPECT_EQ(RunProcess({"sh", "-c", "exit 3"}).exitCode, 3);
  ChildStart missing = StartProcess({"/nonexistent/corvinex-tool"});
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.error.find("corvinex-tool"), std::string::npos);
  EXPECT_FALSE(RunProcess({}).exited);
}

TEST(ChildProcess, TimeoutKillsAndReapsTheChild) {
  auto begin = std::chrono::steady_clock::now();
  ChildExit e = RunProcess({"sleep", "30"}, {}, 200ms);
  EXPECT_FALSE(e.exited);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
  // No child of ours is left behind, running or as a zombie.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST(ChildProcess, KillEndsARunningChildAndIsHarmlessTwice) {
  ChildStart s = StartProcess({"sleep", "30"});
  ASSERT_TRUE(s.ok());
  KillProcess(s.pid);
  KillProcess(s.pid);
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST(ChildProcess, StandardErrorIsCapturedSeparately) {
  test::TempDir dir;
  ChildIo io;
  io.stdoutFile = dir / "out";
  io.stderrFile = dir / "err";
  RunProcess({"sh", "-c", "echo to-out; echo to-err >&2"}, io);
  EXPECT_EQ(test::ReadFileBytes(dir / "out"), "to-out\n");
  EXPECT_EQ(test::ReadFileBytes(dir / "err"), "to-err\n");
}

}  // namespace
}  // namespace corvinex
