#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "convert/child_process.h"
#include "convert/process_identity.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

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

// The encoder keeps the machine's huge pages: without them its x264 takes four times
// the page faults and about twice the processor time.
TEST(ChildProcess, ChildrenKeepTheHugePagesOfTheProgram) {
  auto flag = [](const std::string& status) {
    const size_t at = status.find("THP_enabled:");
    return at == std::string::npos ? std::string() : status.substr(at, status.find('\n', at) - at);
  };
  const std::string before = flag(test::ReadFileBytes("/proc/self/status"));
  if (before.empty()) GTEST_SKIP() << "kernel does not tell";
  test::TempDir dir;
  ChildIo io;
  io.stdoutFile = dir / "status";
  ASSERT_EQ(RunProcess({"cat", "/proc/self/status"}, io).exitCode, 0);
  EXPECT_EQ(flag(test::ReadFileBytes(dir / "status")), before);
  EXPECT_EQ(flag(test::ReadFileBytes("/proc/self/status")), before);
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

TEST(ChildProcess, AStreamThatCannotBeOpenedIsAStartError) {
  test::TempDir dir;
  ChildIo io;
  io.stderrFile = dir / "no such folder" / "err";
  const ChildStart s = StartProcess({"true"}, io);
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.error.find("true"), std::string::npos) << s.error;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // the failed child was reaped
  // A PATH search goes past folders where the program is not.
  io = {};
  io.stdoutFile = dir / "out";
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", ("/nonexistent::" + path).c_str(), 1);
  const ChildExit e = RunProcess({"echo", "found"}, io);
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(e.exitCode, 0);
  EXPECT_EQ(test::ReadFileBytes(dir / "out"), "found\n");
}

// Our ignored SIGPIPE and blocked signals would make an encoder hang on a closed pipe
// or ignore a stop; a handler of ours must not run in the child either.
TEST(ChildProcess, ChildrenStartWithDefaultSignals) {
  test::TempDir dir;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction oldPipe {};
  ::sigaction(SIGPIPE, &ignore, &oldPipe);
  sigset_t blocked, oldMask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGUSR1);
  ::pthread_sigmask(SIG_BLOCK, &blocked, &oldMask);
  ChildIo io;
  io.stdoutFile = dir / "status";
  const ChildExit e = RunProcess({"cat", "/proc/self/status"}, io);
  ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  ::sigaction(SIGPIPE, &oldPipe, nullptr);
  ASSERT_EQ(e.exitCode, 0);
  const std::string status = test::ReadFileBytes(dir / "status");
  EXPECT_NE(status.find("SigBlk:\t0000000000000000"), std::string::npos) << status;
  const size_t ign = status.find("SigIgn:\t");
  ASSERT_NE(ign, std::string::npos);
  const uint64_t ignored = std::stoull(status.substr(ign + 8, 16), nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << status;
}

// A helper process starts `sleep 60` through StartProcess, tells its id and waits to be
// killed; returns the sleep's identity once the helper is dead and reaped.
ProcessIdentity SleepOfAKilledHelper(bool endsWithParent) {
  int ends[2];
  EXPECT_EQ(::pipe(ends), 0);
  const pid_t helper = ::fork();
  if (helper == 0) {
    ::close(ends[0]);
    ChildIo io;
    io.endsWithParent = endsWithParent;
    const ChildStart s = StartProcess({"sleep", "60"}, io);
    const pid_t pid = s.ok() ? s.pid : 0;
    if (::write(ends[1], &pid, sizeof pid) != sizeof pid) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  ::close(ends[1]);
  pid_t sleeper = 0;
  pollfd p{ends[0], POLLIN, 0};
  if (::poll(&p, 1, 10000) == 1) {
    EXPECT_EQ(::read(ends[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
  }
  ::close(ends[0]);
  ProcessIdentity sleep{sleeper, ProcessStartTicks(sleeper).value_or(0)};
  ::kill(helper, SIGKILL);
  ::waitpid(helper, nullptr, 0);
  return sleep;
}

TEST(ChildProcess, AChildDiesWithAKilledParent) {
  const ProcessIdentity sleep = SleepOfAKilledHelper(true);
  ASSERT_GT(sleep.pid, 0);
  ASSERT_GT(sleep.startTicks, 0u);
  EXPECT_TRUE(test::WaitFor([&] { return !ProcessIsRunning(sleep); }));
}

TEST(ChildProcess, AChildMayBeLetOutliveItsParent) {
  const ProcessIdentity sleep = SleepOfAKilledHelper(false);
  ASSERT_GT(sleep.pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(ProcessIsRunning(sleep));
  if (ProcessIsRunning(sleep)) ::kill(sleep.pid, SIGKILL);
}

}  // namespace
}  // namespace corvinex
