#pragma once
// Hidden child processes started from an argument vector: never through a shell,
// so a path with blanks, quotes, '$', ';' or non-ASCII letters is one argument.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvinex {

struct ChildIo {
  std::filesystem::path stdinFile;   // empty: /dev/null
  std::filesystem::path stdoutFile;  // empty: /dev/null
  std::filesystem::path stderrFile;  // empty: /dev/null
  bool stderrToStdout = false;       // send standard error where standard output goes
  int stdinPipeFd = -1;              // when >= 0, the child's standard input (read end)
  // The child is killed when the thread that started it ends (the kernel's parent
  // death signal follows the starting thread, not the process): start a child that
  // must outlive a worker thread from a thread that lives as long.
  bool endsWithParent = true;
};

struct ChildStart {
  pid_t pid = -1;
  std::string error;  // why it could not start (empty on success)
  bool ok() const { return pid > 0; }
};

// Starts argv[0] (searched in PATH when it has no slash) with the given streams.
// Unless io.endsWithParent is false, the child is killed when we die, even by
// SIGKILL, so no encoder finishes a movie of a run that has ended.
ChildStart StartProcess(const std::vector<std::string>& argv, const ChildIo& io = {});

struct ChildExit {
  bool exited = false;  // false: still running after the timeout (or never started)
  int exitCode = -1;    // exit status, or 128 + signal number when killed by a signal
};

// Waits for the child to end; with a timeout, gives up after it (the child keeps
// running). Reaps the child, so no zombie remains once it has been waited for.
ChildExit WaitProcess(pid_t pid, std::optional<std::chrono::milliseconds> timeout = {});

// Terminates the child and reaps it. Harmless for a pid that already ended.
void KillProcess(pid_t pid);

// Start, wait (optionally bounded; a child past its time is killed), return the exit.
ChildExit RunProcess(const std::vector<std::string>& argv, const ChildIo& io = {},
                     std::optional<std::chrono::milliseconds> timeout = {});

// Starts a child that is not waited for by the caller (the R3D converter and the
// like); it is reaped automatically when it ends.
bool StartDetached(const std::vector<std::string>& argv);

}  // namespace corvinex
