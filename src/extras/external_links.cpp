#include "extras/external_links.h"

#include <sys/wait.h>

#include <QDesktopServices>
#include <QString>
#include <QUrl>
#include <cerrno>
#include <string>
#include <system_error>

#include "convert/child_process.h"

namespace corvinex {

namespace fs = std::filesystem;

namespace {

// True while our child `pid` runs; a finished one is reaped.
bool StillRunning(pid_t pid) {
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return false;  // not ours any more
  }
  if (info.si_pid == 0) return true;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return false;
}

}  // namespace

R3DStart StartR3DConverter(R3DConverterState& state, const fs::path& programFolder) {
  // One converter is enough. (Raising another program's window is left to the
  // window manager.)
  if (state.pid > 0 && StillRunning(state.pid)) return R3DStart::AlreadyRunning;
  state.pid = 0;
  const fs::path tool = programFolder / "PLUG-IN" / "TL_R3D";
  std::error_code error;
  if (!fs::is_regular_file(tool, error)) return R3DStart::Missing;
  const ChildStart started = StartProcess({tool.string(), std::string(kR3DStartToken)});
  if (!started.ok()) return R3DStart::Failed;
  state.pid = started.pid;
  return R3DStart::Started;
}

bool OpenManual(const fs::path& programFolder) {
  const fs::path manual = programFolder / "TLVPUB.pdf";
  std::error_code error;
  if (!fs::is_regular_file(manual, error)) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(manual.string())));
}

bool OpenWebPage() {
  return QDesktopServices::openUrl(QUrl(
      QString::fromUtf8(kWebPageAddress.data(), static_cast<qsizetype>(kWebPageAddress.size()))));
}

bool OpenSupportMail() {
  return QDesktopServices::openUrl(QUrl(QString::fromUtf8(
      kSupportMailAddress.data(), static_cast<qsizetype>(kSupportMailAddress.size()))));
}

}  // namespace corvinex
