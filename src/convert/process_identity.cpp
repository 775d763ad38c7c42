#include "convert/process_identity.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

namespace corvinex {
namespace {

enum class StatRead { Read, NoProcess, Unreadable };

// Field 22 of /proc/PID/stat; the name in parentheses (field 2) may hold blanks and
// parentheses of its own, so the fields are counted from the last ')'.
StatRead ReadStartTicks(pid_t pid, uint64_t& ticks) {
  const std::string name = "/proc/" + std::to_string(pid) + "/stat";
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ESRCH ? StatRead::NoProcess : StatRead::Unreadable;
  std::string text;
  char buffer[1024];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const bool gone = errno == ESRCH;
      ::close(fd);
      return gone ? StatRead::NoProcess : StatRead::Unreadable;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return text.empty() ? StatRead::NoProcess : StatRead::Unreadable;
  // After ')': field 3 (state) ... field 22 (start time).
  size_t at = close + 1;
  char state = '?';
  for (int field = 3; field <= 22; ++field) {
    while (at < text.size() && text[at] == ' ') ++at;
    const size_t end = text.find(' ', at);
    if (at >= text.size()) return StatRead::Unreadable;
    if (field == 3) state = text[at];
    if (field == 22) {
      const char* last = text.data() + (end == std::string::npos ? text.size() : end);
      const auto [ptr, ec] = std::from_chars(text.data() + at, last, ticks);
      if (ec != std::errc() || ptr != last) return StatRead::Unreadable;
    }
    if (end == std::string::npos && field < 22) return StatRead::Unreadable;
    at = end;
  }
  // A zombie (or one being torn down) has ended; only its parent's wait is missing.
  if (state == 'Z' || state == 'X' || state == 'x') return StatRead::NoProcess;
  return StatRead::Read;
}

}  // namespace

std::optional<uint64_t> ProcessStartTicks(pid_t pid) {
  uint64_t ticks = 0;
  if (pid <= 0 || ReadStartTicks(pid, ticks) != StatRead::Read) return std::nullopt;
  return ticks;
}

ProcessIdentity ThisProcess() {
  const pid_t pid = ::getpid();
  return {pid, ProcessStartTicks(pid).value_or(0)};
}

bool ProcessIsRunning(const ProcessIdentity& id) {
  if (id.pid <= 0) return false;
  uint64_t ticks = 0;
  switch (ReadStartTicks(id.pid, ticks)) {
    case StatRead::NoProcess:
      return false;
    case StatRead::Unreadable:
      return true;
    case StatRead::Read:
      break;
  }
  return ticks == id.startTicks;
}

}  // namespace corvinex
