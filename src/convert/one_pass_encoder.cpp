#include "convert/one_pass_encoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "settings/diagnostic_log.h"
#include "settings/whole_file.h"

namespace corvinex {

namespace fs = std::filesystem;

OnePassEncoder::OnePassEncoder(fs::path tool, fs::path tempFolder, DiagnosticLog& log)
    : tool_(std::move(tool)), report_(std::move(tempFolder) / "temp_encoder.txt"), log_(log) {}

OnePassEncoder::~OnePassEncoder() {
  Kill();
  std::error_code ec;
  fs::remove(report_, ec);
}

int OnePassEncoder::Start(const fs::path& movie, const ExportSettings& s) {
  const CommandLine command = OnePassCommand(tool_, movie, s);
  log_.LogLine("ConvertRectFFMPEG aVideoEXT " + OutputExtension(s.output) + " (one pass)");
  log_.LogLine("FFMPEG : " + command.LogText());
  if (command.empty()) {
    startError_ = "The movie type \"" + OutputExtension(s.output) + "\" cannot be written.";
    return -1;
  }
  // Close-on-exec on both ends: only the encoder's standard input (a dup) stays open
  // in the child, and no other child keeps the pipe from ending.
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    startError_ = std::string("cannot make the encoder's pipe: ") + std::strerror(errno);
    return -1;
  }
  // Room for a whole 1080p 4:2:0 frame: through the default 64 KB a frame takes a
  // dozen writes, reads and wake-ups. A refusal (a lower system limit) keeps the default.
  ::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
  ChildIo io;
  io.stdinPipeFd = ends[0];
  {
    std::ofstream probe(report_, std::ios::binary | std::ios::trunc);
    if (probe) io.stderrFile = report_;
  }
  const ChildStart start = StartProcess(command.Argv(), io);
  ::close(ends[0]);
  if (!start.ok()) {
    ::close(ends[1]);
    startError_ = start.error;
    log_.LogLine("FFMPEG ERR " + start.error);
    return -1;
  }
  pid_ = start.pid;
  return ends[1];
}

ExportResult OnePassEncoder::Wait(const EncoderFlags& flags) {
  ExportResult result;
  if (pid_ <= 0) return result;
  result.started = true;
  result.exitCode = WaitForEncoder(pid_, report_, flags, result.stopped).exitCode;
  pid_ = -1;
  if (result.stopped) log_.LogLine("FFMPEG stopped on request");
  if (result.exitCode != 0 && !result.stopped) {
    result.errorLine = EncoderFailureText(report_);
    log_.LogLine("FFMPEG ERR " + std::to_string(result.exitCode) + " : " + result.errorLine);
  }
  return result;
}

void OnePassEncoder::Kill() {
  if (pid_ > 0) KillProcess(pid_);
  pid_ = -1;
}

}  // namespace corvinex
