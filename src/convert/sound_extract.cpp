#include "convert/sound_extract.h"

#include <fstream>

#include "convert/encoder_command.h"

namespace corvinex {

ChildExit ExtractSound(const std::filesystem::path& tool, const std::filesystem::path& movie,
                       const std::filesystem::path& tempFolder, const std::atomic<bool>& cancel) {
  ChildStart start = StartProcess(SoundExtractionCommand(tool, movie, tempFolder).Argv());
  if (!start.ok()) return {};
  // The thread that waits is the one that kills, so a reaped process id is never
  // signalled.
  for (;;) {
    const ChildExit exit = WaitProcess(start.pid, std::chrono::milliseconds(100));
    if (exit.exited) return exit;
    if (cancel.load()) {
      KillProcess(start.pid);
      return {};
    }
  }
}

pid_t DecodeFrames(const std::filesystem::path& tool, const std::filesystem::path& movie,
                   const std::filesystem::path& tempFolder, const std::filesystem::path& errorFile,
                   int64_t timePerFrame) {
  ChildIo io;
  // A report that cannot be created must not keep the decoder from starting.
  if (!errorFile.empty() && std::ofstream(errorFile, std::ios::binary | std::ios::trunc)) {
    io.stderrFile = errorFile;
  }
  ChildStart start =
      StartProcess(FrameDecodingCommand(tool, movie, tempFolder, timePerFrame).Argv(), io);
  return start.ok() ? start.pid : 0;
}

}  // namespace corvinex
