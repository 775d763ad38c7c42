#include <csignal>
#include <fstream>
#include <string>
#include <system_error>

#include "convert/encoder_command.h"
#include "settings/diagnostic_log.h"
#include "settings/whole_file.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

bool CanCreate(const fs::path& file) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out);
}

// The end of the encoder's report, where its newest statistics line is.
std::string ReportTail(const fs::path& file) {
  constexpr std::streamoff kTail = 4096;
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return {};
  const std::streamoff size = in.tellg();
  const std::streamoff from = size > kTail ? size - kTail : 0;
  in.seekg(from);
  std::string tail(static_cast<size_t>(size - from), '\0');
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  tail.resize(static_cast<size_t>(in.gcount()));
  return tail;
}

}  // namespace

int64_t LastEncodedFrame(std::string_view report) {
  const size_t at = report.rfind("frame=");
  if (at == std::string_view::npos) return -1;
  size_t i = at + 6;
  while (i < report.size() && report[i] == ' ') ++i;
  int64_t frames = -1;
  for (; i < report.size() && report[i] >= '0' && report[i] <= '9'; ++i) {
    frames = (frames < 0 ? 0 : frames * 10) + (report[i] - '0');
    if (frames > (int64_t{1} << 40)) return -1;  // not a frame count
  }
  return frames;
}

std::string EncoderFailureText(const fs::path& report) {
  const std::string tail = ReportTail(report);
  if (tail.find("No space left on device") != std::string::npos) {
    return "No space left on device: the disk of the output is full.";
  }
  return LastLineOf(report);
}

ChildExit WaitForEncoder(pid_t pid, const fs::path& report, const EncoderFlags& flags,
                         bool& stopped) {
  constexpr auto kPoll = std::chrono::milliseconds(200);
  for (;;) {
    const ChildExit exit = WaitProcess(pid, kPoll);
    if (exit.exited) return exit;
    if (flags.stop != nullptr && flags.stop->load() == 1) {
      KillProcess(pid);
      stopped = true;
      return {.exited = true, .exitCode = 128 + SIGTERM};
    }
    if (flags.progress && !report.empty()) {
      if (const int64_t frames = LastEncodedFrame(ReportTail(report)); frames >= 0) {
        flags.progress(frames);
      }
    }
  }
}

ExportResult EncodeMovie(const fs::path& tool, const fs::path& tempFolder, const ExportSettings& s,
                         DiagnosticLog& log, EncoderFlags flags) {
  if (flags.started) flags.started->store(1);
  CommandLine command = ExportCommand(tool, tempFolder, s);
  log.LogLine("ConvertRectFFMPEG aVideoEXT " + OutputExtension(s.output));
  log.LogLine("FFMPEG : " + command.LogText());

  ExportResult result;
  if (!command.empty()) {
    fs::path errors = tempFolder / "temp_encoder.txt";
    ChildIo io;
    if (CanCreate(errors)) io.stderrFile = errors;
    ChildStart start = StartProcess(command.Argv(), io);
    if (start.ok()) {
      result.started = true;
      result.exitCode = WaitForEncoder(start.pid, io.stderrFile, flags, result.stopped).exitCode;
      if (result.stopped) log.LogLine("FFMPEG stopped on request");
      if (result.exitCode != 0 && !result.stopped && !io.stderrFile.empty()) {
        result.errorLine = EncoderFailureText(errors);
        log.LogLine("FFMPEG ERR " + std::to_string(result.exitCode) + " : " + result.errorLine);
      }
    } else {
      log.LogLine("FFMPEG ERR " + start.error);
    }
    std::error_code ec;
    fs::remove(errors, ec);
  }
  if (flags.running) flags.running->store(0);
  return result;
}

}  // namespace corvinex
