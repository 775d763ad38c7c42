#include "convert/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace corvinex {
namespace {

const char* PathOrNull(const std::filesystem::path& p) {
  return p.empty() ? "/dev/null" : p.c_str();
}

ChildExit DecodeStatus(int status) {
  ChildExit result;
  result.exited = true;
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exitCode = 128 + WTERMSIG(status);
  }
  return result;
}

// Blocks until the child ends or the timeout passes, without polling in a loop.
bool WaitReadable(pid_t pid, std::chrono::milliseconds timeout) {
  int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) return true;  // already reaped or unknown: let waitpid decide
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, static_cast<int>(timeout.count()));
  } while (rc < 0 && errno == EINTR);
  close(fd);
  return rc > 0;
}

// The encoder's x264 asks for transparent huge pages for its frame buffers, and each
// 2 MB page it gets is resident whole: some 12 MB more at 1080p, with no speed to
// show for it here. The flag passes to every child started after it (and stays
// through their exec); this program asks for no huge pages of its own.
void KeepChildrenOffHugePages() {
  static std::once_flag once;
  std::call_once(once, [] { (void)prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0); });
}

}  // namespace

ChildStart StartProcess(const std::vector<std::string>& argv, const ChildIo& io) {
  ChildStart start;
  if (argv.empty() || argv[0].empty()) {
    start.error = "no program given";
    return start;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (io.stdinPipeFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, io.stdinPipeFd, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, PathOrNull(io.stdinFile), O_RDONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 1, PathOrNull(io.stdoutFile),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (io.stderrToStdout) {
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, PathOrNull(io.stderrFile),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child must not inherit a blocked or ignored SIGPIPE/SIGTERM from us.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  KeepChildrenOffHugePages();
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    start.error = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
    return start;
  }
  start.pid = pid;
  return start;
}

ChildExit WaitProcess(pid_t pid, std::optional<std::chrono::milliseconds> timeout) {
  if (pid <= 0) return {};
  if (timeout && !WaitReadable(pid, *timeout)) return {};
  int status = 0;
  pid_t rc;
  do {
    rc = waitpid(pid, &status, timeout ? WNOHANG : 0);
  } while (rc < 0 && errno == EINTR);
  if (rc != pid) return {};
  return DecodeStatus(status);
}

void KillProcess(pid_t pid) {
  if (pid <= 0) return;
  // Only signal a child that is still ours and unreaped.
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return;
  if (info.si_pid == 0) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

ChildExit RunProcess(const std::vector<std::string>& argv, const ChildIo& io,
                     std::optional<std::chrono::milliseconds> timeout) {
  ChildStart start = StartProcess(argv, io);
  if (!start.ok()) return {};
  ChildExit result = WaitProcess(start.pid, timeout);
  if (!result.exited) KillProcess(start.pid);
  return result;
}

bool StartDetached(const std::vector<std::string>& argv) {
  ChildStart start = StartProcess(argv);
  if (!start.ok()) return false;
  pid_t pid = start.pid;
  // A waiting thread reaps it whenever it ends, so it never stays a zombie.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace corvinex
