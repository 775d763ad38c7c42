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

}  // namespace

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
      result.exitCode = WaitProcess(start.pid).exitCode;
      if (result.exitCode != 0 && !io.stderrFile.empty()) {
        result.errorLine = LastLineOf(errors);
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
