#include "convert/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "convert/huge_page_tunable.h"

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

// The files execve tries for `program`, as a PATH search would: the program itself
// when it names a folder, else each PATH entry in turn (an empty one is ".").
std::vector<std::string> ProgramCandidates(const std::string& program) {
  if (program.find('/') != std::string::npos) return {program};
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "/bin:/usr/bin";
  std::vector<std::string> candidates;
  size_t at = 0;
  for (;;) {
    const size_t colon = folders.find(':', at);
    std::string folder = folders.substr(at, colon == std::string::npos ? colon : colon - at);
    candidates.push_back((folder.empty() ? std::string(".") : folder) + "/" + program);
    if (colon == std::string::npos) break;
    at = colon + 1;
  }
  return candidates;
}

struct ChildPlan {
  const char* const* candidates;  // null-terminated
  char* const* argv;
  char* const* envp;
  const char* stdinFile;
  const char* stdoutFile;
  const char* stderrFile;
  int stdinPipeFd;
  bool stderrToStdout;
  bool endsWithParent;
  pid_t parent;  // our id, taken before the child existed
  int reportFd;  // where the child writes its errno when it cannot run
};

[[noreturn]] void ChildFails(int reportFd, int error) {
  ssize_t ignored = ::write(reportFd, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

// Puts `fd` at `target`, open across the exec.
bool MoveFd(int fd, int target) {
  if (fd == target) return ::fcntl(fd, F_SETFD, 0) == 0;
  return ::dup2(fd, target) >= 0;
}

bool OpenAt(const char* path, int flags, int target) {
  const int fd = ::open(path, flags | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (fd == target) return ::fcntl(fd, F_SETFD, 0) == 0;
  const bool moved = ::dup2(fd, target) >= 0;
  ::close(fd);
  return moved;
}

// The child between vfork and exec: system calls only, on data the parent made.
[[noreturn]] void RunChild(const ChildPlan& plan) {
  int reportFd = plan.reportFd;
  // Out of the way of the standard streams (the parent may have closed some).
  if (reportFd <= 2) {
    reportFd = ::fcntl(reportFd, F_DUPFD_CLOEXEC, 3);
    if (reportFd < 0) ::_exit(127);
  }
  if (plan.endsWithParent) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0) ChildFails(reportFd, errno);
    // A parent that died before the line above sent no signal: we were adopted.
    if (::getppid() != plan.parent) ::_exit(127);
  }
  // Our handlers are not the child's, and no signal may reach one before the exec
  // (with vfork it would run on the parent's memory): defaults first, then unblocked.
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction current {};
    if (::sigaction(sig, nullptr, &current) != 0) continue;
    const bool ignoredKept =
        current.sa_handler == SIG_IGN && sig != SIGPIPE && sig != SIGTERM && sig != SIGINT;
    if (ignoredKept || current.sa_handler == SIG_DFL) continue;
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    ::sigaction(sig, &defaults, nullptr);
  }
  const bool streams =
      (plan.stdinPipeFd >= 0 ? MoveFd(plan.stdinPipeFd, 0) : OpenAt(plan.stdinFile, O_RDONLY, 0)) &&
      OpenAt(plan.stdoutFile, O_WRONLY | O_CREAT | O_TRUNC, 1) &&
      (plan.stderrToStdout ? ::dup2(1, 2) >= 0
                           : OpenAt(plan.stderrFile, O_WRONLY | O_CREAT | O_TRUNC, 2));
  if (!streams) ChildFails(reportFd, errno);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // As a PATH search does: a missing or unreadable entry goes on to the next; a
  // refusal to run a file that is there is what is told when nothing else runs.
  int error = ENOENT;
  for (const char* const* c = plan.candidates; *c != nullptr; ++c) {
    ::execve(*c, plan.argv, plan.envp);
    if (errno == EACCES) {
      error = EACCES;
    } else if (errno != ENOENT && errno != ENOTDIR) {
      error = errno;
      break;
    }
  }
  ChildFails(reportFd, error);
}

// vfork with every signal blocked, so none runs one of our handlers in the child.
pid_t Spawn(const ChildPlan& plan) {
  sigset_t all, previous;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &previous);
  const pid_t pid = ::vfork();
  if (pid == 0) RunChild(plan);
  const int error = errno;
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return pid;
}

}  // namespace

ChildStart StartProcess(const std::vector<std::string>& argv, const ChildIo& io) {
  ChildStart start;
  if (argv.empty() || argv[0].empty()) {
    start.error = "no program given";
    return start;
  }
  // Everything the child needs is made here: between vfork and exec it may only
  // make system calls, never allocate.
  const std::vector<std::string> programs = ProgramCandidates(argv[0]);
  std::vector<const char*> candidates;
  candidates.reserve(programs.size() + 1);
  for (const auto& p : programs) candidates.push_back(p.c_str());
  candidates.push_back(nullptr);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // Our environment, but with huge pages asked for (see huge_page_tunable.h).
  const char* tunables = nullptr;
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "GLIBC_TUNABLES=", 15) != 0) {
      env.push_back(*e);
    } else if (tunables == nullptr) {
      tunables = *e + 15;
    }
  }
  const std::string tuned =
      "GLIBC_TUNABLES=" + TunablesWithHugePages(tunables != nullptr ? tunables : "");
  env.push_back(const_cast<char*>(tuned.c_str()));
  env.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    start.error = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
    return start;
  }
  ChildPlan plan{.candidates = candidates.data(),
                 .argv = args.data(),
                 .envp = env.data(),
                 .stdinFile = PathOrNull(io.stdinFile),
                 .stdoutFile = PathOrNull(io.stdoutFile),
                 .stderrFile = PathOrNull(io.stderrFile),
                 .stdinPipeFd = io.stdinPipeFd,
                 .stderrToStdout = io.stderrToStdout,
                 .endsWithParent = io.endsWithParent,
                 .parent = ::getpid(),
                 .reportFd = report[1]};

  const pid_t pid = Spawn(plan);
  const int spawnError = errno;
  ::close(report[1]);
  if (pid < 0) {
    ::close(report[0]);
    start.error = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawnError);
    return start;
  }
  // The report's write end closes at the exec: nothing to read means it ran.
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof childError)) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    start.error = std::string("cannot start ") + argv[0] + ": " + std::strerror(childError);
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
