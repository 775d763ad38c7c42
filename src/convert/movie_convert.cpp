#include "convert/movie_convert.h"

#include <system_error>

#include "convert/child_process.h"
#include "convert/encoder_command.h"

namespace corvinex {

namespace fs = std::filesystem;

MovieConvertResult MovieConvert(const MovieConvertJob& job, ConversionUi& ui,
                                std::atomic<int32_t>& StreamState) {
  StreamState = 1;
  ui.Sleep(100);
  const CommandLine command = MovieConversionCommand(job.tool, job.input, job.output);
  MovieConvertResult result;
  result.encoder = ui.ExportMovie("Movie Conversion", [&command] {
    ExportResult r;
    const ChildStart child = StartProcess(command.Argv());
    if (!child.ok()) {
      r.errorLine = child.error;
      return r;
    }
    r.started = true;
    r.exitCode = WaitProcess(child.pid).exitCode;
    return r;
  });
  std::error_code error;
  result.outputWritten =
      fs::is_regular_file(job.output, error) && fs::file_size(job.output, error) > 0 && !error;
  return result;
}

fs::path TempAviPath(const fs::path& tempFolder, const std::string& path) {
  return tempFolder / (fs::path(path).stem().string() + ".avi");
}

std::string TranscodeToTempAvi(const std::string& path, const fs::path& tempFolder,
                               const fs::path& tool, ConversionUi& ui,
                               std::atomic<int32_t>& StreamState) {
  const fs::path output = TempAviPath(tempFolder, path);
  std::error_code ignored;
  fs::remove(output, ignored);
  MovieConvert({tool, path, output.string()}, ui, StreamState);
  return output.string();
}

}  // namespace corvinex
